// Why the fast ranking gives the scan's pick.
//
// For m in [0, 1] let a = |m - 1| (as computed). A candidate with m >= 0.5
// ("high") has a <= m and acts as: take iff a < best, best = a. A candidate
// with m < 0.5 ("low") has m < 0.5 <= a and acts as: take with best = a
// when a < best, else take with best = m when m < best. Write lo = a for a
// high and lo = m for a low candidate, hi = a for a low one: every lo is at
// most 0.5 and every hi at least 0.5.
//
// So a scan is: a chain of leading low candidates whose hi strictly
// decrease (each one taken, best = its hi, which stays >= 0.5), then, from
// the first candidate p that does not extend the chain, a running strict
// minimum of lo starting at best = hi of the chain's last element (100 for
// an empty chain). The pick is the first position >= p holding the minimum
// lo over positions >= p when that minimum is below best, else the chain's
// last element.
//
// The chain is a stack over the remaining list; an element enters it at
// most once (only a pick leaves it), and the minimum over a suffix comes
// from a segment tree, so n picks cost O(N + n log N).
#include "bp/Polarisation.h"

#include <cmath>
#include <limits>

namespace vorn {

namespace {

constexpr double kStart = 100.0;
constexpr double kGone = std::numeric_limits<double>::infinity();

// Minimum over a suffix, ties to the smallest position; removed entries
// hold +inf.
class SuffixMin {
 public:
  explicit SuffixMin(const std::vector<double>& values) {
    size_ = 1;
    while (size_ < values.size()) size_ <<= 1;
    value_.assign(2 * size_, kGone);
    index_.assign(2 * size_, -1);
    for (std::size_t i = 0; i < values.size(); ++i) {
      value_[size_ + i] = values[i];
      index_[size_ + i] = static_cast<int>(i);
    }
    for (std::size_t n = size_ - 1; n >= 1; --n) pull_(n);
  }
  void remove(int pos) {
    std::size_t n = size_ + pos;
    value_[n] = kGone;
    for (n >>= 1; n >= 1; n >>= 1) pull_(n);
  }
  // Smallest value at positions >= from, and its first position (-1 when none).
  int firstMinFrom(int from, double& best) const {
    best = kGone;
    int at = -1;
    // Left to right over the canonical cover of [from, size_).
    std::size_t lo = size_ + from, hi = 2 * size_;
    std::size_t right[64];
    int nRight = 0;
    while (lo < hi) {
      if (lo & 1) take_(lo++, best, at);
      if (hi & 1) right[nRight++] = --hi;
      lo >>= 1;
      hi >>= 1;
    }
    while (nRight > 0) take_(right[--nRight], best, at);
    return at;
  }

 private:
  void pull_(std::size_t n) {
    std::size_t l = 2 * n, r = l + 1;
    // Left wins ties: it holds the smaller positions.
    if (value_[r] < value_[l]) {
      value_[n] = value_[r];
      index_[n] = index_[r];
    } else {
      value_[n] = value_[l];
      index_[n] = index_[l];
    }
  }
  void take_(std::size_t n, double& best, int& at) const {
    if (value_[n] < best) {
      best = value_[n];
      at = index_[n];
    }
  }

  std::size_t size_ = 1;
  std::vector<double> value_;
  std::vector<int> index_;
};

// One literal scan; -1 when nothing is taken.
int literalScan(const std::vector<double>& m, const std::vector<char>& removed) {
  double best = kStart;
  int pick = -1;
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (removed[i]) continue;
    if (std::fabs(m[i] - 1) < best) {
      best = std::fabs(m[i] - 1);
      pick = static_cast<int>(i);
    } else if (m[i] < best) {
      best = m[i];
      pick = static_cast<int>(i);
    }
  }
  return pick;
}

std::vector<int> literalOrder(const std::vector<double>& m, int n) {
  std::vector<int> picks;
  std::vector<char> removed(m.size(), 0);
  while (static_cast<int>(picks.size()) < n) {
    int p = literalScan(m, removed);
    if (p < 0) break;
    removed[p] = 1;
    picks.push_back(p);
  }
  return picks;
}

}  // namespace

std::vector<int> polarisation_order(const std::vector<double>& m, int n) {
  const int count = static_cast<int>(m.size());
  std::vector<double> lo(count, kGone), hi(count, kGone);
  std::vector<char> low(count, 0);
  std::vector<int> next(count + 1), prev(count + 1);
  // Doubly linked list of the candidates in position order; count is the end.
  int last = count;  // sentinel
  int head = count;
  for (int i = 0; i < count; ++i) {
    double x = m[i];
    if (std::isnan(x)) continue;
    double a = std::fabs(x - 1);
    if (a <= x) {
      if (!(a <= 0.5)) return literalOrder(m, n);
      lo[i] = a;
    } else {
      if (!(x < 0.5 && a >= 0.5)) return literalOrder(m, n);
      low[i] = 1;
      lo[i] = x;
      hi[i] = a;
    }
    if (last == count)
      head = i;
    else
      next[last] = i;
    prev[i] = last;
    last = i;
  }
  if (last != count) next[last] = count;
  prev[count] = last;

  SuffixMin tree(lo);
  std::vector<int> chain;
  std::vector<int> picks;
  auto unlink = [&](int i) {
    int p = prev[i], q = next[i];
    if (p == count)
      head = q;
    else
      next[p] = q;
    prev[q] = p;
  };
  while (static_cast<int>(picks.size()) < n) {
    int p = chain.empty() ? head : next[chain.back()];
    while (p != count && low[p] && hi[p] < (chain.empty() ? kStart : hi[chain.back()])) {
      chain.push_back(p);
      p = next[p];
    }
    double bestAfterChain = chain.empty() ? kStart : hi[chain.back()];
    int pick = -1;
    if (p != count) {
      double minLo;
      int q = tree.firstMinFrom(p, minLo);
      if (q >= 0 && minLo < bestAfterChain) pick = q;
    }
    if (pick < 0) {
      if (chain.empty()) break;
      pick = chain.back();
      chain.pop_back();
    }
    tree.remove(pick);
    unlink(pick);
    picks.push_back(pick);
  }
  return picks;
}

}  // namespace vorn
