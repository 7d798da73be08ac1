#include "support/Process.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ftw.h>

namespace vorn {
namespace test {

namespace {

void closeIf(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

double monotonicSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options) {
  const int timeoutSeconds = options.timeoutSeconds;
  const std::string& workDir = options.workDir;
  ProcessResult result;
  int outPipe[2], errPipe[2];
  // Close-on-exec: a child started by another test thread must not hold our write ends.
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(options.argv0.empty() ? program.c_str() : options.argv0.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // posix_spawn rather than fork: a test process under AddressSanitizer
  // maps a large shadow, and forking it from several threads at once made
  // every run of the binary cost far more than the run itself.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    // What a shell reports: 126 when the folder or the program cannot be
    // used, 127 when the program does not exist.
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    result.exitCode = spawned == ENOENT && (workDir.empty() || ::access(workDir.c_str(), X_OK) == 0) ? 127 : 126;
    result.err = std::string("cannot start ") + program + ": " + std::strerror(spawned) + "\n";
    return result;
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  int fds[2] = {outPipe[0], errPipe[0]};
  std::string* sinks[2] = {&result.out, &result.err};
  const double deadline = monotonicSeconds() + timeoutSeconds;
  char buf[65536];
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd p[2];
    int count = 0;
    int which[2];
    for (int i = 0; i < 2; ++i)
      if (fds[i] >= 0) {
        p[count] = pollfd{fds[i], POLLIN, 0};
        which[count++] = i;
      }
    int wait = -1;
    if (timeoutSeconds > 0) {
      double left = deadline - monotonicSeconds();
      if (left <= 0) {
        result.timedOut = true;
        kill(pid, SIGKILL);
        break;
      }
      wait = static_cast<int>(left * 1000) + 1;
    }
    int ready = poll(p, static_cast<nfds_t>(count), wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < count; ++k) {
      if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      int i = which[k];
      ssize_t got = ::read(fds[i], buf, sizeof buf);
      if (got > 0)
        sinks[i]->append(buf, static_cast<std::size_t>(got));
      else if (got == 0 || errno != EINTR)
        closeIf(fds[i]);
    }
  }
  closeIf(fds[0]);
  closeIf(fds[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signaled = true;
    result.exitCode = 128 + WTERMSIG(status);
  }
  return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds,
                         const std::string& workDir) {
  RunOptions options;
  options.timeoutSeconds = timeoutSeconds;
  options.workDir = workDir;
  return runProcess(program, args, options);
}

const char* vornBinary() { return VORN_BINARY; }

ProcessResult runVorn(const std::vector<std::string>& args, RunOptions options) {
  if (options.argv0.empty()) options.argv0 = "vorn";
  return runProcess(vornBinary(), args, options);
}

ProcessResult runVorn(const std::vector<std::string>& args, int timeoutSeconds, const std::string& workDir) {
  RunOptions options;
  options.timeoutSeconds = timeoutSeconds;
  options.workDir = workDir;
  return runVorn(args, options);
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/vorn-test-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) {
    ADD_FAILURE() << "mkdtemp " << templ << ": " << std::strerror(errno);
    return;
  }
  path_ = name.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  nftw(
      path_.c_str(),
      [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

std::string TempDir::write(const std::string& name, const std::string& content, bool gzip) const {
  std::string p = file(name);
  writeFile(p, content, gzip);
  return p;
}

void writeFile(const std::string& path, const std::string& content, bool gzip) {
  if (gzip) {
    gzFile f = gzopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << "cannot create " << path;
    if (!content.empty()) {
      ASSERT_EQ(gzwrite(f, content.data(), static_cast<unsigned>(content.size())), static_cast<int>(content.size()));
    }
    ASSERT_EQ(gzclose(f), Z_OK);
    return;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << "cannot create " << path;
  ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
  ASSERT_EQ(std::fclose(f), 0);
}

bool readFile(const std::string& path, std::string& content) {
  content.clear();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  int got;
  while ((got = gzread(f, buf, sizeof buf)) > 0) content.append(buf, static_cast<std::size_t>(got));
  int code = Z_OK;
  gzerror(f, &code);
  gzclose(f);
  return got == 0 && (code == Z_OK || code == Z_STREAM_END);
}

std::string readFileOrFail(const std::string& path) {
  std::string content;
  EXPECT_TRUE(readFile(path, content)) << "cannot read " << path;
  return content;
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace test
}  // namespace vorn
