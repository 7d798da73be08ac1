#include "support/Parallel.h"

#include <atomic>
#include <thread>
#include <vector>

namespace vorn {
namespace test {

void parallelFor(std::size_t n, const std::function<void(std::size_t)>& job, unsigned workers) {
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w)
    threads.emplace_back([&] {
      for (std::size_t i = next++; i < n; i = next++) job(i);
    });
  for (std::thread& t : threads) t.join();
}

}  // namespace test
}  // namespace vorn
