// The trail: assigned literals in order, with per-variable value, level
// and trail position, and per-literal reason.
//
// Layout: `value[v]` is +level / -level (level >= 1) or 0 when v is
// unassigned, so truth and level come from one 32-bit read; `reasons` is
// indexed by litCode and holds {0, NoReason} for a literal not assigned.
// The trail is sized to the variables in advance, so a push never
// allocates. Trail literals never carry the term bit.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/Types.h"

namespace vorn {

class Assignment {
 public:
  Assignment(CommandLine& options, Instance<long>& names);

  // Sizes the tables for nVars variables (never shrinks them).
  void init(long nVars, long nClauses);

  // The trail push: a term literal is pushed as the assignment it forces;
  // a false literal is refused (conflictLit = its true complement); a true
  // one is left alone; a Branch reason opens a new decision level.
  bool push2Assign(Literal lit, const reasonItem_& reason) {
    if (litTerm(lit)) lit = termForces(lit);
    const int32_t val = value[litVar(lit)];
    if (val != 0) {
      if ((val < 0) == litNegative(lit)) return true;
      conflictLit = litComplement(lit);
      return false;
    }
    pushUnassigned_(lit, reason);
    return true;
  }
  // The push itself, for a clause-form literal known to be unassigned.
  void pushUnassigned_(Literal lit, const reasonItem_& reason) {
    const uint32_t v = litVar(lit);
    assert(value[v] == 0 && !litTerm(lit) && trailSize < trail.size());
    trail[trailSize] = lit;
    trailPos[v] = trailSize;
    if (reason.kind == Branch) ++decisionLevel;
    value[v] = litNegative(lit) ? -static_cast<int32_t>(decisionLevel) : static_cast<int32_t>(decisionLevel);
    if (decisionLevel == 1) lastTopLevelLit = lit;
    if (++trailSize == nVars) ++fullAssignments;
    reasons[litCode(lit)] = reason;
  }

  // Undoes every assignment above level and pulls the propagation and
  // announcement heads back onto the trail. Pending empty constraints are
  // the caller's to keep or drop.
  void backjump(uint32_t level);

  // Truth under the current assignment; the term bit plays no part.
  bool isAssigned(Literal l) const { return value[litVar(l)] != 0; }
  bool isTrue(Literal l) const {
    const int32_t val = value[litVar(l)];
    return val != 0 && (val < 0) == litNegative(l);
  }
  bool isFalse(Literal l) const {
    const int32_t val = value[litVar(l)];
    return val != 0 && (val < 0) != litNegative(l);
  }
  // Assignment level of l's variable; 0 when unassigned.
  uint32_t levelOf(Literal l) const {
    const int32_t val = value[litVar(l)];
    return static_cast<uint32_t>(val < 0 ? -val : val);
  }
  // The reason kind of l, or of its complement while l has none.
  uint32_t reasonKindOf(Literal l) const {
    const uint32_t kind = reasons[litCode(l)].kind;
    return kind != NoReason ? kind : reasons[litCode(l) ^ 1u].kind;
  }
  // Fixed as a monotone literal (Pure or DontCare), not forced.
  bool isPureFixed(Literal l) const { return isPureKind(reasonKindOf(l)); }

  void printStats() {}
  void print();
  void nextRightBranch() {}

  Instance<long>& names;
  CommandLine& options;
  unsigned long fullAssignments = 0;
  uint32_t nVars = 0;
  std::vector<Literal> trail;  // nVars + 1 slots; 0 behind the last literal
  uint32_t decisionLevel = 1;  // level 1 is the top level
  uint32_t trailSize = 0;
  uint32_t binHead = 0;     // next position for the binary propagation
  uint32_t naryHead = 0;    // next position for the N-ary propagation
  uint32_t pureHead = 0;    // next position for MLF::subsume
  uint32_t notifyHead = 0;  // next position to announce as an event
  Literal lastTopLevelLit = 0;
  Literal conflictLit = 0;
  std::vector<uint32_t> trailPos;     // by variable
  std::vector<int32_t> value;         // by variable: +level, -level, 0
  std::vector<reasonItem_> reasons;   // by litCode
};

}  // namespace vorn
