// The strategy shell of the analysis: sizing of its tables, statistics.
#include "strategies/Backtrack.h"

#include <algorithm>
#include <iostream>

namespace vorn {

const uint32_t Backtrack::abandonedMark[3] = {0, 0, 0};

Backtrack::Backtrack(DynFormula& f, CommandLine& o, Instance<long>& n)
    : formula(f),
      options(o),
      names(n),
      other(&lists_[0]),
      work(&lists_[1]),
      searchStats_(o.getPar(kOptionSearchStats) != nullptr) {
  ensureSized_();
}

void Backtrack::init() { ensureSized_(); }

void Backtrack::ensureSized_() {
  const std::size_t vars = static_cast<std::size_t>(formula.prefix.maxAtom) + 1;
  for (auto& list : lists_)
    if (list.capacity() < vars + 1) list.reserve(vars + 1);
  if (stamps.size() < vars) stamps.resize(vars, 0);
  if (inTerm.size() < vars) inTerm.resize(vars, 1);
  if (planned.size() < 2 * vars) planned.resize(2 * vars, 0);
  if (committed.size() < 2 * vars) committed.resize(2 * vars, 0);
}

void Backtrack::printStats() {
  if (!searchStats_) return;
  std::cout << "BACKTRACKS CONFLICT " << conflicts << std::endl;
  std::cout << "BACKTRACKS SOLUTION " << solutions << std::endl;
}

void Backtrack::resetUip_() {
  uip = minLit = second = clash = 0;
  ownCount = 0;
}

void Backtrack::backjump_(uint32_t level) { formula.backjump(level); }

}  // namespace vorn
