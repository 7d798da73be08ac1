// The initial term of a complete assignment: true literals that together
// satisfy every input clause, with as few universal literals as can be
// managed. Universal literals go first (innermost first), each dropped
// when every clause it stands in is covered by another literal of the
// term, if need be by flipping an existential "don't care" variable;
// then existential literals (outermost first) whose clauses are covered.
//
// Terms from satisfying assignments: Zhang, Malik, "Towards a Symmetric
// Treatment of Satisfaction and Conflicts in Quantified Boolean Formula
// Evaluation", CP 2002.
#include <algorithm>

#include "strategies/Backtrack.h"

namespace vorn {

Literal Backtrack::trueLiteral_(uint32_t v) const {
  const Literal word = formula.prefix.atomWord[v];
  return formula.value[v] < 0 ? (word | kSignBit) : word;
}

// A don't-care variable may change its value; never one of the top level,
// where nothing would ever undo a clause that two such values both left
// to the other.
bool Backtrack::flippable_(Literal l) const {
  return formula.reasonKindOf(l) == DontCare && formula.levelOf(l) > 1;
}

// l is true, stays in the term and will not be flipped away.
bool Backtrack::coversFor_(Literal l) const {
  return formula.isTrue(l) && inTerm[litVar(l)] && !planned[litCode(l) ^ 1u];
}

void Backtrack::plan_(Literal l) {
  tentative.push_back(l);
  planned[litCode(l)] = 1;
}

bool Backtrack::coverClause_(uint32_t id, Literal u) {
  const watchedOccs_& entry = formula.watchedOccs[OrigClause][id];
  for (const Literal w : {entry.watch2, entry.watch1}) {
    if (w == 0 || !flippable_(w)) continue;
    if (planned[litCode(w) ^ 1u]) return false;
    plan_(w);
    return true;
  }
  for (const Literal w : {entry.watch2, entry.watch1})
    if (w != 0 && w != u && coversFor_(w)) return true;
  for (const uint32_t* p = NConstraint::literals(entry.begin); *p; ++p) {
    const Literal l = *p;
    if (l == u) continue;
    if (flippable_(l)) {
      if (planned[litCode(l) ^ 1u]) continue;
      plan_(l);
      return true;
    }
    if (coversFor_(l)) return true;
  }
  return false;
}

// True when every input clause of the universal literal u is covered
// without it; the plans made on the way are in `tentative`.
bool Backtrack::examineUniversal_(Literal u) {
  const uint32_t code = litCode(u);
  const WordList& partners = formula.bOccs[OrigClause][code];
  for (std::size_t i = 1; i < partners.size(); ++i) {
    const Literal p = partners[i];
    if (formula.isTrue(p) && inTerm[litVar(p)]) {
      if (planned[litCode(p) ^ 1u]) return false;
    } else if (flippable_(p) && !planned[litCode(p) ^ 1u]) {
      plan_(p);
    } else {
      return false;
    }
  }
  for (const uint32_t id : formula.nOccs[OrigClause][code])
    if (!coverClause_(id, u)) return false;
  return true;
}

bool Backtrack::existentialRemovable_(Literal t) const {
  const uint32_t code = litCode(t);
  const WordList& partners = formula.bOccs[OrigClause][code];
  for (std::size_t i = 1; i < partners.size(); ++i)
    if (!coversFor_(partners[i])) return false;
  for (const uint32_t id : formula.nOccs[OrigClause][code]) {
    const watchedOccs_& entry = formula.watchedOccs[OrigClause][id];
    bool covered = false;
    for (const Literal w : {entry.watch2, entry.watch1})
      if (w != 0 && w != t && coversFor_(w)) covered = true;
    for (const uint32_t* p = NConstraint::literals(entry.begin); !covered && *p; ++p)
      if (*p != t && coversFor_(*p)) covered = true;
    if (!covered) return false;
  }
  return true;
}

void Backtrack::applyFlips_() {
  DynFormula& f = formula;
  for (const Literal x : flips) {
    const uint32_t v = litVar(x);
    const uint32_t code = litCode(x);
    if (!f.isTrue(x)) {
      f.reasons[code ^ 1u] = reasonItem_{0, NoReason};
      f.value[v] = -f.value[v];
      f.trail[f.trailPos[v]] = x;
    }
    f.reasons[code].kind = Pure;
    // Let readers of the watch words see the clause satisfied by x.
    const uint32_t level = f.levelOf(x);
    for (const uint32_t id : f.nOccs[OrigClause][code]) {
      watchedOccs_& entry = f.watchedOccs[OrigClause][id];
      if (f.levelOf(entry.watch1) > level) entry.watch1 = x;
      if (f.levelOf(entry.watch2) > level) entry.watch2 = x;
    }
  }
  flips.clear();
  tentative.clear();
}

void Backtrack::computeSolution_(std::vector<Literal>& out) {
  DynFormula& f = formula;
  Prefix& prefix = f.prefix;
  ensureSized_();
  termLits.clear();
  const uint32_t assigned = f.trailSize;

  // Monotone universal values and don't-care existentials carry nothing.
  for (uint32_t i = 0; i < assigned; ++i) {
    const Literal l = f.trail[i];
    const uint32_t kind = f.reasonKindOf(l);
    if ((!litExistential(l) && isPureKind(kind)) || (litExistential(l) && kind == DontCare))
      inTerm[litVar(l)] = 0;
  }

  // Universal pass, innermost first: the reverse walk over the universal
  // blocks, read from the blocks directly.
  const std::vector<std::vector<uint32_t>>& blocks = prefix.blocks;
  for (std::size_t b = blocks.size(); b-- > 0;) {
    if (Prefix::blockQuantifier(b) != Forall) continue;
    for (std::size_t pos = blocks[b].size(); pos-- > 0;) {
      const uint32_t word = blocks[b][pos];
      if (word == NULL_ATOM) continue;
      const uint32_t v = litVar(word);
      if (!inTerm[v] || !f.isAssigned(word)) continue;
      const Literal u = trueLiteral_(v);
      const uint32_t code = litCode(u);
      if (f.bOccs[OrigClause][code].size() <= 1 && f.nOccs[OrigClause][code].empty()) {
        inTerm[v] = 0;
        continue;
      }
      for (const Literal t : tentative)
        if (!committed[litCode(t)]) planned[litCode(t)] = 0;
      tentative.clear();
      if (!examineUniversal_(u)) continue;  // stays; its plans lapse at the next one
      for (const Literal t : tentative) {
        if (committed[litCode(t)]) continue;
        flips.push_back(t);
        committed[litCode(t)] = 1;
        inTerm[litVar(t)] = 1;
      }
      tentative.clear();
      inTerm[v] = 0;
    }
  }

  // Existential pass, outermost first; nothing is planned here.
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    if (Prefix::blockQuantifier(b) != Exists) continue;
    for (const uint32_t word : blocks[b]) {
      if (word == NULL_ATOM) continue;
      const uint32_t v = litVar(word);
      if (!inTerm[v] || !f.isAssigned(word)) continue;
      if (committed[litCode(word)] || committed[litCode(word) ^ 1u]) continue;
      const Literal t = trueLiteral_(v);
      if (isUnitKind(f.reasonKindOf(t))) continue;
      if (existentialRemovable_(t)) inTerm[v] = 0;
    }
  }
  // Where the two walks of the prefix would have left its cursors.
  prefix.rcursorBlock = -1;
  prefix.rcursorPos = static_cast<long>(blocks[0].size()) - 1;
  prefix.cursorBlock = blocks.size();
  prefix.cursorPos = 0;

