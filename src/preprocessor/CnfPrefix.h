// The quantifier prefix of the preprocessor's formula: which atoms exist,
// the block each lies in, and how the blocks nest (block 0 outermost).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "input/Quantifier.h"

namespace vorn {

// +a for atom a, -a for its negation, 0 for no literal. Atoms count from 1.
using CnfLiteral = int32_t;

inline CnfLiteral atomOf(CnfLiteral lit) { return lit < 0 ? -lit : lit; }

struct AtomRecord {
  int32_t quantifier = Exists;  // Forall or Exists
  int32_t block = -1;           // -1: the atom has no record
  int32_t position = 0;         // slot index in its block
  bool declared() const { return block >= 0; }
};

class CnfPrefix {
 public:
  CnfPrefix();

  // A free atom met in a clause: appended to block 0 unless it has a record.
  void addAtom(CnfLiteral atom);
  // An atom of a prefix line. An atom that already has a record keeps its
  // first place, so every atom stands in the prefix exactly once.
  void addAtom(CnfLiteral atom, Quantifier q);
  // A fresh atom with the quantifier and block of atom; reuses removed ids.
  CnfLiteral duplicateAtom(CnfLiteral atom);
  // Room for the records of atoms up to atom, taken at once.
  void reserveAtoms(CnfLiteral atom);
  // Empties the atom's slot (blocks are never compacted); no-op without a record.
  void removeAtom(CnfLiteral atom);

  // An atom without a record counts as existential in the outermost block.
  int32_t blockOf(CnfLiteral lit) const {
    CnfLiteral a = atomOf(lit);
    return a < static_cast<CnfLiteral>(atomRecords.size()) && atomRecords[a].declared() ? atomRecords[a].block
                                                                                        : 0;
  }
  bool isExist(CnfLiteral atom) const {
    CnfLiteral a = atomOf(atom);
    return a >= static_cast<CnfLiteral>(atomRecords.size()) || !atomRecords[a].declared() ||
           atomRecords[a].quantifier == Exists;
  }
  bool hasRecord(CnfLiteral atom) const {
    CnfLiteral a = atomOf(atom);
    return a < static_cast<CnfLiteral>(atomRecords.size()) && atomRecords[a].declared();
  }
  // x lies in an outer block than y (signs do not matter).
  bool isGreater(CnfLiteral x, CnfLiteral y) const { return blockOf(x) < blockOf(y); }
  // Index of the deepest block that still holds an atom (0 when none does).
  int32_t innermostBlock() const;

  // Forward walk in prefix order; one cursor per prefix, so walks do not nest.
  CnfLiteral getBegin();
  CnfLiteral getNext();
  CnfLiteral current();
  CnfLiteral getEnd() const { return 0; }
  // Reverse walk.
  CnfLiteral rgetBegin();
  CnfLiteral rgetNext();
  CnfLiteral rcurrent();
  CnfLiteral rgetEnd() const { return 0; }

  // The prefix lines of the simplified formula ("e 1 2 0", "a 3 0"); none
  // when block 0 is the only block.
  void print(std::FILE* out) const;

  std::vector<std::vector<CnfLiteral>> blocks;  // slot 0 = emptied slot
  std::vector<Quantifier> blockQuantifier;      // per block, fixed when it opens
  std::vector<AtomRecord> atomRecords;          // indexed by atom
  std::vector<CnfLiteral> removedAtoms;         // reused last in, first out
  CnfLiteral maxAtom = 0;                       // largest id ever declared
  static inline int32_t firstAtomCapacity = 10000;  // lowered by fuzz targets
  int32_t atomCapacity = firstAtomCapacity;
  int32_t removedAtomCount = 0;

 private:
  void growRecords(CnfLiteral atom) {
    // Atoms mostly come in increasing order, one past the last record.
    if (static_cast<std::size_t>(atom) == atomRecords.size())
      atomRecords.emplace_back();
    else if (static_cast<std::size_t>(atom) > atomRecords.size())
      atomRecords.resize(atom + 1);
  }
  void place(CnfLiteral atom, Quantifier q, int32_t block);

  int32_t cursorBlock_ = 0;
  int32_t cursorPos_ = 0;
};

}  // namespace vorn
