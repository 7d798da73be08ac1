// Runs one fuzz input in the fuzzer's own process. The readers raise a
// FatalError where the binary ends the run; its code and standard-error
// text stand for the exit of the binary, so the checks of ForkedRun.h
// (expectExit, expectRejectionLine, fail) apply unchanged.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <iostream>

#include "ForkedRun.h"
#include "input/FatalError.h"

namespace vorn {
namespace fuzz {

inline ChildResult runInProcess(const std::function<int()>& body) {
  ChildResult r;
  r.exited = true;
  try {
    r.code = body();
  } catch (const FatalError& error) {
    r.code = error.exitCode;
    r.err = error.stderrText;
  }
  // What the run printed must not mix with the next input's.
  std::cout.flush();
  std::fflush(stdout);
  return r;
}

// What the code under test prints on standard output goes nowhere: the
// fuzzer's log is standard error.
inline void discardStdout() {
  const int devNull = open("/dev/null", O_WRONLY);
  if (devNull >= 0) {
    dup2(devNull, 1);
    close(devNull);
  }
}

}  // namespace fuzz
}  // namespace vorn
