// The preprocessor's prefix and clause store: block placement, first place
// of a re-declared atom, fresh and removed atoms, walks; clause ids
// recycled last in, first out, occurrence and partner lists kept exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "preprocessor/CnfMatrix.h"
#include "preprocessor/CnfPrefix.h"

namespace vorn {
namespace {

std::string blocksOf(const CnfPrefix& p) {
  std::string s;
  for (std::size_t b = 0; b < p.blocks.size(); ++b) {
    s += "[";
    for (std::size_t i = 0; i < p.blocks[b].size(); ++i) s += (i ? " " : "") + std::to_string(p.blocks[b][i]);
    s += "]";
  }
  return s;
}

std::vector<CnfLiteral> forwardWalk(CnfPrefix& p) {
  std::vector<CnfLiteral> out;
  for (CnfLiteral a = p.getBegin(); a != p.getEnd(); a = p.getNext()) out.push_back(a);
  return out;
}

std::vector<CnfLiteral> reverseWalk(CnfPrefix& p) {
  std::vector<CnfLiteral> out;
  for (CnfLiteral a = p.rgetBegin(); a != p.rgetEnd(); a = p.rgetNext()) out.push_back(a);
  return out;
}

// A prefix declared line by line: {'e', {1, 2}}, then free atoms.
struct Line {
  char q;
  std::vector<CnfLiteral> atoms;
};

void declare(CnfPrefix& p, const std::vector<Line>& lines, const std::vector<CnfLiteral>& freeAtoms = {}) {
  for (const Line& l : lines)
    for (CnfLiteral a : l.atoms) p.addAtom(a, l.q == 'e' ? Exists : Forall);
  for (CnfLiteral a : freeAtoms) p.addAtom(a);
}

TEST(CnfPrefix, BlockPlacement) {
  struct Case {
    const char* name;
    std::vector<Line> lines;
    std::vector<CnfLiteral> freeAtoms;
    const char* blocks;
  } cases[] = {
      {"universal first: free atom joins block 0", {{'a', {1}}, {'e', {2}}}, {1, 2, 3}, "[3][1][2]"},
      {"existential lines share block 0", {{'e', {1, 2}}, {'e', {3}}, {'a', {4}}}, {}, "[1 2 3][4]"},
      {"no prefix line", {}, {2, 1, 3}, "[2 1 3]"},
      {"free atom after deeper blocks", {{'e', {1}}, {'a', {2}}, {'e', {3}}}, {4}, "[1 4][2][3]"},
      {"alternation", {{'a', {1}}, {'a', {2}}, {'e', {3}}, {'a', {4}}}, {}, "[][1 2][3][4]"},
      // An atom keeps its first place; the later entries change nothing.
      {"re-declared in a later line", {{'e', {1}}, {'a', {2}}, {'e', {3, 2}}}, {}, "[1][2][3]"},
      {"re-declared in the same line", {{'a', {1, 1}}, {'e', {2}}}, {}, "[][1][2]"},
      {"met free before its line", {}, {1}, "[1]"},
  };
  for (const Case& c : cases) {
    CnfPrefix p;
    declare(p, c.lines, c.freeAtoms);
    EXPECT_EQ(blocksOf(p), c.blocks) << c.name;
  }
  // A quantifier line after a clause that used the atom: nothing moves.
  CnfPrefix p;
  p.addAtom(1);
  p.addAtom(1, Forall);
  p.addAtom(2, Forall);
  EXPECT_EQ(blocksOf(p), "[1][2]");
  EXPECT_TRUE(p.isExist(1));
  EXPECT_FALSE(p.isExist(2));
  EXPECT_EQ(p.maxAtom, 2);
}

TEST(CnfPrefix, RecordsAndOrder) {
  CnfPrefix p;
  declare(p, {{'a', {1}}, {'e', {2}}}, {1, 2, 3});
  EXPECT_FALSE(p.isExist(1));
  EXPECT_TRUE(p.isExist(2));
  EXPECT_TRUE(p.isExist(3));
  EXPECT_EQ(p.blockOf(-3), 0);
  EXPECT_EQ(p.blockOf(1), 1);
  EXPECT_EQ(p.blockOf(-2), 2);
  EXPECT_TRUE(p.isGreater(3, -2));
  EXPECT_FALSE(p.isGreater(-2, 3));
  EXPECT_FALSE(p.isGreater(2, -2));
  // Atoms without a record: existential, outermost.
  EXPECT_TRUE(p.isExist(77));
  EXPECT_EQ(p.blockOf(77), 0);
  EXPECT_FALSE(p.hasRecord(77));
  CnfPrefix same;
  declare(same, {{'e', {1, 2}}});
  EXPECT_FALSE(same.isGreater(1, 2));
  EXPECT_FALSE(same.isGreater(2, 1));
}

TEST(CnfPrefix, DuplicateRemoveAndWalks) {
  CnfPrefix p;
  declare(p, {{'e', {1, 2}}, {'a', {3}}, {'e', {4}}});
  EXPECT_EQ(p.duplicateAtom(-3), 5);
  EXPECT_EQ(p.maxAtom, 5);
  EXPECT_FALSE(p.isExist(5));
  EXPECT_EQ(p.blockOf(5), 1);
  EXPECT_EQ(forwardWalk(p), (std::vector<CnfLiteral>{1, 2, 3, 5, 4}));

  p.removeAtom(3);
  p.removeAtom(5);
  p.removeAtom(99);  // no record: nothing
  p.removeAtom(3);   // removed already: nothing
  EXPECT_EQ(p.removedAtomCount, 2);
  EXPECT_EQ(blocksOf(p), "[1 2][0 0][4]");
  EXPECT_EQ(forwardWalk(p), (std::vector<CnfLiteral>{1, 2, 4}));
  EXPECT_EQ(reverseWalk(p), (std::vector<CnfLiteral>{4, 2, 1}));
  EXPECT_EQ(p.innermostBlock(), 2);
  // The last removed id comes back first; maxAtom stays.
  EXPECT_EQ(p.duplicateAtom(1), 5);
  EXPECT_EQ(p.duplicateAtom(4), 3);
  EXPECT_EQ(p.maxAtom, 5);
  EXPECT_EQ(blocksOf(p), "[1 2 5][0 0][4 3]");
  EXPECT_EQ(forwardWalk(p), (std::vector<CnfLiteral>{1, 2, 5, 4, 3}));

  // Emptying the deepest block makes the block above it innermost.
  p.removeAtom(4);
  p.removeAtom(3);
  EXPECT_EQ(p.innermostBlock(), 0);
  EXPECT_EQ(reverseWalk(p), (std::vector<CnfLiteral>{5, 2, 1}));
  EXPECT_EQ(p.rcurrent(), 0);
}

TEST(CnfPrefix, WalksOverEmptyBlocks) {
  CnfPrefix p;
  EXPECT_EQ(p.getBegin(), 0);
  EXPECT_EQ(p.rgetBegin(), 0);
  declare(p, {{'a', {1}}, {'e', {2}}, {'a', {3}}});
  p.removeAtom(2);
  EXPECT_EQ(forwardWalk(p), (std::vector<CnfLiteral>{1, 3}));
  EXPECT_EQ(reverseWalk(p), (std::vector<CnfLiteral>{3, 1}));
  EXPECT_EQ(p.current(), 0);  // past the end the walk stays there
  EXPECT_EQ(p.getNext(), 0);
}

// Checks every invariant of the store that the loading rules rely on.
void expectConsistent(const CnfMatrix& m) {
  m.keepPlaces();
  std::size_t freeSlots = 0;
  for (ClauseId id = 1; id < m.slotCount(); ++id) {
    const std::vector<CnfLiteral>& c = m.clauses[id];
    if (c.empty()) {
      ++freeSlots;
      EXPECT_NE(std::find(m.freeIds.begin(), m.freeIds.end(), id), m.freeIds.end()) << id;
      continue;
    }
    ASSERT_EQ(m.occPlace[id].size(), c.size()) << id;
    for (std::size_t k = 0; k < c.size(); ++k) {
      const CnfLiteral l = c[k];
      const auto& occ = l > 0 ? m.posOccs[l] : m.negOccs[-l];
      EXPECT_EQ(std::count(occ.begin(), occ.end(), id), 1) << "clause " << id << " literal " << l;
      const std::size_t at = static_cast<std::size_t>(m.occPlace[id][k]);
      EXPECT_TRUE(at < occ.size() && occ[at] == id) << "clause " << id << " literal " << l << " place " << at;
    }
  }
  EXPECT_EQ(freeSlots, m.freeIds.size());
  std::size_t occTotal = 0, literalTotal = 0, partnerTotal = 0, binaries = 0;
  for (std::size_t a = 0; a < m.posOccs.size(); ++a) {
    occTotal += m.posOccs[a].size() + m.negOccs[a].size();
    partnerTotal += m.posBinaries[a].size() + m.negBinaries[a].size();
  }
  for (const auto& c : m.clauses) {
    literalTotal += c.size();
    if (c.size() == 2) ++binaries;
  }
  EXPECT_EQ(occTotal, literalTotal);
  EXPECT_EQ(partnerTotal, 2 * binaries);
}

TEST(CnfMatrix, IdsRecycledLastInFirstOut) {
  CnfMatrix m;
  EXPECT_EQ(m.getBeginClause(), 1);
  EXPECT_EQ(m.getEndClause(), 1);
  EXPECT_EQ(m.liveClauseCount(), 0);

  EXPECT_EQ(m.addClause({1, 2}), 1);
  EXPECT_EQ(m.addClause({3}), 2);
  m.removeClause(1);
  EXPECT_EQ(m.addClause({4, 5}), 1);
  std::vector<ClauseId> walk;
  for (ClauseId id = m.getBeginClause(); id != m.getEndClause(); id = m.getNextClause()) walk.push_back(id);
  EXPECT_EQ(walk, (std::vector<ClauseId>{1, 2}));
  EXPECT_EQ(m.liveClauseCount(), 2);

  for (CnfLiteral a = 6; a <= 8; ++a) m.addClause({a});
  m.removeClause(2);
  m.removeClause(5);
  EXPECT_EQ(m.addClause({9}), 5);
  EXPECT_EQ(m.addClause({10}), 2);
  expectConsistent(m);
}

TEST(CnfMatrix, RemovalGuards) {
  CnfMatrix m;
  m.addClause({1, -2});
  m.removeClause(0);
  m.removeClause(7);
  m.removeClause(-1);
  m.removeClause(1);
  m.removeClause(1);  // free already: not queued twice
  EXPECT_EQ(m.freeIds, (std::vector<ClauseId>{1}));
  EXPECT_EQ(m.liveClauseCount(), 0);
  expectConsistent(m);
}

TEST(CnfMatrix, OccurrenceAndPartnerLists) {
  CnfMatrix m;
  for (CnfLiteral a = 1; a <= 4; ++a) m.addClause({10 + a});  // ids 1..4
  m.addClause({1});  // 5
  m.addClause({20}); // 6
  m.addClause({1});  // 7
  m.addClause({21}); // 8
  m.addClause({1});  // 9
  EXPECT_EQ(m.posOccs[1], (std::vector<ClauseId>{5, 7, 9}));
  m.removeClause(5);
  EXPECT_EQ(m.posOccs[1], (std::vector<ClauseId>{9, 7}));

  ClauseId bin = m.addClause({-4, 6});
  EXPECT_EQ(m.negBinaries[4], (std::vector<CnfLiteral>{6}));
  EXPECT_EQ(m.posBinaries[6], (std::vector<CnfLiteral>{-4}));
  EXPECT_EQ(m.partners(-4), m.negBinaries[4]);
  m.removeClause(bin);
  EXPECT_TRUE(m.negBinaries[4].empty());
  EXPECT_TRUE(m.posBinaries[6].empty());

  // An atom beyond the lists grows all of them.
  m.addClause({-500, 3});
  EXPECT_GE(m.posOccs.size(), 501u);
  EXPECT_EQ(m.posOccs.size(), m.posBinaries.size());
  EXPECT_EQ(m.negOccs.size(), m.negBinaries.size());
  EXPECT_GE(m.literalMark.size(), 501u);
  expectConsistent(m);
}

TEST(CnfMatrix, RemoveFromClauseKeepsPartnerLists) {
  CnfMatrix m;
  ClauseId id = m.addClause({3, -2, 1});
  EXPECT_TRUE(m.removeFromClause(id, 2));
  EXPECT_EQ(m.clauses[id], (std::vector<CnfLiteral>{3, 1}));
  EXPECT_EQ(m.posBinaries[3], (std::vector<CnfLiteral>{1}));
  EXPECT_TRUE(m.negOccs[2].empty());
  EXPECT_TRUE(m.removeFromClause(id, 3));
  EXPECT_EQ(m.clauses[id], (std::vector<CnfLiteral>{1}));
  EXPECT_TRUE(m.posBinaries[3].empty());
  EXPECT_TRUE(m.posBinaries[1].empty());
  // The last literal stays: a stored clause is never empty.
  EXPECT_FALSE(m.removeFromClause(id, 1));
  EXPECT_EQ(m.clauses[id], (std::vector<CnfLiteral>{1}));
  EXPECT_TRUE(m.removeFromClause(id, 9));   // atom not in the clause
  EXPECT_TRUE(m.removeFromClause(42, 1));   // no such clause
  expectConsistent(m);
}

// Occurrence lists are read in order by the later passes, so removal must
// keep the order of a plain search-and-overwrite-with-last, whatever index
// speeds it up. A model store of plain lists replays random edits.
TEST(CnfMatrix, OccurrenceOrderFollowsOverwriteWithLast) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    CnfMatrix m;
    std::vector<std::vector<CnfLiteral>> modelClauses(1);
    std::map<CnfLiteral, std::vector<ClauseId>> modelOccs;
    const int atoms = 3 + round % 8;
    for (int step = 0; step < 400; ++step) {
      const int action = std::uniform_int_distribution<int>(0, 9)(rng);
      std::vector<ClauseId> live;
      for (ClauseId id = 1; id < m.slotCount(); ++id)
        if (m.isStored(id)) live.push_back(id);
      if (action < 5 || live.empty()) {
        std::vector<CnfLiteral> lits;
        for (CnfLiteral a = 1; a <= atoms; ++a)
          if (std::uniform_int_distribution<int>(0, 2)(rng) == 0) lits.push_back(rng() % 2 ? a : -a);
        if (lits.empty()) lits.push_back(1);
        const ClauseId id = m.addClause(lits);
        if (static_cast<std::size_t>(id) >= modelClauses.size()) modelClauses.resize(id + 1);
        modelClauses[id] = lits;
        for (CnfLiteral l : lits) modelOccs[l].push_back(id);
        continue;
      }
      const ClauseId id = live[rng() % live.size()];
      std::vector<CnfLiteral>& c = modelClauses[id];
      if (action < 8) {
        m.removeClause(id);
        for (CnfLiteral l : c) eraseFirst(modelOccs[l], id);
        c.clear();
      } else {
        const CnfLiteral gone = c[rng() % c.size()];
        const bool removed = m.removeFromClause(id, gone < 0 ? -gone : gone);
        EXPECT_EQ(removed, c.size() > 1);
        if (removed) {
          eraseFirst(modelOccs[gone], id);
          c.erase(std::find(c.begin(), c.end(), gone));
        }
      }
    }
    for (const auto& [lit, ids] : modelOccs) EXPECT_EQ(m.occs(lit), ids) << "round " << round << " literal " << lit;
    expectConsistent(m);
  }
}

TEST(CnfMatrix, WalksSurviveRemovalUnderTheCursor) {
  CnfMatrix m;
  for (CnfLiteral a = 1; a <= 6; ++a) m.addClause({a});
  m.removeClause(2);
  std::vector<ClauseId> visited;
  for (ClauseId id = m.getBeginClause(); id != m.getEndClause(); id = m.getNextClause()) {
    visited.push_back(id);
    if (id == 3) {
      m.removeClause(3);
      m.removeClause(4);
    }
  }
  EXPECT_EQ(visited, (std::vector<ClauseId>{1, 3, 5, 6}));
  std::vector<ClauseId> back;
  for (ClauseId id = m.rgetBeginClause(); id != 0; id = m.rgetNextClause()) back.push_back(id);
  EXPECT_EQ(back, (std::vector<ClauseId>{6, 5, 1}));
  EXPECT_EQ(m.rgetEndClause(), 1);
  EXPECT_EQ(m.currentClause_(2), 5);
  EXPECT_EQ(m.currentClause_(100), m.slotCount());
  EXPECT_EQ(m.rcurrentClause_(4), 1);
}

}  // namespace
}  // namespace vorn
