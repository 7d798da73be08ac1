// The engine's QDIMACS reader on arbitrary bytes: it either fills the
// constraint store or ends the process with 3 or 99 (and one line on
// standard error); anything else, a sanitizer report or a failed assert
// included, fails the run.
#include <cstddef>
#include <cstdint>

#include "ForkedRun.h"
#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/NffEx.h"
#include "engine/QDimacsEngine.h"
#include "input/QDimacs.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  const fuzz::ChildResult r = fuzz::runForked([&] {
    CommandLine options;
    options["FILENAME"] = path.c_str();
    Instance<long> names;
    NffEx store(options, names);
    EngineTarget target(store, names);
    QDimacs reader(target, options);
    if (!reader.done()) fuzz::fail("the reader returned without reading the whole file");
    // Every internal index has a place in the prefix.
    for (uint32_t v = 1; v <= store.prefix.maxAtom; ++v)
      if (!store.prefix.isPlaced(v)) fuzz::fail("index " + std::to_string(v) + " has no place in the prefix");
    return 0;
  });
  fuzz::expectExit(r, {0, 3, 99}, "engine reader");
  if (r.code != 0) fuzz::expectRejectionLine(r, path, data, size);
  return 0;
}
