#include "strategies/Backtrack.h"

#include <algorithm>
#include <cassert>
#include <iostream>

#include "engine/LiteralOrder.h"


namespace vorn {

const uint32_t Backtrack::abandonedMark[3] = {0, 0, 0};

Backtrack::Backtrack(DynFormula& f, CommandLine& o, Instance<long>& n)
    : formula(f),
      options(o),
      names(n),
      other(&lists_[0]),
      work(&lists_[1]),
      searchStats_(o.getPar(kOptionSearchStats) != nullptr) {
  ensureSized_();
}

void Backtrack::init() { ensureSized_(); }

void Backtrack::ensureSized_() {
  const std::size_t vars = static_cast<std::size_t>(formula.prefix.maxAtom) + 1;
  for (auto& list : lists_)
    if (list.capacity() < vars + 1) list.reserve(vars + 1);
  if (stamps.size() < vars) stamps.resize(vars, 0);
  if (inTerm.size() < vars) inTerm.resize(vars, 1);
  if (planned.size() < 2 * vars) planned.resize(2 * vars, 0);
  if (committed.size() < 2 * vars) committed.resize(2 * vars, 0);
}

void Backtrack::printStats() {
  if (!searchStats_) return;
  std::cout << "BACKTRACKS CONFLICT " << conflicts << std::endl;
  std::cout << "BACKTRACKS SOLUTION " << solutions << std::endl;
}

void Backtrack::resetUip_() {
  uip = minLit = second = clash = 0;
  ownCount = 0;
}

void Backtrack::ensureRanks_() {
  const Prefix& prefix = formula.prefix;
  const std::size_t n = std::max<std::size_t>(static_cast<std::size_t>(prefix.maxAtom) + 1, prefix.atomLevel.size());
  if (ranksBuilt_ && rankRevision_ == prefix.revision && rank_.size() == n) return;
  std::vector<uint32_t> order(n);
  for (uint32_t v = 0; v < n; ++v) order[v] = v;
  // Ascending prefix order: the reverse of CompareLiterals.
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const uint32_t la = prefix.level(a), lb = prefix.level(b);
    return la < lb || (la == lb && a < b);
  });
  rank_.assign(n, 0);
  for (uint32_t r = 0; r < n; ++r) rank_[order[r]] = r;
  rankedVars_.swap(order);
  byRank_.assign(n, 0);
  rankRevision_ = prefix.revision;
  ranksBuilt_ = true;
}

