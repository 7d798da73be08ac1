// The tunables value a large run restarts with.
#include <gtest/gtest.h>

#include <string>

#include "driver/HugePages.h"

namespace vorn {
namespace {

TEST(HugePages, TunablesValue) {
  struct Case {
    const char* current;  // null: unset
    const char* expected;  // "": no restart
  };
  const Case cases[] = {
      {nullptr, "glibc.malloc.hugetlb=1"},
      {"", "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.check=0", "glibc.malloc.check=0:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.hugetlb=0", ""},  // the user's choice
      {"glibc.malloc.check=0:glibc.malloc.hugetlb=1", ""},  // restarted already
  };
  for (const Case& c : cases) {
    char buffer[128];
    EXPECT_EQ(std::string(hugePagesTunables(c.current, buffer, sizeof buffer)), c.expected)
        << (c.current ? c.current : "(unset)");
  }
  // A value that does not fit is no reason to restart.
  char small[8];
  EXPECT_EQ(std::string(hugePagesTunables(nullptr, small, sizeof small)), "");
}

}  // namespace
}  // namespace vorn
