// Turning marginals into the ranking: the polarisation ranking of one fixed
// point, and decimation block by block.
#include <cmath>
#include <iostream>
#include <limits>

#include "bp/Polarisation.h"
#include "bp/BpFormula.h"

namespace vorn {

namespace {
constexpr double kNotCandidate = std::numeric_limits<double>::quiet_NaN();

// +1 when BP favours TRUE; a tie counts as FALSE.
inline int favoured(const formula_var& r) { return r.WT > r.WF ? 1 : -1; }

// Marginals of the entries of list, NaN for fixed variables. The fast
// ranking treats positions as candidates, so a list that names a variable
// twice is flagged.
std::vector<double> listMarginals(const zsat& f, const std::vector<int>& list, bool& repeated) {
  std::vector<double> m(list.size());
  std::vector<char> seen(f.var_recs.size(), 0);
  repeated = false;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const int v = list[i];
    repeated |= seen[v] != 0;
    seen[v] = 1;
    m[i] = f.var_recs[v].fixed_value != 0 ? kNotCandidate : f.marginal(v);
  }
  return m;
}
}  // namespace

int zsat::polarisation_pick_(const int* cand, int count) const {
  double best = 100.0;
  int pick = -1;
  for (int i = 0; i < count; ++i) {
    const int v = cand[i];
    if (var_recs[v].fixed_value != 0) continue;
    const double m = marginal(v);
    if (std::fabs(m - 1) < best) {
      best = std::fabs(m - 1);
      pick = v;
    } else if (m < best) {
      best = m;
      pick = v;
    }
  }
  return pick;
}

int zsat::des_allmag(int n) {
  if (n <= 0) return 1;
  std::vector<double> m(var_recs.size());
  for (std::size_t v = 0; v < m.size(); ++v)
    m[v] = var_recs[v].fixed_value != 0 ? kNotCandidate : marginal(static_cast<int>(v));
  const std::vector<int> picks = polarisation_order(m, n);
  for (int p : picks) {
    const int s = favoured(var_recs[p]);
    var_recs[p].fixed_value = s;
    des_vars.push_back(p);
    des_vals.push_back(vtypes[p] == 1 ? s : -s);
  }
  return static_cast<int>(picks.size()) == n ? 1 : -1;
}

int zsat::des_allmag_inverse(int n) {
  if (n <= 0) return 1;
  std::vector<double> m(var_recs.size());
  for (std::size_t v = 0; v < m.size(); ++v)
    m[v] = var_recs[v].fixed_value != 0 ? kNotCandidate : marginal(static_cast<int>(v));
  const std::vector<int> picks = polarisation_order(m, n);
  for (int p : picks) {
    const int s = favoured(var_recs[p]);
    var_recs[p].fixed_value = -s;
    des_vars.push_back(p);
    des_vals.push_back(-s);
  }
  return static_cast<int>(picks.size()) == n ? 1 : -1;
}

namespace {
// The repeated scan over a quantifier list; sign +1 fixes the favoured
// value, -1 the other one. Writes the value at the list position too.
int decideFromList(zsat& f, int n, const std::vector<int>& list, std::vector<int>& vals, int sign) {
  if (n <= 0) return 1;
  if (list.empty()) return -1;
  bool repeated;
  std::vector<double> m = listMarginals(f, list, repeated);
  int decided = 0;
  auto decide = [&](int pos) {
    const int v = list[pos];
    const int value = sign * favoured(f.var_recs[v]);
    f.var_recs[v].fixed_value = value;
    if (pos < static_cast<int>(vals.size())) vals[pos] = value;
    f.des_vars.push_back(v);
    f.des_vals.push_back(value);
    ++decided;
  };
  if (!repeated) {
    for (int pos : polarisation_order(m, n)) decide(pos);
  } else {
    // A variable listed twice leaves the list as a whole once fixed.
    for (int k = 0; k < n; ++k) {
      m = listMarginals(f, list, repeated);
      std::vector<int> one = polarisation_order(m, 1);
      if (one.empty()) break;
      decide(one[0]);
    }
  }
  return decided == n ? 1 : -1;
}
}  // namespace

int zsat::des_emag(int n) { return decideFromList(*this, n, exist_vars, exist_vals, 1); }
int zsat::des_umag(int n) { return decideFromList(*this, n, univ_vars, univ_vals, -1); }

int zsat::final_check_() const {
  for (const formula_clause& c : clause_recs) {
    bool satisfied = false;
    for (int s = c.begin; s < c.begin + c.size && !satisfied; ++s)
      satisfied = member_sign[s] * var_vals[members[s]] == 1;
    if (!satisfied) return -1;
  }
  return 1;
}

int zsat::des_verify_solution() {
  if (var_vals.size() != var_recs.size()) var_vals.assign(var_recs.size(), 0);
  for (std::size_t i = 0; i < univ_vars.size() && i < univ_vals.size(); ++i) var_vals[univ_vars[i]] = univ_vals[i];
  for (std::size_t i = 0; i < exist_vars.size() && i < exist_vals.size(); ++i) var_vals[exist_vars[i]] = exist_vals[i];
  return final_check_();
}

int zsat::des_bp_mix(double eps, int maxiter) {
  for (formula_var& r : var_recs) r.fixed_value = 0;
  bp_init_random();
  des_vars.clear();
  des_vals.clear();
  // Undecided variables read as 0: they satisfy no clause in the final check.
  var_vals.assign(var_recs.size(), 0);
  for (std::size_t b = 0; b < prefix_blocks.size(); ++b) {
    const std::vector<int>& block = prefix_blocks[b];
    const int type = block_types[b];
    for (std::size_t k = 0; k < block.size(); ++k) {
      bp_converge(eps, maxiter, 0);
      const int p = polarisation_pick_(block.data(), static_cast<int>(block.size()));
      if (p < 0) {
        std::cout << "BP decimation: UNSAT" << std::endl;
        return -1;
      }
      const int s = favoured(var_recs[p]);
      const int value = type == 1 ? s : -s;
      var_recs[p].fixed_value = value;
      var_vals[p] = value;
      des_vars.push_back(p);
      des_vals.push_back(value);
    }
    const double S = bp_get_entropy();
    if (std::isnan(S)) {
      std::cout << "BP decimation: UNSAT\ncontradiction" << std::endl;
      return 1;
    }
    std::cout << "after " << (type == 1 ? "E" : "U") << " decimation, s=" << S << std::endl;
  }
  if (final_check_() < 0) {
    std::cout << "BP decimation: UNSAT\ncontradiction" << std::endl;
    return 1;
  }
  std::cout << "BP decimation: SAT" << std::endl;
  return -1;
}

}  // namespace vorn
