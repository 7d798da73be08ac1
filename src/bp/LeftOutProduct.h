// The product of a variable's factors over its occurrences of one sign with
// one occurrence left out, bit for bit what the left fold from 1.0 in
// occurrence order gives.
//
// A sweep needs it only for an occurrence whose own factor is 0 or NaN
// (any other factor is divided out). When another factor of that sign is 0
// or NaN as well, that one fixes the product without multiplying: finite
// factors times 0 stay 0, and a NaN spreads. So at most one occurrence per
// sign needs the fold, and all left-out products of a visit cost O(deg)
// instead of O(deg^2) for a variable with many unit-like clauses.
#pragma once

#include <cmath>
#include <cstdint>

namespace vorn {

template <class Factor>
class LeftOutProduct {
 public:
  // Occurrences begin..end-1 with their signs (+1 / -1); factor(o) is the
  // factor of occurrence o, in [0, 1] or NaN.
  LeftOutProduct(const int8_t* sign, int begin, int end, Factor factor)
      : sign_(sign), begin_(begin), end_(end), factor_(factor) {}

  // Over the occurrences of skip's sign other than skip.
  double operator()(int skip) {
    const int s = sign_[skip];
    Side& side = sides_[s > 0];
    if (!side.scanned) scan_(side, s);
    const int nan = side.nan1 != skip ? side.nan1 : side.nan2;
    if (nan >= 0) return factor_(nan);
    if (side.zeros - (factor_(skip) == 0.0 ? 1 : 0) > 0) return 0.0;
    double p = 1.0;
    for (int o = begin_; o < end_; ++o)
      if (o != skip && sign_[o] == s) p *= factor_(o);
    return p;
  }

 private:
  struct Side {
    bool scanned = false;
    int zeros = 0;                // factors exactly 0
    int nan1 = -1, nan2 = -1;     // the first two NaN factors
  };

  void scan_(Side& side, int s) {
    side.scanned = true;
    for (int o = begin_; o < end_; ++o) {
      if (sign_[o] != s) continue;
      const double f = factor_(o);
      if (std::isnan(f)) {
        if (side.nan1 < 0)
          side.nan1 = o;
        else if (side.nan2 < 0)
          side.nan2 = o;
      } else if (f == 0.0) {
        ++side.zeros;
      }
    }
  }

  const int8_t* sign_;
  int begin_, end_;
  Factor factor_;
  Side sides_[2];
};

}  // namespace vorn
