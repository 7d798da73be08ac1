#include "strategies/BCP.h"

#include <algorithm>
#include <cassert>
#include <iostream>

namespace vorn {

BCP::BCP(DynFormula& f, CommandLine& opts, Instance<long>&) : formula(f), options(opts) {}

void BCP::init() { dontCares.reserve(formula.prefix.maxAtom); }

void BCP::keepFixed_(Literal trueLit) {
  reasonItem_& r = formula.reasons[litCode(trueLit)];
  if (litExistential(trueLit) && r.kind == DontCare) r.kind = Pure;
}

// ---------------------------------------------------------------------------
// Binary constraints

bool BCP::clausePartners_(Literal f, ConstraintKind kind) {
  DynFormula& F = formula;
  const WordList& partners = F.bOccs[kind][litCode(f)];
  const bool learned = kind == LearnedClause;
  const reasonItem_ reason{f, BinaryUnit | kind};
  for (std::size_t i = 1; i < partners.size(); ++i) {
    const Literal p = partners[i];
    if (!litExistential(p) && !F.isAssigned(p)) {
      // No open existential literal is left: the universal player falsifies p.
      F.push2Assign(p, reason);
      F.pushBEmpty(f, p);
      return true;
    }
    if (learned && F.isPureFixed(p)) continue;
    if (!F.push2Assign(p, reason)) {
      F.pushBEmpty(f, p);
      return true;
    }
  }
  return false;
}

bool BCP::termPartners_(Literal lit, ConstraintKind kind) {
  DynFormula& F = formula;
  const Literal t = lit | kTermBit;
  const WordList& partners = F.bOccs[kind][litCode(lit)];
  const bool learned = kind == LearnedTerm;
  const reasonItem_ reason{t, BinaryUnit | kind};
  for (std::size_t i = 1; i < partners.size(); ++i) {
    const Literal p = partners[i];
    if (litExistential(p) && !F.isAssigned(p)) {
      // Every universal literal is true: the existential player satisfies p.
      F.push2Assign(p, reason);
      keepFixed_(lit);
      F.pushBEmpty(t, p);
      return true;
    }
    if (learned && F.isPureFixed(p)) continue;
    const bool wasAssigned = F.isAssigned(p);
    if (!F.push2Assign(p, reason)) {
      keepFixed_(lit);
      keepFixed_(clauseForm(p));
      F.pushBEmpty(t, p);
      return true;
    }
    if (!wasAssigned) keepFixed_(lit);
  }
  return false;
}

void BCP::assignBinaries() {
  DynFormula& F = formula;
  if (F.hasEmpty()) return;
  while (F.binHead != F.trailSize) {
    const Literal lit = F.trail[F.binHead++];
    assert(lit != 0 && !litTerm(lit));
    const bool fixed = F.isPureFixed(lit);
    if (!(fixed && litExistential(lit))) {
      const Literal f = litComplement(lit);
      if (clausePartners_(f, OrigClause) || clausePartners_(f, LearnedClause)) return;
    }
    if (!(fixed && !litExistential(lit))) {
      if (termPartners_(lit, OrigTerm) || termPartners_(lit, LearnedTerm)) return;
    }
  }
}

// ---------------------------------------------------------------------------
// N-ary constraints

void BCP::assignNaries() {
  DynFormula& F = formula;
  if (F.hasEmpty()) return;
  while (F.naryHead != F.trailSize) {
    const Literal lit = F.trail[F.naryHead++];
    assert(lit != 0 && !litTerm(lit));
    unsigned firstStage = 1;
    if (resumeLit == lit && resumeStamp == F.fullAssignments + F.emptyCount) {
      firstStage = resumeStage ? resumeStage : 1;
    } else {
      resumeLit = 0;
      resumeStage = 0;
      resumePos = 0;
    }
    const bool fixed = F.isPureFixed(lit);
    const bool existential = litExistential(lit);
    const Literal falsified = litComplement(lit);
    const Literal satisfied = lit | kTermBit;
    for (unsigned stage = firstStage; stage <= 4; ++stage) {
      if (fixed && (stage <= 2 ? existential : !existential)) {
        resumePos = 0;
        continue;
      }
      resumeStage = 0;
      resumeLit = 0;
      static constexpr ConstraintKind kStageKind[5] = {OrigClause, OrigClause, LearnedClause, OrigTerm, LearnedTerm};
      const ConstraintKind kind = kStageKind[stage];
      const Literal x = stage <= 2 ? falsified : satisfied;
      if (resumePos >= F.watchLists[kind][litCode(x)].size()) {
        resumePos = 0;  // nothing left to scan: what the scan would do
      } else {
        switch (stage) {
          case 1:
            scan_<false, false>(x, F.watchLists[OrigClause], F.watchedOccs[OrigClause], NaryUnit | OrigClause);
            break;
          case 2:
            scan_<true, false>(x, F.watchLists[LearnedClause], F.watchedOccs[LearnedClause], NaryUnit | LearnedClause);
            break;
          case 3:
            scan_<true, true>(x, F.watchLists[OrigTerm], F.watchedOccs[OrigTerm], NaryUnit | OrigTerm);
            break;
          default:
            scan_<true, true>(x, F.watchLists[LearnedTerm], F.watchedOccs[LearnedTerm], NaryUnit | LearnedTerm);
            break;
        }
      }
      if (F.hasEmpty()) return;
      if (F.binHead != F.trailSize) {
        resumeLit = lit;
        resumeStage = static_cast<uint16_t>(stage);
        resumeStamp = F.fullAssignments + F.emptyCount;
        --F.naryHead;
        return;
      }
    }
  }
}

void BCP::assignStaticNaries_(const uint32_t& x, WordLists& watchList,
                              std::vector<watchedOccs_>& entries, const uint32_t& kind) {
  if (litTerm(x))
    scan_<false, true>(x, watchList, entries, kind);
  else
    scan_<false, false>(x, watchList, entries, kind);
}

void BCP::assignDynamicNaries_(const uint32_t& x, WordLists& watchList,
                               std::vector<watchedOccs_>& entries, const uint32_t& kind) {
  if (litTerm(x))
    scan_<true, true>(x, watchList, entries, kind);
  else
    scan_<true, false>(x, watchList, entries, kind);
}

void BCP::recordEmpty_(const uint32_t* record) {
  DynFormula& F = formula;
  ++F.emptyCount;
  F.nEmpties.push_back(record);
  // The trail literal assigned last among the constraint's variables (the
  // two watches are among the literals).
  uint32_t last = 0;
  for (const uint32_t* q = NConstraint::literals(record); *q; ++q) {
    const uint32_t v = litVar(*q);
    if (F.value[v] != 0 && F.trailPos[v] > last) last = F.trailPos[v];
  }
  F.conflictLit = F.trail[last];
}

void BCP::reportBrokenWatch_(const uint32_t* record, Literal x, Literal r1) {
  std::cerr << "[ ";
  for (const uint32_t* q = NConstraint::literals(record); *q; ++q) {
    const long v = static_cast<long>(litVar(*q));
    std::cerr << (litNegative(*q) ? -v : v) << (litExistential(*q) ? "-E" : "-A") << " ";
  }
  const long v1 = static_cast<long>(litVar(r1));
  std::cerr << "]\n" << (litNegative(r1) ? -v1 : v1) << (litExistential(r1) ? "-E" : "-A") << " " << x << "+" << r1
            << std::endl;
}

// The watches of a constraint that has just become unit or empty. A watch
// pair is an own literal with another own literal or with an opponent
// literal outside it: an opponent literal inside it is reduced away and
// would let the constraint become unit unseen once the backjump has opened
// both. This returns the assigned literal of greatest level (the first met
// on a tie) that is own, or (unless ownOnly) an opponent literal outside
// ref; every assigned literal of such a constraint is spent.
Literal BCP::deepestSpent_(const uint32_t* record, Literal ref, bool ownOnly, Literal skip) const {
  const DynFormula& F = formula;
  Literal best = 0;
  uint32_t bestLevel = 0;
  for (const uint32_t* q = NConstraint::literals(record); *q; ++q) {
    const Literal l = *q;
    const uint32_t level = F.levelOf(l);
    if (level <= bestLevel || l == skip) continue;
    if (!litOwn(l) && (ownOnly || ref == 0 || F.prefix.level(litVar(l)) >= F.prefix.level(litVar(ref)))) continue;
    best = l;
    bestLevel = level;
  }
  return best;
}

// Fallback for watches that break the rule above: the assigned literal of
// greatest level other than skip.
Literal BCP::deepestAssigned_(const uint32_t* record, Literal skip) const {
  Literal best = 0;
  uint32_t bestLevel = 0;
  for (const uint32_t* q = NConstraint::literals(record); *q; ++q) {
    const uint32_t level = formula.levelOf(*q);
    if (level > bestLevel && *q != skip) {
      best = *q;
      bestLevel = level;
    }
  }
  return best;
}

// The unit or empty constraint's second watch beside the unit c.
Literal BCP::unitPartner_(const uint32_t* record, Literal c) const {
  const Literal w = deepestSpent_(record, c, false, c);
  return w != 0 ? w : deepestAssigned_(record, c);
}

// After the backjump the own literal assigned last is open again; the
// second watch must keep the pair meaningful: an open opponent literal
// outside it when there is one, else the spent literal of greatest level
// that counts against it.
void BCP::emptyWatches_(const uint32_t* record, Literal outerOpen, Literal& w, Literal& c) const {
  const uint32_t* const level = formula.prefix.atomLevel.data();
  w = deepestSpent_(record, 0, true, 0);
  if (w == 0) w = deepestAssigned_(record, 0);
  if (outerOpen != 0 && level[litVar(outerOpen)] < level[litVar(w)]) {
    c = outerOpen;
    return;
  }
  c = deepestSpent_(record, w, false, w);
  if (c == 0) c = deepestAssigned_(record, w);
  if (c == 0) c = w == record[0] ? record[1] : record[0];
}

// The watch search: walks the record innermost first. c is the candidate:
// the one open literal that still counts (an own literal, or an opponent
// literal that no deeper own literal reduces away); on Pair, w is a second
// open literal that keeps the constraint alive. outerOpen is the outermost
// unassigned literal met (the first on a tie).
template <bool Dynamic, bool Term>
inline BCP::WatchSearch BCP::searchWatches_(ValueView view, uint32_t* R, watchedOccs_& E, Literal& c, Literal& w,
                                            Literal& outerOpen) {
  const DynFormula& F = formula;
  if (Dynamic) dontCares.clear();
  for (const uint32_t* q = NConstraint::literals(R); *q; ++q) {
    const Literal l = *q;
    assert(litVar(l) < F.prefix.atomLevel.size());
    const int32_t sv = view.seen(l);
    if (sv != 0) {
      if (Term ? sv > 0 : sv < 0) {  // spent
        if (Dynamic) {
          if (litOwn(l) && F.isPureFixed(l)) {
            E.watch1 = E.watch2 = l;
            return WatchSearch::Blocked;
          }
          if (Term && litExistential(l) && F.reasonKindOf(l) == DontCare) dontCares.push_back(l);
        }
        continue;
      }
      if (Dynamic && !(!litOwn(l) && F.isPureFixed(l))) E.watch1 = E.watch2 = l;
      return WatchSearch::Blocked;
    }
    if (outerOpen == 0 || view.levelOf(l) < view.levelOf(outerOpen)) outerOpen = l;
    if (c == 0) {
      if (litOwn(l)) c = l;
      continue;
    }
    if (l == c) continue;
    if (litOwn(l)) {
      if (litOwn(c) || view.levelOf(c) < view.levelOf(l)) {
        w = l;
        return WatchSearch::Pair;
      }
      c = l;  // the opponent c stands behind l and is reduced away
      continue;
    }
    if (view.levelOf(l) < view.levelOf(c)) {
      if (litOwn(c)) {
        // An outer open opponent literal keeps the constraint open.
        w = c;
        c = l;
        return WatchSearch::Pair;
      }
      c = 0;  // both opponent literals are reduced by any own one further out
    }
  }
  return WatchSearch::Alone;
}

// The watch move of record id from (R[0], R[1]) to (w, c). True when x's
// entry L[p] was taken out: the list's last entry now stands there.
inline bool BCP::moveWatches_(WordLists& watchList, WordList& L,
                              std::size_t p, uint32_t id, uint32_t* R, Literal x, Literal w, Literal c) {
  const Literal r0 = R[0], r1 = R[1];
  assert(w != c && r0 != r1);
  bool xLeft = false;
  if (w != r0 && w != r1) watchList.edit(litCode(w)).push_back(id);
  for (const Literal old : {r1, r0}) {
    if (old == w || old == c || (old == r0 && r0 == r1)) continue;
    if (old == x) {
      L[p] = L.back();
      L.pop_back();
      xLeft = true;
    } else {
      WordList& list = watchList.edit(litCode(old));
      auto it = std::find(list.begin(), list.end(), id);
      if (it != list.end()) {
        *it = list.back();
        list.pop_back();
      }
    }
  }
  if (c != r0 && c != r1) watchList.edit(litCode(c)).push_back(id);
  R[0] = w;
  R[1] = c;
  return xLeft;
}

// Term is litTerm(x), a template argument so that the truth tests of the
// loop need no branch on it. Most visits end at the watch-word test, so
// that path touches only the watch list, the id's entry and two values.
template <bool Dynamic, bool Term>
void BCP::scan_(Literal x, WordLists& watchList, std::vector<watchedOccs_>& entries,
                uint32_t kind) {
  DynFormula& F = formula;
  const ValueView view{F.value.data(), F.prefix.atomLevel.data()};
  // Blocking: true in a clause, false in a term; an assigned literal that
  // does not block is spent.
  auto blocks = [view](Literal l) { return Term ? view.seen(l) < 0 : view.seen(l) > 0; };
  auto ownFixed = [&F](Literal l) { return litOwn(l) && F.isPureFixed(l); };

  std::size_t p = resumePos;
  resumePos = 0;
  // A literal that watches nothing leaves the table untouched.
  if (litCode(x) >= watchList.size()) return;
  WordList& L = watchList.edit(litCode(x));
  while (p < L.size()) {
    const uint32_t id = L[p];
    watchedOccs_& E = entries[id];
    if (blocks(E.watch1) || (E.watch2 != E.watch1 && blocks(E.watch2))) {
      ++p;
      continue;
    }
    if (Dynamic && (ownFixed(E.watch1) || ownFixed(E.watch2))) {
      ++p;
      continue;
    }
    uint32_t* R = E.begin;
    assert(R != nullptr);
    if (R == nullptr) {
      ++p;
      continue;
    }
    const Literal r0 = R[0], r1 = R[1];
    Literal o = r0 == x ? r1 : r0;
    if (Dynamic && r0 != x && r1 != x) {
      reportBrokenWatch_(R, x, r1);
      o = r0;
    }
    const bool oAssigned = view.value[litVar(o)] != 0;
    if (Dynamic && oAssigned && ownFixed(o)) {
      E.watch1 = E.watch2 = o;
      ++p;
      continue;
    }

    Literal c = oAssigned ? 0 : o;
    Literal w = 0;
    Literal outerOpen = 0;
    const WatchSearch found = searchWatches_<Dynamic, Term>(view, R, E, c, w, outerOpen);
    if (found == WatchSearch::Blocked) {
      ++p;
      continue;
    }

    // Alone: no second open literal keeps the constraint alive; it is unit
    // on an own candidate, else empty.
    bool unit = false;
    if (found == WatchSearch::Alone) {
      unit = c != 0 && litOwn(c);
      if (unit) {
        F.push2Assign(c, reasonItem_{id, kind});
        w = unitPartner_(R, c);
      } else {
        recordEmpty_(R);
        emptyWatches_(R, outerOpen, w, c);
      }
      // x itself is assigned, so w is 0 only when x is not in the record.
      assert(w != 0);
      if (w == 0) w = c == r0 ? r1 : r0;
    }

    const bool xLeft = moveWatches_(watchList, L, p, id, R, x, w, c);
    E.watch1 = E.watch2 = c;

    if (found == WatchSearch::Alone) {
      // The interrupted scan resumes one entry before the one that moved
      // into x's freed place (at the start, at that place itself), as it
      // always has: the search order depends on it.
      if (unit) resumePos = xLeft && p > 0 ? p - 1 : p;
      if (Dynamic) {
        for (const Literal d : dontCares) {
          reasonItem_& r = F.reasons[litCode(d)];
          if (r.kind == DontCare) r.kind = Pure;
        }
        dontCares.clear();
      }
      return;
    }
    // The entry that moved into x's place is visited next.
    if (!xLeft) ++p;
  }
}

}  // namespace vorn
