// The engine's quantifier prefix: block structure from quantifier lines,
// first placement wins, table sizes, walks in both directions with and
// without a quantifier filter, removal and duplication of atoms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Prefix.h"

namespace vorn {
namespace {

struct Placement {
  Quantifier q;
  unsigned long v;
};

// Blocks as text: "e1,2|a3|e4" (an empty block shows its letter only).
std::string blocksText(const Prefix& p) {
  std::string out;
  for (std::size_t b = 0; b < p.blocks.size(); ++b) {
    if (b) out += "|";
    out += Prefix::blockQuantifier(b) == Exists ? "e" : "a";
    bool first = true;
    for (uint32_t w : p.blocks[b]) {
      if (!first) out += ",";
      first = false;
      out += w == NULL_ATOM ? std::string("_") : std::to_string(litVar(w));
      // The entry's existential bit must agree with its block.
      if (w != NULL_ATOM) {
        EXPECT_EQ(litExistential(w), Prefix::blockQuantifier(b) == Exists) << out;
      }
    }
  }
  return out;
}

void checkInvariants(const Prefix& p) {
  ASSERT_EQ(p.blocks.size(), p.currentLevel + 1u);
  for (std::size_t b = 1; b < p.blocks.size(); ++b) EXPECT_FALSE(p.blocks[b].empty()) << "block " << b;
  uint32_t placed = 0;
  for (uint32_t v = 0; v < p.atomWord.size(); ++v) {
    if (p.atomLevel[v] == kUnplaced) {
      EXPECT_EQ(p.atomWord[v], NULL_ATOM);
      EXPECT_EQ(p.atomPosition[v], kUnplaced);
      continue;
    }
    ++placed;
    EXPECT_EQ(p.blocks[p.atomLevel[v]][p.atomPosition[v]], p.atomWord[v]) << "variable " << v;
    EXPECT_EQ(litVar(p.atomWord[v]), v);
  }
  EXPECT_EQ(placed, p.atomCount);
}

struct PrefixCase {
  const char* name;
  std::vector<Placement> script;
  const char* blocks;
  uint32_t currentLevel;
  Quantifier currentQuantifier;
};

TEST(EnginePrefix, BlocksFromPlacements) {
  const PrefixCase cases[] = {
      {"e12 a3 e4", {{Exists, 1}, {Exists, 2}, {Forall, 3}, {Exists, 4}}, "e1,2|a3|e4", 2, Exists},
      {"a first leaves block 0 empty", {{Forall, 1}, {Exists, 2}}, "e|a1|e2", 2, Exists},
      {"free joins block 0 behind later blocks", {{Forall, 1}, {Exists, 2}, {Free, 3}}, "e3|a1|e2", 2, Exists},
      {"two e lines share a block", {{Exists, 1}, {Exists, 2}}, "e1,2", 0, Exists},
      {"second placement opens no block", {{Exists, 1}, {Forall, 1}, {Exists, 2}}, "e1,2", 0, Exists},
      {"free then quantified keeps the free place", {{Free, 2}, {Forall, 2}, {Forall, 1}}, "e2|a1", 1, Forall},
      {"free variables and the first e line share block 0", {{Free, 5}, {Exists, 1}, {Forall, 2}, {Free, 6}},
       "e5,1,6|a2", 1, Forall},
      {"nothing placed", {}, "e", 0, Exists},
  };
  for (const PrefixCase& c : cases) {
    SCOPED_TRACE(c.name);
    CommandLine options;
    Instance<long> names;
    Prefix p(options, names);
    for (const Placement& s : c.script) p.learnAtom(s.q, s.v);
    EXPECT_EQ(blocksText(p), c.blocks);
    EXPECT_EQ(p.currentLevel, c.currentLevel);
    EXPECT_EQ(p.currentQuantifier, c.currentQuantifier);
    checkInvariants(p);
  }
}

TEST(EnginePrefix, TablesCoverTheLargestVariableAndUnplacedReadAsUnplaced) {
  CommandLine options;
  Instance<long> names;
  Prefix p(options, names);
  p.learnAtom(Exists, 5);
  ASSERT_EQ(p.atomWord.size(), 6u);
  EXPECT_EQ(p.maxAtom, 5u);
  for (uint32_t v = 0; v < 5; ++v) {
    EXPECT_EQ(p.atomWord[v], NULL_ATOM);
    EXPECT_EQ(p.atomLevel[v], kUnplaced);
    EXPECT_FALSE(p.isPlaced(v));
  }
  EXPECT_EQ(p.atomWord[5], 10u | kExistBit);
  p.learnAtom(Forall, 3);  // below maxAtom: no resize, maxAtom stays
  EXPECT_EQ(p.atomWord.size(), 6u);
  EXPECT_EQ(p.maxAtom, 5u);
  EXPECT_EQ(p.atomWord[3], 6u);
  // Lookups past the end count as unplaced instead of reading out of bounds.
  EXPECT_EQ(p.level(6), kUnplaced);
  EXPECT_EQ(p.level(1000000), kUnplaced);
  EXPECT_FALSE(p.isPlaced(1000000));
  EXPECT_FALSE(p.isExistential(1000000));
  checkInvariants(p);
}

std::vector<uint32_t> forwardWalk(Prefix& p) {
  std::vector<uint32_t> out;
  for (uint32_t w = p.getBegin(); w != NULL_ATOM; w = p.getNext()) out.push_back(w);
  EXPECT_EQ(p.getNext(), NULL_ATOM);  // stays over
  return out;
}
std::vector<uint32_t> forwardWalk(Prefix& p, Quantifier q) {
  std::vector<uint32_t> out;
  for (uint32_t w = p.getBegin(q); w != NULL_ATOM; w = p.getNext(q)) out.push_back(w);
  EXPECT_EQ(p.getNext(q), NULL_ATOM);
  return out;
}
std::vector<uint32_t> reverseWalk(Prefix& p) {
  std::vector<uint32_t> out;
  for (uint32_t w = p.rgetBegin(); w != NULL_ATOM; w = p.rgetNext()) out.push_back(w);
  EXPECT_EQ(p.rgetNext(), NULL_ATOM);
  return out;
}
std::vector<uint32_t> reverseWalk(Prefix& p, Quantifier q) {
  std::vector<uint32_t> out;
  for (uint32_t w = p.rgetBegin(q); w != NULL_ATOM; w = p.rgetNext(q)) out.push_back(w);
  EXPECT_EQ(p.rgetNext(q), NULL_ATOM);
  return out;
}

constexpr uint32_t E(uint32_t v) { return 2 * v | kExistBit; }
constexpr uint32_t A(uint32_t v) { return 2 * v; }

TEST(EnginePrefix, WalksVisitBlocksInOrderAndSkipHoles) {
  CommandLine options;
  Instance<long> names;
  Prefix p(options, names);
  EXPECT_TRUE(forwardWalk(p).empty());
  EXPECT_TRUE(reverseWalk(p, Forall).empty());
  EXPECT_TRUE(reverseWalk(p).empty());

  for (Placement s : std::vector<Placement>{{Exists, 1}, {Exists, 2}, {Forall, 3}, {Exists, 4}}) p.learnAtom(s.q, s.v);
  EXPECT_EQ(forwardWalk(p), (std::vector<uint32_t>{E(1), E(2), A(3), E(4)}));
  EXPECT_EQ(reverseWalk(p, Forall), (std::vector<uint32_t>{6}));
  EXPECT_EQ(forwardWalk(p, Exists), (std::vector<uint32_t>{E(1), E(2), E(4)}));
  EXPECT_EQ(forwardWalk(p, Free), (std::vector<uint32_t>{E(1), E(2), E(4)}));
  EXPECT_EQ(reverseWalk(p), (std::vector<uint32_t>{E(4), A(3), E(2), E(1)}));
  EXPECT_EQ(reverseWalk(p, Exists), (std::vector<uint32_t>{E(4), E(2), E(1)}));

  // Holes left by removal and empty blocks are passed over in both
  // directions; a walk never stops at a hole.
  p.learnAtom(Forall, 5);
  p.learnAtom(Forall, 6);
  p.learnAtom(Exists, 7);  // blocks: e1,2 | a3 | e4 | a5,6 | e7
  p.unLearnAtom(2);
  p.unLearnAtom(4);
  p.unLearnAtom(5);
  EXPECT_EQ(forwardWalk(p), (std::vector<uint32_t>{E(1), A(3), A(6), E(7)}));
  EXPECT_EQ(reverseWalk(p), (std::vector<uint32_t>{E(7), A(6), A(3), E(1)}));
  EXPECT_EQ(reverseWalk(p, Forall), (std::vector<uint32_t>{A(6), A(3)}));
  EXPECT_EQ(forwardWalk(p, Exists), (std::vector<uint32_t>{E(1), E(7)}));

  // An empty outermost block (prefix beginning with "a").
  Prefix q(options, names);
  q.learnAtom(Forall, 1);
  q.learnAtom(Exists, 2);
  EXPECT_EQ(forwardWalk(q), (std::vector<uint32_t>{A(1), E(2)}));
  EXPECT_EQ(reverseWalk(q), (std::vector<uint32_t>{E(2), A(1)}));
  EXPECT_EQ(forwardWalk(q, Exists), (std::vector<uint32_t>{E(2)}));
}

TEST(EnginePrefix, UnlearnAndDuplicate) {
  CommandLine options;
  Instance<long> names;
  Prefix p(options, names);
  p.learnAtom(Exists, 1);
  p.learnAtom(Forall, 2);
  p.learnAtom(Forall, 3);

  // Unplaced or out-of-range variables are left alone.
  p.unLearnAtom(0);
  p.unLearnAtom(7);
  p.unLearnAtom(1000000);
  EXPECT_EQ(p.atomCount, 3u);
  EXPECT_EQ(p.maxAtom, 3u);
  EXPECT_TRUE(p.freeAtoms.empty());

  p.unLearnAtom(2);  // not the largest: kept for reuse
  EXPECT_EQ(p.freeAtoms, (std::vector<uint32_t>{2}));
  EXPECT_EQ(p.blocks[1][0], NULL_ATOM);
  EXPECT_FALSE(p.isPlaced(2));
  p.unLearnAtom(2);  // twice: nothing more
  EXPECT_EQ(p.freeAtoms.size(), 1u);
  EXPECT_EQ(p.atomCount, 2u);

  p.unLearnAtom(3);  // the largest: maxAtom goes down, id not reused
  EXPECT_EQ(p.maxAtom, 2u);
  EXPECT_EQ(p.freeAtoms.size(), 1u);
  EXPECT_EQ(p.atomWord.size(), 4u);  // tables keep their size

  // Duplicates reuse freed ids last in, first out, then take new ones.
  p.learnAtom(Forall, 3);
  const uint32_t d1 = p.duplicateAtom(3);  // reuses 2, universal like 3
  EXPECT_EQ(d1, A(2));
  EXPECT_EQ(p.atomLevel[2], p.atomLevel[3]);
  const uint32_t d2 = p.duplicateAtom(1);  // fresh id above maxAtom
  EXPECT_EQ(d2, E(4));
  EXPECT_EQ(p.maxAtom, 4u);
  EXPECT_EQ(p.atomLevel[4], 0u);
  EXPECT_EQ(p.duplicateAtom(9), NULL_ATOM);  // not placed: nothing made
  EXPECT_EQ(p.maxAtom, 4u);
  checkInvariants(p);
}

}  // namespace
}  // namespace vorn
