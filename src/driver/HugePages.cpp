// A million-variable run spends most of its time in TLB misses on random
// entries of the clause store and the literal lists: with 4 KiB pages
// every occurrence-list step is a page walk, which under virtualisation
// costs more still. glibc backs its heap with transparent huge pages only
// when the tunable glibc.malloc.hugetlb is set at start-up, and a process
// cannot set it for itself, so a large input restarts the binary once with
// it. Small inputs never pay for the restart nor for 2 MiB granularity.
#include "driver/HugePages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace vorn {

namespace {

constexpr const char* kTunable = "glibc.malloc.hugetlb";

bool namesLargeFile(int argc, const char** argv) {
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (argv[i][0] == '-' || ::stat(argv[i], &st) != 0) continue;
    if (S_ISREG(st.st_mode) && st.st_size >= kHugePagesFromBytes) return true;
  }
  return false;
}

}  // namespace

const char* hugePagesTunables(const char* current, char* buffer, unsigned long size) {
  // A value of the user's own (or of the first start) is kept as it is.
  if (current != nullptr && std::strstr(current, kTunable) != nullptr) return "";
  const int n = current != nullptr && *current != '\0'
                    ? std::snprintf(buffer, size, "%s:%s=1", current, kTunable)
                    : std::snprintf(buffer, size, "%s=1", kTunable);
  return n > 0 && static_cast<unsigned long>(n) < size ? buffer : "";
}

void restartWithHugePages(int argc, const char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
  char buffer[4096];
  const char* value = hugePagesTunables(std::getenv("GLIBC_TUNABLES"), buffer, sizeof buffer);
  if (*value == '\0' || !namesLargeFile(argc, argv)) return;
  if (::setenv("GLIBC_TUNABLES", value, 1) != 0) return;
  ::execve("/proc/self/exe", const_cast<char* const*>(argv), environ);
  // Not restarted: the run goes on with the pages it has.
#else
  (void)argc;
  (void)argv;
#endif
}

}  // namespace vorn