void Backtrack::sortByRank_(std::vector<Literal>& lits, bool ascending) {
  ensureRanks_();
  const std::size_t n = lits.size();
  if (n < 2) return;
  const uint32_t* const rank = rank_.data();
  const uint32_t ranked = static_cast<uint32_t>(rank_.size());
  // Strictly rising ranks (ascending) or strictly falling ones: distinct,
  // so the order found is the only sorted one there is.
  const auto ordered = [&](bool rising) {
    if (litVar(lits[0]) >= ranked) return false;
    uint32_t previous = rank[litVar(lits[0])];
    for (std::size_t i = 1; i < n; ++i) {
      const uint32_t v = litVar(lits[i]);
      if (v >= ranked) return false;
      const uint32_t r = rank[v];
      if (rising ? r <= previous : r >= previous) return false;
      previous = r;
    }
    return true;
  };
  if (ascending ? ordered(true) : ordered(false)) return;
  if (ascending ? ordered(false) : ordered(true)) {
    std::reverse(lits.begin(), lits.end());
    return;
  }
  uint32_t lowest = ~0u, highest = 0;
  bool nonzero = true;
  for (const Literal l : lits) {
    const uint32_t v = litVar(l);
    if (v >= ranked) {
      // Not a variable of the prefix tables: the comparator itself.
      if (ascending)
        std::sort(lits.rbegin(), lits.rend(), CompareLiterals<DynFormula>(formula));
      else
        std::sort(lits.begin(), lits.end(), CompareLiterals<DynFormula>(formula));
      return;
    }
    lowest = std::min(lowest, rank[v]);
    highest = std::max(highest, rank[v]);
    nonzero = nonzero && l != 0;
  }
  // Ranks close together: place each literal at its rank and read the
  // ranks off in order. With distinct ranks there is only one sorted
  // order, so this gives what the comparison sort gives; two literals of
  // one variable send it to the comparison sort.
  if (nonzero && highest - lowest < 8 * n) {
    std::size_t placed = 0;
    for (; placed < n; ++placed) {
      Literal& slot = byRank_[rank[litVar(lits[placed])]];
      if (slot != 0) break;
      slot = lits[placed];
    }
    if (placed == n) {
      std::size_t i = 0;
      for (uint32_t r = lowest;; ++r) {
        Literal& slot = byRank_[r];
        if (slot != 0) {
          lits[ascending ? i : n - 1 - i] = slot;
          slot = 0;
          ++i;
        }
        if (r == highest) break;
      }
      return;
    }
    for (std::size_t i = 0; i < placed; ++i) byRank_[rank[litVar(lits[i])]] = 0;
  }
  // The comparison sort on rank and literal packed into one word: the
  // same comparisons as CompareLiterals, so the same permutation.
  keyed_.resize(n);
  for (std::size_t i = 0; i < n; ++i) keyed_[i] = static_cast<uint64_t>(rank[litVar(lits[i])]) << 32 | lits[i];
  const auto deeper = [](uint64_t a, uint64_t b) { return (a >> 32) > (b >> 32); };
  if (ascending)
    std::sort(keyed_.rbegin(), keyed_.rend(), deeper);
  else
    std::sort(keyed_.begin(), keyed_.end(), deeper);
  for (std::size_t i = 0; i < n; ++i) lits[i] = static_cast<Literal>(keyed_[i]);
}

// ---------------------------------------------------------------------------
// Evaluation of a constraint: its deepest literal, the one below it, the
// open literal of smallest prefix level.

Literal Backtrack::computeUIP_(const Literal& l) {
  computeUIPs_(&l, &l + 1);
  return uip;
}

// computeUIP_ on each literal in turn, with the levels of uip and second
// kept at hand.
void Backtrack::computeUIPs_(const Literal* first, const Literal* last) {
  const DynFormula& f = formula;
  const int32_t* const value = f.value.data();
  const uint32_t* const prefixLevel = f.prefix.atomLevel.data();
  Literal u = uip, s = second, m = minLit;
  uint32_t uLevel = u ? f.levelOf(u) : 0, sLevel = s ? f.levelOf(s) : 0;
  uint32_t uPrefix = u ? prefixLevel[litVar(u)] : 0;
  for (; first != last; ++first) {
    const Literal l = *first;
    const int32_t val = value[litVar(l)];
    const uint32_t lPrefix = prefixLevel[litVar(l)];
    if (val == 0) {
      if (m == 0 || lPrefix < prefixLevel[litVar(m)]) m = l;
      continue;
    }
    const uint32_t level = static_cast<uint32_t>(val < 0 ? -val : val);
    if (u == 0) {
      u = l;
      s = 0;
      uLevel = level;
      uPrefix = lPrefix;
      continue;
    }
    if (!litOwn(l) && lPrefix >= uPrefix) continue;
    if (level > uLevel) {
      s = u;
      sLevel = uLevel;
      u = l;
      uLevel = level;
      uPrefix = lPrefix;
    } else if (level < uLevel) {
      if (s == 0 || level > sLevel) {
        s = l;
        sLevel = level;
      }
    } else if (litOwn(l)) {
      // Prefer an own literal over a decision at the same level.
      if (f.reasonKindOf(u) == Branch) {
        u = l;
        uPrefix = lPrefix;
      }
    }
  }
  uip = u;
  second = s;
  minLit = m;
}

void Backtrack::findUIP_(const Literal& l) { findUIPs_(&l, &l + 1); }

