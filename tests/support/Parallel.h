// Runs many independent jobs (usually runs of the binary) a few at a time.
#pragma once

#include <cstddef>
#include <functional>

namespace vorn {
namespace test {

// Calls job(i) for every i in [0, n) on `workers` threads; returns when all are done.
void parallelFor(std::size_t n, const std::function<void(std::size_t)>& job, unsigned workers = 8);

}  // namespace test
}  // namespace vorn
