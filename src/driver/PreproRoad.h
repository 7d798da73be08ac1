// The default road: read the formula into the preprocessor, simplify it in
// a timed loop, then answer, write the simplified formula, or hand it to
// the engine (-solve). Inputs declaring too many clauses to preprocess
// before solving go to the engine directly.
#pragma once

#include <cstdint>

#include "driver/CommandLine.h"
#include "driver/Timer.h"

namespace vorn {

class CnfFormula;
class Qresolution;

// Runs the road on the file named by "FILENAME" and answers the exit code:
// 10 / 20 decided (by preprocessing or the engine), 100 formula written,
// 99 engine without an answer, 1 when writing the formula failed.
// timeBudget bounds the loop (CPU seconds); timer was started at start-up
// when "-stat" is given.
int runPreprocessingRoad(CommandLine& options, int timeBudget, Timer& timer);

// The one line on standard error for output that could not be written
// (error is an errno value); answers the exit code, 1.
int reportWriteFailure(int error);

// Counters of the equivalence pass, printed in the statistics block.
struct EquivalenceStats {
  int32_t eqSubstitutions = 0;
  int32_t eq3Substitutions = 0;
  int32_t eqRewritings = 0;
  int32_t eq3Rewritings = 0;
  float defLengthSum = 0;
  float defLengthMin = 0;
  float defLengthMax = 0;
  float keptDefinitions = 0;
};

// The "-stat" block after preprocessing; prints nothing without "-stat".
void printStatsAfterPrepro(Qresolution& qr, float& qrTime, long& qrCalls, const EquivalenceStats& eq,
                           float& eqTime, long& eqCalls, CnfFormula& formula, long& varsAtParse,
                           long& clausesAtParse, CommandLine& options);

}  // namespace vorn
