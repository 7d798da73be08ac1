#include "support/Generator.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

namespace vorn {
namespace test {

namespace {

template <class T>
void shuffle(std::vector<T>& v, SplitMix64& rng) {
  for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[rng.below(i)]);
}

// Variables are handled as positions 0..numVars-1 until the end, where
// they get their numbers.
struct Draft {
  std::vector<int> blockOf;  // position -> block index, -1 when free
  std::vector<QBlock> blocks;  // vars hold positions here
  std::vector<std::vector<int>> clauses;  // literals +-(position + 1)
};

int lit(int position, bool negative) { return negative ? -(position + 1) : position + 1; }

// count distinct positions (count <= numVars).
void distinctPositions(int numVars, int count, SplitMix64& rng, std::vector<int>& out) {
  out.clear();
  while (static_cast<int>(out.size()) < count) {
    int p = static_cast<int>(rng.below(static_cast<uint64_t>(numVars)));
    if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
  }
}

// Block depth; free variables are outermost.
int depth(const Draft& d, int position) { return d.blockOf[position]; }

bool isExistential(const Draft& d, int position) {
  return d.blockOf[position] < 0 || d.blocks[static_cast<std::size_t>(d.blockOf[position])].exists;
}

// A planted structure defines an existential variable (out) by inputs that
// stand at most as deep in the prefix, so it constrains without making
// the formula false by itself. False when no such choice is found.
bool pickDefinition(const Draft& d, int numVars, int inputs, SplitMix64& rng, int& out, std::vector<int>& in) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (numVars <= inputs) return false;
    int y = static_cast<int>(rng.below(static_cast<uint64_t>(numVars)));
    if (!isExistential(d, y)) continue;
    std::vector<int> candidates;
    for (int p = 0; p < numVars; ++p)
      if (p != y && depth(d, p) <= depth(d, y)) candidates.push_back(p);
    if (static_cast<int>(candidates.size()) < inputs) continue;
    shuffle(candidates, rng);
    out = y;
    in.assign(candidates.begin(), candidates.begin() + inputs);
    return true;
  }
  return false;
}

// y <-> (a & b), inputs possibly negated.
void plantAndGate(Draft& d, int numVars, SplitMix64& rng) {
  int y;
  std::vector<int> p;
  if (!pickDefinition(d, numVars, 2, rng, y, p)) return;
  int a = lit(p[0], rng.chance(0.5)), b = lit(p[1], rng.chance(0.5));
  d.clauses.push_back({-(y + 1), a});
  d.clauses.push_back({-(y + 1), b});
  d.clauses.push_back({y + 1, -a, -b});
}

// y ^ a ^ b = parity: forbid every assignment of the other parity, one
// clause each; the clause that forbids a true variable holds it negated.
void plantXorTriple(Draft& d, int numVars, SplitMix64& rng) {
  int y;
  std::vector<int> p;
  if (!pickDefinition(d, numVars, 2, rng, y, p)) return;
  p.insert(p.begin() + static_cast<long>(rng.below(3)), y);
  bool parity = rng.chance(0.5);
  for (int bits = 0; bits < 8; ++bits) {
    bool odd = ((bits ^ (bits >> 1) ^ (bits >> 2)) & 1) != 0;
    if (odd == parity) continue;
    d.clauses.push_back({lit(p[0], (bits & 1) != 0), lit(p[1], (bits & 2) != 0), lit(p[2], (bits & 4) != 0)});
  }
}

// y <-> a or y <-> -a.
void plantEquivalence(Draft& d, int numVars, SplitMix64& rng) {
  int y;
  std::vector<int> p;
  if (!pickDefinition(d, numVars, 1, rng, y, p)) return;
  int a = lit(p[0], rng.chance(0.5));
  d.clauses.push_back({-(y + 1), a});
  d.clauses.push_back({y + 1, -a});
}

// y ^ x1 ^ ... ^ x(k-1) = parity, one clause per forbidden assignment as
// for the triple. Planted after the older kinds so that formulas of
// parameters without groups stay as they were.
void plantXorGroup(Draft& d, int numVars, int size, SplitMix64& rng) {
  int y;
  std::vector<int> p;
  if (!pickDefinition(d, numVars, size - 1, rng, y, p)) return;
  p.insert(p.begin() + static_cast<long>(rng.below(static_cast<uint64_t>(size))), y);
  bool parity = rng.chance(0.5);
  for (unsigned bits = 0; bits < (1u << size); ++bits) {
    bool odd = (__builtin_popcount(bits) & 1) != 0;
    if (odd == parity) continue;
    std::vector<int> clause;
    for (int i = 0; i < size; ++i) clause.push_back(lit(p[static_cast<std::size_t>(i)], ((bits >> i) & 1) != 0));
    d.clauses.push_back(std::move(clause));
  }
}

}  // namespace

