// The option store: which command lines are accepted and what they store,
// the usage text, copies that outlive their original, and the budgets
// that a soft CPU-time limit sets: preprocessing and search.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/TimeBudget.h"
#include "input/PrivateCopy.h"
#include "engine/Solver.h"
#include "support/Process.h"

namespace vorn {
namespace {

struct Parsed {
  bool ok;
  std::string out;  // what parse printed
  std::unique_ptr<CommandLine> options;
};

// Parses "vorn" followed by args, with --timelimit preset as main does.
Parsed parseArgs(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"vorn"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  Parsed p;
  p.options = std::make_unique<CommandLine>(optionTable());
  (*p.options)["--timelimit"] = "true";
  testing::internal::CaptureStdout();
  p.ok = p.options->parse(static_cast<int>(argv.size()) - 1, argv.data());
  p.out = testing::internal::GetCapturedStdout();
  return p;
}

std::string usageText() { return test::readFileOrFail(VORN_FIXTURES "/e2e/usage.txt"); }

struct Case {
  std::vector<std::string> args;  // "F" stands for an instance file that does not exist
  bool ok;
  // Expected values after a successful parse; null: absent.
  std::vector<std::pair<const char*, const char*>> values;
  long number;
};

TEST(CommandLine, AcceptsAndStores) {
  const Case cases[] = {
      {{}, false, {}, 0},
      {{"-solve"}, false, {}, 0},
      {{"F"}, true, {{"--timelimit", "true"}, {"-solve", nullptr}, {"--heur", nullptr}}, 0},
      {{"F", "12", "-solve"}, true, {{"-solve", "true"}}, 12},
      {{"F", "007"}, true, {}, 7},
      {{"F", "-solve", "12"}, false, {}, 0},
      {{"F", "0"}, false, {}, 0},
      {{"F", "1x"}, false, {}, 0},
      {{"F", "+5"}, false, {}, 0},
      {{"F", "99999999999999999999999"}, false, {}, 0},
      {{"F", "12", "13"}, false, {}, 0},
      {{"F", "--heur"}, false, {}, 0},
      {{"F", "--heur", "-occs"}, false, {}, 0},
      {{"F", "--bpseed", "-5"}, false, {}, 0},
      {{"F", "--heur", "occs", "--heur", "bp"}, true, {{"--heur", "bp"}}, 0},
      {{"F", "--timelimit", "30"}, true, {{"--timelimit", "30"}}, 0},
      {{"F", "-Solve"}, false, {}, 0},
      {{"F", "-unlearn"}, false, {}, 0},
      {{"F", "--h-freq", "3"}, false, {}, 0},
      {{"F", "-"}, false, {}, 0},
      {{"F", "-noprepro", "-forceprepro"}, false, {}, 0},
      {{"F", "-forceprepro", "-noprepro"}, false, {}, 0},
      {{"F", "-all", "-stat", "-sstat", "-ps", "--bpvflag", "2", "-solve"},
       true,
       {{"-all", "true"}, {"-stat", "true"}, {"-sstat", "true"}, {"-ps", "true"}, {"--bpvflag", "2"}, {"-ss", nullptr}},
       0},
  };
  test::TempDir dir;
  const std::string missing = dir.file("missing.qdimacs");
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    std::string shown;
    for (std::string& a : args) {
      if (a == "F") a = missing;
      shown += " " + a;
    }
    Parsed p = parseArgs(args);
    ASSERT_EQ(p.ok, c.ok) << "vorn" << shown;
    if (!c.ok) {
      EXPECT_EQ(p.out, usageText()) << "vorn" << shown;
      continue;
    }
    EXPECT_EQ(p.out, "") << "vorn" << shown;
    EXPECT_STREQ(p.options->getPar("FILENAME"), missing.c_str());
    EXPECT_EQ(p.options->number, c.number) << "vorn" << shown;
    for (const auto& v : c.values) {
      const char* got = p.options->getPar(v.first);
      if (v.second)
        EXPECT_STREQ(got, v.second) << v.first << " in vorn" << shown;
      else
        EXPECT_EQ(got, nullptr) << v.first << " in vorn" << shown;
    }
  }
}

TEST(CommandLine, FileNameIsStoredAsGiven) {
  test::TempDir dir;
  const std::string name = dir.file("100%s%d%n file.qdimacs");
  Parsed p = parseArgs({name});
  ASSERT_TRUE(p.ok);
  EXPECT_STREQ(p.options->getPar("FILENAME"), name.c_str());
  // Longer than any fixed buffer would hold.
  const std::string longName = dir.file(std::string(3000, 'x'));
  p = parseArgs({longName, "-solve"});
  ASSERT_TRUE(p.ok);
  EXPECT_STREQ(p.options->getPar("FILENAME"), longName.c_str());
}

TEST(CommandLine, UsageText) {
  CommandLine options(optionTable());
  const char* argv[] = {"vorn", nullptr};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(options.badCL_(argv));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), usageText());
  // Without an argument vector the program is called "Vorn".
  testing::internal::CaptureStdout();
  options.badCL_(nullptr);
  std::string expected = usageText();
  expected.replace(expected.find("vorn"), 4, "Vorn");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  EXPECT_EQ(options.optionNames().size(), 18u);
}

