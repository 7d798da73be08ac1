#include "engine/NffEx.h"

#include <algorithm>
#include <cassert>

#include "engine/LiteralOrder.h"

namespace vorn {

namespace {
// Declared counts are hints: reservations made from them are capped, the
// tables grow to whatever is really stored.
std::size_t reserveFor(long nVars) {
  const double n = static_cast<double>(std::min<std::size_t>(nVars < 0 ? 0 : static_cast<std::size_t>(nVars), NffEx::hintCap));
  return static_cast<std::size_t>(2.0 * n * 1.3);
}
}  // namespace

NffEx::NffEx(CommandLine& options, Instance<long>& names, std::size_t chunkWords, std::size_t chunkLimit)
    : NFF(options, names, chunkWords, chunkLimit) {
  // The id table of the input clauses is reserved once the declared count
  // is known (init), up to reserveSize; a fixed reserve here would cost
  // every small store megabytes.
  for (auto& table : watchedOccs) table.emplace_back();
  const std::size_t lists = reserveFor(names.nVars);
  for (ConstraintKind k : {OrigClause, OrigTerm}) {
    bOccs[k].reserve(lists);
    nOccs[k].reserve(lists);
  }
}

void NffEx::init(const long& nVars, const long& nClauses) {
  const std::size_t n = nVars < 0 ? 0 : static_cast<std::size_t>(nVars);
  if (nClauses > 0) {
    const std::size_t want = std::min(static_cast<std::size_t>(nClauses) + 1, reserveSize);
    if (watchedOccs[OrigClause].capacity() < want) watchedOccs[OrigClause].reserve(want);
  }
  const std::size_t size = 2 * (n + 1);
  for (int k = 0; k < kKinds; ++k) {
    nOccs[k].reserve(size);
    bOccs[k].reserve(size);
  }
  const std::size_t wantUnits = std::min(n, hintCap) / 10;
  if (units.capacity() < wantUnits) units.reserve(wantUnits);
}

void NffEx::keepLearnedOccurrenceLists(bool keep) {
  if (keep == learnedLists_) return;
  assert(counts[LearnedClause] == 0 && counts[LearnedTerm] == 0 && "set before anything is learned");
  learnedLists_ = keep;
  for (ConstraintKind k : {LearnedClause, LearnedTerm}) {
    std::vector<uint32_t>& counted = learnedCounts_[k - LearnedClause];
    counted.assign(keep ? 0 : nOccs[k].size(), 0);
  }
}

uint32_t* NffEx::learnConstraint(std::vector<long>& lits, uint32_t& id, bool input, bool clause) {
  for (long s : lits) {
    assert(s != 0);
    const unsigned long v = static_cast<unsigned long>(s < 0 ? -s : s);
    if (v != 0) prefix.learnAtom(Free, v);
  }
  // Ascending prefix order when read forwards; both literals of one
  // variable end up next to each other.
  std::sort(lits.rbegin(), lits.rend(), CompareAtoms<NFF, long>(*this));

  encoded_.clear();
  for (std::size_t i = 0; i < lits.size(); ++i) {
    const long e = lits[i];
    if (e == 0) continue;
    if (i > 0 && (e == lits[i - 1] || e == -lits[i - 1])) {
      if (e == lits[i - 1]) continue;  // repeated literal
      return &matrix.tautologyTag;     // nothing stored, nothing counted
    }
    encoded_.push_back(encode(e, clause));
  }
  // Universal reduction for a clause (existential for a term): opponent
  // literals behind every own literal go.
  while (!encoded_.empty() && !litOwn(encoded_.back())) encoded_.pop_back();

  if (encoded_.empty()) {
    (clause ? emptyClause : emptyTerm) = true;
    return &matrix.emptyTag;
  }
  if (encoded_.size() == 1) {
    units.push_back(encoded_[0]);
    return &matrix.unitTag;
  }
  return learnConstraint_(encoded_, id, input, clause);
}

uint32_t* NffEx::learnConstraint(std::vector<uint32_t>& lits, uint32_t& id, bool clause) {
  // Opponent literals (universal in a clause, existential in a term) behind
  // every own literal go, and so do trailing empty slots.
  while (!lits.empty() && (litVar(lits.back()) == 0 || clause != litExistential(lits.back()))) lits.pop_back();
  if (lits.empty()) {
    (clause ? emptyClause : emptyTerm) = true;
    return &matrix.emptyTag;
  }
  if (lits.size() == 1) {
    units.push_back(lits[0]);
    return &matrix.unitTag;
  }
  return learnConstraint_(lits, id, false, clause);
}

uint32_t* NffEx::learnConstraint_(std::vector<uint32_t>& lits, uint32_t& id, bool input, bool clause) {
  const ConstraintKind k = kindOf(input, clause);
  const std::size_t n = lits.size();
  assert(n >= 2);

  uint32_t maxCode = 0;
  for (uint32_t l : lits) maxCode = std::max(maxCode, litCode(l));
  ensureLitTables_(k, maxCode);

  if (n == 2) {
    ++counts[k];
    const uint32_t a = lits[0], b = lits[1];
    WordList& partnersOfB = bOccs[k].edit(litCode(b));
    WordList& partnersOfA = bOccs[k].edit(litCode(a));
    if (partnersOfB.empty()) partnersOfB.push_back(b);
    if (partnersOfA.empty()) partnersOfA.push_back(a);
    partnersOfB.push_back(a);
    partnersOfA.push_back(b);
    return &matrix.binaryTag;
  }

  uint32_t* record = matrix.newRecord(n + 3);  // may throw: nothing changed yet
  ++counts[k];
  std::vector<watchedOccs_>& table = watchedOccs[k];
  if (table.size() == table.capacity())
    table.reserve(std::max(table.capacity() + 1, static_cast<std::size_t>(1.5f * static_cast<float>(table.capacity()))));
  id = static_cast<uint32_t>(table.size());
  table.push_back(watchedOccs_{0, 0, record});

  // Watches are set by whoever activates the constraint; zero them so a
  // record never holds stale words.
  record[0] = 0;
  record[1] = 0;
  if (k >= LearnedClause && !learnedLists_) {
    std::vector<uint32_t>& counted = learnedCounts_[k - LearnedClause];
    for (std::size_t i = 0; i < n; ++i) {
      const uint32_t l = lits[n - 1 - i];  // innermost first
      record[kRecordHeader + i] = l;
      ++counted[litCode(l)];
    }
  } else if (k == OrigClause && deferred_) {
    for (std::size_t i = 0; i < n; ++i) record[kRecordHeader + i] = lits[n - 1 - i];  // innermost first
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      const uint32_t l = lits[n - 1 - i];  // innermost first
      record[kRecordHeader + i] = l;
      nOccs[k].edit(litCode(l)).push_back(id);
    }
  }
  record[n + 2] = 0;
  return record;
}

