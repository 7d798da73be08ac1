// Runs of the built binary under the limits of a cluster or competition
// harness: an address-space limit (ulimit -v) and a soft CPU-time limit
// (ulimit -S -t) below what the run needs. A deciding road answers
// "s cnf -1" with exit code 99, the writing road fails with exit code 1
// and prints no formula; never an abort or a death by signal.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "support/Process.h"

namespace vorn {
namespace test {
namespace {

// AddressSanitizer reserves terabytes of shadow address space at start-up
// and aborts on a failed allocation: an address-space limit cannot be
// tested under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceLimitUsable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSpaceLimitUsable = false;
#else
constexpr bool kAddressSpaceLimitUsable = true;
#endif
#else
constexpr bool kAddressSpaceLimitUsable = true;
#endif

const std::string kPeer = VORN_SOURCE_DIR "/../shared/bench/peer/";

// A run of the binary needs about 50 MB of address space on a tiny
// formula; the generated one needs well over 100 MB on every road.
constexpr long kAddressSpaceKB = 100000;

// 10^6 variables in one existential block and 2,080,000 random 3-clauses
// (about 56 MB): more clauses than the preprocessor takes with -solve, so
// that road hands the file to the engine; reading it costs more than a
// CPU second on every road.
std::string generatedFormula() {
  constexpr int kVars = 1000000, kClauses = 2080000;
  std::string text = "p cnf " + std::to_string(kVars) + " " + std::to_string(kClauses) + "\ne";
  text.reserve(60u << 20);
  char digits[16];
  auto number = [&](long v) {
    text += ' ';
    text.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
  };
  for (int v = 1; v <= kVars; ++v) number(v);
  text += " 0\n";
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&]() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int c = 0; c < kClauses; ++c) {
    for (int k = 0; k < 3; ++k) {
      const uint64_t r = next();
      const long v = static_cast<long>(r % kVars) + 1;
      number((r >> 40) & 1 ? v : -v);
    }
    text += " 0\n";
  }
  return text;
}

// Replaces the number after each time label by "T".
std::string maskTimes(std::string out) {
  for (const std::string label : {"time used in BP  : ", "time used in dpll: "})
    for (std::size_t at = out.find(label); at != std::string::npos; at = out.find(label, at + label.size())) {
      const std::size_t from = at + label.size();
      const std::size_t to = out.find('\n', from);
      out.replace(from, (to == std::string::npos ? out.size() : to) - from, "T");
    }
  return out;
}

struct Case {
  const char* name;
  const char* peer;  // a file of the peer folder; null: the generated formula
  std::vector<std::string> args;  // after the file
  long addressSpaceKB;            // 0: no limit
  int cpuSoftSeconds;             // 0: no limit
  int exit;
  const char* out;  // the whole standard output, times masked
  const char* err;  // the whole standard error
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << (c.peer ? c.peer : "generated");
  for (const std::string& a : c.args) *os << " " << a;
  if (c.addressSpaceKB) *os << " (ulimit -v " << c.addressSpaceKB << ")";
  if (c.cpuSoftSeconds) *os << " (ulimit -S -t " << c.cpuSoftSeconds << ")";
}

// The limits are set by a shell in the child before it becomes the
// binary; the hard CPU-time limit stays unlimited.
ProcessResult runUnderLimits(const Case& c, const std::string& file) {
  std::string script;
  if (c.addressSpaceKB) script += "ulimit -v " + std::to_string(c.addressSpaceKB) + " && ";
  if (c.cpuSoftSeconds) script += "ulimit -S -t " + std::to_string(c.cpuSoftSeconds) + " && ";
  script += "exec \"$0\" \"$@\"";
  std::vector<std::string> args{"-c", script, vornBinary(), file};
  args.insert(args.end(), c.args.begin(), c.args.end());
  return runProcess("/bin/sh", args, 300);
}

class Limits : public testing::TestWithParam<Case> {};

TEST_P(Limits, EndsWithAnAnswerLine) {
  const Case& c = GetParam();
  if (c.addressSpaceKB && !kAddressSpaceLimitUsable) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
  TempDir dir;
  std::string file;
  if (c.peer) {
    std::string content;
    if (!readFile(kPeer + c.peer, content)) GTEST_SKIP() << "no " << kPeer << c.peer;
    file = dir.write(c.peer, content);
  } else {
    file = dir.write("generated.qdimacs", generatedFormula());
  }
  const ProcessResult r = runUnderLimits(c, file);
  ASSERT_FALSE(r.timedOut);
  EXPECT_FALSE(r.signaled) << "exit " << r.exitCode << "\nstderr:\n" << r.err;
  EXPECT_EQ(r.exitCode, c.exit) << "stderr:\n" << r.err;
  // The limit may fall before or after the deciding road names its
  // heuristic, depending on how fast the machine reads; the ending is what
  // counts.
  std::string out = maskTimes(r.out);
  const char kNamed[] = "Heuristic choice : ";
  if (out.rfind(kNamed, 0) == 0 && std::string(c.out).rfind(kNamed, 0) != 0) out.erase(0, out.find('\n') + 1);
  EXPECT_EQ(out, c.out) << "stderr:\n" << r.err;
  EXPECT_EQ(r.err, c.err);
}

const char kOutOfMemoryDeciding[] = "out of memory: no answer\n";
const char kOutOfMemoryWriting[] = "out of memory: no simplified formula written\n";
const char kCpuDeciding[] = "CPU-time limit reached: no answer\n";
const char kCpuWriting[] = "CPU-time limit reached: no simplified formula written\n";
const char kSearchOutOfMemory[] = "Heuristic choice : occs\ntime used in BP  : T\ns cnf -1\n";
const char kSearchStopped[] =
    "Heuristic choice : occs\ntime used in BP  : T\nDPLL: TIMEOUT\ntime used in dpll: T\ns cnf -1\n";

const Case kCases[] = {
    // Out of memory while reading, on each road.
    {"memory_reading_noprepro", nullptr, {"-noprepro", "--heur", "occs"}, kAddressSpaceKB, 0, 99, "s cnf -1\n",
     kOutOfMemoryDeciding},
    {"memory_reading_huge_input", nullptr, {"-solve", "--heur", "occs"}, kAddressSpaceKB, 0, 99, "s cnf -1\n",
     kOutOfMemoryDeciding},
    {"memory_reading_writing", nullptr, {}, kAddressSpaceKB, 0, 1, "", kOutOfMemoryWriting},
    // Out of chunk memory in the search: the learned constraints outgrow
    // the limit within two CPU seconds.
    {"memory_search_noprepro", "s05378_PR_7_2.qdimacs.txt", {"-noprepro", "--heur", "occs", "--timelimit", "100"},
     kAddressSpaceKB, 0, 99, kSearchOutOfMemory, kOutOfMemoryDeciding},
    {"memory_search_solve", "s05378_PR_7_2.qdimacs.txt", {"-solve", "--heur", "occs", "--timelimit", "100"},
     kAddressSpaceKB, 0, 99, kSearchOutOfMemory, kOutOfMemoryDeciding},
    // The search stops before the soft CPU-time limit, as at --timelimit.
    {"cpu_search_noprepro", "stmt27rrr.qdimacs", {"-noprepro", "--heur", "occs"}, 0, 2, 99, kSearchStopped, ""},
    {"cpu_search_solve", "stmt27rrr.qdimacs", {"-solve", "--heur", "occs"}, 0, 2, 99, kSearchStopped, ""},
    // SIGXCPU while reading, which does not poll the clock.
    {"cpu_reading_noprepro", nullptr, {"-noprepro"}, 0, 1, 99, "s cnf -1\n", kCpuDeciding},
    {"cpu_reading_writing", nullptr, {}, 0, 1, 1, "", kCpuWriting},
};

INSTANTIATE_TEST_SUITE_P(Cases, Limits, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace test
}  // namespace vorn
