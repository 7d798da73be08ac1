#include "preprocessor/DependencyGraph.h"

#include <algorithm>
#include <cassert>

namespace vorn {

DependencyGraph::DependencyGraph() : definitions(1) {}

void DependencyGraph::coverAtom(CnfLiteral atom) {
  const std::size_t n = static_cast<std::size_t>(atom) + 1;
  if (definitionIndex.size() < n) definitionIndex.resize(n, 0);
  if (xorIndex.size() < n) xorIndex.resize(n, 0);
  if (nodes.size() < n) nodes.resize(n);
  if (visited.size() < n) visited.resize(n, 0);
  if (onStack.size() < n) onStack.resize(n, 0);
}

void DependencyGraph::reset(CnfLiteral maxAtom) {
  coverAtom(maxAtom);
  std::fill(definitionIndex.begin(), definitionIndex.end(), 0);
  std::fill(xorIndex.begin(), xorIndex.end(), 0);
  std::fill(visited.begin(), visited.end(), 0);
  std::fill(onStack.begin(), onStack.end(), 0);
  // Edge lists keep their room for the next sweep.
  for (Node& n : nodes) {
    n.atom = 0;
    n.edges.clear();
  }
  definitions.resize(1);
  roots.clear();
  good.clear();
  bad.clear();
  goodCursor = 0;
  badCursor = 0;
}

int32_t DependencyGraph::addDefinition(const EquiDefinition& d, bool isXorType) {
  assert(d.size() >= 2);
  const CnfLiteral v = atomOf(d[0]);
  coverAtom(v);
  assert(definitionIndex[v] == 0);
  const int32_t index = static_cast<int32_t>(definitions.size());
  definitions.push_back(d);
  definitionIndex[v] = index;
  if (isXorType) xorIndex[v] = index;
  return index;
}

void DependencyGraph::build() {
  for (std::size_t d = 1; d < definitions.size(); ++d) {
    const EquiDefinition& def = definitions[d];
    const CnfLiteral v = atomOf(def[0]);
    if (nodes[v].atom == 0) nodes[v].atom = v;
    for (std::size_t k = 1; k < def.size(); ++k) {
      const CnfLiteral a = atomOf(def[k]);
      coverAtom(a);
      if (nodes[a].atom == 0) {
        nodes[a].atom = a;
        if (definitionIndex[a] == 0) roots.push_back(a);
      }
      nodes[a].edges.push_back(v);
    }
  }
}

void DependencyGraph::search() {
  for (CnfLiteral r : roots)
    if (!visited[r]) breakCycles_(r);
  for (std::size_t a = 1; a < definitionIndex.size(); ++a)
    if (!visited[a] && definitionIndex[a] != 0) breakCycles_(static_cast<CnfLiteral>(a));
}

// The recursive step, unrolled: enter a node by putting it on the path;
// walk its edges, descending into every target that is not finished; the
// first target found on the path ends the walk and sends the node to bad.
// A node is finished (and listed) after everything reached from it.
void DependencyGraph::breakCycles_(CnfLiteral start) {
  assert(nodes[start].atom == start);
  if (visited[start]) return;
  path_.clear();
  onStack[start] = 1;
  path_.push_back({start, 0});
  while (!path_.empty()) {
    const CnfLiteral atom = path_.back().atom;
    const std::vector<CnfLiteral>& edges = nodes[atom].edges;
    uint32_t next = path_.back().nextEdge;
    bool ok = true;
    CnfLiteral child = 0;
    while (next < edges.size()) {
      const CnfLiteral t = edges[next++];
      if (onStack[t]) {
        ok = false;
        break;
      }
      if (!visited[t]) {
        child = t;
        break;
      }
    }
    path_.back().nextEdge = next;
    if (child != 0) {
      onStack[child] = 1;
      path_.push_back({child, 0});
      continue;
    }
    path_.pop_back();
    onStack[atom] = 0;
    visited[atom] = 1;
    if (definitionIndex[atom] != 0) (ok ? good : bad).push_back(atom);
  }
}

}  // namespace vorn
