#include "engine/Prefix.h"

#include <algorithm>
#include <cassert>
#include <iostream>

namespace vorn {

namespace {
// A declared variable count is only a hint; do not reserve more than this
// up front (the tables still grow to any size that is really used).
constexpr unsigned long kReserveCap = 1ul << 20;
}  // namespace

Prefix::Prefix(CommandLine&, Instance<long>& names) : names(names), blocks(1) {}

void Prefix::init(unsigned long nVars, unsigned long) {
  capacity = static_cast<unsigned long>(1.3 * static_cast<double>(std::min(nVars, kReserveCap)));
  atomWord.reserve(capacity);
  atomLevel.reserve(capacity);
  atomPosition.reserve(capacity);
  blocks.reserve(std::min(capacity, kReserveCap));
}

void Prefix::reserve_() {
  if (capacity == 0 || capacity > atomWord.size()) return;
  capacity = std::max<unsigned long>(static_cast<unsigned long>(1.3 * static_cast<double>(capacity)),
                                     atomWord.size() + 1);
  atomWord.reserve(capacity);
  atomLevel.reserve(capacity);
  atomPosition.reserve(capacity);
}

void Prefix::growTables_(uint32_t v) {
  if (v < atomWord.size()) return;
  atomWord.resize(v + 1, NULL_ATOM);
  atomLevel.resize(v + 1, kUnplaced);
  atomPosition.resize(v + 1, kUnplaced);
}

void Prefix::place_(const Quantifier& q, const unsigned long& v) {
  assert(v > 0 && v <= kMaxVar);
  const uint32_t var = static_cast<uint32_t>(v);
  assert(!isPlaced(var) && "learnAtom lets the first placement win");
  ++revision;
  reserve_();
  if (var > maxAtom) maxAtom = var;
  growTables_(var);

  if (q == Free) {
    // A variable met only in clauses joins the outermost (existential)
    // block, however many blocks there are already.
    atomLevel[var] = 0;
    atomPosition[var] = static_cast<uint32_t>(blocks[0].size());
    atomWord[var] = 2 * var | kExistBit;
    blocks[0].push_back(atomWord[var]);
    ++atomCount;
    return;
  }
  if (q != currentQuantifier) {
    ++currentLevel;
    currentQuantifier = q;
    blocks.resize(currentLevel + 1);
  }
  std::vector<uint32_t>& block = blocks[currentLevel];
  atomLevel[var] = currentLevel;
  atomPosition[var] = static_cast<uint32_t>(block.size());
  atomWord[var] = 2 * var | (q == Exists ? kExistBit : 0u);
  block.push_back(atomWord[var]);
  ++atomCount;
}

uint32_t Prefix::duplicateAtom(const long& v) {
  if (v <= 0 || !isPlaced(static_cast<uint32_t>(v))) return NULL_ATOM;
  const uint32_t original = static_cast<uint32_t>(v);
  ++revision;
  reserve_();
  uint32_t id;
  if (!freeAtoms.empty()) {
    id = freeAtoms.back();
    freeAtoms.pop_back();
  } else {
    id = ++maxAtom;
  }
  growTables_(id);
  const uint32_t b = atomLevel[original];
  atomLevel[id] = b;
  atomPosition[id] = static_cast<uint32_t>(blocks[b].size());
  atomWord[id] = 2 * id | (atomWord[original] & kExistBit);
  blocks[b].push_back(atomWord[id]);
  ++atomCount;
  return atomWord[id];
}

void Prefix::unLearnAtom(const unsigned long& v) {
  if (v > kMaxVar || !isPlaced(static_cast<uint32_t>(v))) return;
  const uint32_t var = static_cast<uint32_t>(v);
  ++revision;
  if (var == maxAtom)
    maxAtom = var - 1;
  else
    freeAtoms.push_back(var);
  blocks[atomLevel[var]][atomPosition[var]] = NULL_ATOM;
  atomWord[var] = NULL_ATOM;
  atomLevel[var] = kUnplaced;
  atomPosition[var] = kUnplaced;
  --atomCount;
}

// Forward walk: the first non-empty slot at or after the cursor in a
// wanted block.
uint32_t Prefix::walkFrom_(int filter) {
  for (; cursorBlock < blocks.size(); ++cursorBlock, cursorPos = 0) {
    if (!blockWanted_(cursorBlock, filter)) continue;
    const std::vector<uint32_t>& block = blocks[cursorBlock];
    for (; cursorPos < block.size(); ++cursorPos)
      if (block[cursorPos] != NULL_ATOM) return block[cursorPos];
  }
  return NULL_ATOM;
}

uint32_t Prefix::walkBegin_(int filter) {
  cursorBlock = 0;
  cursorPos = 0;
  return walkFrom_(filter);
}

uint32_t Prefix::walkNext_(int filter) {
  if (cursorBlock >= blocks.size()) return NULL_ATOM;
  ++cursorPos;
  return walkFrom_(filter);
}

uint32_t Prefix::rwalkFrom_(int filter) {
  for (; rcursorBlock >= 0; --rcursorBlock) {
    const std::size_t b = static_cast<std::size_t>(rcursorBlock);
    if (blockWanted_(b, filter)) {
      const std::vector<uint32_t>& block = blocks[b];
      if (rcursorPos >= static_cast<long>(block.size())) rcursorPos = static_cast<long>(block.size()) - 1;
      for (; rcursorPos >= 0; --rcursorPos)
        if (block[static_cast<std::size_t>(rcursorPos)] != NULL_ATOM)
          return block[static_cast<std::size_t>(rcursorPos)];
    }
    if (rcursorBlock > 0) rcursorPos = static_cast<long>(blocks[b - 1].size()) - 1;
  }
  return NULL_ATOM;
}

uint32_t Prefix::rwalkBegin_(int filter) {
  rcursorBlock = static_cast<long>(blocks.size()) - 1;
  rcursorPos = static_cast<long>(blocks.back().size()) - 1;
  return rwalkFrom_(filter);
}

uint32_t Prefix::rwalkNext_(int filter) {
  if (rcursorBlock < 0) return NULL_ATOM;
  --rcursorPos;
  return rwalkFrom_(filter);
}

void Prefix::printAtom(const uint32_t& word, bool external) {
  const uint32_t v = litVar(word);
  if (external) {
    long number = v < names.intToExt.size() ? names.intToExt[v] : 0;
    std::cout << number << " ";
  } else {
    std::cout << (litExistential(word) ? "e " : "a ") << v << "  ";
  }
}

void Prefix::print(bool external) {
  uint32_t word = getBegin();
  if (word == NULL_ATOM) return;
  std::cout << (litExistential(word) ? "e " : "a ");
  uint32_t previousBlock = level(litVar(word));
  for (; word != NULL_ATOM; word = getNext()) {
    const uint32_t b = level(litVar(word));
    if (b != previousBlock) {
      std::cout << "0 " << std::endl << (litExistential(word) ? "e " : "a ");
      previousBlock = b;
    }
    printAtom(word, external);
  }
  std::cout << "0 " << std::endl;
}

}  // namespace vorn
