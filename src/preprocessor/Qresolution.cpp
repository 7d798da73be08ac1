#include "preprocessor/Qresolution.h"

#include <algorithm>
#include <cstdlib>

#include "driver/CommandLine.h"

namespace vorn {

Qresolution::Qresolution(bool selfSubsumption) : useSelfSubsumption_(selfSubsumption) {}

Qresolution::Qresolution(CommandLine& options)
    : Qresolution(
          options.getPar(kOptionSelfSubsumption) != nullptr || options.getPar(kOptionAllSimplifications) != nullptr) {
  if (const char* kf = options.getPar(kOptionQResolutionBoundFactor))
    factor_ = static_cast<float>(std::strtod(kf, nullptr));
  number_ = options.number;
}

PassResult Qresolution::operator()(CnfFormula&) { return PassUndecided; }

void Qresolution::coverAtoms_(const CnfFormula& formula) {
  std::size_t n = static_cast<std::size_t>(formula.maxAtom) + 1;
  if (seen_.size() < n) seen_.resize(n, 0);
  if (score_.size() < n) score_.resize(n, 0);
}

void Qresolution::dropPending_() {
  pending_.clear();
  pendingPivot_.clear();
  resolvedPairs_.clear();
  subsumed_.clear();
}

void Qresolution::changeScores_(const std::vector<CnfLiteral>& clause, int32_t sign) {
  const int32_t len = static_cast<int32_t>(clause.size());
  for (CnfLiteral l : clause) {
    std::size_t a = static_cast<std::size_t>(atomOf(l));
    if (a >= score_.size()) score_.resize(a + 1, 0);
    score_[a] += sign * len;
  }
}

bool Qresolution::innermostExistential_(CnfFormula& formula, CnfLiteral atom) const {
  // Only there is resolving an atom away the same as in propositional logic.
  return atom > 0 && formula.hasRecord(atom) && formula.isExist(atom) &&
         formula.blockOf(atom) == formula.innermostBlock();
}

bool Qresolution::qresolution_(ClauseId c1, ClauseId c2, CnfLiteral pivot, CnfFormula& formula, long& score) {
  const CnfLiteral atom = atomOf(pivot);
  if (!formula.isStored(c1) || !formula.isStored(c2) || !innermostExistential_(formula, atom)) return false;
  auto signIn = [&](ClauseId c) {
    for (CnfLiteral l : formula.clauses[c])
      if (atomOf(l) == atom) return l;
    return 0;
  };
  const CnfLiteral in1 = signIn(c1), in2 = signIn(c2);
  if (in1 == 0 || in2 != -in1) return false;
  coverAtoms_(formula);

  std::vector<CnfLiteral> r;
  bool tautology = false;
  int32_t deepest = -1;
  auto take = [&](CnfLiteral x) {
    CnfLiteral a = atomOf(x);
    if (a == atom || tautology) return;
    if (static_cast<std::size_t>(a) >= seen_.size()) seen_.resize(static_cast<std::size_t>(a) + 1, 0);
    if (seen_[a] == 0) {
      seen_[a] = x;
      r.push_back(x);
      deepest = std::max(deepest, formula.blockOf(a));
    } else if (seen_[a] != x) {
      tautology = true;
    }
  };
  for (CnfLiteral x : formula.clauses[c1]) take(x);
  for (CnfLiteral x : formula.clauses[c2]) take(x);
  for (CnfLiteral x : r) seen_[atomOf(x)] = 0;
  if (deepest > formula.blockOf(atom)) return false;

  resolvedPairs_.emplace_back(in1 > 0 ? c1 : c2, in1 > 0 ? c2 : c1);
  if (tautology) return true;
  std::vector<ClauseId> subsumedHere;
  if (formula.checkSubsumption(r, subsumedHere)) return true;
  for (ClauseId s : subsumedHere) {
    score -= static_cast<long>(formula.clauses[s].size());
    subsumed_.push_back(s);
  }
  score += static_cast<long>(r.size());
  pending_.push_back(std::move(r));
  pendingPivot_.push_back(atom);
  return true;
}

bool Qresolution::eliminateVar_(CnfLiteral atom, CnfFormula& formula) {
  atom = atomOf(atom);
  if (!innermostExistential_(formula, atom) || !formula.covers(atom)) {
    dropPending_();
    return false;
  }
  coverAtoms_(formula);
  bool complete = std::all_of(pendingPivot_.begin(), pendingPivot_.end(), [&](CnfLiteral p) { return p == atom; });
  std::sort(resolvedPairs_.begin(), resolvedPairs_.end());
  for (ClauseId p : formula.posOccs[atom])
    for (ClauseId n : formula.negOccs[atom])
      complete = complete && std::binary_search(resolvedPairs_.begin(), resolvedPairs_.end(), std::make_pair(p, n));
  if (!complete) {
    dropPending_();
    return false;
  }
  for (const std::vector<CnfLiteral>& r : pending_)
    if (r.empty()) {
      // An empty Q-resolvent: the formula is false.
      formula.formulaFalse = true;
      dropPending_();
      return false;
    }

  for (std::vector<ClauseId>* list : {&formula.posOccs[atom], &formula.negOccs[atom]})
    while (!list->empty()) {
      ClauseId c = list->back();
      changeScores_(formula.clauses[c], -1);
      formula.removeClause(c);
    }

  bool ok = true;
  std::vector<ClauseId> removeIds;
  std::vector<std::vector<CnfLiteral>> resolvents;
  for (std::size_t i = 0; i < pending_.size() && ok; ++i) {
    std::vector<CnfLiteral>& r = pending_[i];
    subsumed_.clear();
    if (formula.checkSubsumption(r, subsumed_)) continue;
    ClauseId id = formula.addClause(r);
    if (id == 0) {
      ok = false;
      break;
    }
    changeScores_(formula.clauses[id], +1);
    while (!subsumed_.empty()) {
      ClauseId s = subsumed_.back();
      subsumed_.pop_back();
      changeScores_(formula.clauses[s], -1);
      formula.removeClause(s);
    }
    if (!useSelfSubsumption_ || formula.clauses[id].size() < 2) continue;
    removeIds.clear();
    resolvents.clear();
    formula.checkSelfSubsumption(id, removeIds, resolvents);
    for (ClauseId c : removeIds) formula.removeClause(c);
    for (std::vector<CnfLiteral>& s : resolvents) {
      subsumed_.clear();
      if (!formula.checkSubsumption(s, subsumed_) && formula.addClause(s) == 0) {
        ok = false;
        break;
      }
      for (ClauseId c : subsumed_) formula.removeClause(c);
    }
  }
  dropPending_();
  if (!ok) {
    formula.formulaFalse = true;
    return false;
  }
  formula.removeAtom(atom);
  return true;
}

}  // namespace vorn
