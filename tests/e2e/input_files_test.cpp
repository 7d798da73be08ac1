// Files in and out, run as a user runs vorn from a shell: the input's
// folder is never written, the renumbered copy lives in the temporary
// folder only while the run lasts, a pipe is read once, and a formula that
// cannot be written is a failure.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/Process.h"

namespace vorn {
namespace test {
namespace {

const std::string kConvert = VORN_FIXTURES "/e2e/convert.qdimacs";  // prefix 4 9 6 9 1 3: renumbered
const std::string kOrdered = VORN_FIXTURES "/e2e/ordered.qdimacs";  // prefix 1..4: read in place

// What the reference build answers for convert.qdimacs.
const char* const kConvertSimplified =
    "p cnf 6 4\ne 1 2 6 0\na 3 0\ne 4 5 0\n 6 1 0\n 4 3 -2 0\n 5 -4 0\n -5 -6 -1 0\n";

struct Road {
  const char* name;
  const char* args;  // after the input, for the shell
  int exit;          // on convert.qdimacs
};
const Road kRoads[] = {{"-noprepro", " -noprepro", 10}, {"default", "", 100}, {"-solve", " -solve", 10}};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs a bash command line, in which kVorn runs the built binary.
const std::string kVorn = "\"$VORN\" ";
ProcessResult shell(const std::string& command) {
  return runProcess("/bin/bash", {"-c", "VORN=" + quoted(vornBinary()) + "; " + command}, 300);
}

// Names and contents of a folder's entries.
std::vector<std::string> listing(const std::string& path) {
  std::vector<std::string> out;
  DIR* d = opendir(path.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string content;
    readFile(path + "/" + n, content);
    out.push_back(n + "=" + content);
  }
  if (d) closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// Standard output without the lines that carry timings.
std::string untimed(const std::string& out) {
  std::string kept;
  for (const std::string& l : lines(out))
    if (l.rfind("time used", 0) != 0) kept += l + "\n";
  return kept;
}

void expectAnswer(const Road& road, const ProcessResult& r) {
  EXPECT_EQ(r.exitCode, road.exit) << road.name << "\n" << r.out << r.err;
  if (road.exit == 100)
    EXPECT_EQ(r.out, kConvertSimplified) << road.name;
  else
    EXPECT_NE(r.out.find("\ns cnf 1\n"), std::string::npos) << road.name << "\n" << r.out;
}

// The copy's path from the one line on standard error.
std::string convertedTo(const std::string& err, const std::string& input) {
  const std::string head = "convert from " + input + " to ";
  EXPECT_EQ(err.rfind(head, 0), 0u) << err;
  EXPECT_EQ(lines(err).size(), 1u) << err;
  if (err.rfind(head, 0) != 0 || err.empty()) return "";
  return err.substr(head.size(), err.size() - head.size() - 1);
}

TEST(InputFiles, RenumberedCopyLivesInTheTemporaryFolderOnly) {
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    TempDir data, tmp;
    const std::string in = data.write("in.qdimacs", readFileOrFail(kConvert));
    data.write("in.qdimacs.tmp", "the user's own file, not a formula\n");
    const std::vector<std::string> before = listing(data.path());

    ProcessResult r = shell("TMPDIR=" + quoted(tmp.path()) + " " + kVorn + quoted(in) + road.args);
    expectAnswer(road, r);
    EXPECT_EQ(listing(data.path()), before) << "the input's folder is not written";
    const std::string copy = convertedTo(r.err, in);
    EXPECT_EQ(copy.rfind(tmp.path() + "/", 0), 0u) << copy;
    EXPECT_FALSE(fileExists(copy));
    EXPECT_TRUE(listing(tmp.path()).empty());
  }
  // Without TMPDIR the copy goes to /tmp, and goes again.
  TempDir data;
  const std::string in = data.write("in.qdimacs", readFileOrFail(kConvert));
  ProcessResult r = shell("unset TMPDIR; " + kVorn + quoted(in) + " -noprepro");
  expectAnswer(kRoads[0], r);
  const std::string copy = convertedTo(r.err, in);
  EXPECT_EQ(copy.rfind("/tmp/", 0), 0u) << copy;
  EXPECT_FALSE(fileExists(copy));
  EXPECT_EQ(listing(data.path()).size(), 1u);
}

// A rejected formula ends the run through the reader's exit; the copy of
// a pipe exists by then and goes too.
TEST(InputFiles, ErrorEndingsLeaveNothing) {
  const char* const malformed = "p cnf 9 3\ne 4 9 0\na 6 0\n4 -6 0\n9 x 0\n";
  for (const Road& road : kRoads)
    for (bool pipe : {false, true}) {
      SCOPED_TRACE(std::string(road.name) + (pipe ? " pipe" : " file"));
      TempDir data, tmp;
      const std::string in = data.write("in.qdimacs", malformed);
      const std::vector<std::string> before = listing(data.path());
      const std::string env = "TMPDIR=" + quoted(tmp.path()) + " ";
      ProcessResult r = pipe ? shell("cat " + quoted(in) + " | " + env + kVorn + "/dev/stdin" + road.args)
                             : shell(env + kVorn + quoted(in) + road.args);
      EXPECT_EQ(r.exitCode, 3) << r.err;
      EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
      // The input's own name and line, also when a pipe was read into a copy.
      EXPECT_EQ(r.err.rfind((pipe ? std::string("/dev/stdin") : in) + ":5: ", 0), 0u) << r.err;
      EXPECT_EQ(listing(data.path()), before);
      EXPECT_TRUE(listing(tmp.path()).empty());
    }
}

TEST(InputFiles, NoTemporaryFolder) {
  TempDir data;
  const std::string in = data.write("in.qdimacs", readFileOrFail(kConvert));
  const std::string missing = data.file("no-such-folder");
  ProcessResult r = shell("TMPDIR=" + quoted(missing) + " " + kVorn + quoted(in));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
  EXPECT_EQ(r.err.rfind(missing + ": cannot write the renumbered copy of " + in + ": ", 0), 0u) << r.err;
  EXPECT_EQ(listing(data.path()).size(), 1u);
  // Input that needs no copy does not need the folder either.
  r = shell("TMPDIR=" + quoted(missing) + " " + kVorn + quoted(kOrdered) + " -noprepro");
  EXPECT_EQ(r.exitCode, 10) << r.err;
}

// A pipe, a process substitution and a named pipe give what the file
// gives, on every road, plain or gzip, renumbered or read as it is.
TEST(InputFiles, PipeReadsLikeTheFile) {
  for (const std::string& source : {kConvert, kOrdered})
    for (bool gzip : {false, true}) {
      TempDir data, tmp;
      const std::string file = data.write(gzip ? "in.qdimacs.gz" : "in.qdimacs", readFileOrFail(source), gzip);
      const std::string env = "TMPDIR=" + quoted(tmp.path()) + " ";
      for (const Road& road : kRoads) {
        SCOPED_TRACE(source + (gzip ? " gzip " : " ") + road.name);
        const ProcessResult expected = shell(env + kVorn + quoted(file) + road.args);
        ASSERT_TRUE(expected.exitCode == 10 || expected.exitCode == 20 || expected.exitCode == 100) << expected.err;
        if (source == kConvert) expectAnswer(road, expected);
        const std::string fifo = data.file("fifo");
        for (const std::string& command :
             {"cat " + quoted(file) + " | " + env + kVorn + "/dev/stdin" + road.args,
              env + kVorn + "<(cat " + quoted(file) + ")" + road.args,
              "rm -f " + quoted(fifo) + "; mkfifo " + quoted(fifo) + "; (cat " + quoted(file) + " > " + quoted(fifo) +
                  " &); " + env + kVorn + quoted(fifo) + road.args}) {
          ProcessResult r = shell(command);
          EXPECT_EQ(r.exitCode, expected.exitCode) << command << "\n" << r.err;
          EXPECT_EQ(untimed(r.out), untimed(expected.out)) << command;
          EXPECT_EQ(lines(r.err).size(), lines(expected.err).size()) << command << "\n" << r.err;
          EXPECT_TRUE(listing(tmp.path()).empty()) << command;
        }
      }
    }
}

// An input of several MiB restarts the binary with huge pages for its heap
// before anything is read: the restarted run must be the run, on every
// road, with renumbering, and beside a tunable of the user's own.
TEST(InputFiles, LargeInputRestartsAsTheSameRun) {
  TempDir data, tmp;
  std::string text;
  const std::string comment = "c " + std::string(1000, 'x') + "\n";
  while (text.size() < (9u << 20)) text += comment;
  const std::string file = data.write("large.qdimacs", text + readFileOrFail(kConvert));
  const std::string env = "TMPDIR=" + quoted(tmp.path()) + " ";
  for (const Road& road : kRoads)
    for (const std::string tunables : {"", "glibc.malloc.check=0"}) {
      SCOPED_TRACE(std::string(road.name) + " tunables '" + tunables + "'");
      const std::string set = tunables.empty() ? "unset GLIBC_TUNABLES; " : "GLIBC_TUNABLES=" + tunables + " ";
      // A value naming the tunable already is left alone: no restart.
      const ProcessResult plain = shell(env + "GLIBC_TUNABLES=glibc.malloc.hugetlb=0 " + kVorn + quoted(file) + road.args);
      const ProcessResult r = shell(set + env + kVorn + quoted(file) + road.args);
      expectAnswer(road, plain);
      EXPECT_EQ(r.exitCode, plain.exitCode) << r.err;
      EXPECT_EQ(untimed(r.out), untimed(plain.out));
      EXPECT_EQ(convertedTo(r.err, file).empty(), convertedTo(plain.err, file).empty()) << r.err;
      EXPECT_TRUE(listing(tmp.path()).empty());
    }
}

// The writing road to a full disk: one line, exit 1, never 100. The
// deciding roads answer by their exit code, which stays.
TEST(InputFiles, WriteFailureIsAFailure) {
  TempDir tmp;
  const std::string env = "TMPDIR=" + quoted(tmp.path()) + " ";
  for (const char* args : {"", " -stat", " -es -qr"}) {
    SCOPED_TRACE(args);
    ProcessResult r = shell(env + kVorn + quoted(kOrdered) + args + " > /dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "cannot write the simplified formula to standard output: No space left on device\n");
    r = shell(env + kVorn + quoted(kConvert) + args + " > /dev/full");
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> err = lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0].rfind("convert from ", 0), 0u);
    EXPECT_EQ(err[1], "cannot write the simplified formula to standard output: No space left on device");
  }
  for (const Road& road : kRoads) {
    if (road.exit == 100) continue;
    ProcessResult r = shell(env + kVorn + quoted(kConvert) + road.args + " > /dev/full");
    EXPECT_EQ(r.exitCode, road.exit) << road.name;
  }
  EXPECT_TRUE(listing(tmp.path()).empty());
}

}  // namespace
}  // namespace test
}  // namespace vorn
