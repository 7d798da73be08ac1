// The first sizes a store reserves before it knows what it holds (the
// preprocessor's slots, atom records, header reserve and number cache; the
// engine's caps on what a header's counts reserve, its chunks) are only
// hints: with the smallest ones every table grows while the formula is
// read, simplified and solved, and the road must print and decide exactly
// what it does with the binary's sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "driver/PreproRoad.h"
#include "driver/Timer.h"
#include "engine/Matrix.h"
#include "engine/NffEx.h"
#include "preprocessor/CnfMatrix.h"
#include "preprocessor/CnfPrefix.h"
#include "preprocessor/QDimacsCnf.h"
#include "support/Process.h"

namespace vorn {
namespace {

using test::TempDir;

// Sets the smallest first sizes for its life and puts the binary's back.
struct TinyReserves {
  const std::size_t reserveCap = CnfTarget::reserveCap, cacheCap = CnfTarget::cacheCap;
  const int32_t slots = CnfMatrix::firstClauseCapacity, atoms = CnfPrefix::firstAtomCapacity;
  const std::size_t hintCap = NffEx::hintCap, idReserve = NffEx::firstReserveSize;
  const std::size_t chunkWords = Matrix::roadChunkWords, chunkLimit = Matrix::roadChunkLimit;
  TinyReserves() {
    CnfTarget::reserveCap = 1;
    CnfTarget::cacheCap = 2;
    CnfMatrix::firstClauseCapacity = 1;
    CnfPrefix::firstAtomCapacity = 1;
    NffEx::hintCap = 1;
    NffEx::firstReserveSize = 1;
    // Records of more than 15 words get chunks of their own.
    Matrix::roadChunkWords = 16;
    Matrix::roadChunkLimit = std::size_t{1} << 20;
  }
  ~TinyReserves() {
    CnfTarget::reserveCap = reserveCap;
    CnfTarget::cacheCap = cacheCap;
    CnfMatrix::firstClauseCapacity = slots;
    CnfPrefix::firstAtomCapacity = atoms;
    NffEx::hintCap = hintCap;
    NffEx::firstReserveSize = idReserve;
    Matrix::roadChunkWords = chunkWords;
    Matrix::roadChunkLimit = chunkLimit;
  }
};

struct RoadRun {
  int code;
  std::string out;
};

// The road's standard output without the lines that report times.
RoadRun runRoad(const std::string& path, const std::vector<std::string>& flags) {
  instance = Instance<long>();
  CommandLine cl{optionTable()};
  cl["FILENAME"] = path.c_str();
  for (const std::string& f : flags) cl[f.c_str()] = "true";
  Timer timer;
  timer.start();
  testing::internal::CaptureStdout();
  const int code = runPreprocessingRoad(cl, 6000, timer);
  std::fflush(stdout);
  const std::string text = testing::internal::GetCapturedStdout();
  instance = Instance<long>();
  RoadRun r{code, ""};
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t to = text.find('\n', from);
    to = to == std::string::npos ? text.size() : to + 1;
    const std::string line = text.substr(from, to - from);
    if (line.find("time used") == std::string::npos && line.find("Time") == std::string::npos &&
        line.find("time:") == std::string::npos)
      r.out += line;
    from = to;
  }
  return r;
}

// Three blocks (exists, forall, exists) over variables numbered far apart (the number
// cache and the name table both answer), clauses of three to fourteen
// literals, a header that declares `declared` clauses.
std::string formula(uint32_t seed, int vars, int clauses, long declared) {
  uint32_t state = seed;
  auto next = [&](uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  };
  auto number = [](int v) { return 1 + 37 * v; };
  std::string text = "p cnf " + std::to_string(number(vars)) + " " + std::to_string(declared) + "\n";
  // One variable in five universal: most formulas then survive the
  // simplification and reach the writer or the search. One in seven is
  // free (met first in a clause).
  const char* quantifiers[] = {"e", "a", "e"};
  auto blockOf = [](int v) { return v % 5 < 2 ? v % 5 : 2; };
  for (int b = 0; b < 3; ++b) {
    text += quantifiers[b];
    for (int v = 0; v < vars; ++v)
      if (blockOf(v) == b && v % 7 != 6) text += " " + std::to_string(number(v));
    text += " 0\n";
  }
  for (int c = 0; c < clauses; ++c) {
    const uint32_t width = 3 + next(3) + (next(8) == 0 ? next(10) : 0);
    for (uint32_t k = 0; k < width; ++k) {
      const int v = static_cast<int>(next(static_cast<uint32_t>(vars)));
      text += (next(2) ? "-" : "") + std::to_string(number(v)) + " ";
    }
    text += "0\n";
  }
  return text;
}

TEST(FirstReserves, TinyFirstSizesChangeNoRoad) {
  TempDir dir;
  struct Input {
    const char* name;
    std::string text;
  } inputs[] = {
      {"few clauses", formula(1, 12, 20, 20)},
      {"many clauses", formula(2, 90, 200, 200)},
      {"denser", formula(3, 40, 110, 110)},
      {"over-declared", formula(4, 50, 100, 100000)},
      // More than 500000 declared: with -solve the engine reads the file.
      {"engine reads it", formula(5, 60, 140, 600000)},
  };
  const std::vector<std::vector<std::string>> roads = {
      {}, {"-ss", "-qr"}, {"-solve", "-ps", "-sstat"}, {"-solve", "-all", "-ps", "-sstat"}, {"-stat"}};
  for (const Input& in : inputs) {
    const std::string path = dir.write("in.qdimacs", in.text);
    for (const std::vector<std::string>& flags : roads) {
      std::string road;
      for (const std::string& f : flags) road += f + " ";
      SCOPED_TRACE(std::string(in.name) + ", road " + road);
      const RoadRun binary = runRoad(path, flags);
      RoadRun tiny;
      {
        TinyReserves small;
        tiny = runRoad(path, flags);
      }
      EXPECT_EQ(tiny.code, binary.code);
      EXPECT_EQ(tiny.out, binary.out);
    }
  }
}

}  // namespace
}  // namespace vorn
