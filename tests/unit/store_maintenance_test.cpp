// Store maintenance and printers: the clause-line printers, deleting a
// binary and taking a literal out of a stored constraint (with reduction
// of what is left), compaction of the id tables, ordering of the partner
// lists, and the guard that all of it runs before the watches are set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/DynFormula.h"
#include "engine/NffEx.h"
#include "support/Generator.h"

namespace vorn {
namespace {

constexpr std::size_t kChunkWords = 1 << 12;  // small chunks keep the sanitizer build light
constexpr std::size_t kChunkLimit = 16;

// Prefix e 1 2 3 | a 4 5 | e 6 7; internal index v has external number 10 v.
bool existsVar(long v) { return v <= 3 || v >= 6; }

template <class Store>
void placePrefix(Store& store, Instance<long>& names) {
  for (long v = 1; v <= 7; ++v) names.getIndex(10 * v);
  for (unsigned long v = 1; v <= 7; ++v) store.prefix.learnAtom(existsVar(static_cast<long>(v)) ? Exists : Forall, v);
  store.init(7, 0);
}

uint32_t L(long s, bool clause = true) {
  const uint32_t v = static_cast<uint32_t>(std::labs(s));
  return 2 * v + (s < 0 ? 1u : 0u) + (existsVar(static_cast<long>(v)) ? kExistBit : 0u) + (clause ? 0u : kTermBit);
}

struct Store {
  CommandLine options;
  Instance<long> names;
  NffEx store{options, names, kChunkWords, kChunkLimit};
  Store() { placePrefix(store, names); }

