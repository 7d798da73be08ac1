#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "input/QdimacsItems.h"

namespace {

// Records the items in a compact text form: "p3,2 e1,2; a3; c1,-3; f2,-1;".
struct Recorder {
  std::string out;
  bool prefs = true;
  bool header(int32_t v, int32_t c) {
    out += "p" + std::to_string(v) + "," + std::to_string(c) + " ";
    return true;
  }
  void quantifierBegin(bool e) { out += e ? "e" : "a"; }
  void quantifierEntry(int32_t v) { out += std::to_string(v) + ","; }
  void quantifierEnd() { out += "; "; }
  void clauseBegin() { out += "c"; }
  void clauseLiteral(int32_t l) { out += std::to_string(l) + ","; }
  bool clauseEnd() {
    out += "; ";
    return true;
  }
  bool wantsPreferenceLines() const { return prefs; }
  void preferenceLine(const std::vector<int32_t>& e) {
    out += "f";
    for (int32_t v : e) out += std::to_string(v) + ",";
    out += "; ";
  }
};

std::string writeTemp(const std::string& text) {
  char name[] = "/tmp/vorn_scanXXXXXX";
  int fd = mkstemp(name);
  FILE* f = fdopen(fd, "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return name;
}

struct Case {
  const char* input;
  const char* items;        // recorded items when the scan completes
  vorn::InputError::Kind error;
  long line;
};

TEST(Scanner, ItemGrammar) {
  const Case cases[] = {
      {"p cnf 3 2\ne 1 2 0\na 3 0\n1 -3 0\n2 3 0\n", "p3,2 e1,2,; a3,; c1,-3,; c2,3,; ", vorn::InputError::None, 0},
      {"p cnf 3 1\n1 -2\n3 0\n", "p3,1 c1,-2,3,; ", vorn::InputError::None, 0},
      {"p cnf 2 2\n1 0 2 0\n", "p2,2 c1,; c2,; ", vorn::InputError::None, 0},
      {"p\tcnf 1 1\n0\n", "", vorn::InputError::BadHeader, 1},
      {"p cnf 1 1\n0\n", "p1,1 c; ", vorn::InputError::None, 0},
      {"p cnf 3 1\n+3 0\n", "p3,1 c3,; ", vorn::InputError::None, 0},
      {"p qbf 3 2\n", "", vorn::InputError::BadHeader, 1},
      {"p", "", vorn::InputError::BadHeader, 1},
      {"p cnf 3", "", vorn::InputError::Malformed, 1},
      {"p cnf 3 1\n1 2", "", vorn::InputError::Malformed, 2},
      {"p cnf 3 1\nx 0\n", "", vorn::InputError::Malformed, 2},
      {"p cnf 3 1\n2147483647 0\n", "p3,1 c2147483647,; ", vorn::InputError::None, 0},
      {"p cnf 3 1\n2147483648 0\n", "", vorn::InputError::Malformed, 2},
      {"p cnf 3 1\n-2147483648 0\n", "", vorn::InputError::Malformed, 2},
      {"p cnf 3 1\n4294967296 0\n", "", vorn::InputError::Malformed, 2},
      {"p cnf 3 1\n\xff 0\n", "", vorn::InputError::Malformed, 2},
      {"c \xff\x00 x\np cnf 1 0\n", "p1,0 ", vorn::InputError::None, 0},
      {"c foo\nc f 2 -1 0\nc f 0\nc f\nc  f 1 0\ncf 1 0\nc f 1 x 0\nc f 1 0 2\np cnf 2 0\n",
       "f2,-1,; f; p2,0 ", vorn::InputError::None, 0},
      {"c from the generator\nc f is\np cnf 1 0\n", "p1,0 ", vorn::InputError::None, 0},
      {"1 0\n", "", vorn::InputError::BadHeader, 2},
      {"p cnf 1 1\np cnf 1 1\n", "", vorn::InputError::BadHeader, 2},
      {"p cnf -1 1\n", "", vorn::InputError::BadHeader, 1},
      {"p cnf 1 1\ne -3 0\n", "", vorn::InputError::Malformed, 2},
      {"p cnf 2 1\r\ne 1 0\r\n1\t2\v0\f\r\n", "p2,1 e1,; c1,2,; ", vorn::InputError::None, 0},
  };
  for (const Case& tc : cases) {
    std::string text(tc.input, tc.input + std::char_traits<char>::length(tc.input));
    // A comment may hold any byte, NUL included.
    static const char kNulComment[] = "c \xff\0 x\np cnf 1 0\n";
    if (text.rfind("c \xff", 0) == 0) text.assign(kNulComment, sizeof kNulComment - 1);
    std::string path = writeTemp(text);
    vorn::Scanner in(path);
    Recorder rec;
    vorn::InputError err;
    vorn::ScanEnd end = vorn::scanQdimacs(in, rec, err);
    SCOPED_TRACE(tc.input);
    EXPECT_EQ(err.kind, tc.error) << err.what;
    if (tc.error == vorn::InputError::None) {
      EXPECT_EQ(end, vorn::ScanEnd::Complete);
      EXPECT_EQ(rec.out, tc.items);
    } else {
      EXPECT_EQ(end, vorn::ScanEnd::Failed);
      EXPECT_EQ(err.line, tc.line);
    }
    std::remove(path.c_str());
  }
}

// Tokens and literal text that straddle a block refill read as if whole.
TEST(Scanner, RefillBoundary) {
  std::string text = "c f 5 -4 0\np cnf 12345 2\ne 12345 0\n-12345 0\n12 0\n";
  std::string want;
  for (std::size_t block = 1; block <= text.size() + 1; ++block) {
    std::string path = writeTemp(text);
    vorn::Scanner in(path, block);
    Recorder rec;
    vorn::InputError err;
    ASSERT_EQ(vorn::scanQdimacs(in, rec, err), vorn::ScanEnd::Complete) << block;
    if (want.empty()) want = rec.out;
    EXPECT_EQ(rec.out, want) << "block size " << block;
    std::remove(path.c_str());
  }
  EXPECT_EQ(want, "f5,-4,; p12345,2 e12345,; c-12345,; c12,; ");
}

// Numbers of ten digits take the long path, and the line of an error
// counts every line feed consumed, whatever the block size.
TEST(Scanner, LongNumbersAndErrorLineAcrossBlocks) {
  const std::string good = "c x\n\np cnf 3 2\n0000000003 -0000000002 0\n2147483647 0\n";
  const std::string bad = "c x\n\np cnf 3 2\n\n1 0\nc y\n2 21474836470 0\n";
  for (std::size_t block = 1; block <= bad.size() + 1; ++block) {
    std::string path = writeTemp(good);
    vorn::Scanner in(path, block);
    Recorder rec;
    vorn::InputError err;
    EXPECT_EQ(vorn::scanQdimacs(in, rec, err), vorn::ScanEnd::Complete) << block;
    EXPECT_EQ(rec.out, "p3,2 c3,-2,; c2147483647,; ") << block;
    std::remove(path.c_str());

    path = writeTemp(bad);
    vorn::Scanner bin(path, block);
    Recorder brec;
    vorn::InputError berr;
    EXPECT_EQ(vorn::scanQdimacs(bin, brec, berr), vorn::ScanEnd::Failed) << block;
    EXPECT_EQ(berr.line, 7) << block;
    EXPECT_EQ(bin.line(), 7) << block;
    std::remove(path.c_str());
  }
}

TEST(Scanner, GzipAndTruncatedGzip) {
  std::string text = "p cnf 3 2\ne 1 2 0\na 3 0\n1 -3 0\n2 3 0\n";
  std::string plain = writeTemp(text);
  std::string gz = plain + ".gz";
  gzFile out = gzopen(gz.c_str(), "wb");
  gzwrite(out, text.data(), static_cast<unsigned>(text.size()));
  gzclose(out);
  Recorder a, b;
  vorn::InputError ea, eb;
  vorn::Scanner pin(plain), zin(gz);
  ASSERT_EQ(vorn::scanQdimacs(pin, a, ea), vorn::ScanEnd::Complete);
  ASSERT_EQ(vorn::scanQdimacs(zin, b, eb), vorn::ScanEnd::Complete);
  EXPECT_EQ(a.out, b.out);

  // Cut the compressed file short: a read error, never a silent end.
  std::ifstream f(gz, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::string cut = writeTemp(bytes.substr(0, bytes.size() - 12));
  vorn::Scanner cin(cut);
  Recorder c;
  vorn::InputError ec;
  EXPECT_EQ(vorn::scanQdimacs(cin, c, ec), vorn::ScanEnd::Failed);
  EXPECT_EQ(ec.kind, vorn::InputError::Malformed);
  for (const std::string& p : {plain, gz, cut}) std::remove(p.c_str());
}

TEST(Scanner, DirectoryIsNotOpen) {
  vorn::Scanner in("/tmp");
  EXPECT_FALSE(in.isOpen());
}

}  // namespace
