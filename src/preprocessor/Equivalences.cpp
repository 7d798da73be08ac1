// The sweep of the equivalence pass and the put-back of definitions.
#include "preprocessor/Equivalences.h"

#include <cassert>
#include <cstdlib>
#include <initializer_list>

#include "driver/CommandLine.h"

namespace vorn {

namespace {

EquivalenceSwitches switchesFrom(CommandLine& options) {
  auto given = [&](const char* name) { return options.getPar(name) != nullptr; };
  EquivalenceSwitches s;
  s.selfSubsumption = given(kOptionAllSimplifications) || given(kOptionSelfSubsumption);
  const char* factor = options.getPar(kOptionSubstitutionBoundFactor);
  s.kf = factor != nullptr ? static_cast<float>(std::strtod(factor, nullptr)) : 1.0f;
  s.substitution = given(kOptionAllSimplifications) || given(kOptionEquivalenceSubstitution);
  s.rewriting = given(kOptionAllSimplifications) || given(kOptionEquivalenceRewriting);
  s.threeEqui = given(kOptionAllSimplifications) || given(kOptionThreeEquivalence);
  return s;
}

}  // namespace

Equivalences::Equivalences(long atoms, long clauses, CommandLine& options)
    : Equivalences(atoms, clauses, switchesFrom(options)) {}

Equivalences::Equivalences(long atoms, long /*clauses*/, const EquivalenceSwitches& switches)
    : kf(switches.kf),
      useSubstitution(switches.substitution),
      useRewriting(switches.rewriting),
      useThreeEqui(switches.threeEqui),
      useSelfSubsumption(switches.selfSubsumption) {
  coverAtom_(static_cast<CnfLiteral>(atoms < 0 ? 0 : atoms));
}

void Equivalences::coverAtom_(CnfLiteral atom) {
  const std::size_t n = static_cast<std::size_t>(atom) + 1;
  if (clauseNegation.size() < n) clauseNegation.resize(n, 0);
  if (bodyLiteral.size() < n) bodyLiteral.resize(n, 0);
}

PassResult Equivalences::operator()(CnfFormula& F) {
  if (!useSubstitution && !useRewriting && !useThreeEqui) return PassUndecided;

  coverAtom_(F.maxAtom);
  graph.reset(F.maxAtom);
  threeEquiRecords.clear();

  // The AND test walks partner lists in clause order.
  F.sortBinary();

  // Detection only removes clauses; the walk goes on from its cursor.
  for (ClauseId id = F.getBeginClause(); id != F.getEndClause(); id = F.getNextClause()) {
    if (id >= F.slotCount()) continue;
    const std::size_t size = F.clauses[id].size();
    if (size < 2) continue;
    if (size == 3 && check3Equi_(F, id)) continue;
    checkEqui_(F, id);
  }
  if (useThreeEqui) compute3EquiGraph_(F);

  graph.build();
  graph.search();
  badEquivalences_(F);

  for (graph.goodCursor = 0; graph.goodCursor < static_cast<int32_t>(graph.good.size()); ++graph.goodCursor) {
    // A copy: rewriting grows the per-atom lists of the graph.
    definition_ = graph.definitionOf(graph.good[graph.goodCursor]);
    // The formula is false; what is left out no longer matters.
    if (!substitute_(definition_, F)) return PassFalse;
  }
  return PassUndecided;
}

void Equivalences::badEquivalences_(CnfFormula& F) {
  for (graph.badCursor = 0; graph.badCursor < static_cast<int32_t>(graph.bad.size()); ++graph.badCursor) {
    const CnfLiteral atom = graph.bad[graph.badCursor];
    definition_ = graph.definitionOf(atom);
    putBack_(definition_, graph.isXor(atom), F);
  }
}

void Equivalences::store_(std::initializer_list<CnfLiteral> lits, CnfFormula& F) {
  work_.assign(lits.begin(), lits.end());
  ClauseId id = F.addClause(work_);
  // Every clause of a definition holds its existential defined literal.
  assert(id != 0);
  (void)id;
}

void Equivalences::putBack_(const EquiDefinition& d, bool isXorType, CnfFormula& F) {
  const CnfLiteral v = d[0];
  if (isXorType) {
    assert(d.size() == 3);
    const CnfLiteral p = d[1], q = d[2];
    store_({v, p, q}, F);
    store_({v, -p, -q}, F);
    store_({-v, p, -q}, F);
    store_({-v, -p, q}, F);
    return;
  }
  for (std::size_t k = 1; k < d.size(); ++k) store_({-v, d[k]}, F);
  clause_.assign(1, v);
  for (std::size_t k = 1; k < d.size(); ++k) clause_.push_back(-d[k]);
  work_ = clause_;
  ClauseId id = F.addClause(work_);
  assert(id != 0);
  (void)id;
}

}  // namespace vorn
