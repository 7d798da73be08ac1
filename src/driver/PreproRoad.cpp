#include "driver/PreproRoad.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "driver/Instance.h"
#include "driver/RunLimits.h"
#include "driver/vornEngine.h"
#include "input/QDimacs.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/Equivalences.h"
#include "preprocessor/QDimacsCnf.h"
#include "preprocessor/Qresolution.h"

namespace vorn {

namespace {

bool given(CommandLine& options, const char* name) { return options.getPar(name) != nullptr; }

}  // namespace

int exitCodeOf(vornEngine& engine) {
  const int state = engine.getState();
  return state == ResultFalse || state == ResultTrue ? state : ResultUnknown;
}

void takeEndState(PreproStats& stats, const Qresolution& qr, const CnfFormula& formula) {
  stats.qrEliminated = qr.eliminatedVars;
  stats.qrChecked = qr.checkedVars;
  stats.varsRemoved = formula.removedAtomCount;
  stats.clausesLive = formula.liveClauseCount();
}

void printStatsAfterPrepro(const PreproStats& stats, CommandLine& options) {
  if (!given(options, kOptionPreproStats)) return;
  const EquivalenceStats& eq = stats.eq;
  const bool all = given(options, kOptionAllSimplifications);
  const bool rewriting = all || given(options, kOptionEquivalenceRewriting);
  const long s = eq.eqSubstitutions, s3 = eq.eq3Substitutions;
  const double k = eq.keptDefinitions;
  if (all || given(options, kOptionEquivalenceSubstitution)) {
    std::printf("c EQ Time: %g s by %ld checks\n", static_cast<double>(stats.eqTime), stats.eqCalls);
    std::printf("c EQ Substitutions:   %ld\n", s);
  }
  if (rewriting) std::printf("c EQ Rewritings:      %ld\n", static_cast<long>(eq.eqRewritings));
  if (all || given(options, kOptionThreeEquivalence)) {
    std::printf("c 3-EQ substitutions: %ld\n", s3);
    if (rewriting) std::printf("c 3-EQ Rewritings:      %ld\n", static_cast<long>(eq.eq3Rewritings));
  }
  std::printf("c EQ Statistics: MIN %.2f AVG %.2f MAX %.2f\n", static_cast<double>(eq.defLengthMin),
              s == 0 ? 0.0 : static_cast<double>(eq.defLengthSum) / static_cast<double>(s),
              static_cast<double>(eq.defLengthMax));
  const double allDefs = static_cast<double>(s + s3) + k, andDefs = static_cast<double>(s) + k;
  std::printf("c EQ Substituted %.2f %.2f\n", allDefs == 0 ? 0.0 : static_cast<double>(s + s3) / allDefs,
              andDefs == 0 ? 0.0 : static_cast<double>(s) / andDefs);
  if (all || given(options, kOptionQResolution)) {
    std::printf("c QRES Time: %g s by %ld checks\n", static_cast<double>(stats.qrTime), stats.qrCalls);
    std::printf("c Variables Eliminated by QRES: %ld\n", stats.qrEliminated);
  }
  std::printf("c Variables Checked by QRES: %ld\n", stats.qrChecked);
  std::printf("c Variables Eliminated by PrePro: %ld / %ld\n", stats.varsRemoved, stats.varsAtParse);
  std::printf("c Clauses   Eliminated by PrePro: %ld / %ld\n", stats.clausesAtParse - stats.clausesLive,
              stats.clausesAtParse);
}

int runPreprocessingRoad(CommandLine& options, int timeBudget, Timer& timer) {
  const bool stat = given(options, kOptionPreproStats);
  const bool solve = given(options, kOptionSolve);
  Timer globtimer;

  CnfFormula formula(options);
  {
    CnfTarget target(formula, instance, options);
    std::unique_ptr<QDimacs> reader(new QDimacs(target, options));
    if (!reader->done()) {
      reader.reset();
      if (stat)
        std::printf(
            "c More than %d clauses: Tamrix is now disabled. Re-run with \"-forceprepro\" to override.\n",
            kHugeInputClauses);
      // The engine reads the file again from its beginning.
      std::fflush(stdout);
      vornEngine engine(options);
      engine.Solve();
      outputIsFinal();
      return exitCodeOf(engine);
    }
  }

  PreproStats stats;
  if (stat) {
    float parse = timer.elapsed();
    std::printf("c Tamrix\n");
    std::printf("c Parse time: %g s\n", static_cast<double>(parse));
    stats.varsAtParse = formula.maxAtom;
    stats.clausesAtParse = formula.liveClauseCount();
  }
  Qresolution qr(options);
  Equivalences equivalences(formula.maxAtom, formula.liveClauseCount(), options);
  EquivalenceStats& eq = stats.eq;
  auto takeStats = [&]() {
    eq.eqSubstitutions = equivalences.eqSubstitutions;
    eq.eq3Substitutions = equivalences.eq3Substitutions;
    eq.eqRewritings = equivalences.eqRewritings;
    eq.eq3Rewritings = equivalences.eq3Rewritings;
    eq.defLengthSum = equivalences.defLengthSum;
    eq.defLengthMin = equivalences.defLengthMin;
    eq.defLengthMax = equivalences.defLengthMax;
    eq.keptDefinitions = equivalences.keptDefinitions;
  };

  auto printStats = [&]() {
    takeEndState(stats, qr, formula);
    printStatsAfterPrepro(stats, options);
  };
  auto falseEnding = [&]() {
    outputIsFinal();
    printStats();
    std::printf("s cnf 0\n");
    std::fflush(stdout);
    return static_cast<int>(ResultFalse);
  };

  if (formula.simplify() == PassFalse) return falseEnding();
  if (stat) std::printf("c Time Limit %d s\n", timeBudget);

  const bool equivalenceStep =
      given(options, kOptionEquivalenceSubstitution) || given(options, kOptionThreeEquivalence) || given(options, kOptionEquivalenceRewriting) || given(options, kOptionAllSimplifications);
  const bool qrStep = given(options, kOptionQResolution) || given(options, kOptionAllSimplifications);
  const double budgetShare = (solve ? 0.75 : 0.95) * timeBudget;
  globtimer.start();
  int iteration = 0;
  long prevEliminated = 0;
  float iterationTime = 0, previousReading = 0, rateThreshold = 0.05f;
  for (;;) {
    if (formula.liveClauseCount() == 0) break;
    if (equivalenceStep && iteration < 2) {
      if (stat) {
        timer.start();
        ++stats.eqCalls;
      }
      const PassResult answer = equivalences(formula);
      takeStats();
      if (answer == PassFalse) return falseEnding();
      if (formula.simplify() == PassFalse) return falseEnding();
      if (stat) stats.eqTime += timer.elapsed();
    }
    if (qrStep) {
      if (stat) {
        timer.start();
        ++stats.qrCalls;
      }
      formula.simplify();
      // Two calls, and only the second answer is looked at: the pass leaves
      // the formula as it is and answers PassUndecided, so the step only
      // counts and times itself, as it always has.
      qr(formula);
      if (qr(formula) == PassFalse) return falseEnding();
      if (formula.simplify() == PassFalse) return falseEnding();
      if (stat) stats.qrTime += timer.elapsed();
    }
    ++iteration;
    float now = globtimer.elapsed();
    long eliminated = qr.eliminatedVars;
    if (iteration == 1) {
      iterationTime = now;
    } else {
      // The true duration of this iteration; a NaN rate (nothing eliminated
      // in no measurable time) is not below the threshold.
      iterationTime = now - previousReading;
      float rate = static_cast<float>(eliminated - prevEliminated) / iterationTime;
      if (rateThreshold > rate) break;
      rateThreshold = rateThreshold * 1.2f;
    }
    previousReading = now;
    if (globtimer.elapsed() > budgetShare) break;
    prevEliminated = eliminated;
  }

  printStats();
  if (stat) std::printf("c Tamrix time: %g s\n", static_cast<double>(globtimer.elapsed()));
  if (formula.liveClauseCount() == 0) {
    outputIsFinal();
    std::printf("s cnf 1\n");
    std::fflush(stdout);
    return ResultTrue;
  }
  if (solve) {
    std::fflush(stdout);
    vornEngine engine(formula.maxAtom, formula.liveClauseCount(), timeBudget, options);
    formula.sendFormula(engine);
    engine.Solve();
    outputIsFinal();
    return exitCodeOf(engine);
  }
  outputIsFinal();
  if (const int error = formula.printFormula(stdout)) return reportWriteFailure(error);
  return kExitFormulaWritten;
}

int reportWriteFailure(int error) {
  std::fprintf(stderr, "cannot write the simplified formula to standard output: %s\n", std::strerror(error));
  return kExitFailure;
}

}  // namespace vorn
