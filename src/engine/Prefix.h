// The quantifier prefix of the engine formula: blocks outermost first, and
// per variable its prefix entry (atomWord), block (atomLevel) and place in
// the block (atomPosition).
//
// Layout: every table is a flat vector of 32-bit words indexed by variable,
// so a lookup is one indexed read. atomWord[v] is the positive Literal of v
// (2v, plus kExistBit for an existential or free variable); kUnplaced (all
// ones) in atomLevel/atomPosition marks a variable without a place. Tables
// only grow; an index at or past their end counts as unplaced (use
// level()/isPlaced() where an index may come from outside the prefix).
// Block 0 is existential and always exists; blocks alternate from there.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/Types.h"

namespace vorn {

constexpr uint32_t kUnplaced = 0xffffffffu;

class Prefix {
 public:
  Prefix(CommandLine& options, Instance<long>& names);

  // Reserves the per-variable tables for 1.3 x nVars entries (capped).
  void init(unsigned long nVars, unsigned long nClauses);
  // Places v in the prefix; the first placement of a variable wins.
  void learnAtom(const Quantifier& q, const unsigned long& v) {
    // Every literal of every clause comes here: the placed case stays inline.
    if (!isPlaced(static_cast<uint32_t>(v))) place_(q, v);
  }
  // A fresh variable in v's block with v's quantifier; returns its atomWord
  // (NULL_ATOM when v is not placed).
  uint32_t duplicateAtom(const long& v);
  // Removes v from the prefix; an unplaced v is left alone.
  void unLearnAtom(const unsigned long& v);
  void defrag(long, long) {}

  void print(bool external);
  void printAtom(const uint32_t& word, bool external);

  bool isPlaced(uint32_t v) const { return v < atomLevel.size() && atomLevel[v] != kUnplaced; }
  uint32_t level(uint32_t v) const { return v < atomLevel.size() ? atomLevel[v] : kUnplaced; }
  bool isExistential(uint32_t v) const { return v < atomWord.size() && (atomWord[v] & kExistBit); }

  // Walks over the placed variables: forward (outermost block first,
  // placement order) and reverse (innermost block first, last placed
  // first). The variants with a quantifier visit only that quantifier's
  // blocks (Free counts as Exists). Each returns the current atomWord, or
  // NULL_ATOM when the walk is over. One walk per direction at a time.
  uint32_t getBegin() { return walkBegin_(kAnyBlock); }
  uint32_t getNext() { return walkNext_(kAnyBlock); }
  uint32_t getBegin(Quantifier q) { return walkBegin_(quantBlocks_(q)); }
  uint32_t getNext(Quantifier q) { return walkNext_(quantBlocks_(q)); }
  uint32_t rgetBegin() { return rwalkBegin_(kAnyBlock); }
  uint32_t rgetNext() { return rwalkNext_(kAnyBlock); }
  uint32_t rgetBegin(Quantifier q) { return rwalkBegin_(quantBlocks_(q)); }
  uint32_t rgetNext(Quantifier q) { return rwalkNext_(quantBlocks_(q)); }

  // Block 0 is existential and the quantifiers alternate from there.
  static Quantifier blockQuantifier(std::size_t b) { return (b & 1u) ? Forall : Exists; }

  Instance<long>& names;
  uint32_t currentLevel = 0;
  Quantifier currentQuantifier = Exists;
  unsigned long capacity = 0;
  std::vector<std::vector<uint32_t>> blocks;
  std::vector<uint32_t> atomWord;
  std::vector<uint32_t> atomLevel;
  std::vector<uint32_t> atomPosition;
  std::vector<uint32_t> freeAtoms;
  std::size_t cursorBlock = 0, cursorPos = 0;
  long rcursorBlock = 0, rcursorPos = 0;
  uint32_t maxAtom = 0;
  uint32_t atomCount = 0;
  // Raised by every change of a placement, so that tables derived from the
  // prefix (the literal ranks of the analysis) know when to be rebuilt.
  uint32_t revision = 0;

 private:
  // Block filter of a walk: kAnyBlock, or the parity (0/1) of the blocks
  // that belong to the quantifier.
  static constexpr int kAnyBlock = -1;
  static int quantBlocks_(Quantifier q) { return q == Forall ? 1 : 0; }
  static bool blockWanted_(std::size_t b, int filter) {
    return filter == kAnyBlock || static_cast<int>(b & 1u) == filter;
  }
  void place_(const Quantifier& q, const unsigned long& v);
  void reserve_();
  void growTables_(uint32_t v);
  uint32_t walkBegin_(int filter);
  uint32_t walkNext_(int filter);
  uint32_t walkFrom_(int filter);
  uint32_t rwalkBegin_(int filter);
  uint32_t rwalkNext_(int filter);
  uint32_t rwalkFrom_(int filter);
};

}  // namespace vorn
