// Seeded generator of small random QBFs in prenex CNF. The same seed and
// parameters give the same formula on every platform: it uses its own
// PRNG (splitmix64) and integer arithmetic only.
//
// Structure can be planted on top of the random clauses (AND gates, XOR
// triples, equivalences); a new kind of structure is one more count in
// GenParams and one more plant function in Generator.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "support/Formula.h"

namespace vorn {
namespace test {

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, bound); bound > 0. Rejection keeps it unbiased.
  uint64_t below(uint64_t bound) {
    uint64_t limit = ~uint64_t(0) - (~uint64_t(0) % bound);
    uint64_t r;
    do r = next();
    while (r >= limit);
    return r % bound;
  }
  // Uniform in [lo, hi].
  int range(int lo, int hi) { return lo + static_cast<int>(below(static_cast<uint64_t>(hi - lo) + 1)); }
  // True with probability p (compared in fixed point, so exact across platforms).
  bool chance(double p) {
    if (p <= 0) return false;
    if (p >= 1) return true;
    return (next() >> 11) < static_cast<uint64_t>(p * 9007199254740992.0);  // 2^53
  }

 private:
  uint64_t state_;
};

struct GenParams {
  // The defaults give true and false formulas in about equal numbers;
  // shorter clauses or more of them push the mix towards false.
  int numVars = 8;
  int numClauses = 12;
  int minClauseLen = 3;
  int maxClauseLen = 4;
  // Number of quantifier alternations: the prefix has alternations + 1
  // blocks (fewer when there are fewer variables than that).
  int alternations = 2;
  // Quantifier of the outermost block: 1 exists, 0 forall, -1 random.
  int firstExists = -1;

  // Probability that a variable stands in no block (free: existential, outermost).
  double freeVarProb = 0.0;
  // Probability of an empty block before each block (and after the last).
  double emptyBlockProb = 0.0;
  // Probability that a quantified variable is listed again in a later
  // block (it keeps its first place).
  double redeclareProb = 0.0;
  // Per clause: probability of a repeated literal / of a complementary pair.
  double repeatLitProb = 0.0;
  double tautologyProb = 0.0;
  // Probability of an empty clause among the random ones (per clause).
  double emptyClauseProb = 0.0;

  // Variable numbers: 0 uses 1..numVars, standing in the prefix in random
  // order; otherwise the numbers are distinct and drawn from 1..nameRange
  // (>= numVars), so the prefix is neither ordered nor gap-free.
  int nameRange = 0;
  // Number the variables 1, 2, ... in order of first appearance in the
  // file (prefix order, then the free ones): the numbering every reader
  // gives them. Takes precedence over nameRange.
  bool namesInFileOrder = false;
  // Extra amount added to the header's variable count (declared but unused).
  int headerSlack = 0;

  // Planted structure, added after the random clauses and shuffled in.
  // Each defines an existential variable y by inputs no deeper in the
  // prefix than y (inputs may be negated), so it is a definition the
  // preprocessor can find; a plant is skipped when no such y exists.
  int andGates = 0;      // y <-> (a & b): (-y a) (-y b) (y -a -b)
  int xorTriples = 0;    // y ^ a ^ b = random parity: four clauses of length 3
  int equivalences = 0;  // y <-> a or y <-> -a: two binary clauses
  // Wider parity groups: y ^ x1 ^ ... ^ x(k-1) = random parity with
  // k = xorGroupSize (2..8), 2^(k-1) clauses of length k each.
  int xorGroups = 0;
  int xorGroupSize = 4;
  bool shuffleClauses = true;
};

QbfFormula generate(const GenParams& params, uint64_t seed);

// One-line description for test messages, e.g. "seed 17: p cnf 8 16 ...".
std::string describe(const QbfFormula& f);

}  // namespace test
}  // namespace vorn