QbfFormula generate(const GenParams& params, uint64_t seed) {
  SplitMix64 rng(seed * 0x2545f4914f6cdd1dull + 0x632be59bd9b4e019ull);
  const int n = std::max(0, params.numVars);
  Draft d;
  d.blockOf.assign(static_cast<std::size_t>(n), -1);

  // Prefix: quantified positions in random order, cut into blocks.
  std::vector<int> quantified;
  for (int p = 0; p < n; ++p)
    if (!rng.chance(params.freeVarProb)) quantified.push_back(p);
  shuffle(quantified, rng);
  int numBlocks = std::max(1, std::min<int>(params.alternations + 1, static_cast<int>(quantified.size())));
  // numBlocks - 1 distinct cut points in 1..size-1.
  std::vector<int> cuts;
  if (numBlocks > 1) {
    std::vector<int> all;
    for (int i = 1; i < static_cast<int>(quantified.size()); ++i) all.push_back(i);
    shuffle(all, rng);
    cuts.assign(all.begin(), all.begin() + (numBlocks - 1));
    std::sort(cuts.begin(), cuts.end());
  }
  bool exists = params.firstExists < 0 ? rng.chance(0.5) : params.firstExists != 0;
  std::size_t next = 0;
  for (int b = 0; b < numBlocks; ++b) {
    std::size_t end = b + 1 < numBlocks ? static_cast<std::size_t>(cuts[b]) : quantified.size();
    QBlock block;
    block.exists = exists;
    for (; next < end; ++next) {
      block.vars.push_back(quantified[next]);
      d.blockOf[quantified[next]] = b;
    }
    d.blocks.push_back(std::move(block));
    exists = !exists;
  }

  // Random clauses.
  const int lo = std::max(0, params.minClauseLen);
  const int hi = std::max(lo, params.maxClauseLen);
  for (int c = 0; c < params.numClauses; ++c) {
    std::vector<int> clause;
    if (n > 0 && !rng.chance(params.emptyClauseProb)) {
      int len = std::min(rng.range(lo, hi), n);
      std::vector<int> p;
      distinctPositions(n, len, rng, p);
      for (int q : p) clause.push_back(lit(q, rng.chance(0.5)));
      if (!clause.empty() && rng.chance(params.repeatLitProb))
        clause.insert(clause.begin() + static_cast<long>(rng.below(clause.size() + 1)),
                      clause[rng.below(clause.size())]);
      if (!clause.empty() && rng.chance(params.tautologyProb))
        clause.insert(clause.begin() + static_cast<long>(rng.below(clause.size() + 1)),
                      -clause[rng.below(clause.size())]);
    }
    d.clauses.push_back(std::move(clause));
  }

  for (int i = 0; i < params.andGates; ++i) plantAndGate(d, n, rng);
  for (int i = 0; i < params.xorTriples; ++i) plantXorTriple(d, n, rng);
  for (int i = 0; i < params.equivalences; ++i) plantEquivalence(d, n, rng);
  const int groupSize = std::max(2, std::min(8, params.xorGroupSize));
  for (int i = 0; i < params.xorGroups; ++i) plantXorGroup(d, n, groupSize, rng);
  if (params.shuffleClauses) shuffle(d.clauses, rng);

  // Re-declarations: a later block lists the variable again.
  if (params.redeclareProb > 0 && d.blocks.size() > 1)
    for (std::size_t b = 0; b + 1 < d.blocks.size(); ++b)
      for (int p : std::vector<int>(d.blocks[b].vars))
        if (rng.chance(params.redeclareProb)) {
          std::size_t later = b + 1 + rng.below(d.blocks.size() - b - 1);
          auto& vars = d.blocks[later].vars;
          vars.insert(vars.begin() + static_cast<long>(rng.below(vars.size() + 1)), p);
        }

  // Empty blocks.
  std::vector<QBlock> blocks;
  for (QBlock& b : d.blocks) {
    if (rng.chance(params.emptyBlockProb)) blocks.push_back(QBlock{rng.chance(0.5), {}});
    blocks.push_back(std::move(b));
  }
  if (rng.chance(params.emptyBlockProb)) blocks.push_back(QBlock{rng.chance(0.5), {}});

  // Numbers: identity, or distinct random numbers from 1..nameRange.
  std::vector<int> name(static_cast<std::size_t>(n));
  for (int p = 0; p < n; ++p) name[p] = p + 1;
  if (params.nameRange > 0) {
    int range = std::max(params.nameRange, n);
    std::vector<int> pool;
    if (range <= 4 * n + 64) {
      for (int v = 1; v <= range; ++v) pool.push_back(v);
      shuffle(pool, rng);
      pool.resize(static_cast<std::size_t>(n));
    } else {
      while (static_cast<int>(pool.size()) < n) {
        int v = rng.range(1, range);
        if (std::find(pool.begin(), pool.end(), v) == pool.end()) pool.push_back(v);
      }
    }
    name = pool;
  }
  if (params.namesInFileOrder) {
    std::vector<int> byPosition(static_cast<std::size_t>(n), 0);
    int next = 0;
    for (const QBlock& b : blocks)
      for (int p : b.vars)
        if (byPosition[p] == 0) byPosition[p] = ++next;
    for (const auto& c : d.clauses)
      for (int l : c) {
        int p = (l > 0 ? l : -l) - 1;
        if (byPosition[p] == 0) byPosition[p] = ++next;
      }
    for (int p = 0; p < n; ++p)
      if (byPosition[p] == 0) byPosition[p] = ++next;  // in no clause and no block
    name = byPosition;
  }

  QbfFormula f;
  int maxName = 0;
  for (int v : name) maxName = std::max(maxName, v);
  f.numVars = maxName + std::max(0, params.headerSlack);
  for (QBlock& b : blocks) {
    for (int& p : b.vars) p = name[p];
    f.prefix.push_back(std::move(b));
  }
  for (auto& c : d.clauses) {
    for (int& l : c) l = l > 0 ? name[l - 1] : -name[-l - 1];
    f.clauses.push_back(std::move(c));
  }
  return f;
}

std::string describe(const QbfFormula& f) {
  std::string s = f.toQdimacs();
  for (char& c : s)
    if (c == '\n') c = '/';
  return s;
}

}  // namespace test
}  // namespace vorn
