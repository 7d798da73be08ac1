// The engine's QDIMACS reader on arbitrary bytes, in-process: it either
// fills the constraint store or raises the fatal error of code 3 or 99 (with
// one line for standard error); anything else, a sanitizer report or a
// failed assert included, fails the run. The name table is the reader's
// own; nothing global is touched.
#include <cstddef>
#include <cstdint>

#include "InProcess.h"
#include "SmallReserves.h"
#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/NffEx.h"
#include "engine/QDimacsEngine.h"
#include "input/QDimacs.h"

using namespace vorn;

namespace {
constexpr std::size_t kChunkWords = 1u << 14;  // 64 KiB
constexpr std::size_t kChunkLimit = 1u << 12;  // 256 MiB in all, below the fuzzer's memory limit
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::discardStdout();
  fuzz::useSmallEngineReserves();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  const fuzz::ChildResult r = fuzz::runInProcess([&] {
    CommandLine options;
    options["FILENAME"] = path.c_str();
    Instance<long> names;
    // Small chunks: a 32 MiB chunk is poisoned and unpoisoned by the
    // sanitizer on every input, which costs more than the reading.
    NffEx store(options, names, kChunkWords, kChunkLimit);
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
