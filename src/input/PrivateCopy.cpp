#include "input/PrivateCopy.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <unistd.h>

namespace vorn {

namespace {

// Plain static storage: a signal handler may read it at any moment, so it
// is never reallocated, and the flag goes up only once the path is whole.
char copyPath[4096];
// The input whose bytes the copy holds as they came (a pipe); empty for a
// renumbered copy, whose lines are not the input's.
std::string bytesOf;
volatile std::sig_atomic_t haveCopy = 0;

std::terminate_handler previousTerminate = nullptr;

void removeAtExit() { removeCopyNow(); }

[[noreturn]] void removeThenTerminate() {
  removeCopyNow();
  if (previousTerminate) previousTerminate();
  std::abort();
}

void registerRemovalOnce() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  std::atexit(removeAtExit);
  previousTerminate = std::set_terminate(removeThenTerminate);
}

}  // namespace

std::string temporaryFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

int createPrivateCopy(std::string& path, std::string& error) {
  removeCopyNow();
  bytesOf.clear();
  registerRemovalOnce();
  const std::string folder = temporaryFolder();
  std::string templ = folder + "/vorn-copy-XXXXXX";
  if (templ.size() >= sizeof copyPath) {
    path = folder;
    error = std::strerror(ENAMETOOLONG);
    return -1;
  }
  char name[sizeof copyPath];
  std::memcpy(name, templ.c_str(), templ.size() + 1);
  const int fd = mkstemp(name);
  if (fd < 0) {
    path = folder;
    error = std::strerror(errno);
    return -1;
  }
  std::memcpy(copyPath, name, templ.size() + 1);
  haveCopy = 1;
  path = copyPath;
  return fd;
}

void removeCopyNow() {
  if (!haveCopy) return;
  haveCopy = 0;
  ::unlink(copyPath);
}

const char* privateCopyPath() { return haveCopy ? copyPath : ""; }

void markCopyAsBytesOf(const std::string& input) { bytesOf = input; }

const std::string& reportedName(const std::string& file) {
  return haveCopy && !bytesOf.empty() && file == copyPath ? bytesOf : file;
}

}  // namespace vorn