  uint32_t add(std::vector<long> lits, bool clause = true) {
    uint32_t id = 0;
    store.learnConstraint(lits, id, true, clause);
    return id;
  }
  std::vector<uint32_t> record(ConstraintKind k, uint32_t id) {
    std::vector<uint32_t> lits;
    for (const uint32_t* p = NConstraint::literals(store.watchedOccs[k][id].begin); *p; ++p) lits.push_back(*p);
    return lits;
  }
  bool occurs(ConstraintKind k, uint32_t lit, uint32_t id) {
    const std::vector<uint32_t>& occs = store.nOccs[k][litCode(lit)];
    return std::find(occs.begin(), occs.end(), id) != occs.end();
  }
};

std::string captured(const std::function<void()>& run) {
  testing::internal::CaptureStdout();
  run();
  return testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------- printers

TEST(StorePrinters, InputConstraintsOnceEachInBothNumberings) {
  Store s;
  s.add({1, -4, 6});  // record [6 -4 1]
  const uint32_t gone = s.add({2, -4, 6});
  s.add({2, 7});   // printed once, from the list of 7
  s.add({-6, 7});  // a second partner in the list of 7
  s.add({1});      // units are not clause lines
  s.store.unLearnNConstraint(gone, true, true);

  // The unit-conflict list may be pending in the scratch words; printing
  // must leave it alone.
  s.store.scratch[0] = 0xdead;
  s.store.scratch[1] = L(3);
  s.store.scratch[2] = 0;
  s.store.scratch[3] = 0;

  const std::string internal = "6 -4 1 0\n7 2 0\n7 -6 0\n";
  EXPECT_EQ(captured([&] { s.store.printMatrix(false); }), internal);
  EXPECT_EQ(captured([&] { s.store.printMatrix(false); }), internal) << "every call walks afresh";
  EXPECT_EQ(captured([&] { s.store.printMatrix(true); }), "60 -40 10 0\n70 20 0\n70 -60 0\n");
  EXPECT_EQ(captured([&] { s.store.printFormula(true); }),
            "p cnf 7 3\ne 10 20 30 0 \na 40 50 0 \ne 60 70 0 \n60 -40 10 0\n70 20 0\n70 -60 0\n");
  EXPECT_EQ(captured([&] { s.store.printFormula(false); }),
            "e e 1  e 2  e 3  0 \na a 4  a 5  0 \ne e 6  e 7  0 \n" + internal);

  const uint32_t expectScratch[4] = {0xdead, L(3), 0, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s.store.scratch[i], expectScratch[i]) << "scratch word " << i;
}

TEST(StorePrinters, RecordAndPairPrinters) {
  Store s;
  Instance<long> none;  // external numbers beyond the table print as 0
  const uint32_t id = s.add({1, 2, -4, 6});
  const uint32_t* rec = s.store.watchedOccs[OrigClause][id].begin;
  EXPECT_EQ(NConstraint::getSize(rec), 4u);
  EXPECT_EQ(captured([&] { NConstraint::print(rec, s.names, false); }), "6 -4 2 1 0\n");
  EXPECT_EQ(captured([&] { NConstraint::print(rec, s.names, true); }), "60 -40 20 10 0\n");
  EXPECT_EQ(captured([&] { NConstraint::print(rec, none, true); }), "0 0 0 0 0\n");
  const uint32_t pair[2] = {L(-7), L(3)};
  EXPECT_EQ(captured([&] { BinConstraint::print(pair, s.names, true); }), "-70 30 0\n");
}

// ------------------------------------------------- removing a literal

enum class Left { Empty, Unit, Binary, Record };

struct RemoveCase {
  const char* name;
  std::vector<long> input;
  bool clause;
  long removed;
  Left left;
  std::vector<long> remaining;  // record order for a record, {a, b} for a binary
};

// Clauses over e 1 2 3 | a 4 5 | e 6 7; in a term the universal literals
// are the own ones.
const RemoveCase kRemoveCases[] = {
    {"three to binary (middle)", {1, -4, 6}, true, -4, Left::Binary, {6, 1}},
    {"three to binary (outermost)", {1, -4, 6}, true, 1, Left::Binary, {6, -4}},
    {"three to unit: the universal goes too", {1, -4, 6}, true, 6, Left::Unit, {1}},
    {"three to empty: only universals left", {-4, -5, 6}, true, 6, Left::Empty, {}},
    {"four to three in place", {1, 2, -4, 6}, true, 2, Left::Record, {6, -4, 1}},
    {"four to binary after reduction", {1, 2, -4, 6}, true, 6, Left::Binary, {2, 1}},
    {"six to three, reduced in place", {1, 2, 3, -4, -5, 6}, true, 6, Left::Record, {3, 2, 1}},
    {"term: three to binary", {1, 2, 4}, false, 2, Left::Binary, {4, 1}},
    {"term: three to empty", {1, 2, 4}, false, 4, Left::Empty, {}},
};

TEST(RemoveLiteral, FromRecordLeavesTheReducedRest) {
  for (const RemoveCase& c : kRemoveCases) {
    SCOPED_TRACE(c.name);
    Store s;
    const ConstraintKind k = c.clause ? OrigClause : OrigTerm;
    const uint32_t id = s.add(c.input, c.clause);
    ASSERT_NE(id, 0u);
    std::vector<uint32_t> before = s.record(k, id);
    ASSERT_EQ(s.store.counts[k], 1u);

    s.store.removeLitFromNConstraint(L(c.removed, c.clause), id, true, c.clause);

    std::vector<uint32_t> rest;
    for (long r : c.remaining) rest.push_back(L(r, c.clause));
    const watchedOccs_& entry = s.store.watchedOccs[k][id];
    EXPECT_EQ(s.store.counts[k], (c.left == Left::Binary || c.left == Left::Record) ? 1u : 0u)
        << "a record turned binary stays counted";
    EXPECT_EQ(c.clause ? s.store.emptyClause : s.store.emptyTerm, c.left == Left::Empty);
    EXPECT_FALSE(c.clause ? s.store.emptyTerm : s.store.emptyClause);
    EXPECT_EQ(s.store.units, c.left == Left::Unit ? rest : std::vector<uint32_t>{});
    EXPECT_EQ(entry.begin != nullptr, c.left == Left::Record);

    if (c.left == Left::Record) {
      EXPECT_EQ(s.record(k, id), rest);
    }
    for (uint32_t l : before)
      EXPECT_EQ(s.occurs(k, l, id), c.left == Left::Record && std::count(rest.begin(), rest.end(), l) == 1)
          << "occurrence of literal " << l;

    // Binary lists: exactly the pair when one is left, nothing otherwise.
    for (std::size_t code = 0; code < s.store.bOccs[k].size(); ++code) {
      const std::vector<uint32_t>& list = s.store.bOccs[k][code];
      if (c.left == Left::Binary && code == litCode(rest[0])) {
        EXPECT_EQ(list, (std::vector<uint32_t>{rest[0], rest[1]}));
      } else if (c.left == Left::Binary && code == litCode(rest[1])) {
        EXPECT_EQ(list, (std::vector<uint32_t>{rest[1], rest[0]}));
      } else {
        EXPECT_TRUE(list.empty()) << "list " << code;
      }
    }
  }
}

TEST(RemoveLiteral, RecordTurnedBinaryPrintsAsOneClauseLine) {
  Store s;
  const uint32_t id = s.add({1, -4, 6});
  s.store.removeLitFromNConstraint(L(-4), id, true, true);
  EXPECT_EQ(captured([&] { s.store.printFormula(true); }), "p cnf 7 1\ne 10 20 30 0 \na 40 50 0 \ne 60 70 0 \n60 10 0\n");
  // A deleted entry and an id beyond the table are left alone.
  s.store.removeLitFromNConstraint(L(6), id, true, true);
  s.store.removeLitFromNConstraint(L(6), 99, true, true);
  EXPECT_EQ(s.store.counts[OrigClause], 1u);
  EXPECT_TRUE(s.store.units.empty());
}

TEST(RemoveLiteral, FromBinaryUnderReduction) {
  Store s;
  s.add({2, 7});
  s.add({1, 7});
  s.add({-4, 6});
  ASSERT_EQ(s.store.counts[OrigClause], 3u);
  uint32_t a = L(2), b = L(7), u = L(-4), e = L(6), one = L(1);

  s.store.removeLitFromBConstraint(a, one, false, false);  // not a stored pair
  EXPECT_EQ(s.store.counts[OrigClause], 3u);
  EXPECT_TRUE(s.store.units.empty()) << "a pair that is not stored leaves no unit";

  s.store.removeLitFromBConstraint(a, b, false, false);
  EXPECT_EQ(s.store.units, std::vector<uint32_t>{L(7)});
  EXPECT_EQ(s.store.counts[OrigClause], 2u);
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(a)], std::vector<uint32_t>{a}) << "the owner element stays";
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(b)], (std::vector<uint32_t>{b, one}));
  EXPECT_FALSE(s.store.emptyClause);

  s.store.removeLitFromBConstraint(e, u, false, false);  // -4 alone is reduced away
  EXPECT_TRUE(s.store.emptyClause);
  EXPECT_EQ(s.store.units.size(), 1u);
  EXPECT_EQ(s.store.counts[OrigClause], 1u);
}

