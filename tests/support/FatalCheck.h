// The FatalError a call raises: the readers and passes report a fatal input
// or run error to the driver instead of ending the process.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "input/FatalError.h"

namespace test {

template <class Call>
vorn::FatalError fatalOf(Call&& call) {
  try {
    call();
  } catch (const vorn::FatalError& error) {
    return error;
  }
  ADD_FAILURE() << "no FatalError was raised";
  return vorn::FatalError(-1, "", "");
}

// The code, the exact standard-output text, and a pattern the standard-error
// text must contain (ECMAScript; "^" and "$" anchor the whole text).
inline void expectFatal(const vorn::FatalError& error, int code, const std::string& stdoutText,
                        const std::string& stderrPattern) {
  EXPECT_EQ(error.exitCode, code);
  EXPECT_EQ(error.stdoutText, stdoutText);
  EXPECT_TRUE(std::regex_search(error.stderrText, std::regex(stderrPattern)))
      << "standard error: \"" << error.stderrText << "\" does not match \"" << stderrPattern << "\"";
}

}  // namespace test
