#include "preprocessor/CnfFormula.h"

#include <algorithm>

#include "driver/CommandLine.h"

namespace vorn {

CnfFormula::CnfFormula(bool selfSubsumption) : useSelfSubsumption(selfSubsumption) {}

CnfFormula::CnfFormula(CommandLine& options)
    : CnfFormula(options.getPar(kOptionAllSimplifications) != nullptr ||
                 options.getPar(kOptionSelfSubsumption) != nullptr) {}

namespace {
// Up to this many literals std::sort is an insertion sort, which keeps
// literals that compare equal in their order; the sort below does the
// same on precomputed keys, so both give the same list.
constexpr std::size_t kSmallSort = 16;
}  // namespace

void CnfFormula::minimizeClause(std::vector<CnfLiteral>& lits) const {
  if (lits.size() <= kSmallSort) {
    // Compareliteral as one number: block, then atom; 0 (no literal) last.
    uint64_t key[kSmallSort];
    const std::size_t n = lits.size();
    for (std::size_t i = 0; i < n; ++i) {
      const CnfLiteral l = lits[i];
      const uint64_t k = l == 0 ? 0
                                : (static_cast<uint64_t>(static_cast<uint32_t>(blockOf(l))) << 32) |
                                      static_cast<uint32_t>(atomOf(l));
      std::size_t j = i;
      for (; j > 0 && key[j - 1] < k; --j) {
        key[j] = key[j - 1];
        lits[j] = lits[j - 1];
      }
      key[j] = k;
      lits[j] = l;
    }
  } else {
    std::sort(lits.begin(), lits.end(), Compareliteral{this});
  }
  // Sorted innermost first, so the universal literals that reduction drops
  // are exactly those before the first existential one.
  std::size_t firstExist = 0;
  while (firstExist < lits.size() && !isExist(atomOf(lits[firstExist]))) ++firstExist;
  if (firstExist == lits.size())
    lits.clear();
  else if (firstExist > 0)
    lits.erase(lits.begin(), lits.begin() + static_cast<std::ptrdiff_t>(firstExist));
}

ClauseId CnfFormula::addClause(std::vector<CnfLiteral>& lits) {
  minimizeClause(lits);
  if (lits.empty()) return 0;
  return CnfMatrix::addClause(lits);
}

void CnfFormula::sortBinary(CnfLiteral lit) {
  if (lit == 0 || !covers(lit)) return;
  std::vector<CnfLiteral>& list = partners(lit);
  std::sort(list.begin(), list.end(), Compareliteral{this});
}

void CnfFormula::sortBinary() {
  for (CnfLiteral a = getBegin(); a != getEnd(); a = getNext()) {
    sortBinary(a);
    sortBinary(-a);
  }
}

void CnfFormula::printStat() {
  long atoms = 0, existAtoms = 0, univAtoms = 0;
  for (CnfLiteral a = getBegin(); a != getEnd(); a = getNext()) {
    ++atoms;
    if (isExist(a))
      ++existAtoms;
    else
      ++univAtoms;
  }
  long existBlocks = 0, univBlocks = 0;
  for (const std::vector<CnfLiteral>& block : blocks) {
    CnfLiteral last = 0;
    for (CnfLiteral a : block)
      if (a != 0) last = a;
    if (last == 0) continue;
    if (isExist(last))
      ++existBlocks;
    else
      ++univBlocks;
  }
  long live = liveClauseCount();
  long lits = 0, existLits = 0, univLits = 0;
  for (ClauseId id = 1; id < slotCount(); ++id)
    for (CnfLiteral l : clauses[id]) {
      ++lits;
      if (isExist(atomOf(l)))
        ++existLits;
      else
        ++univLits;
    }
  auto quotient = [](long a, long b) { return b == 0 ? 0.0 : static_cast<double>(a / b); };
  auto ratio = [](long a, long b) { return b == 0 ? 0.0 : static_cast<double>(a) / static_cast<double>(b); };
  std::printf("%li %li %li %li %li %.3f %.3f %li %li %.3f %.3f %.3f\n", atoms, existAtoms, univAtoms,
              existBlocks, univBlocks, quotient(existAtoms, existBlocks), quotient(univAtoms, univBlocks), live,
              lits, ratio(lits, live), ratio(existLits, live), ratio(univLits, live));
}

}  // namespace vorn
