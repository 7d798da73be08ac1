#include "engine/Assignment.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace vorn {

Assignment::Assignment(CommandLine& options, Instance<long>& names) : names(names), options(options) {}

void Assignment::init(long n, long) {
  const std::size_t vars = n < 0 ? 0 : static_cast<std::size_t>(n);
  nVars = static_cast<uint32_t>(vars);
  if (trail.size() < vars + 1) trail.resize(vars + 1, 0);
  if (trailPos.size() < vars + 1) trailPos.resize(vars + 1, 0);
  if (value.size() < vars + 1) value.resize(vars + 1, 0);
  if (reasons.size() < 2 * (vars + 1)) reasons.resize(2 * (vars + 1), reasonItem_{0, NoReason});
}

void Assignment::backjump(uint32_t level) {
  while (trailSize > 0) {
    const Literal t = trail[trailSize - 1];
    if (levelOf(t) <= level) break;
    --trailSize;
    const uint32_t v = litVar(t);
    reasons[litCode(t)] = reasonItem_{0, NoReason};
    trailPos[v] = 0;
    value[v] = 0;
    trail[trailSize] = 0;
  }
  decisionLevel = level;
  binHead = std::min(binHead, trailSize);
  naryHead = std::min(naryHead, trailSize);
  pureHead = std::min(pureHead, trailSize);
  notifyHead = std::min(notifyHead, trailSize);
}

void Assignment::print() {
  std::cout << "Assignment Stack" << std::endl;
  for (uint32_t i = 0; i < trailSize; ++i) {
    const Literal l = trail[i];
    const uint32_t v = litVar(l);
    long number = v < names.intToExt.size() ? names.intToExt[v] : 0;
    if (litNegative(l)) number = -number;
    const char quant = litExistential(l) ? 'E' : 'A';
    const unsigned long level = levelOf(l);
    const char* format = nullptr;
    switch (reasons[litCode(l)].kind & 0xF0u) {
      case 0x00: format = "%ld,%c,Branch,%lu\n"; break;
      case 0x40: format = "%ld,%c,Pure,%lu\n"; break;
      case 0x50: format = "%ld,%c,don't Care,%lu\n"; break;
      case 0x80:
      case 0xC0: format = "%ld,%c,Unit,%lu\n"; break;
      default: break;
    }
    if (!format) continue;
    char line[96];
    std::snprintf(line, sizeof line, format, number, quant, level);
    std::cout << line;
  }
  std::cout.flush();
}

}  // namespace vorn
