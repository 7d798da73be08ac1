// Named families of random formulas for the differential tests: the
// generator's shape parameters and how many formulas to draw of each.
#pragma once

#include <cstddef>

#include "support/Generator.h"

// Under AddressSanitizer every run of the binary costs a good part of a
// second, most of it in starting and ending the process; an engine built
// in-process costs a tenth of that, most of it in poisoning the shadow of
// its first 32 MiB chunk.
#if defined(__SANITIZE_ADDRESS__)
#define VORN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORN_TEST_SANITIZED 1
#endif
#endif

namespace vorn {
namespace test {

#ifdef VORN_TEST_SANITIZED
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

struct Family {
  const char* name;
  GenParams params;
  int count;
};

// Whether a test runs the i-th formula of a family (or the i-th seed):
// every one in the Release build, which checks the answers; every fourth
// in the sanitizer build, which is there to catch memory and
// undefined-behaviour faults on every road and would otherwise need many
// times as long. Same seeds either way.
inline bool drawnInThisBuild(int i) { return !kSanitizedBuild || i % 4 == 0; }
// At least this share of the formulas of a family are drawn.
template <typename Count>
Count drawnAtLeast(Count releaseCount) {
  return kSanitizedBuild ? releaseCount / 4 : releaseCount;
}

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
