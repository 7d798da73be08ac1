// Entry point: option table and store, then one of two roads.
#include <iostream>

#include "driver/CommandLine.h"
#include "driver/PreproRoad.h"
#include "driver/Timer.h"
#include "driver/TimeBudget.h"
#include "driver/vornEngine.h"

namespace {

// Times the reading with -stat; the preprocessing loop keeps its own.
vorn::Timer timer;

}  // namespace

int main(int argc, const char** argv) {
  vorn::CommandLine options(vorn::optionTable());
  options["--timelimit"] = "true";  // the search limit then defaults to 6000 s
  // A rejected command line (and -noprepro with -forceprepro) has printed
  // the usage text; it is a failure.
  if (!options.parse(argc, argv)) return 1;

  const int timeBudget = vorn::processTimeBudget();
  if (options.getPar("-stat")) timer.start();

  if (options.getPar("-noprepro")) {
    // Engine-only road: the engine facade reads FILENAME itself and solves.
    vorn::vornEngine engine(options);
    engine.Solve();
    const int state = engine.getState();
    return state == vorn::ResultTrue || state == vorn::ResultFalse ? state : vorn::ResultUnknown;
  }
  return vorn::runPreprocessingRoad(options, timeBudget, timer);
}