TEST(UnlearnBinary, OnlyAStoredPairIsDeleted) {
  Store s;
  s.add({2, 7});
  s.add({2, 7});  // stored twice: stands twice
  s.add({1, 7});
  const std::vector<std::vector<uint32_t>> lists = s.store.bOccs[OrigClause];
  uint32_t a = L(2), b = L(7), one = L(1), far = 2 * 40 + kExistBit;

  for (auto pair : {std::make_pair(a, one), std::make_pair(one, a), std::make_pair(a, far), std::make_pair(far, b),
                    std::make_pair(L(-2), b), std::make_pair(a, a)}) {
    s.store.unLearnBConstraint(pair.first, pair.second);
    EXPECT_EQ(s.store.counts[OrigClause], 3u);
    EXPECT_EQ(s.store.bOccs[OrigClause], lists);
  }
  s.store.unLearnBConstraint(b, a);
  EXPECT_EQ(s.store.counts[OrigClause], 2u);
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(a)], (std::vector<uint32_t>{a, b}));
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(b)], (std::vector<uint32_t>{b, one, a}));
  s.store.unLearnBConstraint(a, b);
  s.store.unLearnBConstraint(a, b);  // gone already
  EXPECT_EQ(s.store.counts[OrigClause], 1u);
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(a)], std::vector<uint32_t>{a});
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(b)], (std::vector<uint32_t>{b, one}));
}

// ------------------------------------------------------------- defrag

