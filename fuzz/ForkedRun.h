// Runs one fuzz input in a forked child, for the whole-run target (whose
// engine search limit counts the CPU time of the whole process); a child
// may end however it likes. What makes this work:
//  - the child's coverage counters are copied back to the fuzzer when it
//    ends, so the fuzzer still sees which paths an input reached;
//  - the child checks for leaks at its exit (memory still referenced from
//    the stack of an exit deep inside a reader is not a leak);
//  - a sanitizer report in the child ends it with kSanitizerExit, which
//    the parent turns into a crash of its own (abort), so libFuzzer keeps
//    the input and the fuzz run fails; the child's standard error, with the
//    report, is printed first;
//  - a child that runs past its time limit is killed and reported as a
//    hang, one whose resident memory passes $VORN_FUZZ_RSS_MB (default
//    2048) as out of memory; a single allocation above 2 GiB is a
//    sanitizer report.
// Standard output of the child is discarded; standard error is kept and
// shown only when the input is reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace vorn {
namespace fuzz {

// Exit code of a child whose sanitizer (ASan, UBSan, LSan) reported.
constexpr int kSanitizerExit = 86;

struct ChildResult {
  bool exited = false;  // ended by exit; otherwise killed by signal
  int code = -1;        // exit code when exited
  int signal = 0;       // the signal otherwise
  bool hang = false;         // killed at the time limit
  bool outOfMemory = false;  // killed above the memory limit
  std::string err;      // the child's standard error
};

// The folder of this fuzzer's input files: $VORN_FUZZ_TMP or $TMPDIR or
// /tmp, in a fresh subfolder removed at normal exit.
const std::string& workDir();

// Writes the input to <workDir>/<name> and removes what an earlier run left
// beside it (the normaliser's renumbered copy); returns the path.
std::string writeInput(const uint8_t* data, std::size_t size, const std::string& name = "input.qdimacs");

// Runs body in a child; body's return value is the child's exit code
// (std::exit from inside body is fine). timeoutSeconds bounds the child's
// wall time. The child's standard output goes to stdoutPath, or is
// discarded when it is empty.
ChildResult runForked(const std::function<int()>& body, int timeoutSeconds = 10, const std::string& stdoutPath = "");

// Fails the fuzz run on this input: prints what, the child's end and its
// standard error, then aborts.
[[noreturn]] void fail(const std::string& what, const ChildResult& r);
[[noreturn]] void fail(const std::string& what);

// Fails unless the child exited with one of the allowed codes.
void expectExit(const ChildResult& r, std::initializer_list<int> allowed, const std::string& what);

// A rejected input must be explained by exactly one line on standard
// error, "<path>:<line>: <what>", whose line number lies within the input.
void expectRejectionLine(const ChildResult& r, const std::string& path, const uint8_t* data, std::size_t size);

bool fileExists(const std::string& path);

// "exit 3", "signal 11", "hang".
std::string describe(const ChildResult& r);

}  // namespace fuzz
}  // namespace vorn
