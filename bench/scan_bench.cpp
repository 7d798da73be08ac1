// Times the tokeniser and the QDIMACS item walk alone: the file is read
// through the Scanner into a handler that only counts, so the figure is
// what every reader pays before it stores anything.
//
//   vorn_scan_bench FILE [RUNS]
//
// Prints one line "scan: <MB> MB <s> s <MB/s> MB/s (<items>)", the fastest
// of RUNS (default 3) in CPU seconds, MB being 10^6 bytes of the file as
// read (decompressed for gzip). Exit 1 when the file does not scan.
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/QdimacsItems.h"
#include "input/Scanner.h"

namespace {

struct Counter {
  int64_t blocks = 0, entries = 0, clauses = 0, literals = 0, check = 0;
  bool header(int32_t, int32_t) { return true; }
  void quantifierBegin(bool) { ++blocks; }
  void quantifierEntry(int32_t v) {
    ++entries;
    check += v;
  }
  void quantifierEnd() {}
  void clauseBegin() {}
  void clauseLiteral(int32_t lit) {
    ++literals;
    check ^= lit;
  }
  bool clauseEnd() {
    ++clauses;
    return true;
  }
  bool wantsPreferenceLines() const { return false; }
  void preferenceLine(const std::vector<int32_t>&) {}
};

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Bytes the scanner sees (the decompressed size of a gzip file).
int64_t scannedBytes(const std::string& path) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return -1;
  std::vector<char> block(1u << 20);
  int64_t total = 0;
  for (int got; (got = gzread(f, block.data(), static_cast<unsigned>(block.size()))) > 0;) total += got;
  gzclose(f);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const int64_t bytes = scannedBytes(path);
  if (bytes < 0) {
    std::fprintf(stderr, "%s: cannot be opened\n", path.c_str());
    return 1;
  }
  double best = -1;
  Counter last;
  for (int r = 0; r < runs; ++r) {
    Counter counter;
    vorn::InputError error;
    const double start = cpuSeconds();
    vorn::Scanner in(path);
    const vorn::ScanEnd end = in.isOpen() ? vorn::scanQdimacs(in, counter, error) : vorn::ScanEnd::Failed;
    const double took = cpuSeconds() - start;
    if (end == vorn::ScanEnd::Failed) {
      std::fprintf(stderr, "%s:%ld: %s\n", path.c_str(), error.line, error.what.c_str());
      return 1;
    }
    if (best < 0 || took < best) best = took;
    last = counter;
  }
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("scan: %.1f MB %.3f s %.1f MB/s (%lld blocks, %lld entries, %lld clauses, %lld literals, check %lld)\n",
              mb, best, best > 0 ? mb / best : 0.0, static_cast<long long>(last.blocks),
              static_cast<long long>(last.entries), static_cast<long long>(last.clauses),
              static_cast<long long>(last.literals), static_cast<long long>(last.check));
  return 0;
}