// Random formulas (clauses, and some of them again as terms) with a random
// share of the records deleted: defrag closes the gaps, its two maps are
// inverse to each other, and every occurrence names the moved id.
TEST(Defrag, MapsAreInverseAndOccurrencesFollow) {
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    test::GenParams p;
    p.numVars = 10;
    p.numClauses = 30;
    p.minClauseLen = 2;
    p.maxClauseLen = 6;
    p.alternations = 3;
    p.namesInFileOrder = true;
    const test::QbfFormula f = test::generate(p, seed);
    SCOPED_TRACE(test::describe(f));

    CommandLine options;
    Instance<long> names;
    NffEx store(options, names, kChunkWords, kChunkLimit);
    for (const test::QBlock& b : f.prefix)
      for (int v : b.vars) store.prefix.learnAtom(b.exists ? Exists : Forall, static_cast<unsigned long>(v));
    store.init(f.maxVar(), 0);
    test::SplitMix64 rng(seed * 7919);
    for (const auto& c : f.clauses) {
      std::vector<long> lits(c.begin(), c.end());
      uint32_t id = 0;
      store.learnConstraint(lits, id, true, true);
      if (rng.chance(0.3)) {
        std::vector<long> term(c.begin(), c.end());
        store.learnConstraint(term, id, true, false);
      }
    }

    for (ConstraintKind k : {OrigClause, OrigTerm}) {
      for (uint32_t id = 1; id < store.watchedOccs[k].size(); ++id)
        if (rng.chance(0.4)) store.unLearnNConstraint(id, true, k == OrigClause);
    }
    const std::string printedBefore = captured([&] { store.printMatrix(false); });
    std::vector<watchedOccs_> entriesBefore[2];
    std::vector<std::vector<uint32_t>> occsBefore[2];
    std::size_t countsBefore[2];
    for (int k = 0; k < 2; ++k) {
      entriesBefore[k] = store.watchedOccs[k];
      occsBefore[k] = std::vector<std::vector<uint32_t>>(store.nOccs[k]);
      countsBefore[k] = store.counts[k];
    }
    const std::vector<std::vector<uint32_t>> binariesBefore = store.bOccs[OrigClause];

    store.defrag(0, 0);

    for (int k = 0; k < 2; ++k) {
      const std::vector<watchedOccs_>& before = entriesBefore[k];
      const std::vector<watchedOccs_>& after = store.watchedOccs[k];
      const std::vector<uint32_t>& newToOld = store.newToOld[k];
      const std::vector<uint32_t>& oldToNew = store.oldToNew[k];
      ASSERT_EQ(oldToNew.size(), before.size());
      ASSERT_EQ(newToOld.size(), after.size());
      std::size_t live = 0;
      for (uint32_t old = 1; old < before.size(); ++old) {
        if (!before[old].begin) {
          EXPECT_EQ(oldToNew[old], 0u) << "deleted id " << old;
          continue;
        }
        ++live;
        const uint32_t now = oldToNew[old];
        ASSERT_TRUE(now >= 1 && now < after.size());
        EXPECT_EQ(newToOld[now], old);
        EXPECT_EQ(after[now].begin, before[old].begin);
        EXPECT_EQ(after[now].watch1, before[old].watch1);
        EXPECT_EQ(after[now].watch2, before[old].watch2);
        if (now > 1) {
          EXPECT_LT(newToOld[now - 1], old) << "live entries keep their order";
        }
      }
      EXPECT_EQ(after.size(), live + 1) << "no gaps left";
      EXPECT_EQ(store.counts[k], countsBefore[k]);
      for (uint32_t now = 1; now < after.size(); ++now) {
        EXPECT_EQ(oldToNew[newToOld[now]], now);
        for (const uint32_t* l = NConstraint::literals(after[now].begin); *l; ++l) {
          const std::vector<uint32_t>& occs = store.nOccs[k][litCode(*l)];
          EXPECT_EQ(std::count(occs.begin(), occs.end(), now), 1) << "new id " << now;
        }
      }
      for (std::size_t code = 0; code < occsBefore[k].size(); ++code) {
        std::vector<uint32_t> mapped;
        for (uint32_t old : occsBefore[k][code]) mapped.push_back(oldToNew[old]);
        EXPECT_EQ(store.nOccs[k][code], mapped) << "list " << code;
      }
    }
    EXPECT_EQ(store.bOccs[OrigClause], binariesBefore);
    EXPECT_EQ(captured([&] { store.printMatrix(false); }), printedBefore);
  }
}

// -------------------------------------------------------- sortBinary

TEST(SortBinary, PartnersDeepestFirstShortListsUntouched) {
  Store s;
  for (long partner : {2, 7, 3, 6}) s.add({1, partner});
  s.add({-4, 6});
  const uint32_t one = L(1);
  const std::vector<std::vector<uint32_t>> before = s.store.bOccs[OrigClause];

  s.store.sortBinary(L(2));       // owner and one partner: nothing to order
  s.store.sortBinary(L(-5));      // empty list
  s.store.sortBinary(2 * 500u);   // beyond the tables
  EXPECT_EQ(s.store.bOccs[OrigClause], before);

  s.store.sortBinary(one);
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(one)], (std::vector<uint32_t>{one, L(7), L(6), L(3), L(2)}));
  s.add({1, -4, 5, 6});  // a record: untouched by the sort
  s.add({-5, 6});
  s.add({3, 6});
  s.store.sortBinary(0);
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(L(6))], (std::vector<uint32_t>{L(6), L(-5), L(-4), L(3), L(1)}));
  EXPECT_EQ(s.store.bOccs[OrigClause][litCode(L(2))], (std::vector<uint32_t>{L(2), one}));

  Store empty;
  empty.store.sortBinary(0);
  EXPECT_EQ(empty.store.bOccs[OrigClause], std::vector<std::vector<uint32_t>>(16));
}

// ------------------------------------- guard: before the watches only

#ifndef NDEBUG
TEST(StoreMaintenanceDeathTest, RefusedOnceWatched) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CommandLine options;
  Instance<long> names;
  DynFormula formula(options, names, kChunkWords, kChunkLimit);
  placePrefix(formula, names);
  std::vector<long> c = {1, 2, -4, 6}, d = {2, 7};
  uint32_t id = 0, unused = 0;
  formula.learnConstraint(c, id, true, true);
  formula.learnConstraint(d, unused, true, true);
  formula.init();
  uint32_t a = L(2), b = L(7);
  EXPECT_DEATH(formula.removeLitFromNConstraint(L(2), id, true, true), "already watched");
  EXPECT_DEATH(formula.removeLitFromBConstraint(a, b, false, false), "already watched");
  EXPECT_DEATH(formula.defrag(0, 0), "watch lists");
}
#endif

}  // namespace
}  // namespace vorn