// findUIP_ on each literal in turn; true when an own literal is unspent.
bool Backtrack::findUIPs_(const Literal* first, const Literal* last) {
  const DynFormula& f = formula;
  const int32_t* const value = f.value.data();
  const uint32_t* const prefixLevel = f.prefix.atomLevel.data();
  Literal u = uip, s = second, m = minLit;
  uint32_t owned = ownCount;
  uint32_t uLevel = u ? f.levelOf(u) : 0, sLevel = s ? f.levelOf(s) : 0;
  uint32_t uPrefix = u ? prefixLevel[litVar(u)] : 0;
  bool openOwn = false;
  for (; first != last; ++first) {
    const Literal l = *first;
    const bool own = litOwn(l);
    const int32_t val = value[litVar(l)];
    const uint32_t lPrefix = prefixLevel[litVar(l)];
    // Spent: false in a clause, true in a term.
    const bool spent = val != 0 && ((val < 0) == litNegative(l)) == isTerm_;
    if (!spent) {
      if (own) openOwn = true;
      if (m == 0 || lPrefix < prefixLevel[litVar(m)]) m = l;
      continue;
    }
    const uint32_t level = static_cast<uint32_t>(val < 0 ? -val : val);
    if (u == 0) {
      u = l;
      s = 0;
      owned = own ? 1 : 0;
      uLevel = level;
      uPrefix = lPrefix;
      continue;
    }
    if (!own && lPrefix >= uPrefix) continue;
    if (level > uLevel) {
      s = u;
      sLevel = uLevel;
      u = l;
      uLevel = level;
      uPrefix = lPrefix;
      owned = own ? 1 : 0;
    } else if (level < uLevel) {
      if (s == 0 || level > sLevel) {
        s = l;
        sLevel = level;
      }
    } else if (own) {
      ++owned;
      u = l;
      uPrefix = lPrefix;
    } else {
      // An opponent literal outside uip at uip's level keeps it open.
      m = l;
    }
  }
  uip = u;
  second = s;
  minLit = m;
  ownCount = owned;
  return openOwn;
}

Literal Backtrack::computeWr_(const uint32_t* list, std::vector<Literal>& out) {
  out.clear();
  for (; *list; ++list) {
    const Literal l = *list;
    out.push_back(l);
    computeUIP_(l);
    if (formula.isAssigned(l) && !spent_(l)) clash = l;
  }
  if (uip != 0 && !litOwn(uip)) clash = uip;
  return uip;
}

// ---------------------------------------------------------------------------
// Trail maintenance.

void Backtrack::backjump_(uint32_t level) { formula.backjump(level); }

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

// ---------------------------------------------------------------------------
// The analysis.

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

