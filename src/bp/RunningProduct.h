// A product of many factors (in [0, 1], give or take rounding) that can take
// factors out again in O(1), so that "the product over the other members"
// of a long clause does not cost the clause's length for every member.
//
// Factors that are exactly 0, exactly 1 or NaN are counted apart: 0 and NaN
// cannot be divided out, and keeping 1s out of the mantissa makes "every
// other factor is 1" come out as exactly 1, as a multiplication would. The
// remaining factors are kept as a mantissa and a 64-bit binary exponent, so
// that a product of 10^6 factors neither underflows nor loses what is left
// after dividing most of them out again. Dividing is not exact: the owner
// rebuilds the product from its factors often enough to bound the drift
// (once per sweep).
#pragma once

#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vorn {

class RunningProduct {
 public:
  void clear() { *this = RunningProduct(); }

  // Multiplies `times` copies of f in.
  void include(double f, int64_t times) {
    assert(!std::isinf(f) && times >= 0);
    count_[kind_(f)] += times;
    if (kind_(f) == kNan) nan_ = f;
    if (kind_(f) != kOther) return;
    double m;
    int64_t e;
    power_(f, times, m, e);
    mant_ *= m;
    exp2_ += e;
    if (std::fabs(mant_) < kLow) normalise_(mant_, exp2_);
  }

  // Takes `times` copies of f out; they must have been included.
  void exclude(double f, int64_t times) {
    count_[kind_(f)] -= times;
    assert(count_[kind_(f)] >= 0);
    if (kind_(f) != kOther) return;
    double m;
    int64_t e;
    power_(f, times, m, e);
    mant_ /= m;
    exp2_ -= e;
    if (std::fabs(mant_) > kHigh) normalise_(mant_, exp2_);
  }

  // The product of everything included except `times` copies of f (which
  // are among the included factors), as a multiplication would give it in
  // the exact cases: NaN when a NaN is among the others, else 0 when a 0
  // is, else exactly 1 when nothing but 1s is left.
  double without(double f, int64_t times) const {
    const int own = kind_(f);
    assert(count_[own] >= times);
    auto others = [&](int kind) { return count_[kind] - (kind == own ? times : 0); };
    if (others(kNan) > 0) return nan_;
    if (others(kZero) > 0) return 0.0;
    if (others(kOther) == 0) return 1.0;
    double m = mant_;
    int64_t e = exp2_;
    if (own == kOther) {
      double fm;
      int64_t fe;
      power_(f, times, fm, fe);
      m /= fm;
      e -= fe;
    }
    // Far below the smallest double: 0 (ldexp takes an int).
    if (e < -4000) return 0.0;
    const double p = std::ldexp(m, static_cast<int>(e < 4000 ? e : 4000));
    // Factors below 1 multiply to less than 1, also when multiplied out one
    // by one; the drift must not make the product reach 1 (a message of 1 is
    // the exact case "every other member is false").
    return p < kBelowOne ? p : kBelowOne;
  }

 private:
  enum Kind { kNan, kZero, kOne, kOther };
  static constexpr double kLow = 0x1p-500;
  static constexpr double kHigh = 0x1p500;
  static constexpr double kBelowOne = 1.0 - 0x1p-53;  // the largest double below 1

  static int kind_(double f) {
    if (std::isnan(f)) return kNan;
    if (f == 0.0) return kZero;
    return f == 1.0 ? kOne : kOther;
  }

  static void normalise_(double& m, int64_t& e) {
    int k;
    m = std::frexp(m, &k);
    e += k;
  }

  // f^times as m * 2^e with |m| in [0.5, 1), by squaring.
  static void power_(double f, int64_t times, double& m, int64_t& e) {
    int k;
    const double base = std::frexp(f, &k);
    if (times == 1) {
      m = base;
      e = k;
      return;
    }
    m = 1.0;
    e = 0;
    double b = base;
    int64_t be = k;
    for (int64_t t = times; t > 0; t >>= 1) {
      if (t & 1) {
        m *= b;
        e += be;
        normalise_(m, e);
      }
      if (t > 1) {
        b *= b;
        be *= 2;
        normalise_(b, be);
      }
    }
  }

  double mant_ = 1.0;  // |mant_| in [2^-501, 2^501] between operations
  int64_t exp2_ = 0;
  int64_t count_[4] = {0, 0, 0, 0};  // factors included, by kind
  double nan_ = std::numeric_limits<double>::quiet_NaN();  // the one a product passes on
};

}  // namespace vorn
