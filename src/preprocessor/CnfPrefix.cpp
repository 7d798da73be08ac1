#include "preprocessor/CnfPrefix.h"

#include <algorithm>
#include <cassert>

namespace vorn {

CnfPrefix::CnfPrefix() {
  blocks.emplace_back();
  blockQuantifier.push_back(Exists);
  atomRecords.reserve(atomCapacity);
}

void CnfPrefix::place(CnfLiteral atom, Quantifier q, int32_t block) {
  AtomRecord& r = atomRecords[atom];
  r.quantifier = q;
  r.block = block;
  r.position = static_cast<int32_t>(blocks[block].size());
  blocks[block].push_back(atom);
  if (atom > maxAtom) maxAtom = atom;
}

void CnfPrefix::addAtom(CnfLiteral atom) {
  assert(atom > 0);
  if (atom >= atomCapacity) {
    atomCapacity = std::max({atomCapacity + 5000, 2 * atomCapacity, atom + 1});
    atomRecords.reserve(atomCapacity);
  }
  growRecords(atom);
  if (atomRecords[atom].declared()) return;
  place(atom, Exists, 0);
}

void CnfPrefix::reserveAtoms(CnfLiteral atom) {
  if (atom < atomCapacity) return;
  atomCapacity = atom + 1;
  atomRecords.reserve(atomCapacity);
}

void CnfPrefix::addAtom(CnfLiteral atom, Quantifier q) {
  assert(atom > 0 && (q == Exists || q == Forall));
  growRecords(atom);
  if (atomRecords[atom].declared()) return;
  int32_t target = static_cast<int32_t>(blocks.size()) - 1;
  // Block 0 is existential; a universal line after it opens block 1, and
  // every change of quantifier opens a block.
  bool open = (blocks.size() == 1 && q == Forall) || (!blocks[target].empty() && blockQuantifier[target] != q);
  if (open) {
    blocks.emplace_back();
    blockQuantifier.push_back(q);
    ++target;
  } else if (blocks[target].empty()) {
    blockQuantifier[target] = q;
  }
  place(atom, q, target);
}

CnfLiteral CnfPrefix::duplicateAtom(CnfLiteral atom) {
  CnfLiteral a = atomOf(atom);
  Quantifier q = isExist(a) ? Exists : Forall;
  int32_t block = blockOf(a);
  CnfLiteral fresh;
  if (!removedAtoms.empty()) {
    fresh = removedAtoms.back();
    removedAtoms.pop_back();
  } else {
    fresh = maxAtom + 1;
  }
  growRecords(fresh);
  place(fresh, q, block);
  return fresh;
}

void CnfPrefix::removeAtom(CnfLiteral atom) {
  CnfLiteral a = atomOf(atom);
  if (!hasRecord(a)) return;
  AtomRecord& r = atomRecords[a];
  assert(blocks[r.block][r.position] == a);
  blocks[r.block][r.position] = 0;
  r = AtomRecord();
  removedAtoms.push_back(a);
  ++removedAtomCount;
}

int32_t CnfPrefix::innermostBlock() const {
  for (int32_t b = static_cast<int32_t>(blocks.size()) - 1; b > 0; --b)
    for (CnfLiteral a : blocks[b])
      if (a != 0) return b;
  return 0;
}

CnfLiteral CnfPrefix::current() {
  const int32_t nBlocks = static_cast<int32_t>(blocks.size());
  if (cursorBlock_ < 0) return 0;  // a reverse walk ran past the front
  while (cursorBlock_ < nBlocks) {
    const std::vector<CnfLiteral>& blk = blocks[cursorBlock_];
    while (cursorPos_ < static_cast<int32_t>(blk.size()) && blk[cursorPos_] == 0) ++cursorPos_;
    if (cursorPos_ < static_cast<int32_t>(blk.size())) return blk[cursorPos_];
    ++cursorBlock_;
    cursorPos_ = 0;
  }
  return 0;
}

CnfLiteral CnfPrefix::getBegin() {
  cursorBlock_ = 0;
  cursorPos_ = 0;
  return blocks.empty() ? 0 : current();
}

CnfLiteral CnfPrefix::getNext() {
  ++cursorPos_;
  if (cursorBlock_ >= static_cast<int32_t>(blocks.size())) return 0;
  return current();
}

CnfLiteral CnfPrefix::rcurrent() {
  while (cursorBlock_ >= 0) {
    const std::vector<CnfLiteral>& blk = blocks[cursorBlock_];
    if (cursorPos_ >= static_cast<int32_t>(blk.size())) cursorPos_ = static_cast<int32_t>(blk.size()) - 1;
    while (cursorPos_ >= 0 && blk[cursorPos_] == 0) --cursorPos_;
    if (cursorPos_ >= 0) return blk[cursorPos_];
    if (--cursorBlock_ >= 0) cursorPos_ = static_cast<int32_t>(blocks[cursorBlock_].size()) - 1;
  }
  cursorBlock_ = -1;
  cursorPos_ = -1;
  return 0;
}

CnfLiteral CnfPrefix::rgetBegin() {
  cursorBlock_ = static_cast<int32_t>(blocks.size()) - 1;
  cursorPos_ = cursorBlock_ >= 0 ? static_cast<int32_t>(blocks[cursorBlock_].size()) - 1 : -1;
  return rcurrent();
}

CnfLiteral CnfPrefix::rgetNext() {
  if (cursorBlock_ < 0) return 0;
  --cursorPos_;
  return rcurrent();
}

}  // namespace vorn
