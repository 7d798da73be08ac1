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
  const std::vector<uint32_t>& partners = F.bOccs[kind][litCode(f)];
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
  const std::vector<uint32_t>& partners = F.bOccs[kind][litCode(lit)];
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
      if (resumePos == kBeforeStart) resumePos = 0;
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

void BCP::assignStaticNaries_(const uint32_t& x, std::vector<std::vector<uint32_t>>& watchList,
                              std::vector<watchedOccs_>& entries, const uint32_t& kind) {
  if (litTerm(x))
    scan_<false, true>(x, watchList, entries, kind);
  else
    scan_<false, false>(x, watchList, entries, kind);
}

void BCP::assignDynamicNaries_(const uint32_t& x, std::vector<std::vector<uint32_t>>& watchList,
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

// The walk meets the record innermost first. c is the candidate: the one
// open literal that still counts (an own literal, or an opponent literal
// that no deeper own literal reduces away); w a second open literal that
// keeps the constraint alive.
//
// Term is litTerm(x), a template argument so that the truth tests of the
// loop need no branch on it. Most visits end at the watch-word test, so
// that path touches only the watch list, the id's entry and two values.
template <bool Dynamic, bool Term>
void BCP::scan_(Literal x, std::vector<std::vector<uint32_t>>& watchList, std::vector<watchedOccs_>& entries,
                uint32_t kind) {
  DynFormula& F = formula;
  const int32_t* const value = F.value.data();
  const uint32_t* const level = F.prefix.atomLevel.data();
  // The value of l's variable seen from l: > 0 true, < 0 false, 0 open.
  auto seen = [value](Literal l) {
    const int32_t s = -static_cast<int32_t>(l & kSignBit);
    return (value[litVar(l)] ^ s) - s;
  };
  // Blocking: true in a clause, false in a term; an assigned literal that
  // does not block is spent.
  auto blocks = [&](Literal l) { return Term ? seen(l) < 0 : seen(l) > 0; };
  auto ownFixed = [&](Literal l) { return litOwn(l) && F.isPureFixed(l); };
  auto levelOf = [level](Literal l) { return level[litVar(l)]; };

  std::vector<uint32_t>& L = watchList[litCode(x)];
  std::size_t p = resumePos;
  resumePos = 0;
  for (; p < L.size(); ++p) {
    const uint32_t id = L[p];
    watchedOccs_& E = entries[id];
    if (blocks(E.watch1) || (E.watch2 != E.watch1 && blocks(E.watch2))) continue;
    if (Dynamic && (ownFixed(E.watch1) || ownFixed(E.watch2))) continue;
    uint32_t* R = E.begin;
    assert(R != nullptr);
    if (R == nullptr) continue;
    const Literal r0 = R[0], r1 = R[1];
    Literal o = r0 == x ? r1 : r0;
    if (Dynamic && r0 != x && r1 != x) {
      reportBrokenWatch_(R, x, r1);
      o = r0;
    }
    const bool oAssigned = value[litVar(o)] != 0;
    Literal c = oAssigned ? 0 : o;
    if (Dynamic && oAssigned && ownFixed(o)) {
      E.watch1 = E.watch2 = o;
      continue;
    }

    Literal w = 0;
    Literal outerOpen = 0;  // the outermost unassigned literal met (first on a tie)
    bool pair = false;
    bool passed = false;
    if (Dynamic) dontCares.clear();
    for (const uint32_t* q = NConstraint::literals(R); *q; ++q) {
      const Literal l = *q;
      assert(litVar(l) < F.prefix.atomLevel.size());
      const int32_t sv = seen(l);
      if (sv != 0) {
        if (Term ? sv > 0 : sv < 0) {  // spent
          if (Dynamic) {
            if (ownFixed(l)) {
              E.watch1 = E.watch2 = l;
              passed = true;
              break;
            }
            if (Term && litExistential(l) && F.reasonKindOf(l) == DontCare) dontCares.push_back(l);
          }
          continue;
        }
        if (Dynamic && !(!litOwn(l) && F.isPureFixed(l))) E.watch1 = E.watch2 = l;
        passed = true;
        break;
      }
      if (outerOpen == 0 || levelOf(l) < levelOf(outerOpen)) outerOpen = l;
      if (c == 0) {
        if (litOwn(l)) c = l;
        continue;
      }
      if (l == c) continue;
      if (litOwn(l)) {
        if (litOwn(c) || levelOf(c) < levelOf(l)) {
          w = l;
          pair = true;
          break;
        }
        c = l;  // the opponent c stands behind l and is reduced away
        continue;
      }
      if (levelOf(l) < levelOf(c)) {
        if (litOwn(c)) {
          // An outer open opponent literal keeps the constraint open.
          w = c;
          c = l;
          pair = true;
          break;
        }
        c = 0;  // both opponent literals are reduced by any own one further out
      }
    }
    if (passed) continue;

    bool unit = false, empty = false;
    if (!pair) {
      if (c != 0 && litOwn(c)) {
        unit = true;
        F.push2Assign(c, reasonItem_{id, kind});
        w = deepestSpent_(R, c, false, c);
        if (w == 0) w = deepestAssigned_(R, c);
      } else {
        empty = true;
        recordEmpty_(R);
        // After the backjump the own literal assigned last is open again;
        // the second watch must keep the pair meaningful: an open opponent
        // literal outside it when there is one, else the spent literal of
        // greatest level that counts against it.
        w = deepestSpent_(R, 0, true, 0);
        if (w == 0) w = deepestAssigned_(R, 0);
        if (outerOpen != 0 && levelOf(outerOpen) < levelOf(w)) {
          c = outerOpen;
        } else {
          c = deepestSpent_(R, w, false, w);
          if (c == 0) c = deepestAssigned_(R, w);
          if (c == 0) c = w == r0 ? r1 : r0;
        }
      }
      // x itself is assigned, so w is 0 only when x is not in the record.
      assert(w != 0);
      if (w == 0) w = c == r0 ? r1 : r0;
    }

    // Move the watches to (w, c).
    assert(w != c && r0 != r1);
    if (w != r0 && w != r1) watchList[litCode(w)].push_back(id);
    for (const Literal old : {r1, r0}) {
      if (old == w || old == c || (old == r0 && r0 == r1)) continue;
      if (old == x) {
        L[p] = L.back();
        L.pop_back();
        --p;  // the moved entry is visited next (wraps to kBeforeStart at 0)
      } else {
        std::vector<uint32_t>& list = watchList[litCode(old)];
        auto it = std::find(list.begin(), list.end(), id);
        if (it != list.end()) {
          *it = list.back();
          list.pop_back();
        }
      }
    }
    if (c != r0 && c != r1) watchList[litCode(c)].push_back(id);
    R[0] = w;
    R[1] = c;
    E.watch1 = E.watch2 = c;

    if (unit || empty) {
      if (unit) resumePos = p;
      if (Dynamic) {
        for (const Literal d : dontCares) {
          reasonItem_& r = F.reasons[litCode(d)];
          if (r.kind == DontCare) r.kind = Pure;
        }
        dontCares.clear();
      }
      return;
    }
  }
}

}  // namespace vorn