  applyFlips_();

  // The term in ascending prefix order: the trail literals of the term's
  // variables taken in rank order, which is what sorting the trail's
  // (one literal per variable) gives.
  ensureRanks_();
  uint32_t met = 0;
  for (const uint32_t v : rankedVars_) {
    if (v >= f.value.size() || f.value[v] == 0) continue;
    ++met;
    if (!inTerm[v]) continue;
    const Literal l = f.trail[f.trailPos[v]];
    reasonItem_& r = f.reasons[litCode(l)];
    if (r.kind == DontCare) r.kind = Pure;
    termLits.push_back(l | kTermBit);
  }
  if (met != assigned) {
    // Trail and values disagree (a formula put together by hand): take
    // the trail as it stands.
    termLits.clear();
    for (uint32_t i = 0; i < assigned; ++i) {
      const Literal l = f.trail[i];
      if (!inTerm[litVar(l)]) continue;
      reasonItem_& r = f.reasons[litCode(l)];
      if (r.kind == DontCare) r.kind = Pure;
      termLits.push_back(l | kTermBit);
    }
    sortAscending_(termLits);
  }
  // Existential reduction: what stands behind every universal literal.
  std::size_t kept = termLits.size();
  while (kept > 0 && litExistential(termLits[kept - 1])) --kept;

  out.clear();
  for (std::size_t i = kept; i > 0; --i) out.push_back(termLits[i - 1]);
  computeUIPs_(out.data(), out.data() + out.size());
  out.push_back(0);

  std::fill(inTerm.begin(), inTerm.end(), 1);
  std::fill(planned.begin(), planned.end(), 0);
  std::fill(committed.begin(), committed.end(), 0);
  ++f.emptyCount;
}

}  // namespace vorn
