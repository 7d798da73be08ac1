#include "driver/PreproRoad.h"

#include <cstdio>
#include <memory>

#include "driver/Instance.h"
#include "driver/vornEngine.h"
#include "input/QDimacs.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/Equivalences.h"
#include "preprocessor/QDimacsCnf.h"
#include "preprocessor/Qresolution.h"

namespace vorn {

namespace {

constexpr int kPreprocessClauseLimit = 500000;

// The equivalence step of the loop and its statistics lines.
constexpr bool kEquivalenceStepBuilt = true;

bool given(CommandLine& options, const char* name) { return options.getPar(name) != nullptr; }

int exitCodeOf(vornEngine& engine) {
  int state = engine.getState();
  return state == ResultFalse || state == ResultTrue ? state : ResultUnknown;
}

}  // namespace

void printStatsAfterPrepro(Qresolution& qr, float& qrTime, long& qrCalls, const EquivalenceStats& eq,
                           float& eqTime, long& eqCalls, CnfFormula& formula, long& varsAtParse,
                           long& clausesAtParse, CommandLine& options) {
  if (!given(options, "-stat")) return;
  const bool all = given(options, "-all");
  const bool rewriting = all || given(options, "-er");
  const long s = eq.eqSubstitutions, s3 = eq.eq3Substitutions;
  const double k = eq.keptDefinitions;
  if (kEquivalenceStepBuilt) {
    if (all || given(options, "-es")) {
      std::printf("c EQ Time: %g s by %ld checks\n", static_cast<double>(eqTime), eqCalls);
      std::printf("c EQ Substitutions:   %ld\n", s);
    }
    if (rewriting) std::printf("c EQ Rewritings:      %ld\n", static_cast<long>(eq.eqRewritings));
    if (all || given(options, "-3e")) {
      std::printf("c 3-EQ substitutions: %ld\n", s3);
      if (rewriting) std::printf("c 3-EQ Rewritings:      %ld\n", static_cast<long>(eq.eq3Rewritings));
    }
  }
  std::printf("c EQ Statistics: MIN %.2f AVG %.2f MAX %.2f\n", static_cast<double>(eq.defLengthMin),
              s == 0 ? 0.0 : static_cast<double>(eq.defLengthSum) / static_cast<double>(s),
              static_cast<double>(eq.defLengthMax));
  const double allDefs = static_cast<double>(s + s3) + k, andDefs = static_cast<double>(s) + k;
  std::printf("c EQ Substituted %.2f %.2f\n", allDefs == 0 ? 0.0 : static_cast<double>(s + s3) / allDefs,
              andDefs == 0 ? 0.0 : static_cast<double>(s) / andDefs);
  if (all || given(options, "-qr")) {
    std::printf("c QRES Time: %g s by %ld checks\n", static_cast<double>(qrTime), qrCalls);
    std::printf("c Variables Eliminated by QRES: %ld\n", static_cast<long>(qr.eliminatedVars));
  }
  std::printf("c Variables Checked by QRES: %ld\n", static_cast<long>(qr.checkedVars));
  std::printf("c Variables Eliminated by PrePro: %ld / %ld\n", static_cast<long>(formula.removedAtomCount),
              varsAtParse);
  std::printf("c Clauses   Eliminated by PrePro: %ld / %ld\n", clausesAtParse - formula.liveClauseCount(),
              clausesAtParse);
}

int runPreprocessingRoad(CommandLine& options, int timeBudget, Timer& timer) {
  const bool stat = given(options, "-stat");
  const bool solve = given(options, "-solve");
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
            kPreprocessClauseLimit);
      // The engine reads the file again from its beginning.
      std::fflush(stdout);
      vornEngine engine(options);
      engine.Solve();
      return exitCodeOf(engine);
    }
  }

  float qrTime = 0, eqTime = 0;
  long qrCalls = 0, eqCalls = 0, varsAtParse = 0, clausesAtParse = 0;
  if (stat) {
    float parse = timer.elapsed();
    std::printf("c Tamrix\n");
    std::printf("c Parse time: %g s\n", static_cast<double>(parse));
    varsAtParse = formula.maxAtom;
    clausesAtParse = formula.liveClauseCount();
  }
  Qresolution qr(options);
  Equivalences equivalences(formula.maxAtom, formula.liveClauseCount(), options);
  EquivalenceStats eq;
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

  auto falseEnding = [&]() {
    printStatsAfterPrepro(qr, qrTime, qrCalls, eq, eqTime, eqCalls, formula, varsAtParse, clausesAtParse, options);
    std::printf("s cnf 0\n");
    std::fflush(stdout);
    return 20;
  };

  if (formula.simplify() == PassFalse) return falseEnding();
  if (stat) std::printf("c Time Limit %d s\n", timeBudget);

  const bool equivalenceStep = kEquivalenceStepBuilt && (given(options, "-es") || given(options, "-3e") ||
                                                         given(options, "-er") || given(options, "-all"));
  const bool qrStep = given(options, "-qr") || given(options, "-all");
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
        ++eqCalls;
      }
      const PassResult answer = equivalences(formula);
      takeStats();
      if (answer == PassFalse) return falseEnding();
      if (formula.simplify() == PassFalse) return falseEnding();
      if (stat) eqTime += timer.elapsed();
    }
    if (qrStep) {
      if (stat) {
        timer.start();
        ++qrCalls;
      }
      formula.simplify();
      qr(formula);
      if (qr(formula) == PassFalse) return falseEnding();
      if (formula.simplify() == PassFalse) return falseEnding();
      if (stat) qrTime += timer.elapsed();
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

  printStatsAfterPrepro(qr, qrTime, qrCalls, eq, eqTime, eqCalls, formula, varsAtParse, clausesAtParse, options);
  if (stat) std::printf("c Tamrix time: %g s\n", static_cast<double>(globtimer.elapsed()));
  if (formula.liveClauseCount() == 0) {
    std::printf("s cnf 1\n");
    std::fflush(stdout);
    return 10;
  }
  if (solve) {
    std::fflush(stdout);
    vornEngine engine(formula.maxAtom, formula.liveClauseCount(), timeBudget, options);
    formula.sendFormula(engine);
    engine.Solve();
    return exitCodeOf(engine);
  }
  formula.printFormula(stdout);
  return 100;
}

}  // namespace vorn
