// Runs the built binary on the rows of cases.txt and compares exit code,
// standard output and the other checks a row asks for. The format is
// described at the top of cases.txt; every row becomes its own test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Evaluator.h"
#include "support/Formula.h"
#include "support/Process.h"
#include "support/TimeMask.h"

namespace vorn {
namespace test {
namespace {

const std::string kFixtures = VORN_FIXTURES "/e2e";
const std::string kBench = VORN_SOURCE_DIR "/../shared/bench";

struct Row {
  std::string name;
  int line = 0;
  std::string fixture;  // "-" for none
  std::string args;
  std::string exit;     // a number, or "*"
  std::string out;
  std::vector<std::string> checks;
  std::string error;    // the row could not be read
};

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Splits at "|" that is not escaped as "\|"; the escape is kept for unescape.
std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      fields.back() += line[i];
      fields.back() += line[++i];
    } else if (line[i] == '|') {
      fields.emplace_back();
    } else {
      fields.back() += line[i];
    }
  }
  for (std::string& f : fields) f = trim(f);
  return fields;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
  }
  return out;
}

std::vector<Row> loadRows() {
  std::vector<Row> rows;
  std::ifstream in(VORN_SOURCE_DIR "/tests/e2e/cases.txt");
  if (!in) {
    Row r;
    r.name = "cases_txt_missing";
    r.error = "cannot open tests/e2e/cases.txt";
    rows.push_back(r);
    return rows;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    std::vector<std::string> f = splitFields(line);
    Row r;
    r.line = number;
    r.name = f[0];
    if (f.size() < 5) {
      r.error = "needs at least 5 fields: name | fixture | args | exit | stdout";
    } else {
      r.fixture = f[1];
      r.args = f[2];
      r.exit = f[3];
      r.out = f[4];
      r.checks.assign(f.begin() + 5, f.end());
    }
    rows.push_back(r);
  }
  return rows;
}

// ctest lists a row by where it is and what it runs.
void PrintTo(const Row& row, std::ostream* os) {
  *os << "cases.txt:" << row.line << " " << row.fixture << " " << row.args << " -> " << row.exit;
}

std::string testName(const testing::TestParamInfo<Row>& info) {
  std::string n;
  for (char c : info.param.name) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return n.empty() ? "line" + std::to_string(info.param.line) : n;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// Text given as "@file" (under tests/fixtures/e2e) or inline with escapes.
std::string expectedText(const std::string& field) {
  if (!field.empty() && field[0] == '@') return readFileOrFail(kFixtures + "/" + field.substr(1));
  return unescape(field);
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class E2E : public testing::TestWithParam<Row> {};

TEST_P(E2E, Run) {
  const Row& row = GetParam();
  ASSERT_TRUE(row.error.empty()) << "cases.txt:" << row.line << ": " << row.error;
  SCOPED_TRACE("cases.txt:" + std::to_string(row.line) + " " + row.name);

  TempDir dir;
  std::string file;
  std::string content;  // the fixture as read, before any compression
  if (row.fixture != "-") {
    std::string source = row.fixture;
    bool gzip = false;
    if (source.size() > 3 && source.compare(source.size() - 3, 3, ":gz") == 0) {
      gzip = true;
      source.resize(source.size() - 3);
    }
    if (source.rfind("$BENCH/", 0) == 0) {
      if (!isDirectory(kBench)) GTEST_SKIP() << "no benchmark folder at " << kBench;
      source = kBench + "/" + source.substr(7);
    } else {
      source = VORN_FIXTURES "/" + source;
    }
    content = readFileOrFail(source);
    std::string base = source.substr(source.rfind('/') + 1) + (gzip ? ".gz" : "");
    // A copy in a fresh folder: the solver may write a renumbered copy beside it.
    file = dir.write(base, content, gzip);
  }
  auto substitute = [&](std::string s) {
    s = replaceAll(s, "{file}", file);
    s = replaceAll(s, "{dir}", dir.path());
    s = replaceAll(s, "{missing}", dir.file("no-such-file.qdimacs"));
    return s;
  };

  std::vector<std::string> args;
  std::istringstream words(row.args);
  for (std::string w; words >> w;) args.push_back(substitute(unescape(w)));
  if (!file.empty() && row.args.find("{file}") == std::string::npos) args.insert(args.begin(), file);

  std::string cpuLimit;
  for (const std::string& check : row.checks) {
    if (check.rfind("mkdir:", 0) == 0) {
      ASSERT_EQ(mkdir(substitute(check.substr(6)).c_str(), 0755), 0) << check;
    } else if (check.rfind("cpu-limit:", 0) == 0) {
      cpuLimit = check.substr(10);
    }
  }

  ProcessResult r;
  if (cpuLimit.empty()) {
    r = runVorn(args);
  } else {
    // The soft limit is set in a shell that then becomes the program.
    std::vector<std::string> shellArgs{"-c", "ulimit -S -t " + cpuLimit + " && exec -a vorn \"$0\" \"$@\"",
                                       vornBinary()};
    shellArgs.insert(shellArgs.end(), args.begin(), args.end());
    r = runProcess("/bin/bash", shellArgs);
  }
  ASSERT_FALSE(r.timedOut) << "timed out";
  if (row.exit != "*") {
    EXPECT_EQ(r.exitCode, std::atoi(row.exit.c_str())) << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
  }
  const std::string out = maskTimes(r.out);
  if (row.out != "*") {
    EXPECT_EQ(out, expectedText(row.out)) << "stderr:\n" << r.err;
  }

  for (const std::string& check : row.checks) {
    if (check.rfind("mkdir:", 0) == 0 || check.rfind("cpu-limit:", 0) == 0) continue;
    if (check.rfind("stderr=", 0) == 0) {
      EXPECT_EQ(r.err, substitute(expectedText(check.substr(7))));
    } else if (check.rfind("stderr~", 0) == 0) {
      EXPECT_NE(r.err.find(substitute(unescape(check.substr(7)))), std::string::npos)
          << "stderr lacks \"" << check.substr(7) << "\":\n" << r.err;
    } else if (check.rfind("stdout~", 0) == 0) {
      EXPECT_NE(out.find(unescape(check.substr(7))), std::string::npos) << "stdout:\n" << r.out;
    } else if (check.rfind("stderr-lines=", 0) == 0) {
      long lines = 0;
      for (char c : r.err) lines += c == '\n';
      EXPECT_EQ(lines, std::atol(check.c_str() + 13)) << "stderr:\n" << r.err;
    } else if (check.rfind("file:", 0) == 0) {
      std::size_t eq = check.find('=');
      ASSERT_NE(eq, std::string::npos) << check;
      std::string path = substitute(check.substr(5, eq - 5));
      std::string content;
      EXPECT_TRUE(readFile(path, content)) << path << " not written";
      EXPECT_EQ(content, expectedText(check.substr(eq + 1))) << path;
    } else if (check == "evaluator") {
      ASSERT_FALSE(content.empty()) << "evaluator needs a fixture";
      EXPECT_EQ(r.exitCode, expectedExitCode(parseQdimacsOrFail(content))) << content;
    } else if (check.rfind("nofile:", 0) == 0) {
      EXPECT_FALSE(fileExists(substitute(check.substr(7)))) << check;
    } else {
      ADD_FAILURE() << "unknown check \"" << check << "\"";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, E2E, testing::ValuesIn(loadRows()), testName);

}  // namespace
}  // namespace test
}  // namespace vorn
