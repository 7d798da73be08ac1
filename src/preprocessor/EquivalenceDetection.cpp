// Finding definitions: AND-type from one clause and the binaries of its
// literals, XOR-type from four three-literal clauses of one parity.
#include <algorithm>
#include <cassert>
#include <utility>

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

// Where clause e stands in the occurrence lists of atom's two literals:
// the lists of the positive literal first. The parity groups are taken
// out in this order.
std::pair<int, int32_t> Equivalences::occurrenceRank_(const CnfFormula& F, ClauseId e, CnfLiteral lit) {
  const std::vector<CnfLiteral>& c = F.clauses[e];
  std::size_t k = 0;
  while (atomOf(c[k]) != atomOf(lit)) ++k;
  assert(k < c.size());
  return {c[k] == lit ? 0 : 1, F.placeOf(e, k)};
}

bool Equivalences::check3Equi_(CnfFormula& F, ClauseId id) {
  if (!useThreeEqui) return false;
  assert(F.clauses[id].size() == 3);
  const CnfLiteral r[3] = {F.clauses[id][0], F.clauses[id][1], F.clauses[id][2]};
  // A group of four puts each literal and its negation in two clauses
  // at least. The member clauses hold all three atoms, so the lists of
  // the rarest atom find them all.
  int rarest = 0;
  std::size_t fewest = 0;
  for (int i = 0; i < 3; ++i) {
    if (!F.covers(r[i])) return false;
    const std::size_t pos = F.occs(r[i]).size(), neg = F.occs(-r[i]).size();
    if (pos < 2 || neg < 2) return false;
    if (i == 0 || pos + neg < fewest) rarest = i, fewest = pos + neg;
  }

  // Same parity as the trigger: 0 or 2 literals flipped; opposite: 1 or 3.
  std::vector<ClauseId>& same = sameParity_;
  std::vector<ClauseId>& opposite = oppositeParity_;
  same.clear();
  opposite.clear();
  for (CnfLiteral lit : {r[rarest], -r[rarest]})
    for (ClauseId e : F.occs(lit)) {
      const std::vector<CnfLiteral>& c = F.clauses[e];
      if (c.size() != 3) continue;
      int s = 0, o = 0;
      for (CnfLiteral y : c)
        for (CnfLiteral x : r) {
          s += y == x;
          o += y == -x;
        }
      if ((s == 3 && o == 0) || (s == 1 && o == 2))
        same.push_back(e);
      else if ((s == 0 && o == 3) || (s == 2 && o == 1))
        opposite.push_back(e);
    }
  for (std::vector<ClauseId>* group : {&same, &opposite})
    std::sort(group->begin(), group->end(), [&](ClauseId a, ClauseId b) {
      return occurrenceRank_(F, a, r[0]) < occurrenceRank_(F, b, r[0]);
    });

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
