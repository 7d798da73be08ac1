// Subsumption and self-subsuming resolution. The checks count, through
// the occurrence lists, how many literals each stored clause shares with
// a list, so they touch only the clauses that share a literal with it.
//
// Self-subsuming resolution: Een, Biere, "Effective Preprocessing in SAT
// through Variable and Clause Elimination", SAT 2005.
#include <algorithm>
#include <cassert>

#include "preprocessor/CnfFormula.h"

namespace vorn {

bool CnfFormula::checkSubsumption(std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed) {
  minimizeClause(lits);
  if (lits.empty() || !useSubsumption) return false;
  return checkSubsumption_(lits, subsumed);
}

namespace {
// Work per clause reached when lists are left out, against one step of a
// plain walk: the clause is scanned for the list's literals.
constexpr std::size_t kScanCost = 4;
}  // namespace

bool CnfFormula::checkSubsumption_(const std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed) {
  if (static_cast<std::size_t>(slotCount()) >= sharedCount.size())
    sharedCount.resize(static_cast<std::size_t>(slotCount()) + 1, 0);
  for (ClauseId c : touchedIds) sharedCount[c] = 0;
  touchedIds.clear();

  // Literals standing in most clauses would make every check walk the
  // whole formula; the other literals' lists find every clause that can
  // decide the check.
  const bool skipping = chooseSkipped_(lits);
  for (CnfLiteral l : lits) {
    if (!covers(l) || isSkipped_(l)) continue;
    for (ClauseId c : occs(l)) {
      if (sharedCount[c]++ == 0) touchedIds.push_back(c);
    }
  }
  if (skipping) return decideAroundSkipped_(lits, subsumed);

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

bool CnfFormula::chooseSkipped_(const std::vector<CnfLiteral>& lits) {
  skippedLiterals[0] = skippedLiterals[1] = 0;
  // At least one list is walked, so a clause no walked list reaches shares
  // at most lits.size() - 1 literals with the list.
  if (lits.size() < 2) return false;
  CnfLiteral first = 0, second = 0;
  std::size_t total = 0;
  auto length = [&](CnfLiteral l) { return l == 0 ? 0 : occs(l).size(); };
  for (CnfLiteral l : lits) {
    if (!covers(l)) continue;
    total += occs(l).size();
    if (length(l) > length(first))
      second = first, first = l;
    else if (length(l) > length(second))
      second = l;
  }
  // A clause that only left-out lists reach decides the check when it lies
  // within the list: a unit of a left-out literal, or the binary of both.
  auto usable = [&](CnfLiteral l) { return l != 0 && length(l) >= skippableLength && storedUnits(l) == 0; };
  if (!usable(first)) return false;
  const bool always = skippableLength == 0;
  std::size_t walked = total - length(first);
  if (lits.size() >= 3 && usable(second) && (always || kScanCost * (walked - length(second)) < walked)) {
    const std::vector<CnfLiteral>& a = partners(first).size() <= partners(second).size() ? partners(first) : partners(second);
    const CnfLiteral other = &a == &partners(first) ? second : first;
    if (std::find(a.begin(), a.end(), other) == a.end()) {
      skippedLiterals[1] = second;
      walked -= length(second);
    }
  }
  if (!always && kScanCost * walked >= total) {
    skippedLiterals[1] = 0;
    return false;
  }
  skippedLiterals[0] = first;

  if (listPosition.size() < static_cast<std::size_t>(maxAtom) + 1) listPosition.resize(static_cast<std::size_t>(maxAtom) + 1, 0);
  for (std::size_t i = 0; i < lits.size(); ++i) {
    const std::size_t a = static_cast<std::size_t>(atomOf(lits[i]));
    if (a >= listPosition.size()) listPosition.resize(a + 1, 0);
    if (listPosition[a] != 0) {
      // An atom twice: the counts would not be a clause's shared literals.
      for (std::size_t j = 0; j < i; ++j) listPosition[atomOf(lits[j])] = 0;
      skippedLiterals[0] = skippedLiterals[1] = 0;
      return false;
    }
    listPosition[a] = static_cast<int32_t>(i) + 1;
  }
  return true;
}

bool CnfFormula::decideAroundSkipped_(const std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed) {
  // A clause that only left-out lists reach neither holds the list nor
  // (see chooseSkipped_) lies within it. So the reached clauses decide,
  // once their counts include the left-out literals, in the order the
  // plain walk (list by list, each in stored order) meets them.
  const int32_t n = static_cast<int32_t>(lits.size());
  deciding_.clear();
  for (ClauseId c : touchedIds) {
    const std::vector<CnfLiteral>& clause = clauses[c];
    Deciding d{n, 0, c};
    for (std::size_t k = 0; k < clause.size(); ++k) {
      const CnfLiteral y = clause[k];
      const std::size_t a = static_cast<std::size_t>(atomOf(y));
      const int32_t at = a < listPosition.size() ? listPosition[a] - 1 : -1;
      if (at < 0 || lits[at] != y) continue;
      if (isSkipped_(y)) ++sharedCount[c];
      if (at < d.list) d.list = at, d.place = placeOf(c, k);
    }
    const int32_t k = sharedCount[c];
    if (k == n || k == static_cast<int32_t>(clause.size())) deciding_.push_back(d);
  }
  for (CnfLiteral l : lits) listPosition[atomOf(l)] = 0;

  std::sort(deciding_.begin(), deciding_.end());
  for (const Deciding& d : deciding_) {
    const int32_t k = sharedCount[d.id];
    if (k == static_cast<int32_t>(clauses[d.id].size())) return true;  // equal, or d.id subsumes the list
    subsumed.push_back(d.id);
  }
  return false;
}

int32_t CnfFormula::sharedWithChecked_(ClauseId c, int32_t listLength) const {
  int32_t k = sharedCount[c];
  if (k != 0 || skippedLiterals[0] == 0) return k;
  // Not reached: it shares left-out literals only, which matter only when
  // a length leaves that little room.
  const int32_t most = skippedLiterals[1] != 0 ? 2 : 1;
  const int32_t clauseLength = static_cast<int32_t>(clauses[c].size());
  if (listLength - 1 > most && clauseLength - 1 > most) return 0;
  for (CnfLiteral y : clauses[c]) k += isSkipped_(y);
  return k;
}

bool CnfFormula::reachedSuffice_(CnfLiteral l) const {
  if (skippedLiterals[0] == 0) return true;
  // An unreached clause counts only left-out literals; one holding -l can
  // count one only when it holds the other left-out literal.
  if (l != skippedLiterals[0] && l != skippedLiterals[1]) return false;
  const CnfLiteral other = l == skippedLiterals[0] ? skippedLiterals[1] : skippedLiterals[0];
  if (other == 0) return true;
  // Then the list is at least three long, so only the binary (-l other)
  // can decide.
  const std::vector<CnfLiteral>& a = partners(-l).size() <= partners(other).size() ? partners(-l) : partners(other);
  const CnfLiteral wanted = &a == &partners(-l) ? other : -l;
  return std::find(a.begin(), a.end(), wanted) == a.end();
}

void CnfFormula::collectReachedPivots_(const std::vector<CnfLiteral>& n) {
  // A clause decides a pivot only when it clashes with the list on that
  // pivot alone: a second clash leaves it two literals short of both
  // lengths. So each reached clause belongs to one pivot at most.
  const int32_t len = static_cast<int32_t>(n.size());
  for (std::size_t i = 0; i < n.size(); ++i) {
    const std::size_t a = static_cast<std::size_t>(atomOf(n[i]));
    if (a >= listPosition.size()) listPosition.resize(a + 1, 0);
    listPosition[a] = static_cast<int32_t>(i) + 1;
  }
  pivotFromReached_.assign(n.size(), false);
  for (std::size_t i = 0; i < n.size(); ++i) pivotFromReached_[i] = reachedSuffice_(n[i]);
  deciding_.clear();
  for (ClauseId c : touchedIds) {
    const std::vector<CnfLiteral>& clause = clauses[c];
    const int32_t clen = static_cast<int32_t>(clause.size());
    if (clen < 2) continue;  // removed since the check, or a unit
    const int32_t k = sharedCount[c];
    if (k != len - 1 && k != clen - 1) continue;
    for (std::size_t j = 0; j < clause.size(); ++j) {
      const std::size_t a = static_cast<std::size_t>(atomOf(clause[j]));
      const int32_t at = a < listPosition.size() ? listPosition[a] - 1 : -1;
      if (at < 0 || n[at] != -clause[j]) continue;
      if (pivotFromReached_[at]) deciding_.push_back(Deciding{at, placeOf(c, j), c});
      break;
    }
  }
  for (CnfLiteral l : n) listPosition[atomOf(l)] = 0;
  std::sort(deciding_.begin(), deciding_.end());
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
  auto visit = [&](ClauseId c, CnfLiteral l) {
    int32_t clen = static_cast<int32_t>(clauses[c].size());
    if (clen < 2) return;
    assert(static_cast<std::size_t>(c) < sharedCount.size());
    int32_t k = sharedWithChecked_(c, len);
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
  };
  // The clause a pivot's walk can act on shares a literal with id, so for
  // most pivots the clauses the check reached are all of them: those are
  // visited in the walk's order instead of walking a list that a common
  // literal makes as long as the formula.
  collectReachedPivots_(n);
  std::size_t next = 0;
  for (std::size_t i = 0; i < n.size(); ++i) {
    const CnfLiteral l = n[i];
    if (!covers(l)) continue;
    if (!pivotFromReached_[i]) {
      for (ClauseId c : occs(-l)) visit(c, l);
      continue;
    }
    for (; next < deciding_.size() && deciding_[next].list == static_cast<int32_t>(i); ++next) {
      assert(occs(-l)[deciding_[next].place] == deciding_[next].id);
      visit(deciding_[next].id, l);
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