void NffEx::deferInputOccurrences() {
  if (deferred_) return;
  deferred_ = true;
  deferredFrom_ = static_cast<uint32_t>(watchedOccs[OrigClause].size());
}

void NffEx::layOutInputOccurrences() {
  if (!deferred_) return;
  deferred_ = false;
  const std::vector<watchedOccs_>& table = watchedOccs[OrigClause];
  WordLists& lists = nOccs[OrigClause];
  // The tables already cover every stored literal (ensureLitTables_).
  std::vector<uint32_t> count(lists.size(), 0);
  for (std::size_t id = deferredFrom_; id < table.size(); ++id) {
    assert(table[id].begin && "nothing is deleted while the lists are deferred");
    for (const uint32_t* p = NConstraint::literals(table[id].begin); *p; ++p) ++count[litCode(*p)];
  }
  for (std::size_t code = 0; code < count.size(); ++code)
    if (count[code] != 0) {
      WordList& list = lists.edit(code);
      list.reserveExact(list.size() + count[code]);
    }
  std::vector<uint32_t>().swap(count);
  for (std::size_t id = deferredFrom_; id < table.size(); ++id)
    for (const uint32_t* p = NConstraint::literals(table[id].begin); *p; ++p)
      lists.edit(litCode(*p)).push_back(static_cast<uint32_t>(id));
}

void NffEx::unLearnNConstraint(uint32_t id, bool input, bool clause) {
  const ConstraintKind k = kindOf(input, clause);
  if (k == OrigClause) layOutInputOccurrences();
  if (id == 0 || id >= watchedOccs[k].size()) return;
  watchedOccs_& entry = watchedOccs[k][id];
  if (!entry.begin) return;
  --counts[k];
  if (k >= LearnedClause && !learnedLists_) {
    std::vector<uint32_t>& counted = learnedCounts_[k - LearnedClause];
    for (const uint32_t* p = NConstraint::literals(entry.begin); *p; ++p) {
      assert(counted[litCode(*p)] > 0);
      --counted[litCode(*p)];
    }
    entry.begin = nullptr;
    return;
  }
  for (const uint32_t* p = NConstraint::literals(entry.begin); *p; ++p) {
    WordList& occs = nOccs[k].edit(litCode(*p));
    auto it = std::find(occs.begin(), occs.end(), id);
    assert(it != occs.end());
    if (it == occs.end()) continue;
    *it = occs.back();
    occs.pop_back();
  }
  entry.begin = nullptr;
}

}  // namespace vorn
