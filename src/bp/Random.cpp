#include "bp/Random.h"

#include <cmath>
#include <utility>

namespace vorn {

namespace {

constexpr int32_t kM1 = 2147483563, kA1 = 40014, kQ1 = 53668, kR1 = 12211;
constexpr int32_t kM2 = 2147483399, kA2 = 40692, kQ2 = 52774, kR2 = 3791;
constexpr int32_t kDivisor = 1 + (kM1 - 1) / XTQRANDOMv3::kTableSize;  // 67108862
constexpr double kScale = 4.656612873077393e-10;                       // 2^-31
constexpr double kMaxDeviate = 1.0 - 1.2e-7;
// Largest seed that leaves both states off their fixed point 0 and inside
// both moduli.
constexpr long kSeedRange = kM2 - 1;  // 2147483398

// Schrage's method: a*s mod m without an intermediate above 32 bits.
inline int32_t step(int32_t s, int32_t a, int32_t q, int32_t r, int32_t m) {
  int32_t k = s / q;
  s = a * (s - k * q) - r * k;
  if (s < 0) s += m;
  return s;
}

// Cache of poidev, shared by every generator object.
struct PoissonCache {
  double lastMean = -1.0;
  double sq = 0.0, alxm = 0.0, g = 0.0;
};
PoissonCache poissonCache;

}  // namespace

double gammln(double x) {
  static const double coef[6] = {76.18009172947146,     -86.50532032941678,    24.01409824083091,
                                 -1.231739572450155,    0.001208650973866179,  -5.395239384953e-6};
  double y = x;
  double tmp = x + 5.5;
  tmp -= (x + 0.5) * std::log(tmp);
  double ser = 1.000000000190015;
  for (int j = 0; j < 6; ++j) ser += coef[j] / ++y;
  return std::log(2.5066282746310007 * ser / x) - tmp;
}

int32_t XTQRANDOMv3::effectiveSeed(long seed) {
  if (seed <= 0) return 1;
  if (seed > kSeedRange) return static_cast<int32_t>((seed - 1) % kSeedRange + 1);
  return static_cast<int32_t>(seed);
}

XTQRANDOMv3::XTQRANDOMv3(long seed) {
  int32_t s = effectiveSeed(seed);
  state1_ = state2_ = s;
  for (int j = kTableSize + 7; j >= 0; --j) {
    state1_ = step(state1_, kA1, kQ1, kR1, kM1);
    if (j < kTableSize) table_[j] = state1_;
  }
  last_ = table_[0];
  haveCachedGauss_ = 0;
  for (int i = 0; i < kLogFactorials; ++i) logFactorial_[i] = gammln(i + 1.0);
}

double XTQRANDOMv3::rdflt() {
  state1_ = step(state1_, kA1, kQ1, kR1, kM1);
  state2_ = step(state2_, kA2, kQ2, kR2, kM2);
  int j = last_ / kDivisor;
  last_ = table_[j] - state2_;
  table_[j] = state1_;
  if (last_ < 1) last_ += kM1 - 1;
  double t = kScale * last_;
  return t > kMaxDeviate ? kMaxDeviate : t;
}

double XTQRANDOMv3::poidev(double mean) {
  const double kPi = 3.14159265358979;
  PoissonCache& c = poissonCache;
  if (mean < 12.0) {
    if (mean != c.lastMean) {
      c.lastMean = mean;
      c.g = std::exp(-mean);
    }
    double k = -1.0, t = 1.0;
    do {
      k += 1.0;
      t *= rdflt();
    } while (t > c.g);
    return k;
  }
  if (mean != c.lastMean) {
    c.lastMean = mean;
    c.sq = std::sqrt(2.0 * mean);
    c.alxm = std::log(mean);
    c.g = mean * c.alxm - gammln(mean + 1.0);
  }
  double e, t;
  do {
    double y;
    do {
      y = std::tan(kPi * rdflt());
      e = c.sq * y + mean;
    } while (e < 0.0);
    e = std::floor(e);
    double logFact = e < kLogFactorials ? logFactorial_[static_cast<int>(e)] : gammln(e + 1.0);
    t = 0.9 * (1.0 + y * y) * std::exp(e * c.alxm - logFact - c.g);
  } while (rdflt() > t);
  return e;
}

double XTQRANDOMv3::gasdev() {
  if (haveCachedGauss_) {
    haveCachedGauss_ = 0;
    return cachedGauss_;
  }
  double p, q, r;
  do {
    p = 2.0 * rdflt() - 1.0;
    q = 2.0 * rdflt() - 1.0;
    r = p * p + q * q;
  } while (r >= 1.0 || r == 0.0);
  double f = std::sqrt(-2.0 * std::log(r) / r);
  cachedGauss_ = p * f;
  haveCachedGauss_ = 1;
  return q * f;
}

template <class T>
void XTQRANDOMv3::shuffle_(T* a, int n) {
  for (int i = 0; i < n; ++i) {
    double u = rdflt();
    int k = i + static_cast<int>(u * (n - i));
    if (k >= n) k = n - 1;  // u < 1, so only a rounding slip could get here
    std::swap(a[i], a[k]);
  }
}

void XTQRANDOMv3::ranseq(int* a, int n) { shuffle_(a, n); }
void XTQRANDOMv3::ranseq(double* a, int n) { shuffle_(a, n); }

}  // namespace vorn
