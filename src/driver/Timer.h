// Stopwatch of the process's user CPU time.
#pragma once

#include <sys/resource.h>

namespace vorn {

class Timer {
 public:
  void start();
  // User CPU seconds since the latest start; does not move the origin.
  float elapsed();

 private:
  struct rusage startUsage_{};
  struct rusage lastUsage_{};
};

}  // namespace vorn
