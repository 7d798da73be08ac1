#include "driver/TimeBudget.h"

namespace vorn {

int timeBudgetFor(rlim_t softLimit) {
  if (softLimit == RLIM_INFINITY || softLimit == 0 || softLimit > static_cast<rlim_t>(kDefaultTimeBudget))
    return kDefaultTimeBudget;
  return static_cast<int>(softLimit);
}

int processTimeBudget() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_CPU, &limit) != 0) return kDefaultTimeBudget;
  return timeBudgetFor(limit.rlim_cur);
}

}  // namespace vorn
