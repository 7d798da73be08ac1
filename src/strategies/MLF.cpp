#include "strategies/MLF.h"

#include <algorithm>
#include <cassert>

namespace vorn {

MLF::MLF(DynFormula& f, CommandLine& opts, Instance<long>&)
    : formula(f),
      options(opts),
      partners(f.bOccs[OrigClause]),
      occurrences(f.nOccs[OrigClause]),
      entries(f.watchedOccs[OrigClause]) {}

std::size_t MLF::occurrenceCount_(uint32_t code) const {
  std::size_t n = 0;
  if (code < occurrences.size()) n += occurrences[code].size();
  if (code < partners.size()) n += partners[code].size();
  return n;
}

void MLF::fixPure_(Literal lit) {
  const Literal value = litExistential(lit) ? litComplement(lit) : lit;
  // A pure literal that is already assigned stays as it is.
  if (!formula.isAssigned(value)) formula.push2Assign(value, reasonItem_{0, Pure});
}

void MLF::retire_(Literal lit) {
  int32_t& from = queuedFrom[litCode(lit)];
  WordList* list = nullptr;
  if (from > 0) list = &litWitnesses.edit(static_cast<uint32_t>(from));
  if (from < 0) list = &clauseWitnesses.edit(static_cast<uint32_t>(-static_cast<int64_t>(from)));
  if (list) {
    auto it = std::find(list->begin(), list->end(), lit);
    if (it != list->end()) {
      *it = list->back();
      list->pop_back();
    }
  }
  from = 0;
}

void MLF::queue_(Literal lit, int32_t from) {
  int32_t& q = queuedFrom[litCode(lit)];
  if (q != 0 || formula.isAssigned(lit)) return;
  q = from;
  candidates.push_back(lit);
}

void MLF::init() {
  DynFormula& F = formula;
  noPure_ = options.getPar(kOptionNoPure) != nullptr;
  const std::size_t n = static_cast<std::size_t>(F.prefix.maxAtom) + 1;
  litWitnesses.clear();
  litWitnesses.reserve(2 * n);
  queuedFrom.assign(2 * n, 0);
  candidates.clear();
  candidates.reserve(2 * n);
  queueHead = 0;
  clauseWitnesses.clear();
  clauseWitnesses.reserve(std::max(F.counts[OrigClause] + 1, entries.size()));
  if (2 * n <= 2) return;

  for (uint32_t code = 2; code < 2 * n; ++code) {
    // The lists lie in code order, the first entry of each anywhere.
    if (code + 8 < occurrences.size()) {
      const WordList& ahead = occurrences[code + 8];
      if (!ahead.empty()) {
        __builtin_prefetch(&entries[ahead[0]]);
        clauseWitnesses.prefetch(ahead[0]);
      }
    }
    const uint32_t v = code >> 1;
    if (!F.prefix.isPlaced(v)) continue;
    const Literal lit = F.prefix.atomWord[v] | (code & kSignBit);
    if (occurrenceCount_(code) == 0) {
      fixPure_(lit);
    } else if (occurrenceCount_(code ^ 1u) == 0) {
      fixPure_(litComplement(lit));
    } else if (!F.isAssigned(lit) && search4pure_(lit)) {
      fixPure_(lit);
    }
  }
}

void MLF::prefetchAhead_(const Literal* lits, std::size_t at, std::size_t n) const {
  // The lists and entries of the literals next in line are scattered: work
  // a few places ahead finds them on their way in. Each step needs what the
  // step before brought in, hence three distances.
  if (at + 8 < n) occurrences.prefetch(litCode(lits[at + 8]));
  if (at + 4 < n) {
    const WordList& list = occurrences[litCode(lits[at + 4])];
    if (!list.empty()) __builtin_prefetch(list.data());
  }
  if (at + 2 < n)
    for (const uint32_t c : occurrences[litCode(lits[at + 2])]) __builtin_prefetch(&entries[c]);
}

bool MLF::search4pure_(const Literal& lit) {
  DynFormula& F = formula;
  if (F.isAssigned(lit)) return false;
  const uint32_t code = litCode(lit);
  if (code < partners.size()) {
    const WordList& list = partners[code];
    for (std::size_t i = 1; i < list.size(); ++i) {
      const Literal p = list[i];
      if (!F.isTrue(p)) {
        litWitnesses.edit(litCode(p)).push_back(lit);
        retire_(lit);
        return false;
      }
    }
  }
  if (code < occurrences.size()) {
    const WordList& list = occurrences[code];
    // The entries are scattered over the table: ask for all of them before
    // waiting on the first.
    for (const uint32_t c : list) __builtin_prefetch(&entries[c]);
    for (const uint32_t c : list) {
      const watchedOccs_& w = entries[c];
      if (!F.isTrue(w.watch1) && !F.isTrue(w.watch2)) {
        clauseWitnesses.edit(c).push_back(lit);
        retire_(lit);
        return false;
      }
    }
  }
  return true;
}

void MLF::subsume() {
  DynFormula& F = formula;
  if (F.hasEmpty()) return;
  while (F.pureHead != F.trailSize) {
    prefetchAhead_(F.trail.data(), F.pureHead, F.trailSize);
    subsume_(F.trail[F.pureHead++]);
  }
}

void MLF::subsume_(const Literal& lit) {
  DynFormula& F = formula;
  const uint32_t code = litCode(lit);
  const bool fixed = F.isPureFixed(lit);
  const bool existential = litExistential(lit);
  unsigned openCount = 0;

  if (code < partners.size()) {
    const WordList& list = partners[code];
    if (fixed && existential)
      for (std::size_t i = 1; i < list.size(); ++i)
        if (!F.isTrue(list[i])) {
          openCount = 1;
          break;
        }
  }
  for (const Literal x : litWitnesses[code]) queue_(x, static_cast<int32_t>(code));

  if (code < occurrences.size()) {
    const bool unitKind = isUnitKind(F.reasonKindOf(lit));
    const WordList& list = occurrences[code];
    for (const uint32_t c : list) {
      __builtin_prefetch(&entries[c]);
      clauseWitnesses.prefetch(c);
    }
    for (const uint32_t c : list) {
      watchedOccs_& w = entries[c];
      if (fixed && !((w.watch1 != lit && F.isTrue(w.watch1)) || (w.watch2 != lit && F.isTrue(w.watch2))))
        ++openCount;
      if (!(fixed && !existential)) {
        if (!F.isTrue(w.watch1)) {
          w.watch1 = w.watch2 = lit;
        } else if (existential && unitKind) {
          w.watch2 = lit;
        }
      }
      for (const Literal x : clauseWitnesses[c]) queue_(x, -static_cast<int32_t>(c));
    }
  }

  if (openCount == 0 && fixed && existential) F.reasons[code].kind = DontCare;
}

void MLF::search4pure() {
  DynFormula& F = formula;
  if (noPure_) return;
  if (F.hasEmpty()) return;
  while (queueHead < candidates.size()) {
    prefetchAhead_(candidates.data(), queueHead, candidates.size());
    const Literal x = candidates[queueHead++];
    if (F.isAssigned(x)) continue;
    if (search4pure_(x)) {
      fixPure_(x);
      return;
    }
  }
  for (const Literal x : candidates) queuedFrom[litCode(x)] = 0;
  candidates.clear();
  queueHead = 0;
}

}  // namespace vorn
