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
class vornEngine;

// Exit code of the road when it writes the simplified formula; the others
// are the engine's answers (ResultTrue, ResultFalse, ResultUnknown).
constexpr int kExitFormulaWritten = 100;
// Exit code of every failure that is not an input error.
constexpr int kExitFailure = 1;

// Runs the road on the file named by "FILENAME" and answers the exit code:
// 10 / 20 decided (by preprocessing or the engine), 100 formula written,
// 99 engine without an answer, 1 when writing the formula failed.
// timeBudget bounds the loop (CPU seconds); timer was started at start-up
// when "-stat" is given.
int runPreprocessingRoad(CommandLine& options, int timeBudget, Timer& timer);

// The exit code of an engine run, on either road: its answer, or
// ResultUnknown when it has none.
int exitCodeOf(vornEngine& engine);

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

// What the "-stat" block after preprocessing prints.
struct PreproStats {
  EquivalenceStats eq;
  float eqTime = 0;  // CPU seconds in the equivalence step
  long eqCalls = 0;
  float qrTime = 0;  // CPU seconds in the Q-resolution step
  long qrCalls = 0;
  long qrEliminated = 0;  // variables eliminated by Q-resolution
  long qrChecked = 0;     // variables it checked
  long varsAtParse = 0;
  long varsRemoved = 0;
  long clausesAtParse = 0;
  long clausesLive = 0;
};

// The counts of the pass and the formula as they stand now.
void takeEndState(PreproStats& stats, const Qresolution& qr, const CnfFormula& formula);

// The "-stat" block after preprocessing; prints nothing without "-stat".
void printStatsAfterPrepro(const PreproStats& stats, CommandLine& options);

}  // namespace vorn
