// The whole program on one input file, on every road: -noprepro (with the
// default heuristic and with "occs"), the default road (simplify and
// write), -solve, -all -solve, and -noprepro with the preference-line
// heuristic. main is compiled into this binary under the name vornMain.
// The roads run one after the other in one child per input: the engine's
// search limit (--timelimit) is measured against the CPU time of the whole
// process (processCpuSeconds), so in the fuzzer's long-lived process every
// search would time out after a few inputs; a fresh child starts at zero.
// Between roads the child makes the global name table `instance` anew;
// main's other global, the reading timer, is started by the roads that
// read it.
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
#include <sys/mman.h>
#include <unistd.h>

#include <iostream>

#include "EvalReader.h"
#include "ForkedRun.h"
#include "QdimacsCheck.h"
#include "driver/Instance.h"
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

// Points the descriptor at a fresh file; what was printed before is flushed.
void redirect(int fd, const std::string& file) {
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  const int to = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (to < 0) _exit(fuzz::kSanitizerExit + 1);
  dup2(to, fd);
  close(to);
}

// The exit code of each road, written by the child; -1 for a road that did
// not end (the child died in it or before it).
int* sharedCodes() {
  static int* codes = [] {
    void* p = mmap(nullptr, kRoads.size() * sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
      std::perror("vorn-fuzz: mmap");
      std::abort();
    }
    return static_cast<int*>(p);
  }();
  return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  int* codes = sharedCodes();
  for (std::size_t i = 0; i < kRoads.size(); ++i) codes[i] = -1;
  const fuzz::ChildResult child = fuzz::runForked(
      [&] {
        const int childErr = dup(2);
        for (std::size_t i = 0; i < kRoads.size(); ++i) {
          redirect(1, roadFile(i, "out"));
          redirect(2, roadFile(i, "err"));
          instance = Instance<long>();
          std::vector<const char*> argv{"vorn", path.c_str()};
          argv.insert(argv.end(), kRoads[i].options.begin(), kRoads[i].options.end());
          argv.push_back(nullptr);
          codes[i] = vornMain(static_cast<int>(argv.size()) - 1, argv.data());
        }
        instance = Instance<long>();
        // A leak report at the child's exit goes where the parent reads it.
        std::fflush(stderr);
        dup2(childErr, 2);
        close(childErr);
        return 0;
      },
      20 * static_cast<int>(kRoads.size()));
  if (!(child.exited && child.code == 0) && codes[kRoads.size() - 1] >= 0)
    fuzz::fail("the child ended with " + fuzz::describe(child) + " after the last road", child);
  std::vector<fuzz::ChildResult> results;
  for (std::size_t i = 0; i < kRoads.size(); ++i) {
    const Road& road = kRoads[i];
    const std::string written = roadFile(i, "out");
    fuzz::ChildResult r;
    r.exited = codes[i] >= 0;
    r.code = codes[i];
    r.err = readAll(roadFile(i, "err"));
    if (!r.exited) {
      // The road the child died in: its end is the child's.
      r = child;
      r.err = readAll(roadFile(i, "err")) + child.err;
      if (r.exited) r.code = r.code == 0 ? -1 : r.code;
    }
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
    results.push_back(r);
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
