// Random formulas filling the store in place of a file.
#include <iostream>

#include "bp/BpFormula.h"

namespace vorn {

namespace {

// A random variable of 1..count, offset by base; redrawn while it equals one
// of the first `taken` entries of chosen (the caller made sure enough
// distinct values exist).
int drawDistinct(XTQRANDOMv3& rng, int count, int base, const int* chosen, int from, int taken) {
  for (;;) {
    int x = static_cast<int>(rng.rdflt() * count) + 1 + base;
    bool again = false;
    for (int i = from; i < taken && !again; ++i) again = chosen[i] == x;
    if (!again) return x;
  }
}

enum QsatKind { k12, k13, k22, k23, k121 };

struct QsatShape {
  int clauseLength;
  int universals;    // random universals per clause (k121: its own one)
  int existentials;  // distinct random existentials per clause
};

QsatShape shapeOf(int kind) {
  switch (kind) {
    case k12: return {3, 1, 2};
    case k13: return {4, 1, 3};
    case k22: return {4, 2, 2};
    case k23: return {5, 2, 3};
    default: return {3, 1, 2};  // k121
  }
}

}  // namespace

int zsat::formula_gen_ran_K3(int n, int m, int k) {
  // k distinct variables out of n: refuse what cannot be drawn.
  if (n < 0 || m < 0 || k < 0 || k > n) return -1;
  N = n;
  M = m;
  K = k;
  std::cout << "N=" << n << " M=" << m << " K=" << k << "\n";
  formula_init_structures();
  std::vector<int> chosen(k);
  for (int c = 0; c < m; ++c) {
    for (int i = 0; i < k; ++i) chosen[i] = drawDistinct(*rng, n, 0, chosen.data(), 0, i);
    for (int i = 0; i < k; ++i) {
      double r = rng->rdflt();
      formula_add_var(r > 0.5 ? -chosen[i] : chosen[i], c);
    }
  }
  formula_vector2array();
  return 0;
}

int zsat::gen_qsat_(int kind, int nn, int nm, int m) {
  if (kind == k121) nm = m;
  const QsatShape shape = shapeOf(kind);
  // Distinct draws need enough variables of their kind; a single random
  // universal over none is drawn and then left out.
  const bool distinctUniversals = kind == k22 || kind == k23;
  if (nn < 0 || nm < 0 || m < 0 || nn < shape.existentials || (distinctUniversals && nm < shape.universals) ||
      static_cast<long long>(nn) + nm > 2147483647LL)
    return -1;

  if (kind == k13 || kind == k23) std::cout << "generating (1,3)QSAT\n";
  if (kind == k22) std::cout << "generating (2,2)(" << nm << "," << nn << ")" << " qsat fromula\n";
  Nn = nn;
  Nm = nm;
  M = m;
  K = shape.clauseLength;
  N = Nn + Nm;
  std::cout << "Nn=" << Nn << " Nm=" << Nm << " M=" << M << "\n";
  formula_init_structures();
  univ_vars.resize(Nm);
  for (int i = 0; i < Nm; ++i) univ_vars[i] = i;
  exist_vars.resize(Nn);
  for (int i = 0; i < Nn; ++i) exist_vars[i] = Nm + i;
  univ_vals.assign(Nm, 0);
  exist_vals.assign(Nn, 0);

  std::vector<int> chosen(shape.clauseLength);
  for (int c = 0; c < M; ++c) {
    int pos = 0;
    if (kind == k121) {
      chosen[pos++] = c + 1;
    } else {
      for (int i = 0; i < shape.universals; ++i, ++pos)
        chosen[pos] = distinctUniversals ? drawDistinct(*rng, Nm, 0, chosen.data(), 0, pos)
                                         : static_cast<int>(rng->rdflt() * Nm) + 1;
    }
    const int firstExist = pos;
    for (int i = 0; i < shape.existentials; ++i, ++pos)
      chosen[pos] = drawDistinct(*rng, Nn, Nm, chosen.data(), firstExist, pos);
    for (int k = 0; k < shape.clauseLength; ++k) {
      double r = rng->rdflt();
      if (k == 0 && Nm == 0) continue;  // no universal to put there
      formula_add_var(r > 0.5 ? -chosen[k] : chosen[k], c);
    }
  }
  formula_vector2array();
  for (int i = 0; i < Nm; ++i) vtypes[i] = 0;
  return 1;
}

int zsat::formula_gen_ran_12qsat(int nn, int nm, int m) { return gen_qsat_(k12, nn, nm, m); }
int zsat::formula_gen_ran_13qsat(int nn, int nm, int m) { return gen_qsat_(k13, nn, nm, m); }
int zsat::formula_gen_ran_22qsat(int nn, int nm, int m) { return gen_qsat_(k22, nn, nm, m); }
int zsat::formula_gen_ran_23qsat(int nn, int nm, int m) { return gen_qsat_(k23, nn, nm, m); }
int zsat::formula_gen_ran_121qsat(int nn, int nm, int m) { return gen_qsat_(k121, nn, nm, m); }

int zsat::formula_gen_ran_formula(int type, int a, int b, int c, int, int, int) {
  const long kind = type < 0 ? -static_cast<long>(type) : type;
  int done;
  switch (kind) {
    case 12: done = formula_gen_ran_12qsat(b, a, c); break;
    case 13: done = formula_gen_ran_13qsat(b, a, c); break;
    case 22: done = formula_gen_ran_22qsat(b, a, c); break;
    case 121: done = formula_gen_ran_121qsat(b, a, c); break;
    default: return -1;
  }
  return done < 0 ? -1 : 1;
}

}  // namespace vorn
