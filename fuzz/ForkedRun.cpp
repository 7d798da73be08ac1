#include "ForkedRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sanitizer/allocator_interface.h>
#include <sanitizer/lsan_interface.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

// The inline 8-bit coverage counters of the whole binary; the linker
// defines the bounds of the section.
extern "C" {
extern uint8_t __start___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
extern uint8_t __stop___sancov_cntrs[] __attribute__((weak, visibility("hidden")));

// Sanitizer reports must be told apart from the exit codes of the readers;
// an abort (a failed assert) must print its stack; one allocation above
// 2 GiB from a small input is a report (a header's count sized a table);
// a smaller quarantine keeps each fork cheap.
const char* __asan_default_options() {
  return "exitcode=86:handle_abort=1:detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=64:"
         "max_allocation_size_mb=2048";
}
const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1:exitcode=86"; }
}

namespace vorn {
namespace fuzz {

namespace {

uint8_t* sharedCounters = nullptr;  // the child's counters, seen by the parent
std::size_t counterBytes = 0;

void mapSharedCounters() {
  if (sharedCounters || !__start___sancov_cntrs || !__stop___sancov_cntrs) return;
  counterBytes = static_cast<std::size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
  if (counterBytes == 0) return;
  void* p = mmap(nullptr, counterBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    std::perror("vorn-fuzz: mmap");
    std::abort();
  }
  sharedCounters = static_cast<uint8_t*>(p);
}

// Allocations and frees in the child. The leak check stops the world and
// scans the whole heap (the fuzzer's included), so it runs only when the
// body returned (an exit from deep inside a reader holds its memory on the
// stack; it is no leak) and the child allocated more often than it freed.
bool inChild = false;
bool bodyReturned = false;
std::size_t childMallocs = 0, childFrees = 0;
void countMalloc(const volatile void*, std::size_t) { childMallocs += inChild; }
void countFree(const volatile void*) { childFrees += inChild; }

enum class LeakCheck { Returned, Always, Never };
LeakCheck leakCheckMode() {
  const char* mode = std::getenv("VORN_FUZZ_LEAK_CHECK");
  if (mode && std::strcmp(mode, "always") == 0) return LeakCheck::Always;
  if (mode && std::strcmp(mode, "never") == 0) return LeakCheck::Never;
  return LeakCheck::Returned;
}

// Runs first among the child's exit handlers (it was registered last), so
// neither libFuzzer's "target exited" handler nor static destructors run.
void childExit(int status, void*) {
  std::cout.flush();
  std::fflush(stdout);
  inChild = false;
  const LeakCheck mode = leakCheckMode();
  const bool check = mode == LeakCheck::Always ||
                     (mode == LeakCheck::Returned && bodyReturned && childMallocs != childFrees);
  if (check && __lsan_do_recoverable_leak_check() != 0) status = kSanitizerExit;
  if (sharedCounters) std::memcpy(sharedCounters, __start___sancov_cntrs, counterBytes);
  std::fflush(stderr);
  _exit(status);
}

// Resident memory of a process in MiB, 0 when it cannot be read.
long residentMiB(pid_t pid) {
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/statm").c_str(), "r");
  if (!f) return 0;
  long size = 0, resident = 0;
  const int got = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) / 1024 : 0;
}

long rssLimitMiB() {
  const char* v = std::getenv("VORN_FUZZ_RSS_MB");
  return v && *v ? std::atol(v) : 2048;
}

enum class Stopped { No, Hang, Memory };

// Waits for the child; kills it at the time limit or when its resident
// memory passes the limit (a sanitizer build cannot bound it with rlimits).
Stopped waitChild(pid_t pid, int timeoutSeconds, int& status) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : 1 << 20);
  const long limit = rssLimitMiB();
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  Stopped stopped = Stopped::No;
  for (;;) {
    const pid_t done = waitpid(pid, &status, pidfd < 0 ? 0 : WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      std::perror("vorn-fuzz: waitpid");
      std::abort();
    }
    if (pidfd < 0) continue;
    pollfd p{pidfd, POLLIN, 0};
    poll(&p, 1, 50);
    if (stopped != Stopped::No) continue;
    if (Clock::now() > deadline)
      stopped = Stopped::Hang;
    else if (limit > 0 && residentMiB(pid) > limit)
      stopped = Stopped::Memory;
    if (stopped != Stopped::No) kill(pid, SIGKILL);
  }
  if (pidfd >= 0) close(pidfd);
  return stopped;
}

std::string errFile() { return workDir() + "/child.err"; }

std::string readAll(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  std::fclose(f);
  return out;
}

// The child has only the thread that forked; the leak check notes each
// thread of the fuzzer it cannot stop (libFuzzer's memory watcher). Those
// threads do not exist in the child, so nothing is missed.
std::string withoutThreadNotes(const std::string& err) {
  std::string out;
  std::size_t from = 0;
  while (from < err.size()) {
    std::size_t to = err.find('\n', from);
    to = to == std::string::npos ? err.size() : to + 1;
    const std::string line = err.substr(from, to - from);
    if (line.find("was not suspended. False leaks are possible.") == std::string::npos) out += line;
    from = to;
  }
  return out;
}

void removeLeftovers(const std::string& dir, const std::string& keep) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || name == keep) continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    unlink(path.c_str());
  }
  closedir(d);
}

