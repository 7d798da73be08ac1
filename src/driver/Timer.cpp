#include "driver/Timer.h"

namespace vorn {

void Timer::start() { getrusage(RUSAGE_SELF, &startUsage_); }

float Timer::elapsed() {
  getrusage(RUSAGE_SELF, &lastUsage_);
  // Microseconds in floating point: an integer division would drop them.
  double seconds = static_cast<double>(lastUsage_.ru_utime.tv_sec - startUsage_.ru_utime.tv_sec) +
                   (lastUsage_.ru_utime.tv_usec / 1e6 - startUsage_.ru_utime.tv_usec / 1e6);
  return static_cast<float>(seconds);
}

}  // namespace vorn