void Backtrack::analyse_(uint32_t startTrail) {
  DynFormula& f = formula;
  // Every own literal of an empty constraint is spent; anything else is
  // not a state this analysis was made for.
  for (const Literal* p = other->data(); *p; ++p)
    if (litOwn(*p) && !spent_(*p)) return abandon_();

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

    // Pivot search: resolve the own literals of the deepest level in
    // reverse trail order until one is left (the implication point) or,
    // when that one does not assert, none.
    CycleEnd end = CycleEnd::PastImplicationPoint;
    Literal p = 0;
    uint32_t pos = std::min(scanPos_, f.trailSize);
    for (;;) {
      Literal t = 0;
      while (pos > 0) {
        --pos;
        const Literal candidate = f.trail[pos];
        if (candidate != 0 && isStamped_(litVar(candidate))) {
          t = candidate;
          break;
        }
      }
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
      if (reason == nullptr) return abandon_();
      collect_(reason, v, false);
      if (ownClash_) return abandon_();
    }
    scanPos_ = pos;
    // A counted literal that was never resolved would be lost.
    if (ownCount != 0) return abandon_();

    const bool atPoint = end == CycleEnd::AtImplicationPoint;
    if (atPoint) {
      uip = isTerm_ ? (p | kTermBit) : litComplement(p);
      stamps[litVar(p)] = stampFor_(uip);
      work->push_back(uip);
    }
    sortAscending_(*work);
    const bool pOwn = p != 0 && ownOnTrail_(p);
    reduce_(pOwn, pOwn ? prefixLevel_(p) : 0);

    // Clash resolution: resolve own literals from the innermost one on
    // until the clashing opponent is trailing and reduced away.
    while (clash != 0 && !work->empty()) {
      const Literal l = work->back();
      if (!litOwn(l)) {
        reduce_(false, 0);
        continue;
      }
      work->pop_back();
      const Literal t = isTerm_ ? clauseForm(l) : litComplement(l);
      if (!f.isTrue(t)) return abandon_();
      const uint32_t* reason = reasonList_(t);
      if (reason == nullptr) return abandon_();
      // It may come back through another reason; then it is resolved again.
      stamps[litVar(l)] = 0;
      collect_(reason, litVar(l), true);
      if (ownClash_) return abandon_();
      sortAscending_(*work);
    }
    if (work->empty()) return decide_();

    // Re-evaluation at the level the cycle leaves behind.
    if (atPoint) {
      if (f.decisionLevel > maxLevel_) backjump_(maxLevel_);
    } else {
      backjump_(std::max<uint32_t>(maxLevel_ - 1, 1));
    }
    const uint32_t reached = f.decisionLevel;
    resetUip_();
    sortDescending_(*work);
    const bool openOwn = findUIPs_(work->data(), work->data() + work->size());
    const uint32_t newMax = uip != 0 ? f.levelOf(uip) : 0;
    if (reached > newMax) backjump_(std::max<uint32_t>(newMax, 1));
    if (ownCount == 1 && !openOwn && (minLit == 0 || prefixLevel_(minLit) > prefixLevel_(uip))) return learn_();

    // Not asserting: the resolvent is the next cycle's list.
    scanPos_ = f.trailSize;
    work->push_back(0);
    std::swap(work, other);
    work->clear();
    list = other->data();
    nextStamp_();
    if (newMax <= 1) {
      // Nothing spent below the top level is left: only opponent literals
      // may remain, and they reduce away.
      if (openOwn) return abandon_();
      return decide_();
    }
    maxLevel_ = newMax;
  }
}

void Backtrack::markTermDependencies_(const std::vector<Literal>& lits) {
  // A later flip of the initial solution term must not undo a value that
  // this term rests on.
  for (const Literal l : lits) {
    if (!litExistential(l) || !formula.isTrue(l)) continue;
    reasonItem_& r = formula.reasons[litCode(l)];
    if (r.kind == DontCare) r.kind = Pure;
  }
}

void Backtrack::learn_() {
  DynFormula& f = formula;
  std::vector<Literal>& w = *work;
  std::fill(stamps.begin(), stamps.end(), 0);
  sortAscending_(w);
  while (!w.empty() && !litOwn(w.back())) w.pop_back();
  assert(std::find(w.begin(), w.end(), uip) != w.end());

  // The backjump level and the second watch come from the literals that
  // are kept: the deepest spent one below uip's level.
  const uint32_t uipLevel = f.levelOf(uip);
  second = 0;
  for (const Literal l : w) {
    if (l == uip || !spent_(l)) continue;
    const uint32_t level = f.levelOf(l);
    if (level < uipLevel && (second == 0 || level > f.levelOf(second))) second = l;
  }
  const uint32_t level = (w.size() == 1 || second == 0) ? 1 : f.levelOf(second);
  if (second == 0 && w.size() > 1) second = w[0] != uip ? w[0] : w[1];

  // The second watch of a record must be able to stand beside uip in a
  // watch pair: an own literal, or an opponent literal outside uip. An
  // opponent literal inside uip is reduced away once both are open again,
  // and the record could then become unit without a watch noticing. So
  // the deepest spent literal of those; second only when there is none.
  watchPartner_ = 0;
  if (w.size() >= 3) {
    const uint32_t uipPrefix = prefixLevel_(uip);
    uint32_t partnerLevel = 0;
    for (const Literal l : w) {
      if (l == uip || !spent_(l)) continue;
      if (!litOwn(l) && prefixLevel_(l) >= uipPrefix) continue;
      const uint32_t at = f.levelOf(l);
      if (watchPartner_ == 0 || at > partnerLevel) {
        watchPartner_ = l;
        partnerLevel = at;
      }
    }
  }

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
  f.watchLists[kind][litCode(uip)].push_back(id);
  f.watchLists[kind][litCode(partner)].push_back(id);
  return id;
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
