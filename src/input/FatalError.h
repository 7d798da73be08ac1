// A fatal error of the input or of a run: raised where it is found, printed
// and turned into the exit code by the driver, so that the readers and
// passes can run in-process (tests, fuzz targets) without ending it.
#pragma once

#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>

namespace vorn {

struct FatalError : std::runtime_error {
  int exitCode;
  std::string stdoutText;  // printed before stderrText
  std::string stderrText;
  // Standard output is flushed before stderrText, so that what the run
  // printed so far comes first when both streams go to one file.
  bool flushStdout;

  FatalError(int code, std::string out, std::string err, bool flush = true)
      : std::runtime_error(err.empty() ? out : err),
        exitCode(code),
        stdoutText(std::move(out)),
        stderrText(std::move(err)),
        flushStdout(flush) {}
};

// The driver's ending of a run that raised `error`: prints its text and
// answers the exit code.
inline int reportFatal(const FatalError& error) {
  std::cout << error.stdoutText;
  if (error.flushStdout) std::cout.flush();
  std::cerr << error.stderrText << std::flush;
  return error.exitCode;
}

}  // namespace vorn
