// The constraint store: encoding, sorting and reduction of input and
// learned constraints into units, binary partner lists and records; ids,
// occurrence lists and deletion; table sizing; and the chunk memory that
// holds the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/NffEx.h"
#include "support/Generator.h"

namespace vorn {
namespace {

// The fixed prefix of the tables: e 1 2 | a 3 4 | e 5 6.
bool fixedExists(long v) { return v == 1 || v == 2 || v == 5 || v == 6 || v > 6; }

void placeFixedPrefix(NffEx& store) {
  for (unsigned long v : {1ul, 2ul}) store.prefix.learnAtom(Exists, v);
  for (unsigned long v : {3ul, 4ul}) store.prefix.learnAtom(Forall, v);
  for (unsigned long v : {5ul, 6ul}) store.prefix.learnAtom(Exists, v);
  store.init(6, 0);
}

// Literal of signed index s over the fixed prefix (term bit for a term).
uint32_t L(long s, bool clause = true) {
  const uint32_t v = static_cast<uint32_t>(std::labs(s));
  return 2 * v + (s < 0 ? 1u : 0u) + (fixedExists(static_cast<long>(v)) ? kExistBit : 0u) + (clause ? 0u : kTermBit);
}
uint32_t T(long s) { return L(s, false); }

enum class Outcome { Tautology, Empty, Unit, Binary, Record };

const uint32_t* tagOf(NffEx& store, Outcome o) {
  switch (o) {
    case Outcome::Tautology: return &store.matrix.tautologyTag;
    case Outcome::Empty: return &store.matrix.emptyTag;
    case Outcome::Unit: return &store.matrix.unitTag;
    case Outcome::Binary: return &store.matrix.binaryTag;
    case Outcome::Record: return nullptr;
  }
  return nullptr;
}

// Checks that exactly `stored` (Literals, in stored order) was filed under
// kind k and nothing else.
void expectStored(NffEx& store, const uint32_t* outcome, Outcome o, ConstraintKind k, bool clause,
                  const std::vector<uint32_t>& stored, uint32_t id) {
  const std::size_t recordsBefore = 1;  // entry 0 only
  std::size_t otherCounts = 0;
  for (int j = 0; j < kKinds; ++j)
    if (j != static_cast<int>(k)) otherCounts += store.counts[j];
  EXPECT_EQ(otherCounts, 0u);
  const bool counted = o == Outcome::Binary || o == Outcome::Record;
  EXPECT_EQ(store.counts[k], counted ? 1u : 0u);
  EXPECT_EQ(store.emptyClause, o == Outcome::Empty && clause);
  EXPECT_EQ(store.emptyTerm, o == Outcome::Empty && !clause);
  EXPECT_EQ(store.units, o == Outcome::Unit ? stored : std::vector<uint32_t>{});

  if (o == Outcome::Record) {
    EXPECT_TRUE(store.isRecord(outcome));
    ASSERT_EQ(store.watchedOccs[k].size(), recordsBefore + 1);
    EXPECT_EQ(id, 1u);
    const watchedOccs_& e = store.watchedOccs[k][1];
    EXPECT_EQ(e.begin, outcome);
    ASSERT_EQ(NConstraint::terminator(e.begin), outcome + stored.size() + 2);
    std::vector<uint32_t> words(e.begin + kRecordHeader, NConstraint::terminator(e.begin));
    EXPECT_EQ(words, stored);
    for (uint32_t l : stored) EXPECT_EQ(store.nOccs[k][litCode(l)], std::vector<uint32_t>{1}) << l;
  } else {
    EXPECT_EQ(outcome, tagOf(store, o));
    EXPECT_FALSE(store.isRecord(outcome));
    EXPECT_EQ(store.watchedOccs[k].size(), recordsBefore);
  }
  for (int j = 0; j < kKinds; ++j) {
    for (std::size_t c = 0; c < store.bOccs[j].size(); ++c) {
      std::vector<uint32_t> expected;
      if (o == Outcome::Binary && j == static_cast<int>(k)) {
        if (c == litCode(stored[0])) expected = {stored[0], stored[1]};
        if (c == litCode(stored[1])) expected = {stored[1], stored[0]};
      }
      EXPECT_EQ(store.bOccs[j][c], expected) << "kind " << j << " code " << c;
    }
    if (o != Outcome::Record || j != static_cast<int>(k)) {
      for (std::size_t c = 0; c < store.nOccs[j].size(); ++c) EXPECT_TRUE(store.nOccs[j][c].empty());
    }
  }
}

struct InputCase {
  const char* name;
  std::vector<long> lits;
  bool clause;
  Outcome outcome;
  std::vector<uint32_t> stored;  // record order, binary pair in ascending order, or the unit
};

TEST(ConstraintStore, InputConstraintsOnThreeBlocks) {
  const InputCase cases[] = {
      {"tautology", {3, -3, 5}, true, Outcome::Tautology, {}},
      {"tautology of existentials", {1, 6, -1}, true, Outcome::Tautology, {}},
      {"tautology on universals only beats emptiness", {3, 4, -3}, true, Outcome::Tautology, {}},
      {"repeated literal gives a binary", {5, 5, 6}, true, Outcome::Binary, {L(5), L(6)}},
      {"repeats in any order", {2, 1, 1, 2}, true, Outcome::Binary, {L(1), L(2)}},
      {"trailing universal reduced to a unit", {3, 1}, true, Outcome::Unit, {L(1)}},
      {"universal only is empty", {3}, true, Outcome::Empty, {}},
      {"universals only are empty", {-4, 3}, true, Outcome::Empty, {}},
      {"no literal is empty", {}, true, Outcome::Empty, {}},
      {"three levels innermost first", {1, 3, 5}, true, Outcome::Record, {L(5), L(3), L(1)}},
      {"larger index first within a block", {-4, 2, 5, -6, 3}, true, Outcome::Record,
       {L(-6), L(5), L(-4), L(3), L(2)}},
      {"repeats dropped inside a record", {6, 5, 5, -3, 2, 2}, true, Outcome::Record, {L(6), L(5), L(-3), L(2)}},
      {"universal block behind every existential goes", {1, 2, 3, 4}, true, Outcome::Binary, {L(1), L(2)}},
      {"universal before an existential stays", {-3, 6}, true, Outcome::Binary, {L(-3), L(6)}},
      {"variable without a place joins block 0", {7, 1}, true, Outcome::Binary, {L(1), L(7)}},
      {"input term loses trailing existentials", {1, 3, 5}, false, Outcome::Binary, {T(1), T(3)}},
      {"input term of existentials is empty", {5, 6}, false, Outcome::Empty, {}},
      {"input term record", {3, -4, 1, 2}, false, Outcome::Record, {T(-4), T(3), T(2), T(1)}},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    CommandLine options;
    Instance<long> names;
    NffEx store(options, names);
    placeFixedPrefix(store);
    std::vector<long> lits = c.lits;
    uint32_t id = 12345;
    const uint32_t* outcome = store.learnConstraint(lits, id, true, c.clause);
    const ConstraintKind k = c.clause ? OrigClause : OrigTerm;
    expectStored(store, outcome, c.outcome, k, c.clause, c.stored, c.outcome == Outcome::Record ? id : 1);
    if (c.outcome != Outcome::Record) {
      EXPECT_EQ(id, 12345u) << "id written without a record";
    }
  }
}

struct LearnedCase {
  const char* name;
  std::vector<uint32_t> lits;  // ascending prefix order, encoded
  bool clause;
  Outcome outcome;
  std::vector<uint32_t> stored;
  std::size_t lengthAfter;  // the caller's list after the reduction
};

TEST(ConstraintStore, LearnedConstraintsAreReducedInPlace) {
  const LearnedCase cases[] = {
      {"clause kept whole", {L(1), L(-3), L(5)}, true, Outcome::Record, {L(5), L(-3), L(1)}, 3},
      {"clause loses trailing universals", {L(1), L(2), L(3), L(-4)}, true, Outcome::Binary, {L(1), L(2)}, 2},
      {"clause of universals is empty", {L(3), L(4)}, true, Outcome::Empty, {}, 0},
      {"clause reduced to a unit", {L(-2), L(3)}, true, Outcome::Unit, {L(-2)}, 1},
      {"trailing empty slot dropped", {L(1), L(2), L(5), 0}, true, Outcome::Record, {L(5), L(2), L(1)}, 3},
      {"term loses trailing existentials", {T(3), T(4), T(5)}, false, Outcome::Binary, {T(3), T(4)}, 2},
      {"term of existentials is empty", {T(1), T(5)}, false, Outcome::Empty, {}, 0},
      {"term to a binary", {T(1), T(3), T(-5), T(6)}, false, Outcome::Binary, {T(1), T(3)}, 2},
      {"term record", {T(1), T(3), T(-4), T(5)}, false, Outcome::Record, {T(-4), T(3), T(1)}, 3},
  };
  for (const LearnedCase& c : cases) {
    SCOPED_TRACE(c.name);
    CommandLine options;
    Instance<long> names;
    NffEx store(options, names);
    placeFixedPrefix(store);
    std::vector<uint32_t> lits = c.lits;
    uint32_t id = 0;
    const uint32_t* outcome = store.learnConstraint(lits, id, c.clause);
    EXPECT_EQ(lits.size(), c.lengthAfter);
    const ConstraintKind k = c.clause ? LearnedClause : LearnedTerm;
    expectStored(store, outcome, c.outcome, k, c.clause, c.stored, id);
  }
}

TEST(ConstraintStore, DuplicateBinariesIdsAndDeletion) {
  CommandLine options;
  Instance<long> names;
  NffEx store(options, names);
  placeFixedPrefix(store);
  uint32_t id = 0;

  // A binary stored twice stands twice; the owner element stays single.
  for (int i = 0; i < 2; ++i) {
    std::vector<long> pair = {2, 1};
    EXPECT_EQ(store.learnConstraint(pair, id, true, true), &store.matrix.binaryTag);
  }
  EXPECT_EQ(store.bOccs[OrigClause][litCode(L(1))], (std::vector<uint32_t>{L(1), L(2), L(2)}));
  EXPECT_EQ(store.bOccs[OrigClause][litCode(L(2))], (std::vector<uint32_t>{L(2), L(1), L(1)}));
  EXPECT_EQ(store.counts[OrigClause], 2u);

  // Ids count up from 1 per kind.
  std::vector<long> c1 = {1, 3, 5}, c2 = {1, 3, 6}, c3 = {1, 4, 5};
  std::vector<uint32_t> l1 = {L(1), L(3), L(5)};
  EXPECT_TRUE(store.isRecord(store.learnConstraint(c1, id, true, true)));
  EXPECT_EQ(id, 1u);
  EXPECT_TRUE(store.isRecord(store.learnConstraint(c2, id, true, true)));
  EXPECT_EQ(id, 2u);
  EXPECT_TRUE(store.isRecord(store.learnConstraint(l1, id, true)));
  EXPECT_EQ(id, 1u) << "learned clauses have ids of their own";
  EXPECT_TRUE(store.isRecord(store.learnConstraint(c3, id, true, true)));
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(store.counts[OrigClause], 5u);
  EXPECT_EQ(store.counts[LearnedClause], 1u);
  EXPECT_EQ(store.nOccs[OrigClause][litCode(L(1))], (std::vector<uint32_t>{1, 2, 3}));

  // Deleting id 1 moves the last id into its place in each list.
  store.unLearnNConstraint(1, true, true);
  EXPECT_EQ(store.nOccs[OrigClause][litCode(L(1))], (std::vector<uint32_t>{3, 2}));
  EXPECT_EQ(store.nOccs[OrigClause][litCode(L(3))], (std::vector<uint32_t>{2}));
  EXPECT_EQ(store.nOccs[OrigClause][litCode(L(5))], (std::vector<uint32_t>{3}));
  EXPECT_EQ(store.watchedOccs[OrigClause][1].begin, nullptr);
  EXPECT_EQ(store.counts[OrigClause], 4u);
  // Twice, or ids that do not exist: nothing changes.
  store.unLearnNConstraint(1, true, true);
  store.unLearnNConstraint(0, true, true);
  store.unLearnNConstraint(99, true, true);
  EXPECT_EQ(store.counts[OrigClause], 4u);
  EXPECT_EQ(store.nOccs[OrigClause][litCode(L(1))], (std::vector<uint32_t>{3, 2}));
  // The learned record of the same id is another constraint.
  EXPECT_NE(store.watchedOccs[LearnedClause][1].begin, nullptr);
  EXPECT_EQ(store.nOccs[LearnedClause][litCode(L(1))], (std::vector<uint32_t>{1}));
  // New ids are never the deleted ones.
  std::vector<long> c4 = {2, 3, 5};
  store.learnConstraint(c4, id, true, true);
  EXPECT_EQ(id, 4u);
}

// The search road keeps only counts for the learned kinds: every count
// must equal the length of the list a store with lists would hold, through
// storing, reduction and deletion, and the input kinds keep their lists.
TEST(ConstraintStore, LearnedCountsMatchTheLists) {
  CommandLine options;
  Instance<long> names;
  NffEx listed(options, names), counted(options, names);
  placeFixedPrefix(listed);
  placeFixedPrefix(counted);
  counted.keepLearnedOccurrenceLists(false);
  EXPECT_TRUE(listed.learnedOccurrenceListsKept());
  EXPECT_FALSE(counted.learnedOccurrenceListsKept());

  const std::vector<std::vector<uint32_t>> learned = {
      {L(1), L(3), L(5)},     {L(-1), L(2), L(6)},  {L(2), L(-4), L(5), L(6)}, {T(3), T(-4), T(1)},
      {L(1), L(2), L(5), L(3)},  // the trailing universal goes: a record of three
      {T(-3), T(4), T(5), T(2)}, {T(1), T(3), T(4)},  {L(5), L(6)}};
  uint32_t idsListed[2] = {0, 0};
  for (const std::vector<uint32_t>& lits : learned) {
    const bool clause = !litTerm(lits[0]);
    std::vector<uint32_t> a = lits, b = lits;
    uint32_t idA = 0, idB = 0;
    const bool record = listed.isRecord(listed.learnConstraint(a, idA, clause));
    EXPECT_EQ(record, counted.isRecord(counted.learnConstraint(b, idB, clause)));
    EXPECT_EQ(idA, idB);
    if (record) idsListed[clause ? 0 : 1] = idA;
  }
  std::vector<long> input = {1, 3, 5};
  uint32_t inputId = 0;
  counted.learnConstraint(input, inputId, true, true);
  input = {1, 3, 5};
  listed.learnConstraint(input, inputId, true, true);
  listed.unLearnNConstraint(idsListed[0], false, true);
  counted.unLearnNConstraint(idsListed[0], false, true);
  listed.unLearnNConstraint(1, false, false);
  counted.unLearnNConstraint(1, false, false);

  for (int k = 0; k < kKinds; ++k) {
    const ConstraintKind kind = static_cast<ConstraintKind>(k);
    EXPECT_EQ(listed.counts[k], counted.counts[k]) << k;
    for (uint32_t code = 0; code < 16; ++code) {
      const std::size_t lists = code < listed.nOccs[k].size() ? listed.nOccs[k][code].size() : 0;
      EXPECT_EQ(listed.occurrences(kind, code), lists) << k << " " << code;
      EXPECT_EQ(counted.occurrences(kind, code), lists) << k << " " << code;
      if (code >= counted.nOccs[k].size()) continue;
      if (kind == LearnedClause || kind == LearnedTerm) {
        EXPECT_TRUE(counted.nOccs[k][code].empty());
      } else {
        EXPECT_EQ(counted.nOccs[k][code], listed.nOccs[k][code]);
      }
    }
  }
  // Something was counted at all, and deletion took it back down.
  EXPECT_EQ(counted.occurrences(LearnedClause, litCode(L(6))), 2u);
  EXPECT_EQ(counted.occurrences(LearnedTerm, litCode(T(1))), 0u);
}

TEST(ConstraintStore, InitSizesAndNeverShrinks) {
  CommandLine options;
  Instance<long> names;
  {
    NffEx store(options, names);
    store.init(0, 0);
    for (int k = 0; k < kKinds; ++k) {
      EXPECT_GE(store.nOccs[k].capacity(), 2u);
      EXPECT_GE(store.bOccs[k].capacity(), 2u);
    }
    store.init(-5, -1);  // a negative count sizes nothing and breaks nothing
    EXPECT_GE(store.nOccs[0].capacity(), 2u);
  }
  NffEx store(options, names);
  store.init(3, 100);
  EXPECT_GE(store.nOccs[LearnedTerm].capacity(), 8u);
  // Stored literals beyond the declared count grow the tables...
  store.prefix.learnAtom(Exists, 10);
  store.prefix.learnAtom(Exists, 11);
  store.prefix.learnAtom(Exists, 12);
  std::vector<long> c = {10, -11, 12};
  uint32_t id = 0;
  store.learnConstraint(c, id, true, true);
  EXPECT_GE(store.nOccs[OrigClause].size(), 26u);
  // ...and a later init with a smaller count does not drop them.
  store.init(2, 0);
  EXPECT_EQ(store.nOccs[OrigClause][2 * 12].size(), 1u);
  EXPECT_EQ(store.nOccs[OrigClause][2 * 11 + 1].size(), 1u);
  EXPECT_EQ(store.nOccs[OrigClause][2 * 10].size(), 1u);
}

// Many random constraints on a random prefix against a model written from
// the definition: drop repeats, reject tautologies, order by (level,
// index), remove trailing opponent literals, file by length.
TEST(ConstraintStore, RandomConstraintsMatchTheModel) {
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    test::SplitMix64 rng(seed);
    CommandLine options;
    Instance<long> names;
    NffEx store(options, names, 64, 4096);  // small chunks: records cross many
    const int nVars = rng.range(3, 14);
    std::vector<int> level(nVars + 1), exists(nVars + 1);
    {
      int lvl = 0;
      bool ex = rng.chance(0.5);
      if (!ex) lvl = 1;  // a leading "a" block leaves block 0 empty
      for (int v = 1; v <= nVars; ++v) {
        if (v > 1 && rng.chance(0.35)) {
          ex = !ex;
          ++lvl;
        }
        store.prefix.learnAtom(ex ? Exists : Forall, static_cast<unsigned long>(v));
        level[v] = lvl;
        exists[v] = ex;
      }
      ASSERT_EQ(static_cast<int>(store.prefix.currentLevel), lvl);
    }
    store.init(nVars, 0);

    struct Stored {
      std::vector<uint32_t> lits;  // record order
      ConstraintKind kind;
    };
    std::vector<Stored> records;
    std::vector<std::vector<uint32_t>> binaries[kKinds];
    std::vector<uint32_t> units;
    bool emptyClause = false, emptyTerm = false;
    std::size_t counts[kKinds] = {0, 0, 0, 0};

    for (int n = 0; n < 120; ++n) {
      const bool clause = rng.chance(0.8);
      const int len = rng.range(0, 7);
      std::vector<long> lits;
      for (int i = 0; i < len; ++i) lits.push_back((rng.chance(0.5) ? 1 : -1) * rng.range(1, nVars));
      // The model.
      std::vector<long> uniq;
      bool tautology = false;
      for (long s : lits) {
        if (std::find(uniq.begin(), uniq.end(), -s) != uniq.end()) tautology = true;
        if (std::find(uniq.begin(), uniq.end(), s) == uniq.end()) uniq.push_back(s);
      }
      std::sort(uniq.begin(), uniq.end(), [&](long a, long b) {
        const long va = std::labs(a), vb = std::labs(b);
        return level[va] != level[vb] ? level[va] < level[vb] : va < vb;
      });
      while (!uniq.empty() && exists[std::labs(uniq.back())] != clause) uniq.pop_back();
      std::vector<uint32_t> expected;
      for (long s : uniq)
        expected.push_back(2 * static_cast<uint32_t>(std::labs(s)) + (s < 0) + (exists[std::labs(s)] ? kExistBit : 0) +
                           (clause ? 0 : kTermBit));

      const bool learned = !tautology && rng.chance(0.3);
      const ConstraintKind k = kindOf(!learned, clause);
      uint32_t id = 0;
      const uint32_t* outcome;
      if (learned) {
        // Learned constraints come encoded and in ascending prefix order.
        std::vector<uint32_t> encoded;
        std::vector<long> full = lits;
        std::vector<long> dedup;
        for (long s : full)
          if (std::find(dedup.begin(), dedup.end(), s) == dedup.end()) dedup.push_back(s);
        std::sort(dedup.begin(), dedup.end(), [&](long a, long b) {
          const long va = std::labs(a), vb = std::labs(b);
          return level[va] != level[vb] ? level[va] < level[vb] : va < vb;
        });
        for (long s : dedup)
          encoded.push_back(2 * static_cast<uint32_t>(std::labs(s)) + (s < 0) + (exists[std::labs(s)] ? kExistBit : 0) +
                            (clause ? 0 : kTermBit));
        outcome = store.learnConstraint(encoded, id, clause);
        EXPECT_EQ(encoded, expected) << "seed " << seed << " learned list after reduction";
      } else {
        outcome = store.learnConstraint(lits, id, true, clause);
      }
      SCOPED_TRACE("seed " + std::to_string(seed) + " constraint " + std::to_string(n));
      if (tautology) {
        EXPECT_EQ(outcome, &store.matrix.tautologyTag);
      } else if (expected.empty()) {
        EXPECT_EQ(outcome, &store.matrix.emptyTag);
        (clause ? emptyClause : emptyTerm) = true;
      } else if (expected.size() == 1) {
        EXPECT_EQ(outcome, &store.matrix.unitTag);
        units.push_back(expected[0]);
      } else if (expected.size() == 2) {
        EXPECT_EQ(outcome, &store.matrix.binaryTag);
        binaries[k].push_back(expected);
        ++counts[k];
      } else {
        ASSERT_TRUE(store.isRecord(outcome));
        EXPECT_EQ(id, store.watchedOccs[k].size() - 1);
        std::reverse(expected.begin(), expected.end());
        records.push_back({expected, k});
        ++counts[k];
      }
    }

    // The whole store against the model.
    EXPECT_EQ(store.units, units);
    EXPECT_EQ(store.emptyClause, emptyClause);
    EXPECT_EQ(store.emptyTerm, emptyTerm);
    for (int k = 0; k < kKinds; ++k) EXPECT_EQ(store.counts[k], counts[k]) << "kind " << k;
    std::size_t next[kKinds] = {1, 1, 1, 1};
    for (const Stored& r : records) {
      const watchedOccs_& e = store.watchedOccs[r.kind][next[r.kind]];
      ASSERT_NE(e.begin, nullptr);
      EXPECT_EQ(std::vector<uint32_t>(e.begin + kRecordHeader, NConstraint::terminator(e.begin)), r.lits);
      for (uint32_t l : r.lits) {
        const auto& occ = store.nOccs[r.kind][litCode(l)];
        EXPECT_EQ(std::count(occ.begin(), occ.end(), next[r.kind]), 1);
      }
      ++next[r.kind];
    }
    for (int k = 0; k < kKinds; ++k) {
      EXPECT_EQ(store.watchedOccs[k].size(), next[k]);
      // Each partner list: owner first, then the partners in storing order.
      std::vector<std::vector<uint32_t>> lists(store.bOccs[k].size());
      for (const auto& b : binaries[k]) {
        for (int side = 0; side < 2; ++side) {
          auto& list = lists[litCode(b[side])];
          if (list.empty()) list.push_back(b[side]);
          list.push_back(b[1 - side]);
        }
      }
      EXPECT_EQ(store.bOccs[k], lists) << "kind " << k;
    }
  }
}

// Bulk loading defers the input occurrence lists and lays them out at the
// end; they must come out exactly as storing one by one makes them: same
// ids in the same order, same table size, from a store that already held
// clauses, and with a deletion in between (which lays out first).
TEST(ConstraintStore, DeferredOccurrenceListsMatchDirectStoring) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::SplitMix64 rng(seed);
    CommandLine options;
    Instance<long> names;
    NffEx direct(options, names, 64, 4096), deferred(options, names, 64, 4096);
    placeFixedPrefix(direct);
    placeFixedPrefix(deferred);
    const int before = rng.range(0, 5), deleteAt = rng.range(0, 60);
    uint32_t deletedId = 0;
    for (int n = 0; n < 60; ++n) {
      if (n == before) deferred.deferInputOccurrences();
      std::vector<long> lits;
      const int len = rng.range(2, 6);
      // Variables beyond the prefix join it as free ones and widen the tables.
      for (int i = 0; i < len; ++i) lits.push_back((rng.chance(0.5) ? 1 : -1) * rng.range(1, 9));
      std::vector<long> copy = lits;
      uint32_t idA = 0, idB = 0;
      const uint32_t* a = direct.learnConstraint(lits, idA, true, true);
      deferred.learnConstraint(copy, idB, true, true);
      ASSERT_EQ(idA, idB);
      if (direct.isRecord(a) && deletedId == 0 && n >= deleteAt) deletedId = idA;
      if (deletedId != 0 && deletedId == idA) {
        direct.unLearnNConstraint(idA, true, true);
        deferred.unLearnNConstraint(idA, true, true);
      }
    }
    deferred.layOutInputOccurrences();
    EXPECT_EQ(deferred.nOccs[OrigClause].size(), direct.nOccs[OrigClause].size());
    EXPECT_EQ(deferred.nOccs[OrigClause], static_cast<std::vector<std::vector<uint32_t>>>(direct.nOccs[OrigClause]));
    EXPECT_EQ(deferred.bOccs[OrigClause], static_cast<std::vector<std::vector<uint32_t>>>(direct.bOccs[OrigClause]));
  }
}

