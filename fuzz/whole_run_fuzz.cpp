// The whole program on one input file, on every road: -noprepro (with the
// default heuristic and with "occs"), the default road (simplify and
// write), -solve, -all -solve, and -noprepro with the preference-line
// heuristic. main is compiled into this binary under the name vornMain and
// runs in the fuzzer's own process, one road after the other: main returns
// its exit code (the readers raise their fatal errors up to it), and the
// engine's search limit (--timelimit) counts from the search clock's
// origin, moved to the start of each road, as a fresh process would count
// from zero. Before each road and after the last one the global name table
// `instance` is made anew; main's other global, the reading timer, is
// started by the roads that read it.
//
// Each road prints to its own standard output file (descriptor 1) and its
// own standard error file (the stdio stream and std::cerr, not descriptor
// 2: a sanitizer report or the fuzzer's crash message must reach the log).
//
// Beyond "no crash, no sanitizer report, no hang, a known exit code":
//  - a rejected input (3) is rejected on every road that reads it, with
//    one "file:line: what" line on standard error;
//  - the roads never disagree on an answer (10 against 20), and a small
//    formula's answer is the brute-force evaluator's;
//  - an answer (10, 20) is the last line printed ("s cnf 1", "s cnf 0");
//  - the simplified formula the default road writes is well-formed QDIMACS.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "EvalReader.h"
#include "ForkedRun.h"
#include "InProcess.h"
#include "QdimacsCheck.h"
#include "SmallReserves.h"
#include "driver/Instance.h"
#include "engine/Solver.h"
#include "input/PrefixNormaliser.h"
#include "input/PrivateCopy.h"
#include "support/Evaluator.h"

int vornMain(int argc, const char** argv);

using namespace vorn;

namespace {

struct Road {
  const char* name;
  std::vector<const char*> options;
  bool writesFormula;
};

// A short search limit: a hard formula is no finding, a hang is.
const std::vector<Road> kRoads = {
    {"-noprepro", {"-noprepro", "--timelimit", "2"}, false},
    {"-noprepro --heur occs", {"-noprepro", "--heur", "occs", "--timelimit", "2"}, false},
    {"default", {}, true},
    {"-solve", {"-solve", "--timelimit", "2"}, false},
    {"-all -solve", {"-all", "-solve", "--timelimit", "2"}, false},
    {"-noprepro --heur qp", {"-noprepro", "--heur", "qp", "--timelimit", "2"}, false},
};

bool isAnswer(int code) { return code == 10 || code == 20; }

std::string lastLine(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
      text.append(buf, n);
      if (text.size() > (1u << 16)) text.erase(0, text.size() - 4096);
    }
    std::fclose(f);
  }
  if (!text.empty() && text.back() == '\n') text.pop_back();
  const std::size_t nl = text.rfind('\n');
  return nl == std::string::npos ? text : text.substr(nl + 1);
}

