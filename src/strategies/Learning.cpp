// Learning: the asserting resolvent becomes a learned clause or term,
// watched on its asserting literal and a partner that may stand beside it,
// and the search backjumps to where it asserts.
#include <algorithm>
#include <cassert>

#include "strategies/Backtrack.h"

namespace vorn {

void Backtrack::markTermDependencies_(const std::vector<Literal>& lits) {
  // A later flip of the initial solution term must not undo a value that
  // this term rests on.
  for (const Literal l : lits) {
    if (!litExistential(l) || !formula.isTrue(l)) continue;
    reasonItem_& r = formula.reasons[litCode(l)];
    if (r.kind == DontCare) r.kind = Pure;
  }
}

// The backjump level and the second watch come from the literals that are
// kept: the deepest spent one below uip's level. Returns the level.
uint32_t Backtrack::chooseSecond_(const std::vector<Literal>& w) {
  const DynFormula& f = formula;
  const uint32_t uipLevel = f.levelOf(uip);
  second = 0;
  for (const Literal l : w) {
    if (l == uip || !spent_(l)) continue;
    const uint32_t level = f.levelOf(l);
    if (level < uipLevel && (second == 0 || level > f.levelOf(second))) second = l;
  }
  const uint32_t level = (w.size() == 1 || second == 0) ? 1 : f.levelOf(second);
  if (second == 0 && w.size() > 1) second = w[0] != uip ? w[0] : w[1];
  return level;
}

// The second watch of a record must be able to stand beside uip in a
// watch pair: an own literal, or an opponent literal outside uip. An
// opponent literal inside uip is reduced away once both are open again,
// and the record could then become unit without a watch noticing. So the
// deepest spent literal of those; second only when there is none.
void Backtrack::chooseWatchPartner_(const std::vector<Literal>& w) {
  watchPartner_ = 0;
  if (w.size() < 3) return;
  const uint32_t uipPrefix = prefixLevel_(uip);
  uint32_t partnerLevel = 0;
  for (const Literal l : w) {
    if (l == uip || !spent_(l)) continue;
    if (!litOwn(l) && prefixLevel_(l) >= uipPrefix) continue;
    const uint32_t at = formula.levelOf(l);
    if (watchPartner_ == 0 || at > partnerLevel) {
      watchPartner_ = l;
      partnerLevel = at;
    }
  }
}

void Backtrack::learn_() {
  DynFormula& f = formula;
  std::vector<Literal>& w = *work;
  std::fill(stamps.begin(), stamps.end(), 0);
  sortAscending_(w);
  while (!w.empty() && !litOwn(w.back())) w.pop_back();
  assert(std::find(w.begin(), w.end(), uip) != w.end());

  const uint32_t level = chooseSecond_(w);
  chooseWatchPartner_(w);

  f.bEmpties.clear();
  f.nEmpties.clear();
  f.conflictLit = 0;
  backjump_(level);
  if (isTerm_) markTermDependencies_(w);
  const uint32_t id = learnConstraint_(w, !isTerm_);
  const uint32_t kind = isTerm_ ? LearnedTerm : LearnedClause;
  if (w.size() >= 3) {
    const bool pushed = f.push2Assign(uip, reasonItem_{id, NaryUnit | kind});
    assert(pushed);
    (void)pushed;
  } else if (w.size() == 2) {
    const bool pushed = f.push2Assign(uip, reasonItem_{second, BinaryUnit | kind});
    assert(pushed);
    (void)pushed;
  }
  other->clear();
  work->clear();
}

uint32_t Backtrack::learnConstraint_(std::vector<Literal>& lits, bool clause) {
  DynFormula& f = formula;
  sortAscending_(lits);
  uint32_t id = 0;
  uint32_t* outcome = f.learnConstraint(lits, id, clause);
  if (outcome == &f.matrix.unitTag) {
    const Literal u = f.units.back();
    const Literal l = litTerm(u) ? termForces(u) : u;
    if (!f.isAssigned(l)) {
      f.push2Assign(l, reasonItem_{0, NaryUnit | OrigClause});
    } else if (f.isFalse(l)) {
      f.conflictLit = litComplement(l);
      f.scratch[1] = u;
      f.scratch[2] = 0;
      f.scratch[3] = 0;
      ++f.emptyCount;
      f.nEmpties.push_back(&f.scratch[1]);
      f.setConflictLitFromList(&f.scratch[1]);
    }
    return 0;
  }
  if (!f.isRecord(outcome)) return 0;
  const ConstraintKind kind = clause ? LearnedClause : LearnedTerm;
  watchedOccs_& entry = f.watchedOccs[kind][id];
  const Literal partner = watchPartner_ != 0 ? watchPartner_ : second;
  watchPartner_ = 0;
  outcome[0] = entry.watch1 = uip;
  outcome[1] = entry.watch2 = partner;
  f.watchLists[kind].edit(litCode(uip)).push_back(id);
  f.watchLists[kind].edit(litCode(partner)).push_back(id);
  return id;
}

}  // namespace vorn
