// The definitions found by one sweep of the equivalence pass and the order
// in which they are eliminated. A body atom has an edge to every defined
// atom whose definition uses it; a depth-first search drops one definition
// on every cycle ("bad", its clauses go back) and lists the others in
// post-order ("good"), so the users of a definition are eliminated before
// the definition itself.
#pragma once

#include <cstdint>
#include <vector>

#include "preprocessor/CnfPrefix.h"

namespace vorn {

// [v, b1, ..., bm]: the defined literal v, then its body. AND-type: v is
// equivalent to b1 & ... & bm. XOR-type (m = 2): v is equivalent to (b1 <-> b2).
using EquiDefinition = std::vector<CnfLiteral>;

// One per atom that takes part in a definition of the sweep.
struct Node {
  CnfLiteral atom = 0;            // 0: the atom has no node
  std::vector<CnfLiteral> edges;  // defined atoms whose definitions use this atom, one per use
};

class DependencyGraph {
 public:
  DependencyGraph();

  // Forgets the previous sweep and covers atoms 0..maxAtom.
  void reset(CnfLiteral maxAtom);
  // Grows every per-atom list to cover atom; lists never shrink.
  void coverAtom(CnfLiteral atom);

  bool isDefined(CnfLiteral atom) const {
    return static_cast<std::size_t>(atom) < definitionIndex.size() && definitionIndex[atom] != 0;
  }
  bool isXor(CnfLiteral atom) const {
    return static_cast<std::size_t>(atom) < xorIndex.size() && xorIndex[atom] != 0;
  }
  // Appends the definition of its first literal's atom (which must not be
  // defined yet) and answers its index.
  int32_t addDefinition(const EquiDefinition& d, bool isXorType);
  const EquiDefinition& definitionOf(CnfLiteral atom) const { return definitions[definitionIndex[atom]]; }

  // Nodes and edges for every definition, the roots in order of first use.
  void build();
  // Fills good and bad: first from every root, then from every defined
  // atom that no root reaches (the definitions on pure cycles).
  void search();
  // One search step from the node of atom. Iterative: definition chains
  // can be as long as the formula has atoms.
  void breakCycles_(CnfLiteral atom);

  // The definition store.
  std::vector<EquiDefinition> definitions;  // entry 0 stays empty: index 0 means none
  std::vector<int32_t> definitionIndex;     // per atom
  std::vector<int32_t> xorIndex;            // per atom: nonzero for an XOR-type definition

  std::vector<Node> nodes;          // per atom
  std::vector<uint8_t> visited;     // per atom: the search has finished its node
  std::vector<uint8_t> onStack;     // per atom: its node is on the current search path
  std::vector<CnfLiteral> roots;    // undefined body atoms, in order of first use
  std::vector<CnfLiteral> good;     // defined atoms to eliminate, in search post-order
  std::vector<CnfLiteral> bad;      // defined atoms whose definitions closed a cycle
  int32_t goodCursor = 0;
  int32_t badCursor = 0;

 private:
  Node& nodeOf_(CnfLiteral atom) {
    Node& n = nodes[atom];
    n.atom = atom;
    return n;
  }
  struct Frame {
    CnfLiteral atom;
    uint32_t nextEdge;
  };
  std::vector<Frame> path_;
};

}  // namespace vorn
