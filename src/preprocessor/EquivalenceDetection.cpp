// Finding definitions: AND-type from one clause and the binaries of its
// literals, XOR-type from four three-literal clauses of one parity.
#include <cassert>

#include "preprocessor/Equivalences.h"

namespace vorn {

long Equivalences::computeMaxScore_(CnfFormula& F, CnfLiteral lit) const {
  if (!F.covers(lit)) return 0;
  long score = 0;
  for (ClauseId id : F.occs(lit)) score += static_cast<long>(F.clauses[id].size());
  for (ClauseId id : F.occs(-lit)) score += static_cast<long>(F.clauses[id].size());
  return score;
}

bool Equivalences::checkEqui_(CnfFormula& F, ClauseId id) {
  const std::vector<CnfLiteral>& c = F.clauses[id];
  const std::size_t n = c.size();
  if (n == 0) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const CnfLiteral l = c[i];
    // Literals come in block order: once outside the deepest block, no
    // later literal may be defined by the others (it would be defined by
    // atoms quantified inside it).
    if (F.isGreater(l, c[0])) return false;
    if (!F.covers(l)) continue;
    const std::vector<CnfLiteral>& B = F.partners(-l);
    const std::size_t need = n - 1;
    if (need > B.size()) continue;
    // Merge walk over two lists in clause order, comparing atoms only.
    std::size_t j = 0, k = 0, count = 0;
    while (k < n && j < B.size()) {
      const CnfLiteral x = c[k];
      if (atomOf(x) == atomOf(l)) {
        ++k;
        continue;
      }
      const CnfLiteral b = B[j];
      if (x + b == 0) {
        ++count;
        ++k;
        ++j;
      } else if (atomOf(x) > atomOf(b)) {
        break;
      } else {
        ++j;
      }
    }
    if (count != need || graph.isDefined(atomOf(l))) continue;

    definition_.assign(1, l);
    for (CnfLiteral x : c)
      if (x != l) definition_.push_back(-x);
    graph.addDefinition(definition_, false);
    removeEquiFromFormula_(F, id, l);
    return true;
  }
  return false;
}

void Equivalences::removeEquiFromFormula_(CnfFormula& F, ClauseId id, CnfLiteral lit) {
  clause_ = F.clauses[id];
  for (CnfLiteral x : clause_) {
    coverAtom_(atomOf(x));
    clauseNegation[atomOf(x)] = -x;
  }
  // The binaries (-lit, -x), every stored copy.
  collected_.clear();
  for (ClauseId e : F.occs(-lit)) {
    const std::vector<CnfLiteral>& b = F.clauses[e];
    if (b.size() == 2 && clauseNegation[atomOf(b[0])] == b[0] && clauseNegation[atomOf(b[1])] == b[1])
      collected_.push_back(e);
  }
  for (std::size_t i = collected_.size(); i-- > 0;) F.removeClause(collected_[i]);
  for (CnfLiteral x : clause_) {
    // Removal reorders partner lists; the AND test needs them sorted.
    F.sortBinary(-x);
    clauseNegation[atomOf(x)] = 0;
  }
  F.removeClause(id);
}

namespace {

// Which literals of e are negated relative to r (bit i for r[i]); e holds
// the atoms of r.
int signPattern(const std::vector<CnfLiteral>& e, const CnfLiteral r[3]) {
  int mask = 0;
  for (CnfLiteral y : e)
    for (int i = 0; i < 3; ++i)
      if (y == -r[i]) mask |= 1 << i;
  return mask;
}

// Four clauses with four different sign patterns: a duplicate must not
// stand in for a missing clause of the group.
bool fourDistinct(const CnfFormula& F, const std::vector<ClauseId>& group, const CnfLiteral r[3]) {
  if (group.size() != 4) return false;
  int seen = 0;
  for (ClauseId e : group) {
    int bit = 1 << signPattern(F.clauses[e], r);
    if (seen & bit) return false;
    seen |= bit;
  }
  return true;
}

}  // namespace

bool Equivalences::check3Equi_(CnfFormula& F, ClauseId id) {
  if (!useThreeEqui) return false;
  assert(F.clauses[id].size() == 3);
  const CnfLiteral r[3] = {F.clauses[id][0], F.clauses[id][1], F.clauses[id][2]};
  coverClauses_(F.slotCount());

  candidates_.clear();
  auto count = [&](CnfLiteral lit, std::vector<int32_t>& counter) {
    const std::vector<ClauseId>& occ = F.occs(lit);
    if (occ.size() < 2) return false;
    for (ClauseId e : occ) {
      if (F.clauses[e].size() != 3) continue;
      ++counter[e];
      if (seenClause[e] == 0) {
        candidates_.push_back(e);
        seenClause[e] = 1;
      }
    }
    return true;
  };
  bool enough = true;
  for (int i = 0; i < 3 && enough; ++i) enough = F.covers(r[i]) && count(r[i], sameSignCount) && count(-r[i], oppositeSignCount);

  // Same parity as the trigger: 0 or 2 literals flipped; opposite: 1 or 3.
  std::vector<ClauseId>& same = sameParity_;
  std::vector<ClauseId>& opposite = oppositeParity_;
  same.clear();
  opposite.clear();
  for (ClauseId e : candidates_) {
    const int32_t s = sameSignCount[e], o = oppositeSignCount[e];
    if (enough) {
      if ((s == 3 && o == 0) || (s == 1 && o == 2))
        same.push_back(e);
      else if ((s == 0 && o == 3) || (s == 2 && o == 1))
        opposite.push_back(e);
    }
    sameSignCount[e] = oppositeSignCount[e] = seenClause[e] = 0;
  }
  if (!enough) return false;

  if (fourDistinct(F, same, r)) {
    threeEquiRecords.push_back({id, r[0], r[1], r[2]});
    for (ClauseId e : same) F.removeClause(e);
    return true;
  }
  if (fourDistinct(F, opposite, r)) {
    // The group is the trigger's literals with the first one flipped; the
    // trigger clause stays in the formula.
    threeEquiRecords.push_back({id, -r[0], r[1], r[2]});
    for (ClauseId e : opposite) F.removeClause(e);
    return true;
  }
  return false;
}

void Equivalences::compute3EquiGraph_(CnfFormula& F) {
  for (const ThreeEquiRecord& T : threeEquiRecords) {
    const CnfLiteral t[3] = {T[1], T[2], T[3]};
    // The deepest of the three, and only then the test whether it is
    // defined: an outer atom is never defined by an inner one.
    int chosen = 0;
    for (int j = 1; j < 3; ++j)
      if (F.isGreater(t[chosen], t[j])) chosen = j;
    const CnfLiteral v = t[chosen];
    if (!graph.isDefined(atomOf(v))) {
      definition_.assign(1, v);
      for (int j = 0; j < 3; ++j)
        if (j != chosen) definition_.push_back(-t[j]);
      graph.addDefinition(definition_, true);
      continue;
    }
    store_({t[2], t[0], t[1]}, F);
    store_({t[2], -t[0], -t[1]}, F);
    store_({-t[2], t[0], -t[1]}, F);
    store_({-t[2], -t[0], t[1]}, F);
  }
}

}  // namespace vorn