std::string readAll(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

std::string roadFile(std::size_t road, const char* stream) {
  return fuzz::workDir() + "/road" + std::to_string(road) + "." + stream;
}

// Runs one road with its standard output in roadFile(road, "out") and its
// standard error text in roadFile(road, "err"); returns main's exit code.
int runRoad(std::size_t road, const std::string& path) {
  std::cout.flush();
  std::fflush(stdout);
  const int out = open(roadFile(road, "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::FILE* err = std::fopen(roadFile(road, "err").c_str(), "w");
  if (out < 0 || !err) fuzz::fail("cannot open the output files of road " + std::string(kRoads[road].name));
  dup2(out, 1);
  close(out);
  // Unbuffered, so the stdio stream and std::cerr keep their order.
  std::setvbuf(err, nullptr, _IONBF, 0);
  std::FILE* const realStderr = stderr;
  stderr = err;
  fuzz::FileBuf errBuf(err);
  std::streambuf* const realCerr = std::cerr.rdbuf(&errBuf);

  instance = Instance<long>();
  std::vector<const char*> argv{"vorn", path.c_str()};
  argv.insert(argv.end(), kRoads[road].options.begin(), kRoads[road].options.end());
  argv.push_back(nullptr);
  setSearchClockOrigin(processCpuSeconds());
  const int code = vornMain(static_cast<int>(argv.size()) - 1, argv.data());

  std::cout.flush();
  std::fflush(stdout);
  fuzz::discardStdout();
  std::cerr.rdbuf(realCerr);
  stderr = realStderr;
  std::fclose(err);
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::discardStdout();
  fuzz::useSmallPreproReserves();
  fuzz::useSmallEngineReserves();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  std::vector<fuzz::ChildResult> results;
  for (std::size_t i = 0; i < kRoads.size(); ++i) {
    fuzz::ChildResult r;
    r.exited = true;
    r.code = runRoad(i, path);
    r.err = readAll(roadFile(i, "err"));
    results.push_back(r);
  }
  // What the roads leave must not count as the next input's allocations.
  instance = Instance<long>();
  for (std::size_t i = 0; i < kRoads.size(); ++i) {
    const Road& road = kRoads[i];
    const std::string written = roadFile(i, "out");
    const fuzz::ChildResult& r = results[i];
    const std::string what = std::string("road ") + road.name;
    // 1: a preference line naming a variable of no other line (qp);
    // 255: a clause variable beyond the header (belief propagation).
    fuzz::expectExit(r, {1, 3, 10, 20, 99, 100, 255}, what);
    if (r.code == 3) fuzz::expectRejectionLine(r, path, data, size);
    if (isAnswer(r.code)) {
      const std::string expected = r.code == 10 ? "s cnf 1" : "s cnf 0";
      if (lastLine(written) != expected)
        fuzz::fail(what + ": exit " + std::to_string(r.code) + " but the last line printed is \"" + lastLine(written) +
                       "\"",
                   r);
    }
    if (r.code == 100) {
      if (!road.writesFormula) fuzz::fail(what + " wrote a formula instead of solving", r);
      fuzz::WrittenFormula f;
      const std::string problem = fuzz::checkWellFormed(written, f);
      if (!problem.empty()) fuzz::fail(what + ": the simplified formula is not well-formed QDIMACS: " + problem, r);
    }
  }

  int answer = 0;
  std::size_t answeredBy = 0;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const int code = results[i].code;
    if (isAnswer(code)) {
      if (answer != 0 && code != answer)
        fuzz::fail(std::string("roads disagree: ") + kRoads[answeredBy].name + " answers " + std::to_string(answer) +
                       ", " + kRoads[i].name + " answers " + std::to_string(code),
                   results[i]);
      answer = code;
      answeredBy = i;
    }
  }
  for (std::size_t i = 0; i < results.size(); ++i)
    for (std::size_t j = 0; j < results.size(); ++j)
      if (results[i].code == 3 && (isAnswer(results[j].code) || results[j].code == 100))
        fuzz::fail(std::string("road ") + kRoads[i].name + " rejects the input (3), road " + kRoads[j].name +
                       " accepts it (" + std::to_string(results[j].code) + ")",
                   results[i]);

  if (answer != 0) {
    // The roads read the renumbered copy when the normaliser made one; it
    // went with the run, so it is made again here.
    const NormaliseResult copy = normalisePrefix(path);
    const bool converted = copy.outcome == NormaliseOutcome::Converted;
    fuzz::ToEvaluator formula(false);
    const bool read = fuzz::readForEvaluator(converted ? copy.copyName : path, formula);
    removeCopyNow();
    if (read && fuzz::smallEnough(formula)) {
      const int expected = test::evaluate(formula.f) ? 10 : 20;
      if (answer != expected)
        fuzz::fail(std::string("road ") + kRoads[answeredBy].name + " answers " + std::to_string(answer) +
                       ", the evaluator " + std::to_string(expected),
                   results[answeredBy]);
    }
  }
  return 0;
}
