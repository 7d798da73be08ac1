// Entry point: option table and store, then one of two roads.
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <new>

#include "driver/CommandLine.h"
#include "driver/HugePages.h"
#include "driver/PreproRoad.h"
#include "driver/RunLimits.h"
#include "driver/Timer.h"
#include "driver/TimeBudget.h"
#include "driver/vornEngine.h"
#include "input/FatalError.h"

namespace {

// Times the reading with -stat; the preprocessing loop keeps its own.
vorn::Timer timer;

int run(int argc, const char** argv) {
  vorn::CommandLine options(vorn::optionTable());
  options[vorn::kOptionTimeLimit] = "true";  // the search limit then defaults to 6000 s
  // A rejected command line (and -noprepro with -forceprepro) has printed
  // the usage text; it is a failure.
  if (!options.parse(argc, argv)) return 1;

  const int timeBudget = vorn::processTimeBudget();
  if (options.getPar(vorn::kOptionPreproStats)) timer.start();

  // -noprepro implies -solve.
  const bool decidingRoad = options.getPar(vorn::kOptionSolve) || options.getPar(vorn::kOptionNoPrepro);
  vorn::guardRunLimits(decidingRoad);
  try {
    if (options.getPar(vorn::kOptionNoPrepro)) {
      // Engine-only road: the engine facade reads FILENAME itself and solves.
      vorn::vornEngine engine(options);
      engine.Solve();
      vorn::outputIsFinal();
      return vorn::exitCodeOf(engine);
    }
    const int code = vorn::runPreprocessingRoad(options, timeBudget, timer);
    // The written formula is the result: an error the file system reports
    // only when a descriptor of the file is closed (a quota, a network
    // disk) fails it. A duplicate is closed, so standard output stays open
    // for a caller that runs more than one road in this process.
    if (code == vorn::kExitFormulaWritten) {
      const int copy = ::dup(STDOUT_FILENO);
      if (copy >= 0 && ::close(copy) != 0) return vorn::reportWriteFailure(errno);
    }
    return code;
  } catch (const std::bad_alloc&) {
    // Unwinding has freed what the road held.
    return vorn::outOfMemoryEnding(decidingRoad);
  }
}

}  // namespace

int main(int argc, const char** argv) {
#ifndef VORN_EMBEDDED_MAIN
  // Before anything is opened, printed or allocated in bulk. Not when main
  // is compiled into another program: the restart would exec that program.
  vorn::restartWithHugePages(argc, argv);
#endif
  // The command line (its prefix normaliser) and both roads raise their
  // fatal input and run errors up to here.
  try {
    return run(argc, argv);
  } catch (const vorn::FatalError& error) {
    return vorn::reportFatal(error);
  }
}
