// Survey propagation on the store, with its decimations.
//
// Mezard, Parisi, Zecchina, "Analytic and Algorithmic Solution of Random
// Satisfiability Problems", Science 297, 2002; Braunstein, Mezard,
// Zecchina, "Survey Propagation: An Algorithm for Satisfiability", Random
// Structures and Algorithms 27(2), 2005.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <utility>

#include "bp/LeftOutProduct.h"
#include "bp/BpFormula.h"
#include "input/FatalError.h"

namespace vorn {

namespace {
constexpr double kTiny = 1e-100;
}

void zsat::sp_init_structure() {
  assert(!cells_active_);  // the literals are gone
  const std::size_t edges = occ_clause.size();
  sp_vars.assign(var_recs.size(), sp_var());
  sp_T.assign(edges, 0.0);
  sp_F.assign(edges, 0.0);
  sp_eta.assign(edges, 0.0);
  sp_cavT.assign(edges, 0.0);
  sp_cavF.assign(edges, 0.0);
  sp_cav0.assign(edges, 1.0);
}

void zsat::sp_init_random() {
  if (sp_vars.size() != var_recs.size() || sp_T.size() != occ_clause.size()) sp_init_structure();
  for (std::size_t e = 0; e < sp_T.size(); ++e) {
    sp_T[e] = rng->rdflt();
    sp_F[e] = rng->rdflt() * (1.0 - sp_T[e]);
  }
}

// What a member contributes to the survey of its clause: the weight that it
// is forced to violate the clause.
double zsat::sp_factor_(int w, int f) const {
  const int J = occ_sign[f];
  const int fixed = sp_vars[w].sp_fixed;
  if (fixed * J == 1) return 0.0;
  if (fixed != 0) return 1.0;
  return J < 0 ? sp_T[f] : sp_F[f];
}

double zsat::sp_member_factor_(int slot) const { return sp_factor_(members[slot], member_edge[slot]); }

void zsat::sp_long_rebuild_() {
  for (std::size_t l = 0; l < long_clauses_.size(); ++l) {
    const formula_clause& c = clause_recs[long_clauses_[l]];
    RunningProduct& prod = sp_long_prod_[l];
    prod.clear();
    for (int s = c.begin; s < c.begin + c.size; ++s) prod.include(sp_member_factor_(s), 1);
  }
}

double zsat::sp_iterate() {
  const int n = static_cast<int>(var_recs.size());
  if (n < 1) return 0.0;
  if (sp_vars.size() != var_recs.size() || sp_T.size() != occ_clause.size()) sp_init_structure();
  shuffle_perm_();
  // Long clauses as in bp_iterate: running products, rebuilt every sweep.
  sp_long_rebuild_();
  double maxdiff = 0.0;
  for (int i = 0; i < n; ++i) {
    const int v = perm[i];
    const formula_var& r = var_recs[v];
    const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
    double P1 = 1.0, P2 = 1.0;
    int lastFirst = -1;
    double lastProd = 1.0;
    for (int e = e0; e < e1; ++e) {
      const formula_clause& c = clause_recs[occ_clause[e]];
      double prod = 1.0;
      if (c.size <= kExactClauseSize) {
        for (int s = c.begin; s < c.begin + c.size; ++s)
          if (members[s] != v) prod *= sp_member_factor_(s);
      } else {
        const int f = long_first_[e];
        if (f != lastFirst) {
          lastFirst = f;
          lastProd = sp_long_prod_[long_index_[occ_clause[e]]].without(sp_factor_(v, f), long_mult_[f]);
        }
        prod = lastProd;
      }
      sp_eta[e] = prod;
      if (occ_sign[e] > 0)
        P1 *= 1.0 - prod;
      else
        P2 *= 1.0 - prod;
    }
    sp_var& sv = sp_vars[v];
    sv.PT = (1.0 - P1) * P2;
    sv.PF = (1.0 - P2) * P1;
    sv.P0 = P1 * P2;
    const double all = sv.PT + sv.PF + sv.P0;
    sv.Wp = sv.PT / all;
    sv.Wm = sv.PF / all;
    LeftOutProduct leftOut(occ_sign.data(), e0, e1, [this](int o) { return 1.0 - sp_eta[o]; });
    for (int e = e0; e < e1; ++e) {
      const bool tracked = long_tracked_(e);
      RunningProduct* prod = tracked ? &sp_long_prod_[long_index_[occ_clause[e]]] : nullptr;
      if (tracked) prod->exclude(sp_factor_(v, e), long_mult_[e]);
      const double x = 1.0 - sp_eta[e];
      double p1, p2;
      if (x > kTiny) {
        p1 = occ_sign[e] > 0 ? P1 / x : P1;
        p2 = occ_sign[e] < 0 ? P2 / x : P2;
      } else if (occ_sign[e] > 0) {
        // Without occurrence e; the other sign's product is P2 bit for bit.
        p1 = leftOut(e);
        p2 = P2;
      } else {
        p1 = P1;
        p2 = leftOut(e);
      }
      sp_cavT[e] = (1.0 - p1) * p2;
      sp_cavF[e] = (1.0 - p2) * p1;
      sp_cav0[e] = p1 * p2;
      const double S = sp_cavT[e] + sp_cavF[e] + sp_cav0[e];
      const double t = sp_cavT[e] / S, f = sp_cavF[e] / S;
      if (!std::isfinite(t) || !std::isfinite(f)) {
        throw FatalError(255, "divergence in sp_iterate()!!!\n",
                         "survey propagation: the survey of variable " + std::to_string(v + 1) + " is not a number\n");
      }
      const double d = std::fabs(sp_T[e] - t);
      sp_T[e] = t;
      sp_F[e] = f;
      if (d > maxdiff) maxdiff = d;
      if (tracked) prod->include(sp_factor_(v, e), long_mult_[e]);
    }
  }
  return maxdiff;
}

int zsat::sp_converge(double eps, int maxiter, int miniter) {
  if (verbose > 0) std::cout << "sp: " << std::flush;
  for (int iter = 0; iter < maxiter; ++iter) {
    const double d = sp_iterate();
    if (iter % 10 == 1) {
      if (verbose == 1)
        std::cout << "." << std::flush;
      else if (verbose == 2)
        std::cout << d << " " << std::flush;
    }
    if (iter > miniter && d < eps) {
      if (verbose > 0) std::cout << ":) " << std::endl;
      return 1;
    }
  }
  if (verbose > 0) std::cout << " :(-" << std::endl;
  return -1;
}

double zsat::sp_get_complexity() const {
  if (var_recs.empty() || sp_vars.size() != var_recs.size()) return 0.0;
  double A = 0.0, B = 0.0;
  for (std::size_t v = 0; v < var_recs.size(); ++v) {
    const sp_var& sv = sp_vars[v];
    if (var_recs[v].deg >= 1 && sv.sp_fixed == 0) A += std::log(sv.PT + sv.PF + sv.P0);
  }
  for (const formula_clause& c : clause_recs) {
    double Q = 1.0;
    for (int s = c.begin; s < c.begin + c.size; ++s) Q *= sp_member_factor_(s);
    B += std::log(1.0 - Q);
  }
  return (A - 2.0 * B) / static_cast<double>(var_recs.size());
}

// mode 0: fix the favoured value and record it by quantifier; mode 1:
// fix -1 and record the disfavoured value. The key does not change while
// deciding (SP is not re-run), so the repeated strict-minimum scan is the
// order by key, ties to the smaller index.
template <class Key>
int zsat::sp_decimate_(int n, Key key, int mode) {
  if (n <= 0) return 1;
  if (var_recs.empty() || sp_vars.size() != var_recs.size()) return -1;
  std::vector<std::pair<double, int>> ranked;
  for (int v = 0; v < static_cast<int>(sp_vars.size()); ++v) {
    if (sp_vars[v].sp_fixed != 0) continue;
    const double k = key(sp_vars[v]);
    if (k < 100.0) ranked.emplace_back(k, v);  // NaN is never below best
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const std::pair<double, int>& a, const std::pair<double, int>& b) { return a.first < b.first; });
  const int count = std::min<int>(n, static_cast<int>(ranked.size()));
  for (int i = 0; i < count; ++i) {
    const int v = ranked[i].second;
    sp_var& sv = sp_vars[v];
    const int s = sv.Wp > sv.Wm ? 1 : -1;
    des_vars.push_back(v);
    if (mode == 0) {
      sv.sp_fixed = s;
      des_vals.push_back(vtypes[v] == 1 ? s : -s);
    } else {
      sv.sp_fixed = -1;
      des_vals.push_back(-s);
    }
  }
  return count == n ? 1 : -1;
}

int zsat::sp_des_allmag(int n) {
  return sp_decimate_(n, [](const sp_var& s) { return 1.0 - std::max(s.Wp, s.Wm); }, 0);
}

int zsat::sp_des_allmag_balance(int n) {
  return sp_decimate_(n, [](const sp_var& s) { return 1.0 - s.Wp * s.Wm; }, 0);
}

int zsat::sp_des_allmag_inverse(int n) {
  return sp_decimate_(n, [](const sp_var& s) { return 1.0 - std::max(s.Wp, s.Wm); }, 1);
}

}  // namespace vorn
