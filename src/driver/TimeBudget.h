// The CPU seconds the preprocessing loop may use.
#pragma once

#include <sys/resource.h>

namespace vorn {

constexpr int kDefaultTimeBudget = 6000;

// 6000, or the soft limit when it is set, nonzero and at most 6000
// (an unlimited soft limit counts as above).
int timeBudgetFor(rlim_t softLimit);

// timeBudgetFor the process's soft RLIMIT_CPU; 6000 when it cannot be read.
int processTimeBudget();

}  // namespace vorn
