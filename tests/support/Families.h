// Named families of random formulas for the differential tests: the
// generator's shape parameters and how many formulas to draw of each.
#pragma once

#include "support/Generator.h"

namespace vorn {
namespace test {

struct Family {
  const char* name;
  GenParams params;
  int count;
};

// The shape every family sets; the rest stays at the generator's defaults.
inline GenParams params(int vars, int clauses, int minLen, int maxLen, int alternations) {
  GenParams p;
  p.numVars = vars;
  p.numClauses = clauses;
  p.minClauseLen = minLen;
  p.maxClauseLen = maxLen;
  p.alternations = alternations;
  return p;
}

}  // namespace test
}  // namespace vorn
