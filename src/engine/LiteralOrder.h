// The two literal orders of the engine. Each puts the deepest literal
// first: the greater prefix level, then the greater variable index; sign,
// existential and term bits play no part. Sorted through reverse
// iterators, a list reads outermost block first, ascending index within a
// block. A variable without a place counts as the deepest.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "engine/Types.h"

namespace vorn {

// On signed internal indices (s and -s are equivalent).
template <class Formula, class T>
struct CompareAtoms {
  explicit CompareAtoms(Formula& f) : formula(f) {}
  bool operator()(const T& a, const T& b) const {
    const uint32_t va = static_cast<uint32_t>(a < 0 ? -a : a);
    const uint32_t vb = static_cast<uint32_t>(b < 0 ? -b : b);
    const uint32_t la = formula.prefix.level(va), lb = formula.prefix.level(vb);
    return la > lb || (la == lb && va > vb);
  }
  Formula& formula;
};

// On Literal words.
template <class Formula>
struct CompareLiterals {
  explicit CompareLiterals(Formula& f) : formula(f) {}
  bool operator()(uint32_t a, uint32_t b) const {
    const uint32_t va = litVar(a), vb = litVar(b);
    const uint32_t la = formula.prefix.level(va), lb = formula.prefix.level(vb);
    return la > lb || (la == lb && va > vb);
  }
  Formula& formula;
};

}  // namespace vorn
