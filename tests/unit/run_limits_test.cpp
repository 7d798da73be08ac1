// The limit guards are installed once per road; a process that runs
// several roads (the in-process whole-run fuzz target) installs them again.
#include <gtest/gtest.h>

#include <csignal>
#include <exception>
#include <stdexcept>

#include "driver/RunLimits.h"

namespace {

// A terminate that is not about memory ends in abort, also after the
// guards were installed twice: the handler must not call itself.
TEST(RunLimitsDeathTest, TerminateAfterTwoRoadsAborts) {
  EXPECT_EXIT(
      {
        vorn::guardRunLimits(true);
        vorn::guardRunLimits(false);
        std::terminate();
      },
      testing::KilledBySignal(SIGABRT), "");
}

TEST(RunLimitsDeathTest, UncaughtOtherExceptionAfterTwoRoadsAborts) {
  EXPECT_EXIT(
      {
        vorn::guardRunLimits(true);
        vorn::guardRunLimits(true);
        try {
          throw std::runtime_error("not memory");
        } catch (...) {
          std::terminate();
        }
      },
      testing::KilledBySignal(SIGABRT), "");
}

}  // namespace