void removeWorkDir() {
  removeLeftovers(workDir(), "");
  rmdir(workDir().c_str());
}

}  // namespace

const std::string& workDir() {
  // Never destroyed: removeWorkDir runs at exit, after static destructors.
  static const std::string& dir = *new std::string([] {
    const char* base = std::getenv("VORN_FUZZ_TMP");
    if (!base || !*base) base = std::getenv("TMPDIR");
    if (!base || !*base) base = "/tmp";
    mkdir(base, 0777);
    std::string templ = std::string(base) + "/vorn-fuzz-XXXXXX";
    if (!mkdtemp(templ.data())) {
      std::perror("vorn-fuzz: mkdtemp");
      std::abort();
    }
    std::atexit(removeWorkDir);
    return templ;
  }());
  return dir;
}

std::string writeInput(const uint8_t* data, std::size_t size, const std::string& name) {
  removeLeftovers(workDir(), "");
  const std::string path = workDir() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::perror(("vorn-fuzz: " + path).c_str());
    std::abort();
  }
  return path;
}

ChildResult runForked(const std::function<int()>& body, int timeoutSeconds, const std::string& stdoutPath) {
  static const bool hooked = __sanitizer_install_malloc_and_free_hooks(countMalloc, countFree) != 0;
  (void)hooked;
  mapSharedCounters();
  if (sharedCounters) std::memset(sharedCounters, 0, counterBytes);
  const std::string errPath = errFile();
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("vorn-fuzz: fork");
    std::abort();
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The fuzzer's handlers would take these for its own time limits.
    signal(SIGALRM, SIG_DFL);
    signal(SIGXCPU, SIG_DFL);
    int devNull = open("/dev/null", O_RDWR);
    int out = stdoutPath.empty() ? dup(devNull) : open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (devNull < 0 || out < 0 || err < 0) _exit(kSanitizerExit + 1);
    dup2(devNull, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(devNull);
    close(out);
    close(err);
    on_exit(childExit, nullptr);
    childMallocs = childFrees = 0;
    inChild = true;
    const int code = body();
    bodyReturned = true;
    std::exit(code);
  }
  int status = 0;
  const Stopped stopped = waitChild(pid, timeoutSeconds, status);
  ChildResult r;
  r.hang = stopped == Stopped::Hang;
  r.outOfMemory = stopped == Stopped::Memory;
  if (WIFEXITED(status)) {
    r.exited = true;
    r.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
  }
  r.err = withoutThreadNotes(readAll(errPath));
  // Coverage of a child that died of a signal is lost; the input is
  // reported anyway.
  if (sharedCounters && r.exited)
    for (std::size_t i = 0; i < counterBytes; ++i)
      if (sharedCounters[i] > __start___sancov_cntrs[i]) __start___sancov_cntrs[i] = sharedCounters[i];
  return r;
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string describe(const ChildResult& r) {
  if (r.exited) return "exit " + std::to_string(r.code);
  if (r.hang) return "hang (killed at the time limit)";
  if (r.outOfMemory) return "out of memory (killed above " + std::to_string(rssLimitMiB()) + " MiB resident)";
  return "signal " + std::to_string(r.signal) + " (" + strsignal(r.signal) + ")";
}

void fail(const std::string& what) {
  std::fprintf(stderr, "\n==vorn-fuzz== FAILED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void fail(const std::string& what, const ChildResult& r) {
  std::fprintf(stderr, "\n==vorn-fuzz== child ended with %s; its standard error:\n%s\n==vorn-fuzz== end of the child's standard error\n",
               describe(r).c_str(), r.err.c_str());
  fail(what);
}

void expectExit(const ChildResult& r, std::initializer_list<int> allowed, const std::string& what) {
  if (r.exited)
    for (int code : allowed)
      if (r.code == code) return;
  std::string list;
  for (int code : allowed) list += (list.empty() ? "" : ", ") + std::to_string(code);
  fail(what + ": expected an exit code in {" + list + "}, got " + describe(r), r);
}

void expectRejectionLine(const ChildResult& r, const std::string& path, const uint8_t* data, std::size_t size) {
  const std::string prefix = path + ":";
  if (r.err.compare(0, prefix.size(), prefix) != 0 || r.err.empty() || r.err.back() != '\n' ||
      r.err.find('\n') != r.err.size() - 1)
    fail("a rejected input must print exactly one line \"" + prefix + "<line>: <what>\" on standard error", r);
  // Lines of the text the readers see (gzip data is counted decompressed,
  // as far as it decompresses).
  long lines = 1;
  const bool gzip = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
  if (!gzip) {
    for (std::size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  } else if (gzFile f = gzopen(path.c_str(), "rb")) {
    char buf[4096];
    for (int n; (n = gzread(f, buf, sizeof buf)) > 0;)
      for (int i = 0; i < n; ++i) lines += buf[i] == '\n';
    gzclose(f);
  }
  char* end = nullptr;
  const long line = std::strtol(r.err.c_str() + prefix.size(), &end, 10);
  // Line 0 stands for the file as a whole (it cannot be read at all).
  if (end == r.err.c_str() + prefix.size() || *end != ':' || line < 0 || line > lines)
    fail("the line number of the message is not a line of the input (" + std::to_string(lines) + " lines)", r);
}

}  // namespace fuzz
}  // namespace vorn
