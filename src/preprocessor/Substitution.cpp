// Eliminating a defined literal: resolution of its clauses with the
// definition's clauses within a size bound; otherwise the definition goes
// back, or (-er) the atom is split so each sign keeps the half it needs.
#include <cassert>

#include "preprocessor/Equivalences.h"

namespace vorn {

namespace {
const std::vector<ClauseId> kNoClauses;
}  // namespace

void Equivalences::beginResolvent_() { resolventStart_ = resolventLits_.size(); }

void Equivalences::closeResolvent_(bool tautology) {
  if (tautology) {
    resolventLits_.resize(resolventStart_);
    return;
  }
  produced_ += static_cast<long>(resolventLits_.size() - resolventStart_);
  resolventEnds_.push_back(resolventLits_.size());
}

bool Equivalences::substitute_(const EquiDefinition& d, CnfFormula& F) {
  const CnfLiteral v = d[0];
  const std::size_t n = d.size(), m = n - 1;
  const bool isXorType = graph.isXor(atomOf(v));
  assert(n >= 2 && (!isXorType || n == 3));
  // The clauses of v and -v plus the definition's own clause set.
  const long bound = computeMaxScore_(F, v) + (isXorType ? 12 : 3 * static_cast<long>(n) - 2);
  if (n > 2 && !useSubstitution) return rewrite_(d, F);

  const float limit = static_cast<float>(bound);
  // One body literal: every resolvent is no longer than the clause it
  // replaces, so there is nothing to bound.
  auto within = [&]() { return n == 2 || static_cast<float>(produced_) * kf <= limit; };

  coverAtom_(F.maxAtom);
  for (std::size_t k = 1; k <= m; ++k) bodyLiteral[atomOf(d[k])] = d[k];
  resolventLits_.clear();
  resolventEnds_.clear();
  produced_ = 0;

  const std::vector<ClauseId>& P = F.covers(v) ? F.occs(v) : kNoClauses;
  const std::vector<ClauseId>& N = F.covers(v) ? F.occs(-v) : kNoClauses;

  // E without the literal of v's atom, next to own literals s1 (and s2):
  // a literal of their atoms is a repeat or makes a tautology.
  auto resolve = [&](const std::vector<CnfLiteral>& E, CnfLiteral s1, CnfLiteral s2) {
    beginResolvent_();
    resolventLits_.push_back(s1);
    if (s2 != 0) resolventLits_.push_back(s2);
    bool tautology = false;
    for (CnfLiteral x : E) {
      if (atomOf(x) == atomOf(v)) continue;
      if (atomOf(x) == atomOf(s1) || (s2 != 0 && atomOf(x) == atomOf(s2))) {
        if (x == s1 || x == s2) continue;
        tautology = true;
        break;
      }
      resolventLits_.push_back(x);
    }
    closeResolvent_(tautology);
  };

  if (!P.empty()) {
    for (std::size_t e = 0; e < P.size() && within(); ++e) {
      const std::vector<CnfLiteral>& E = F.clauses[P[e]];
      if (isXorType) {
        // v <-> (p <-> q): (v | R) becomes (-p | q | R) & (p | -q | R).
        const CnfLiteral p = d[1], q = d[2];
        resolve(E, -p, q);
        if (within()) resolve(E, p, -q);
      } else {
        // With (-v | bj) for every j.
        for (std::size_t j = 1; j <= m && within(); ++j) resolve(E, d[j], 0);
      }
    }
  }
  if (!N.empty() && within()) {
    for (std::size_t e = 0; e < N.size() && within(); ++e) {
      const std::vector<CnfLiteral>& E = F.clauses[N[e]];
      if (isXorType) {
        // (-v | R) becomes (p | q | R) & (-p | -q | R).
        const CnfLiteral p = d[1], q = d[2];
        resolve(E, p, q);
        if (within()) resolve(E, -p, -q);
      } else {
        // With the defining clause (v | -b1 | ... | -bm).
        beginResolvent_();
        bool tautology = false;
        for (CnfLiteral x : E) {
          if (x == -v) continue;
          const CnfLiteral b = bodyLiteral[atomOf(x)];
          if (b != 0) {
            if (x == -b) continue;
            tautology = true;
            break;
          }
          resolventLits_.push_back(x);
        }
        if (!tautology)
          for (std::size_t k = 1; k <= m; ++k) resolventLits_.push_back(-d[k]);
        closeResolvent_(tautology);
      }
    }
  }
  for (std::size_t k = 1; k <= m; ++k) bodyLiteral[atomOf(d[k])] = 0;

  if (n > 2 && (!useSubstitution || limit < static_cast<float>(produced_) * kf)) return rewrite_(d, F);

  if (isXorType) {
    ++eq3Substitutions;
  } else {
    ++eqSubstitutions;
    const float len = static_cast<float>(n);
    defLengthSum += len;
    if (defLengthMin == 0.0f || defLengthMin > len) defLengthMin = len;
    if (defLengthMax < len) defLengthMax = len;
  }

  // Last entry first: the store hands freed ids out again last in, first out.
  if (F.covers(v)) {
    while (!F.occs(v).empty()) F.removeClause(F.occs(v).back());
    while (!F.occs(-v).empty()) F.removeClause(F.occs(-v).back());
  }

  std::vector<ClauseId>& S = subsumed_;
  S.clear();
  auto removeSubsumed = [&]() {
    for (ClauseId s : S) F.removeClause(s);  // a free slot is ignored
    S.clear();
  };
  std::size_t from = 0;
  for (std::size_t r = 0; r < resolventEnds_.size(); ++r) {
    work_.assign(resolventLits_.begin() + static_cast<std::ptrdiff_t>(from),
                 resolventLits_.begin() + static_cast<std::ptrdiff_t>(resolventEnds_[r]));
    from = resolventEnds_[r];
    // A stored clause subsumes it; what it subsumes is subsumed by that
    // clause too and goes with the next stored resolvent.
    if (F.checkSubsumption(work_, S)) continue;
    const ClauseId id = F.addClause(work_);
    if (id == 0) return false;
    removeSubsumed();
    if (!useSelfSubsumption || F.clauses[id].size() < 2) continue;
    removeIds_.clear();
    selfResolvents_.clear();
    F.checkSelfSubsumption(id, removeIds_, selfResolvents_);
    for (ClauseId c : removeIds_) F.removeClause(c);
    for (std::vector<CnfLiteral>& c : selfResolvents_) {
      if (!F.checkSubsumption(c, S) && F.addClause(c) == 0) return false;
      removeSubsumed();
    }
  }
  return true;
}

bool Equivalences::rewrite_(const EquiDefinition& d, CnfFormula& F) {
  const CnfLiteral v = d[0];
  const std::size_t m = d.size() - 1;
  const bool isXorType = graph.isXor(atomOf(v));
  if (!useRewriting) {
    keptDefinitions += 1.0f;
    putBack_(d, isXorType, F);
    return true;
  }

  // v keeps v -> body; a fresh w takes the place of -v, with w -> -v and
  // w -> not body. The defining clause does not come back.
  if (isXorType)
    ++eq3Rewritings;
  else
    ++eqRewritings;
  const CnfLiteral w = F.duplicateAtom(atomOf(v));
  coverAtom_(w);
  graph.coverAtom(w);

  candidates_.clear();
  if (F.covers(v)) candidates_ = F.occs(-v);
  if (pending_.size() < candidates_.size() + 1) pending_.resize(candidates_.size() + 1);
  std::size_t pendingCount = 0;
  for (std::size_t i = candidates_.size(); i-- > 0;) {
    const ClauseId id = candidates_[i];
    std::vector<CnfLiteral>& list = pending_[pendingCount++];
    list.clear();
    for (CnfLiteral x : F.clauses[id]) list.push_back(x == -v ? w : x);
    F.removeClause(id);
  }
  pending_[pendingCount++].assign({-v, -w});

  if (isXorType) {
    const CnfLiteral p = d[1], q = d[2];
    store_({-w, p, q}, F);
    store_({-w, -p, -q}, F);
    store_({-v, p, -q}, F);
    store_({-v, -p, q}, F);
  } else {
    for (std::size_t k = 1; k <= m; ++k) store_({-v, d[k]}, F);
    clause_.assign(1, -w);
    for (std::size_t k = 1; k <= m; ++k) clause_.push_back(-d[k]);
    work_ = clause_;
    const ClauseId id = F.addClause(work_);
    assert(id != 0);
    (void)id;
  }

  std::vector<ClauseId>& S = subsumed_;
  S.clear();
  for (std::size_t i = 0; i < pendingCount; ++i) {
    std::vector<CnfLiteral>& list = pending_[i];
    if (F.checkSubsumption(list, S)) continue;
    const ClauseId id = F.addClause(list);
    assert(id != 0);  // it holds w or -v
    (void)id;
  }
  for (std::size_t i = S.size(); i-- > 0;) F.removeClause(S[i]);
  return true;
}

}  // namespace vorn
