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
#include <streambuf>

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

// Writes through to a stdio stream: std::cerr pointed at a road's file.
class FileBuf : public std::streambuf {
 public:
  explicit FileBuf(std::FILE* file) : file_(file) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return std::fputc(c, file_) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    return static_cast<std::streamsize>(std::fwrite(s, 1, static_cast<std::size_t>(n), file_));
  }

 private:
  std::FILE* file_;
};

}  // namespace fuzz
}  // namespace vorn