TEST(CommandLine, CopiesOwnTheirValues) {
  test::TempDir dir;
  const std::string file = dir.write("f.qdimacs", "p cnf 3 1\na 2 0\ne 3 0\n2 3 0\n");  // converted
  std::unique_ptr<CommandLine> copy;
  {
    std::vector<std::string> args{file, "--heur", "occs", "-solve"};
    Parsed p = parseArgs(args);
    ASSERT_TRUE(p.ok);
    EXPECT_STREQ(p.options->getPar("FILENAME"), privateCopyPath());
    std::string transient = "held by the caller";
    (*p.options)["--bpseed"] = transient.c_str();
    copy = std::make_unique<CommandLine>(*p.options);
    CommandLine assigned;
    assigned = *p.options;
    *copy = assigned;
    // The original, its arguments and the caller's string all go here.
  }
  EXPECT_STREQ(copy->getPar("FILENAME"), privateCopyPath());
  EXPECT_STREQ(copy->getPar("--heur"), "occs");
  EXPECT_STREQ(copy->getPar("-solve"), "true");
  EXPECT_STREQ(copy->getPar("--bpseed"), "held by the caller");
  EXPECT_STREQ(copy->getPar("--timelimit"), "true");
  EXPECT_EQ(copy->getPar("-ps"), nullptr);
  CommandLine second(*copy);
  copy.reset();
  EXPECT_STREQ(second.getPar("--heur"), "occs");
}

TEST(CommandLine, RejectedCommandLineLeavesTheFileAlone) {
  test::TempDir dir;
  const std::string file = dir.write("f.qdimacs", "p cnf 3 1\ne 3 0\n3 0\n");  // would be converted
  removeCopyNow();
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {file, "-bogus"}, {file, "--heur"}, {file, "-noprepro", "-forceprepro"}, {file, "-solve", "5"}}) {
    EXPECT_FALSE(parseArgs(bad).ok);
    EXPECT_STREQ(privateCopyPath(), "") << bad[1];
  }
  testing::internal::CaptureStderr();
  EXPECT_TRUE(parseArgs({file, "-noprepro"}).ok);
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(test::fileExists(privateCopyPath()));
  removeCopyNow();
}

TEST(TimeBudget, SoftLimitWithinDefault) {
  EXPECT_EQ(timeBudgetFor(120), 120);
  EXPECT_EQ(timeBudgetFor(1), 1);
  EXPECT_EQ(timeBudgetFor(6000), 6000);
  EXPECT_EQ(timeBudgetFor(0), 6000);
  EXPECT_EQ(timeBudgetFor(7200), 6000);
  EXPECT_EQ(timeBudgetFor(RLIM_INFINITY), 6000);
}

TEST(SearchStop, SoftLimitLowersTheTimeLimitWithRoomToFinish) {
  EXPECT_EQ(searchStopSeconds(6000, RLIM_INFINITY), 6000.0f);
  EXPECT_EQ(searchStopSeconds(0, RLIM_INFINITY), 0.0f);
  EXPECT_EQ(searchStopSeconds(100, 3), 2.5f) << "at least half a second of room";
  EXPECT_EQ(searchStopSeconds(6000, 60), 57.0f) << "5 percent of the limit";
  EXPECT_EQ(searchStopSeconds(6000, 3600), 3595.0f) << "at most 5 seconds";
  EXPECT_EQ(searchStopSeconds(2, 100), 2.0f) << "a lower --timelimit stays";
}

}  // namespace
}  // namespace vorn
