#include "driver/RunLimits.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "input/PrivateCopy.h"

namespace vorn {

namespace {

// Freed before the out-of-memory ending prints: the stream buffers and
// the exception machinery may still need a little memory then.
constexpr std::size_t kReserveBytes = 1u << 20;
void* reserve = nullptr;

volatile sig_atomic_t deciding = 1;

const char kCpuLimitDeciding[] = "CPU-time limit reached: no answer\n";
const char kCpuLimitWriting[] = "CPU-time limit reached: no simplified formula written\n";
const char kAnswerUnknown[] = "s cnf -1\n";

void writeAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t put = ::write(fd, text, length);
    if (put < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += put;
    length -= static_cast<std::size_t>(put);
  }
}

// Only async-signal-safe calls: the signal may come in the middle of
// anything, the allocator and the stream buffers included. What stdio
// still holds is dropped.
extern "C" void onCpuLimit(int) {
  removeCopyNow();
  if (deciding) {
    writeAll(2, kCpuLimitDeciding, sizeof kCpuLimitDeciding - 1);
    writeAll(1, kAnswerUnknown, sizeof kAnswerUnknown - 1);
    _exit(99);
  }
  writeAll(2, kCpuLimitWriting, sizeof kCpuLimitWriting - 1);
  _exit(1);
}

std::terminate_handler previousTerminate = nullptr;

// A std::bad_alloc that cannot unwind to a road's top (thrown through a
// noexcept function) still ends as one caught there would; anything
// else ends as it did before.
[[noreturn]] void onTerminate() {
  // This handler replaces the private copy's own: remove the copy here.
  removeCopyNow();
  if (std::exception_ptr pending = std::current_exception()) {
    try {
      std::rethrow_exception(pending);
    } catch (const std::bad_alloc&) {
      _exit(outOfMemoryEnding(deciding != 0));
    } catch (...) {
      // Still inside a handler, so the previous one sees the exception.
      if (previousTerminate) previousTerminate();
      std::abort();
    }
  }
  if (previousTerminate) previousTerminate();
  std::abort();
}

}  // namespace

void guardRunLimits(bool decidingRoad) {
  deciding = decidingRoad ? 1 : 0;
  // Once: a process that runs several roads (the whole-run fuzz target) keeps one.
  if (!reserve) reserve = std::malloc(kReserveBytes);
  // Keeping ourselves as the previous handler would recurse at the end.
  const std::terminate_handler previous = std::set_terminate(onTerminate);
  if (previous != onTerminate) previousTerminate = previous;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onCpuLimit;
  sigfillset(&action.sa_mask);
  sigaction(SIGXCPU, &action, nullptr);
}

int outOfMemoryEnding(bool decidingRoad) {
  std::free(reserve);
  reserve = nullptr;
  outputIsFinal();
  std::fflush(stdout);
  if (!decidingRoad) {
    std::fputs("out of memory: no simplified formula written\n", stderr);
    return 1;
  }
  std::fputs("out of memory: no answer\n", stderr);
  std::fputs(kAnswerUnknown, stdout);
  std::fflush(stdout);
  return 99;
}

void outputIsFinal() { signal(SIGXCPU, SIG_IGN); }

}  // namespace vorn
