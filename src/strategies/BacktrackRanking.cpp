// The literal orders of the analysis: each variable's place in ascending
// prefix order, precomputed, and sorts on those places that give the same
// permutation as sorting with CompareLiterals.
#include <algorithm>

#include "engine/LiteralOrder.h"
#include "strategies/Backtrack.h"

namespace vorn {

void Backtrack::ensureRanks_() {
  const Prefix& prefix = formula.prefix;
  const std::size_t n = std::max<std::size_t>(static_cast<std::size_t>(prefix.maxAtom) + 1, prefix.atomLevel.size());
  if (ranksBuilt_ && rankRevision_ == prefix.revision && rank_.size() == n) return;
  std::vector<uint32_t> order(n);
  for (uint32_t v = 0; v < n; ++v) order[v] = v;
  // Ascending prefix order: the reverse of CompareLiterals.
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const uint32_t la = prefix.level(a), lb = prefix.level(b);
    return la < lb || (la == lb && a < b);
  });
  rank_.assign(n, 0);
  for (uint32_t r = 0; r < n; ++r) rank_[order[r]] = r;
  rankedVars_.swap(order);
  byRank_.assign(n, 0);
  rankRevision_ = prefix.revision;
  ranksBuilt_ = true;
}

void Backtrack::sortByRank_(std::vector<Literal>& lits, bool ascending) {
  ensureRanks_();
  const std::size_t n = lits.size();
  if (n < 2) return;
  const uint32_t* const rank = rank_.data();
  const uint32_t ranked = static_cast<uint32_t>(rank_.size());
  // Strictly rising ranks (ascending) or strictly falling ones: distinct,
  // so the order found is the only sorted one there is.
  const auto ordered = [&](bool rising) {
    if (litVar(lits[0]) >= ranked) return false;
    uint32_t previous = rank[litVar(lits[0])];
    for (std::size_t i = 1; i < n; ++i) {
      const uint32_t v = litVar(lits[i]);
      if (v >= ranked) return false;
      const uint32_t r = rank[v];
      if (rising ? r <= previous : r >= previous) return false;
      previous = r;
    }
    return true;
  };
  if (ascending ? ordered(true) : ordered(false)) return;
  if (ascending ? ordered(false) : ordered(true)) {
    std::reverse(lits.begin(), lits.end());
    return;
  }
  uint32_t lowest = ~0u, highest = 0;
  bool nonzero = true;
  for (const Literal l : lits) {
    const uint32_t v = litVar(l);
    if (v >= ranked) {
      // Not a variable of the prefix tables: the comparator itself.
      if (ascending)
        std::sort(lits.rbegin(), lits.rend(), CompareLiterals<DynFormula>(formula));
      else
        std::sort(lits.begin(), lits.end(), CompareLiterals<DynFormula>(formula));
      return;
    }
    lowest = std::min(lowest, rank[v]);
    highest = std::max(highest, rank[v]);
    nonzero = nonzero && l != 0;
  }
  // Ranks close together: place each literal at its rank and read the
  // ranks off in order. With distinct ranks there is only one sorted
  // order, so this gives what the comparison sort gives; two literals of
  // one variable send it to the comparison sort.
  if (nonzero && highest - lowest < 8 * n) {
    std::size_t placed = 0;
    for (; placed < n; ++placed) {
      Literal& slot = byRank_[rank[litVar(lits[placed])]];
      if (slot != 0) break;
      slot = lits[placed];
    }
    if (placed == n) {
      std::size_t i = 0;
      for (uint32_t r = lowest;; ++r) {
        Literal& slot = byRank_[r];
        if (slot != 0) {
          lits[ascending ? i : n - 1 - i] = slot;
          slot = 0;
          ++i;
        }
        if (r == highest) break;
      }
      return;
    }
    for (std::size_t i = 0; i < placed; ++i) byRank_[rank[litVar(lits[i])]] = 0;
  }
  // The comparison sort on rank and literal packed into one word: the
  // same comparisons as CompareLiterals, so the same permutation.
  keyed_.resize(n);
  for (std::size_t i = 0; i < n; ++i) keyed_[i] = static_cast<uint64_t>(rank[litVar(lits[i])]) << 32 | lits[i];
  const auto deeper = [](uint64_t a, uint64_t b) { return (a >> 32) > (b >> 32); };
  if (ascending)
    std::sort(keyed_.rbegin(), keyed_.rend(), deeper);
  else
    std::sort(keyed_.begin(), keyed_.end(), deeper);
  for (std::size_t i = 0; i < n; ++i) lits[i] = static_cast<Literal>(keyed_[i]);
}

}  // namespace vorn