// ---- Chunk memory ----

TEST(ChunkMemory, RecordsNeverEndAtAChunksLastWord) {
  Matrix m(16, 8);
  ASSERT_EQ(m.chunks.size(), 1u);
  uint32_t* a = m.newRecord(10);
  EXPECT_EQ(a, m.chunks[0].begin);
  uint32_t* b = m.newRecord(5);  // ends one word before the end: fits
  EXPECT_EQ(b, a + 10);
  EXPECT_EQ(m.chunks.size(), 1u);

  Matrix n(16, 8);
  n.newRecord(10);
  uint32_t* c = n.newRecord(6);  // would end exactly at the chunk's end
  ASSERT_EQ(n.chunks.size(), 2u);
  EXPECT_EQ(c, n.chunks[1].begin);
  EXPECT_EQ(n.chunkIndex, 1u);
  EXPECT_EQ(n.chunks[0].cur, n.chunks[0].begin + 10) << "the rest of the old chunk stays unused";
  EXPECT_EQ(n.newRecord(9), c + 6);
}

TEST(ChunkMemory, RecordLargerThanAChunkGetsOneOfItsOwn) {
  Matrix m(16, 8);
  uint32_t* small = m.newRecord(4);
  for (std::size_t words : {16u, 40u}) {
    uint32_t* big = m.newRecord(words);
    ASSERT_NE(big, nullptr);
    const chunkDesc_& own = m.chunks.back();
    EXPECT_EQ(big, own.begin);
    EXPECT_GT(own.end, big + words - 1) << "the whole record lies inside its chunk";
    for (std::size_t i = 0; i < words; ++i) big[i] = static_cast<uint32_t>(i);  // ASan: all writable
  }
  EXPECT_EQ(m.chunkIndex, 0u);
  EXPECT_EQ(m.newRecord(4), small + 4) << "small records keep coming from the current chunk";
}

