// Subsumption and self-subsuming resolution. The checks count, through
// the occurrence lists, how many literals each stored clause shares with
// a list, so they touch only the clauses that share a literal with it.
#include <cassert>

#include "preprocessor/CnfFormula.h"

namespace vorn {

bool CnfFormula::checkSubsumption(std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed) {
  minimizeClause(lits);
  if (lits.empty() || !useSubsumption) return false;
  return checkSubsumption_(lits, subsumed);
}

bool CnfFormula::checkSubsumption_(const std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed) {
  if (static_cast<std::size_t>(slotCount()) >= sharedCount.size())
    sharedCount.resize(static_cast<std::size_t>(slotCount()) + 1, 0);
  for (ClauseId c : touchedIds) sharedCount[c] = 0;
  touchedIds.clear();

  for (CnfLiteral l : lits) {
    if (!covers(l)) continue;
    for (ClauseId c : occs(l)) {
      if (sharedCount[c]++ == 0) touchedIds.push_back(c);
    }
  }
  const int32_t n = static_cast<int32_t>(lits.size());
  for (ClauseId c : touchedIds) {
    int32_t k = sharedCount[c];
    int32_t len = static_cast<int32_t>(clauses[c].size());
    if (k == n) {
      if (k == len) return true;  // equal
      subsumed.push_back(c);
    } else if (k == len) {
      return true;  // c subsumes the list
    }
  }
  return false;
}

bool CnfFormula::checkSelfSubsumption(ClauseId id, std::vector<ClauseId>& removeIds,
                                      std::vector<std::vector<CnfLiteral>>& resolvents) {
  if (!useSubsumption) return false;
  if (!isStored(id)) return true;
  // The counts describe the clauses stored before id, against id's literals.
  const std::vector<CnfLiteral>& n = clauses[id];
  const int32_t len = static_cast<int32_t>(n.size());
  ClauseId strengthener = 0;
  CnfLiteral strengthenerPivot = 0;
  std::vector<CnfLiteral> resolvent;
  for (CnfLiteral l : n) {
    if (!covers(l)) continue;
    for (ClauseId c : occs(-l)) {
      int32_t clen = static_cast<int32_t>(clauses[c].size());
      if (clen < 2) continue;
      assert(static_cast<std::size_t>(c) < sharedCount.size());
      int32_t k = sharedCount[c];
      if (k == len - 1) {
        // c holds every literal of id but l, and -l.
        if (clen == len) {
          if (strengthener == 0) strengthener = c, strengthenerPivot = l;
        } else if (resolution_(n, clauses[c], l, resolvent)) {
          removeIds.push_back(c);
          resolvents.push_back(resolvent);
        }
      } else if (k == clen - 1) {
        // Every literal of c but -l stands in id.
        if (strengthener == 0) strengthener = c, strengthenerPivot = l;
      }
    }
  }
  if (strengthener != 0 && resolution_(n, clauses[strengthener], strengthenerPivot, resolvent)) {
    removeIds.push_back(id);
    resolvents.push_back(resolvent);
  }
  return true;
}

bool CnfFormula::resolution_(const std::vector<CnfLiteral>& a, const std::vector<CnfLiteral>& b, CnfLiteral pivot,
                             std::vector<CnfLiteral>& resolvent) {
  resolvent.clear();
  const CnfLiteral pivotAtom = atomOf(pivot);
  bool clash = false;
  auto take = [&](CnfLiteral x) {
    CnfLiteral atom = atomOf(x);
    if (atom == pivotAtom) return;
    if (static_cast<std::size_t>(atom) >= literalMark.size()) literalMark.resize(static_cast<std::size_t>(atom) + 1, 0);
    CnfLiteral& mark = literalMark[atom];
    if (mark == 0) {
      mark = x;
      resolvent.push_back(x);
    } else if (mark != x) {
      clash = true;
    }
  };
  for (CnfLiteral x : a) take(x);
  for (CnfLiteral x : b) take(x);
  for (CnfLiteral x : resolvent) literalMark[atomOf(x)] = 0;
  if (clash) resolvent.clear();
  return !clash;
}

}  // namespace vorn
