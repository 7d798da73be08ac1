// The private copy of the instance: a fresh file of the process's own in
// the temporary folder, and gone however the process ends.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <string>

#include "input/PrivateCopy.h"
#include "support/Process.h"

namespace vorn {
namespace {

int entryCount(const std::string& path) {
  int n = 0;
  DIR* d = opendir(path.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
  if (d) closedir(d);
  return n;
}

class PrivateCopy : public testing::Test {
 protected:
  void SetUp() override {
    const char* before = std::getenv("TMPDIR");
    had_ = before != nullptr;
    if (had_) before_ = before;
    setenv("TMPDIR", tmp_.path().c_str(), 1);
  }
  void TearDown() override {
    removeCopyNow();
    if (had_)
      setenv("TMPDIR", before_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  test::TempDir tmp_;
  bool had_ = false;
  std::string before_;
};

TEST_F(PrivateCopy, FreshFileOfItsOwnInTheTemporaryFolder) {
  EXPECT_EQ(temporaryFolder(), tmp_.path());
  std::string path, error;
  const int fd = createPrivateCopy(path, error);
  ASSERT_GE(fd, 0) << error;
  ::close(fd);
  EXPECT_EQ(path, privateCopyPath());
  EXPECT_EQ(path.rfind(tmp_.path() + "/", 0), 0u) << path;
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "no one else reads the formula";

  // One at a time: the next replaces it.
  std::string next;
  const int fd2 = createPrivateCopy(next, error);
  ASSERT_GE(fd2, 0) << error;
  ::close(fd2);
  EXPECT_NE(next, path);
  EXPECT_FALSE(test::fileExists(path));
  EXPECT_EQ(entryCount(tmp_.path()), 1);
  removeCopyNow();
  EXPECT_STREQ(privateCopyPath(), "");
  EXPECT_EQ(entryCount(tmp_.path()), 0);
  removeCopyNow();  // twice is harmless
}

TEST_F(PrivateCopy, NoTemporaryFolder) {
  const std::string missing = tmp_.file("gone");
  setenv("TMPDIR", missing.c_str(), 1);
  std::string path, error;
  EXPECT_EQ(createPrivateCopy(path, error), -1);
  EXPECT_EQ(path, missing) << "the message names the folder";
  EXPECT_FALSE(error.empty());
  EXPECT_STREQ(privateCopyPath(), "");
  // An empty TMPDIR is no folder: /tmp is taken.
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(temporaryFolder(), "/tmp");
}

// Each way a process ends removes the copy; the folder is empty after the
// child is gone.
TEST_F(PrivateCopy, RemovedAtEveryEnding) {
  auto makeCopy = [] {
    std::string path, error;
    if (createPrivateCopy(path, error) < 0) std::_Exit(7);
  };
  EXPECT_EXIT(
      {
        makeCopy();
        std::exit(3);
      },
      testing::ExitedWithCode(3), "");
  EXPECT_EQ(entryCount(tmp_.path()), 0) << "std::exit";
  EXPECT_DEATH(
      {
        makeCopy();
        std::terminate();  // where an uncaught exception (std::bad_alloc) ends
      },
      "");
  EXPECT_EQ(entryCount(tmp_.path()), 0) << "an uncaught exception";
  EXPECT_EXIT(
      {
        makeCopy();
        removeCopyNow();  // what a signal handler calls before it re-raises
        std::_Exit(9);
      },
      testing::ExitedWithCode(9), "");
  EXPECT_EQ(entryCount(tmp_.path()), 0) << "removeCopyNow";
}

}  // namespace
}  // namespace vorn