TEST(ChunkMemory, ExhaustionThrowsAndPrintsNothing) {
  // The driver reports a lack of memory once, on standard error; the
  // store itself prints nothing.
  Matrix m(8, 2);
  m.newRecord(7);
  m.newRecord(7);  // opens the second and last chunk
  testing::internal::CaptureStdout();
  EXPECT_THROW(m.newRecord(7), std::bad_alloc);
  EXPECT_THROW(m.newRecord(100), std::bad_alloc) << "an oversized record needs a chunk too";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  // Through the store: the failure leaves the caller with an exception,
  // never a short record.
  CommandLine options;
  Instance<long> names;
  NffEx store(options, names, 8, 1);
  placeFixedPrefix(store);
  std::vector<long> c = {1, 2, 5};  // 6 words: fits the first chunk
  uint32_t id = 0;
  EXPECT_TRUE(store.isRecord(store.learnConstraint(c, id, true, true)));
  std::vector<long> d = {1, 2, 6};
  testing::internal::CaptureStdout();
  EXPECT_THROW(store.learnConstraint(d, id, true, true), std::bad_alloc);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ChunkMemory, LongConstraintsSurviveAcrossChunks) {
  CommandLine options;
  Instance<long> names;
  NffEx store(options, names, 32, 1024);
  const int nVars = 60;
  for (int v = 1; v <= nVars; ++v) store.prefix.learnAtom(Exists, static_cast<unsigned long>(v));
  store.init(nVars, 0);
  test::SplitMix64 rng(7);
  std::vector<std::vector<uint32_t>> expected;
  for (int n = 0; n < 300; ++n) {
    const int len = rng.range(3, 25);
    std::vector<long> lits;
    for (int v = 1; v <= nVars && (n == 17 || static_cast<int>(lits.size()) < len); ++v)
      if (n == 17 || rng.chance(0.5)) lits.push_back(rng.chance(0.5) ? v : -v);
    if (n == 17) {
      ASSERT_EQ(lits.size(), 60u);  // one record longer than a chunk
    }
    if (lits.size() < 3) continue;
    std::vector<uint32_t> words;
    for (auto it = lits.rbegin(); it != lits.rend(); ++it) words.push_back(store.encode(*it, true));
    uint32_t id = 0;
    ASSERT_TRUE(store.isRecord(store.learnConstraint(lits, id, true, true)));
    expected.push_back(words);
  }
  ASSERT_EQ(store.watchedOccs[OrigClause].size(), expected.size() + 1);
  EXPECT_GT(store.matrix.chunks.size(), 50u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const watchedOccs_& e = store.watchedOccs[OrigClause][i + 1];
    EXPECT_EQ(std::vector<uint32_t>(e.begin + kRecordHeader, NConstraint::terminator(e.begin)), expected[i])
        << "record " << i + 1;
  }
}

}  // namespace
}  // namespace vorn
