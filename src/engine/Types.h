// Words shared by the whole engine.
//
// A Literal is one 32-bit word: bit 0 sign (1 = negative), bits 1..29 the
// internal variable index, bit 30 existential, bit 31 literal of a term.
// Every per-literal table is indexed by litCode = the low 30 bits.
#pragma once

#include <cstdint>

#include "input/Quantifier.h"

namespace vorn {

using Literal = uint32_t;

constexpr uint32_t kSignBit = 0x1u;
constexpr uint32_t kExistBit = 0x40000000u;
constexpr uint32_t kTermBit = 0x80000000u;
constexpr uint32_t kCodeMask = 0x3fffffffu;
constexpr uint32_t kVarMask = 0x3ffffffeu;
// Largest internal index the var field holds, less the values near it that
// trail marks use.
constexpr uint32_t kMaxVar = (1u << 29) - 2;

inline uint32_t litVar(uint32_t l) { return (l & kVarMask) >> 1; }
inline uint32_t litCode(uint32_t l) { return l & kCodeMask; }
inline bool litNegative(uint32_t l) { return l & kSignBit; }
inline bool litExistential(uint32_t l) { return l & kExistBit; }
inline bool litTerm(uint32_t l) { return l & kTermBit; }
// Own literal of its constraint: existential in a clause, universal in a term.
inline bool litOwn(uint32_t l) { return ((l >> 30) ^ (l >> 31)) & 1u; }
inline uint32_t litComplement(uint32_t l) { return l ^ kSignBit; }
// The assignment a term literal forces: its complement without the term bit.
inline uint32_t termForces(uint32_t l) { return l ^ (kTermBit | kSignBit); }
// The same literal as a clause literal (term bit cleared).
inline uint32_t clauseForm(uint32_t l) { return l & ~kTermBit; }

enum ConstraintKind : uint32_t { OrigClause = 0, OrigTerm = 1, LearnedClause = 2, LearnedTerm = 3 };
constexpr int kKinds = 4;
inline ConstraintKind kindOf(bool input, bool clause) {
  return static_cast<ConstraintKind>((input ? 0u : 2u) | (clause ? 0u : 1u));
}

enum reasonType : uint32_t {
  Branch = 0x00,
  Pure = 0x40,
  DontCare = 0x50,
  NaryUnit = 0x80,
  BinaryUnit = 0xC0,
  NoReason = 0x0F,
};

// Unit kinds carry the ConstraintKind of the constraint in their low bits.
inline bool isUnitKind(uint32_t kind) { return (kind & 0x80u) != 0; }
inline bool isPureKind(uint32_t kind) { return kind == Pure || kind == DontCare; }

struct reasonItem_ {
  uint32_t antecedent = 0;  // N-ary constraint id, binary partner literal, or 0
  uint32_t kind = NoReason;
};

enum ResultCode : int { ResultTrue = 10, ResultFalse = 20, ResultUnknown = 99 };

constexpr uint32_t NULL_ATOM = 0;

}  // namespace vorn
