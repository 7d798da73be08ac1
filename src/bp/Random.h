// The only source of random numbers: the random initial messages and the
// visiting orders of the message-passing sweeps come from here, so a run is
// reproducible from its seed alone.
//
// The uniform deviate is a combined multiplicative congruential generator
// (moduli 2147483563 and 2147483399) with a 32-entry shuffle table, scaled
// by 2^-31.
#pragma once

#include <cstdint>

namespace vorn {

// ln Gamma(x) for x > 0 (Lanczos series).
double gammln(double x);

class XTQRANDOMv3 {
 public:
  // Seeds at or below 0 act as 1. Seeds above 2147483398 (among them the
  // two that pin a state at its fixed point 0, and everything that does
  // not fit 32 bits) are folded into 1..2147483398.
  explicit XTQRANDOMv3(long seed);

  // The seed the generator actually runs with.
  static int32_t effectiveSeed(long seed);

  // Next uniform deviate in (0, 0.99999988].
  double rdflt();
  // Poisson deviate of the given mean (a whole number).
  double poidev(double mean);
  // Standard normal deviate (polar method; every second call is cached).
  double gasdev();
  // Shuffle the first n elements in place.
  void ranseq(int* a, int n);
  void ranseq(double* a, int n);

  static constexpr int kTableSize = 32;
  static constexpr int kLogFactorials = 1000;

 private:
  template <class T>
  void shuffle_(T* a, int n);

  int32_t table_[kTableSize];
  int32_t state1_;
  int32_t state2_;
  int32_t last_;
  double cachedGauss_ = 0.0;
  int haveCachedGauss_ = 0;
  double logFactorial_[kLogFactorials];
};

}  // namespace vorn
