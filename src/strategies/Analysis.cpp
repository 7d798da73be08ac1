// The analysis of an empty constraint: collect it into the resolvent,
// resolve the own literals of the deepest level back along the trail
// (the pivot search), resolve away clashes, and re-evaluate what is left
// until it asserts a literal or reaches the top level.
#include <algorithm>
#include <cassert>

#include "strategies/Backtrack.h"

namespace vorn {

void Backtrack::assign(const uint32_t&, const reasonItem_&) {
  DynFormula& f = formula;
  if (abandoned_) return;
  const uint32_t startTrail = f.trailSize;
  work->clear();
  other->clear();
  resetUip_();
  bool initialTerm = false;
  if (!f.bEmpties.empty()) {
    const DynFormula::Bempty& b = f.bEmpties.back();
    other->push_back(clauseForm(b.lit1) | (b.lit2 & kTermBit));
    other->push_back(b.lit2);
    other->push_back(0);
  } else if (!f.nEmpties.empty()) {
    const uint32_t* entry = f.nEmpties.back();
    const uint32_t* p = entry[2] != 0 ? entry + 2 : entry;
    // Marks and decided records are not constraints to analyse.
    if (litVar(*p) == 0 || litVar(*p) > f.nVars) return;
    for (; *p; ++p) other->push_back(*p);
    other->push_back(0);
  } else if (f.trailSize == f.prefix.atomCount && f.binHead == f.trailSize) {
    computeSolution_(*other);
    initialTerm = true;
  } else {
    return;
  }
  isTerm_ = initialTerm || litTerm((*other)[0]);
  if (isTerm_)
    ++solutions;
  else
    ++conflicts;
  if (!initialTerm) computeUIPs_(other->data(), other->data() + other->size() - 1);
  analyse_(startTrail);
}

void Backtrack::nextStamp_() {
  if (++stamp_ >= stampLimit_) {
    // Entries of older cycles would read as stamped once the counter
    // comes round again.
    std::fill(stamps.begin(), stamps.end(), 0);
    stamp_ = 1;
  }
}

const uint32_t* Backtrack::reasonList_(Literal t) {
  const reasonItem_& r = formula.reasons[litCode(t)];
  if ((r.kind & BinaryUnit) == BinaryUnit) {
    binReason_[0] = r.antecedent;
    binReason_[1] = 0;
    return binReason_;
  }
  if ((r.kind & BinaryUnit) == NaryUnit) {
    if (r.antecedent == 0) return emptyReason_;  // a unit constraint
    const std::vector<watchedOccs_>& entries = formula.watchedOccs[r.kind & 3u];
    if (r.antecedent >= entries.size() || entries[r.antecedent].begin == nullptr) return nullptr;
    return NConstraint::literals(entries[r.antecedent].begin);
  }
  return nullptr;  // Branch, Pure, DontCare: nothing to resolve with
}

void Backtrack::collect_(const uint32_t* list, uint32_t skipVar, bool atEveryLevel) {
  DynFormula& f = formula;
  for (; *list; ++list) {
    const Literal l = *list;
    const uint32_t v = litVar(l);
    if (v == skipVar) continue;
    assert(litTerm(l) == isTerm_);
    if (isStamped_(v)) {
      if ((stamps[v] < 0) != litNegative(l)) {
        if (litOwn(l)) ownClash_ = true;
        if (clash == 0 || prefixLevel_(l) < prefixLevel_(clash)) clash = l;
      }
      continue;
    }
    const uint32_t level = f.levelOf(l);
    if (level == 1) continue;  // top-level values hold for the whole search
    stamps[v] = stampFor_(l);
    if (!spent_(l)) {
      work->push_back(l);
      noteMin_(l);
    } else if (atEveryLevel || level < maxLevel_) {
      work->push_back(l);
    } else if (litOwn(l)) {
      ++ownCount;  // resolved away by the pivot search
    } else {
      work->push_back(l);
      noteMin_(l);
    }
  }
}

void Backtrack::reduce_(bool limited, uint32_t limitLevel) {
  std::vector<Literal>& w = *work;
  while (!w.empty() && !litOwn(w.back()) && (!limited || prefixLevel_(w.back()) >= limitLevel)) {
    const uint32_t v = litVar(w.back());
    stamps[v] = 0;
    if (clash != 0 && litVar(clash) == v) clash = 0;
    w.pop_back();
  }
}

// Every own literal of an empty constraint is spent; anything else is not
// a state this analysis was made for.
bool Backtrack::ownLiteralsSpent_() const {
  for (const Literal* p = other->data(); *p; ++p)
    if (litOwn(*p) && !spent_(*p)) return false;
  return true;
}

Literal Backtrack::previousStamped_(uint32_t& pos) const {
  while (pos > 0) {
    --pos;
    const Literal candidate = formula.trail[pos];
    if (candidate != 0 && isStamped_(litVar(candidate))) return candidate;
  }
  return 0;
}

// Resolves the own literals of the deepest level in reverse trail order
// until one is left (the implication point) or, when that one does not
// assert, none. p is the last trail literal taken. False when the
// analysis has to be abandoned.
bool Backtrack::searchPivots_(Literal& p, CycleEnd& end) {
  DynFormula& f = formula;
  end = CycleEnd::PastImplicationPoint;
  p = 0;
  uint32_t pos = std::min(scanPos_, f.trailSize);
  for (;;) {
    const Literal t = previousStamped_(pos);
    if (t == 0) break;
    p = t;
    if (ownCount == 0) break;
    const uint32_t v = litVar(p);
    // Only the literals counted at the deepest level are pivots: their
    // stamp holds the spent literal (the complement of p in a clause).
    const bool counted = ownOnTrail_(p) && f.levelOf(p) >= maxLevel_ &&
                         (stamps[v] < 0) == (isTerm_ ? litNegative(p) : !litNegative(p));
    if (!counted) {
      if (ownCount == 1 && !ownOnTrail_(p) && f.levelOf(p) >= maxLevel_ && f.reasons[litCode(p)].kind == Branch)
        break;
      continue;
    }
    stamps[v] = 0;
    --ownCount;
    if (ownCount == 0 && (minLit == 0 || prefixLevel_(minLit) > prefixLevel_(p))) {
      end = CycleEnd::AtImplicationPoint;
      break;
    }
    const uint32_t* reason = reasonList_(p);
    if (reason == nullptr) return false;
    collect_(reason, v, false);
    if (ownClash_) return false;
  }
  scanPos_ = pos;
  // A counted literal that was never resolved would be lost.
  return ownCount == 0;
}

// At the implication point its complement joins the resolvent; then the
// opponent literals that trail the last pivot reduce away.
void Backtrack::closeCycle_(Literal p, bool atPoint) {
  if (atPoint) {
    uip = isTerm_ ? (p | kTermBit) : litComplement(p);
    stamps[litVar(p)] = stampFor_(uip);
    work->push_back(uip);
  }
  sortAscending_(*work);
  const bool pOwn = p != 0 && ownOnTrail_(p);
  reduce_(pOwn, pOwn ? prefixLevel_(p) : 0);
}

// Resolves own literals from the innermost one on until the clashing
// opponent is trailing and reduced away. False when the analysis has to
// be abandoned.
bool Backtrack::resolveClash_() {
  while (clash != 0 && !work->empty()) {
    const Literal l = work->back();
    if (!litOwn(l)) {
      reduce_(false, 0);
      continue;
    }
    work->pop_back();
    const Literal t = isTerm_ ? clauseForm(l) : litComplement(l);
    if (!formula.isTrue(t)) return false;
    const uint32_t* reason = reasonList_(t);
    if (reason == nullptr) return false;
    // It may come back through another reason; then it is resolved again.
    stamps[litVar(l)] = 0;
    collect_(reason, litVar(l), true);
    if (ownClash_) return false;
    sortAscending_(*work);
  }
  return true;
}

// Re-evaluation of the resolvent at the level the cycle leaves behind.
Backtrack::Reevaluation Backtrack::reevaluate_(bool atPoint) {
  DynFormula& f = formula;
  if (atPoint) {
    if (f.decisionLevel > maxLevel_) backjump_(maxLevel_);
  } else {
    backjump_(std::max<uint32_t>(maxLevel_ - 1, 1));
  }
  const uint32_t reached = f.decisionLevel;
  resetUip_();
  sortDescending_(*work);
  Reevaluation r;
  r.openOwn = findUIPs_(work->data(), work->data() + work->size());
  r.maxLevel = uip != 0 ? f.levelOf(uip) : 0;
  if (reached > r.maxLevel) backjump_(std::max<uint32_t>(r.maxLevel, 1));
  r.asserting = ownCount == 1 && !r.openOwn && (minLit == 0 || prefixLevel_(minLit) > prefixLevel_(uip));
  return r;
}

// The resolvent, 0-terminated, becomes the next cycle's list.
void Backtrack::startNextCycle_() {
  scanPos_ = formula.trailSize;
  work->push_back(0);
  std::swap(work, other);
  work->clear();
  nextStamp_();
}

void Backtrack::analyse_(uint32_t startTrail) {
  DynFormula& f = formula;
  if (!ownLiteralsSpent_()) return abandon_();

  maxLevel_ = uip != 0 ? f.levelOf(uip) : 0;
  if (f.decisionLevel > maxLevel_) backjump_(std::max<uint32_t>(maxLevel_, 1));
  if (maxLevel_ <= 1) return decide_();

  stamp_ = 1;
  scanPos_ = startTrail;
  ownClash_ = false;
  const uint32_t* list = other->data();
  for (;;) {
    ownCount = 0;
    clash = 0;
    collect_(list, 0, false);

    Literal p = 0;
    CycleEnd end = CycleEnd::PastImplicationPoint;
    if (!searchPivots_(p, end)) return abandon_();
    const bool atPoint = end == CycleEnd::AtImplicationPoint;
    closeCycle_(p, atPoint);
    if (!resolveClash_()) return abandon_();
    if (work->empty()) return decide_();

    const Reevaluation next = reevaluate_(atPoint);
    if (next.asserting) return learn_();

    startNextCycle_();
    list = other->data();
    if (next.maxLevel <= 1) {
      // Nothing spent below the top level is left: only opponent literals
      // may remain, and they reduce away.
      if (next.openOwn) return abandon_();
      return decide_();
    }
    maxLevel_ = next.maxLevel;
  }
}

void Backtrack::decide_() {
  DynFormula& f = formula;
  f.bEmpties.clear();
  f.nEmpties.clear();
  f.nEmpties.push_back(isTerm_ ? DynFormula::decidedTrueMark : DynFormula::decidedFalseMark);
  ++f.emptyCount;
  f.conflictLit = f.trail[0];
  other->clear();
  work->clear();
  std::fill(stamps.begin(), stamps.end(), 0);
}

void Backtrack::abandon_() {
  // Resolution would have to go past a literal without a reason: learning
  // from here could be unsound, so the search stops without an answer.
  assert(!"analysis without a reason to resolve with");
  DynFormula& f = formula;
  abandoned_ = true;
  f.bEmpties.clear();
  f.nEmpties.clear();
  f.nEmpties.push_back(abandonedMark);
  f.conflictLit = 0;
  other->clear();
  work->clear();
  std::fill(stamps.begin(), stamps.end(), 0);
}

}  // namespace vorn
