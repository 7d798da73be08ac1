// Belief propagation with warning propagation alongside, on the store.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <iostream>
#include <utility>

#include "bp/LeftOutProduct.h"
#include "bp/BpFormula.h"

namespace vorn {

namespace {
// Below this a cavity product cannot come from dividing out one factor.
constexpr double kTiny = 1e-100;

enum FactorKind { kZero, kPlain, kOdd };

// +0; in (0, 1]; anything else (NaN, -0, negative, above 1).
inline FactorKind factorKind(double x) {
  if (x > 0.0 && x <= 1.0) return kPlain;
  return x == 0.0 && !std::signbit(x) ? kZero : kOdd;
}

inline void tallyFactor(clause_tally& t, double x, int times) {
  const FactorKind k = factorKind(x);
  if (k == kZero) t.zeros += times;
  if (k == kOdd) t.odd += times;
}

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

void zsat::bp_init_structure() {
  // Defined starting values, so that a ranking taken before any sweep (a
  // sweep budget of 0) depends on the formula alone.
  tally_fresh_ = false;
  assert(!messages_released_);
  if (cells_wanted_() && !cells_active_ && cells_fit_()) cells_build_();
  if (cells_active_) {
    edge_messages_kept_ = false;
    cells_start_(0.5, false);
  } else {
    const std::size_t edges = occ_clause.size();
    eta.assign(edges, 0.5);
    h.assign(edges, 0);
    edge_messages_kept_ = keep_edge_messages;
    if (edge_messages_kept_) {
      pi.assign(edges, 0.0);
      WT_cav.assign(edges, 1.0);
      WF_cav.assign(edges, 1.0);
      u.assign(edges, 0);
    } else {
      std::vector<double>().swap(pi);
      std::vector<double>().swap(WT_cav);
      std::vector<double>().swap(WF_cav);
      std::vector<int8_t>().swap(u);
    }
  }
  int mostEdges = 0;
  for (const formula_var& r : var_recs) mostEdges = std::max(mostEdges, r.deg);
  visit_pi_.assign(edge_messages_kept_ ? 0 : mostEdges, 0.0);
  visit_u_.assign(edge_messages_kept_ ? 0 : mostEdges, 0);
  for (formula_var& r : var_recs) {
    r.WT = 1.0;
    r.WF = 1.0;
    r.H = 0;
  }
}

void zsat::bp_init_random() {
  assert(!messages_released_);
  if (cells_active_) {
    tally_fresh_ = false;
    cells_start_(0.0, true);
    return;
  }
  if (eta.size() != occ_clause.size()) bp_init_structure();
  tally_fresh_ = false;
  for (std::size_t e = 0; e < eta.size(); ++e) {
    eta[e] = rng->rdflt();
    h[e] = rng->rdflt() > 0.5 ? 1 : -1;
  }
}

void zsat::shuffle_perm_() {
  const int n = static_cast<int>(var_recs.size());
  perm.resize(n);
  for (int i = 0; i < n; ++i) perm[i] = i;
  for (int i = 0; i < n; ++i) {
    int k = n - i;
    double r = rng->rdflt();
    int idx = static_cast<int>(r * k);
    if (idx >= k) idx = k - 1;  // r < 1; guards a rounding slip only
    std::swap(perm[idx], perm[k - 1]);
  }
}

void zsat::bp_tally_rebuild_() {
  settled_.assign(var_recs.size(), 0);
  if (slot_factor_.empty()) {
    tally_fresh_ = true;
    return;
  }
  for (std::size_t c = 0; c < clause_recs.size(); ++c) {
    const formula_clause& r = clause_recs[c];
    if (r.size > kExactClauseSize) continue;
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      const int f = member_edge[s];
      slot_factor_[s] = bp_factor_(f);
      set_slot_blocks_(slot_flags_[s], bp_blocks_(f));
    }
    if (!is_short_(r)) continue;
    clause_tally t;
    t.prefix_end = r.begin;
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      tallyFactor(t, slot_factor_[s], 1);
      t.blocking += (slot_flags_[s] & kSlotBlocks) != 0;
    }
    tally_[c] = t;
  }
  tally_fresh_ = true;
}

bool zsat::bp_tally_matches_() const {
  for (std::size_t c = 0; c < clause_recs.size() && !slot_factor_.empty(); ++c) {
    const formula_clause& r = clause_recs[c];
    if (r.size > kExactClauseSize) continue;
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      const int f = member_edge[s];
      if (!sameBits(bp_factor_(f), slot_factor_[s])) return false;
      if (((slot_flags_[s] & kSlotBlocks) != 0) != bp_blocks_(f)) return false;
    }
    if (!is_short_(r)) continue;
    clause_tally t;
    double prefix = 1.0;
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      const int f = member_edge[s];
      const double x = bp_factor_(f);
      if (!sameBits(x, slot_factor_[s])) return false;
      if (s <= tally_[c].prefix_end && !sameBits(prefix, slot_prefix_[s])) return false;
      prefix *= x;
      tallyFactor(t, x, 1);
      t.blocking += bp_blocks_(f);
    }
    if (t.zeros != tally_[c].zeros || t.odd != tally_[c].odd || t.blocking != tally_[c].blocking) return false;
    if (tally_[c].prefix_end < r.begin || tally_[c].prefix_end > r.begin + r.size) return false;
  }
  if (settled_.size() != var_recs.size()) return false;
  for (std::size_t v = 0; v < var_recs.size(); ++v) {
    if (settled_[v] == 0) continue;
    const double T = settled_[v] > 0 ? 1.0 : 0.0;
    const formula_var& r = var_recs[v];
    for (int e = r.occ_begin; e < r.occ_begin + r.deg; ++e)
      if (!(eta[e] == T && (!edge_messages_kept_ || (WT_cav[e] == T && WF_cav[e] == 1.0 - T)))) return false;
  }
  return true;
}

inline void zsat::bp_store_factor_(int edge, int slot, double x) {
  if (slot == kNoReader) return;
  if (slot == kSeveralReaders) {
    bp_store_repeated_factor_(edge, x);
    return;
  }
  double& old = slot_factor_[slot];
  if (sameBits(old, x)) return;
  if (!(slot_flags_[slot] & kSlotShort)) {
    old = x;
    return;
  }
  const FactorKind was = factorKind(old), is = factorKind(x);
  old = x;
  clause_tally& t = tally_[occ_clause[edge]];
  if (t.prefix_end > slot) t.prefix_end = slot;
  t.zeros += (is == kZero) - (was == kZero);
  t.odd += (is == kOdd) - (was == kOdd);
}

// Every slot of the variable in the clause reads its first edge.
void zsat::bp_store_repeated_factor_(int edge, double x) {
  const formula_clause& c = clause_recs[occ_clause[edge]];
  const bool isShort = is_short_(c);
  for (int s = c.begin; s < c.begin + c.size; ++s) {
    if (member_edge[s] != edge) continue;
    if (isShort) {
      clause_tally& t = tally_[occ_clause[edge]];
      tallyFactor(t, slot_factor_[s], -1);
      tallyFactor(t, x, 1);
      if (t.prefix_end > s) t.prefix_end = s;
    }
    slot_factor_[s] = x;
  }
}

void zsat::bp_store_repeated_warning_(int edge, bool blocks) {
  const formula_clause& c = clause_recs[occ_clause[edge]];
  int readers = 0;
  for (int s = c.begin; s < c.begin + c.size; ++s) {
    if (member_edge[s] != edge) continue;
    ++readers;
    set_slot_blocks_(slot_flags_[s], blocks);
  }
  if (is_short_(c)) tally_[occ_clause[edge]].blocking += blocks ? readers : -readers;
}

inline void zsat::bp_store_warning_(int edge, int slot, int hNew) {
  if (slot == kNoReader) {
    h[edge] = hNew;
    return;
  }
  const bool blockedBefore = bp_blocks_(edge);
  h[edge] = hNew;
  const bool blocks = bp_blocks_(edge);
  if (blocks == blockedBefore) return;
  if (slot == kSeveralReaders) {
    bp_store_repeated_warning_(edge, blocks);
    return;
  }
  uint8_t& flags = slot_flags_[slot];
  set_slot_blocks_(flags, blocks);
  if (flags & kSlotShort) tally_[occ_clause[edge]].blocking += blocks ? 1 : -1;
}

void zsat::bp_long_rebuild_() {
  for (std::size_t l = 0; l < long_clauses_.size(); ++l) {
    const formula_clause& c = clause_recs[long_clauses_[l]];
    RunningProduct& prod = bp_long_prod_[l];
    int blocking = 0;
    prod.clear();
    for (int s = c.begin; s < c.begin + c.size; ++s) {
      const int f = member_edge[s];
      prod.include(bp_factor_(f), 1);
      blocking += bp_blocks_(f);
    }
    bp_long_blocking_[l] = blocking;
  }
}

// Before eta or h of a tracked edge change: its members leave the products.
void zsat::bp_long_leave_(int edge) {
  const int l = long_index_[occ_clause[edge]];
  bp_long_prod_[l].exclude(bp_factor_(edge), long_mult_[edge]);
  if (bp_blocks_(edge)) bp_long_blocking_[l] -= long_mult_[edge];
}

void zsat::bp_long_enter_(int edge) {
  const int l = long_index_[occ_clause[edge]];
  bp_long_prod_[l].include(bp_factor_(edge), long_mult_[edge]);
  if (bp_blocks_(edge)) bp_long_blocking_[l] += long_mult_[edge];
}

// A fixed variable sends its value on every edge.
void zsat::bp_fix_var_(int v) {
  formula_var& r = var_recs[v];
  const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
  const bool t = r.fixed_value > 0;
  r.WT = t ? 1.0 : 0.0;
  r.WF = t ? 0.0 : 1.0;
  if (settled_[v] == r.fixed_value) {
    // Its edges hold these messages already; only the running products
    // see the member leave and enter again, as their rounding did.
    if (!long_clauses_.empty())
      for (int e = e0; e < e1; ++e)
        if (long_tracked_(e)) {
          bp_long_leave_(e);
          bp_long_enter_(e);
        }
    return;
  }
  settled_[v] = static_cast<int8_t>(r.fixed_value);
  for (int e = e0; e < e1; ++e) {
    const bool tracked = long_tracked_(e);
    if (tracked) bp_long_leave_(e);
    eta[e] = r.WT;
    if (edge_messages_kept_) {
      WT_cav[e] = r.WT;
      WF_cav[e] = r.WF;
    }
    if (tracked) bp_long_enter_(e);
    bp_store_factor_(e, slot_of_(e), bp_factor_(e));
  }
}

// The clause's message to v over edge e: the product of the other members'
// factors, and whether none of them blocks its warning. One helper per
// clause-size regime.

// Plain clause: multiplied out straight from eta.
inline double zsat::bp_plain_cavity_(int v, const formula_clause& c, int& warn) const {
  double prod = 1.0;
  warn = 1;
  for (int s = c.begin; s < c.begin + c.size; ++s) {
    if (members[s] == v) continue;
    const int f = member_edge[s];
    const int J = occ_sign[f];
    prod *= J > 0 ? 1.0 - eta[f] : eta[f];
    if (warn && J * h[f] >= 0) warn = 0;
  }
  return prod;
}

// Plain clause of an edge that is the one reader of its slot own: from the
// clause's slots, in slot order. v stands in the clause only there (a
// variable met twice in a clause has no such edge), so the others are the
// slots around own.
inline double zsat::bp_plain_slot_cavity_(int own, int& warn) const {
  const uint8_t flags = slot_flags_[own];
  const int begin = own - plain_slot_place_(flags), end = begin + plain_slot_size_(flags);
  double prod = 1.0;
  warn = 1;
  for (int s = begin; s < end; ++s) {
    if (s == own) continue;
    prod *= slot_factor_[s];
    if (slot_flags_[s] & kSlotBlocks) warn = 0;
  }
  return prod;
}

// Short clause: from the slot factors and their tally, in slot order.
inline double zsat::bp_short_cavity_(int v, int e, const formula_clause& c, int& warn) {
  const double* factor = slot_factor_.data();
  double* prefix = slot_prefix_.data();
  double prod = 1.0;
  warn = 1;
  const int own = edge_slot_[e];
  if (own < 0) {
    for (int s = c.begin; s < c.begin + c.size; ++s) {
      if (members[s] == v) continue;
      prod *= factor[s];
      if (warn && bp_blocks_(member_edge[s])) warn = 0;
    }
    return prod;
  }
  // v is this one member: the others are the slots around it.
  clause_tally& t = tally_[occ_clause[e]];
  warn = t.blocking - bp_blocks_(e) == 0;
  bool zeroAmongOthers = false;
  if (t.zeros > 0) {
    const FactorKind kind = factorKind(factor[own]);
    zeroAmongOthers = t.odd - (kind == kOdd) == 0 && t.zeros - (kind == kZero) > 0;
  }
  if (zeroAmongOthers) return 0.0;
  // The slots before own from the cached prefix, extended to own.
  if (t.prefix_end < own) {
    double p = prefix[t.prefix_end];
    for (int s = t.prefix_end; s < own; ++s) {
      p *= factor[s];
      prefix[s + 1] = p;
    }
    t.prefix_end = own;
  }
  prod = prefix[own];
  for (int s = own + 1; s < c.begin + c.size; ++s) prod *= factor[s];
  return prod;
}

// Long clause: the running product without v's members. The edges of v in
// one long clause share one answer, kept in share.
inline double zsat::bp_long_cavity_(int e, long_share_& share, int& warn) const {
  const int f = long_first_[e];
  if (f != share.first) {
    // Every member of v reads v's first edge: take them all out.
    const int l = long_index_[occ_clause[e]];
    const int own = long_mult_[f];
    share.first = f;
    share.prod = bp_long_prod_[l].without(bp_factor_(f), own);
    share.warn = bp_long_blocking_[l] - (bp_blocks_(f) ? own : 0) == 0;
  }
  warn = share.warn;
  return share.prod;
}

// Sends v's cavity messages on its edges from the clause messages in pi
// and u; returns the largest change of eta (a NaN change never raises it).
double zsat::bp_send_messages_(int v, double WT, double WF, int H, const edge_messages_& in) {
  const formula_var& r = var_recs[v];
  const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
  double maxdiff = 0.0;
  LeftOutProduct leftOut(occ_sign.data(), e0, e1, [&in](int o) { return 1.0 - in.pi[o - in.base]; });
  for (int e = e0; e < e1; ++e) {
    const bool tracked = long_tracked_(e);
    if (tracked) bp_long_leave_(e);
    const int J = occ_sign[e];
    const int slot = slot_of_(e);
    bp_store_warning_(e, slot, H - J * in.u[e - in.base]);
    const double x = 1.0 - in.pi[e - in.base];
    double T, F;
    if (x > kTiny) {
      T = J > 0 ? WT : WT / x;
      F = J > 0 ? WF / x : WF;
    } else if (J > 0) {
      // The products without occurrence e: of the other sign that is all
      // of them, which WT already is, bit for bit.
      T = WT;
      F = leftOut(e);
    } else {
      T = leftOut(e);
      F = WF;
    }
    const double m = T / (T + F);
    const double d = std::fabs(eta[e] - m);
    eta[e] = m;
    if (edge_messages_kept_) {
      WT_cav[e] = T;
      WF_cav[e] = F;
    }
    if (d > maxdiff) maxdiff = d;
    if (tracked) bp_long_enter_(e);
    bp_store_factor_(e, slot, J > 0 ? 1.0 - m : m);
  }
  return maxdiff;
}

// One visit of an open variable: the clause messages in, its fields, and
// its messages out.
double zsat::bp_update_open_var_(int v) {
  formula_var& r = var_recs[v];
  const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
  settled_[v] = 0;
  double WT = 1.0, WF = 1.0;
  int H = 0;
  long_share_ share;
  if (!edge_messages_kept_ && visit_pi_.size() < static_cast<std::size_t>(r.deg)) {
    visit_pi_.resize(r.deg);
    visit_u_.resize(r.deg);
  }
  const edge_messages_ in = edge_messages_kept_ ? edge_messages_{pi.data(), u.data(), 0}
                                                : edge_messages_{visit_pi_.data(), visit_u_.data(), e0};
  for (int e = e0; e < e1; ++e) {
    int warn = 1;
    double prod;
    const int own = slot_of_(e);
    if (own >= 0 && !(slot_flags_[own] & kSlotShort)) {
      prod = bp_plain_slot_cavity_(own, warn);
    } else {
      const formula_clause& c = clause_recs[occ_clause[e]];
      if (c.size <= kPlainClauseSize)
        prod = bp_plain_cavity_(v, c, warn);
      else if (c.size <= kExactClauseSize)
        prod = bp_short_cavity_(v, e, c, warn);
      else
        prod = bp_long_cavity_(e, share, warn);
    }
    in.pi[e - in.base] = prod;
    in.u[e - in.base] = static_cast<int8_t>(warn);
    if (occ_sign[e] > 0)
      WF *= 1.0 - prod;
    else
      WT *= 1.0 - prod;
    H += warn * occ_sign[e];
  }
  r.WT = WT;
  r.WF = WF;
  r.H = H;
  return bp_send_messages_(v, WT, WF, H, in);
}

double zsat::bp_iterate() {
  const int n = static_cast<int>(var_recs.size());
  if (n < 1) return 0.0;
  assert(!messages_released_);
  if (cells_active_) return cells_iterate_();
  if (eta.size() != occ_clause.size()) bp_init_structure();
  shuffle_perm_();
  // From the current messages, so that the drift of dividing factors out
  // lasts one sweep at most.
  bp_long_rebuild_();
  if (!tally_fresh_) bp_tally_rebuild_();
  assert(bp_tally_matches_());
  double maxdiff = 0.0;
  for (int i = 0; i < n; ++i) {
    const int v = perm[i];
    if (var_recs[v].fixed_value != 0) {
      bp_fix_var_(v);
      continue;
    }
    const double d = bp_update_open_var_(v);
    if (d > maxdiff) maxdiff = d;
  }
  return maxdiff;
}

void zsat::bp_converge(double eps, int maxiter, int miniter) {
  if (verbose > 0) std::cout << "bp: " << std::flush;
  bool converged = false;
  for (int iter = 0; iter < maxiter; ++iter) {
    const double d = bp_iterate();
    if (iter % 10 == 1) {
      if (verbose == 1)
        std::cout << "." << std::flush;
      else if (verbose == 2)
        std::cout << d << " " << std::flush;
    }
    if (iter > miniter && d < eps) {
      converged = true;
      break;
    }
  }
  if (verbose <= 0) return;
  if (!converged) {
    std::cout << " :(" << std::endl;
    return;
  }
  long wp = 0, bp = 0;
  double sum = 0.0;
  for (const formula_var& r : var_recs) {
    if (r.H != 0) ++wp;
    const double m = r.WT / (r.WT + r.WF);
    if (1.0 - m < kTiny || 1.0 - r.WF / (r.WT + r.WF) < kTiny) ++bp;
    sum += m;
  }
  // Fractions of the variable count; a formula without variables has none.
  const double n = static_cast<double>(var_recs.size());
  const double fwp = n > 0 ? wp / n : 0.0;
  const double fbp = n > 0 ? bp / n : 0.0;
  const double mag = n > 0 ? 2.0 * sum / n - 1.0 : 0.0;
  std::cout << ":) pf_wp=" << fwp << " pf_bp=" << fbp << " m=" << mag << std::endl;
}

void zsat::release_edge_messages_() {
  std::vector<double>().swap(eta);
  std::vector<int>().swap(h);
  std::vector<double>().swap(pi);
  std::vector<double>().swap(WT_cav);
  std::vector<double>().swap(WF_cav);
  std::vector<int8_t>().swap(u);
  std::vector<double>().swap(slot_factor_);
  std::vector<uint8_t>().swap(slot_flags_);
  std::vector<double>().swap(slot_prefix_);
  std::vector<clause_tally>().swap(tally_);
}

void zsat::bp_release_messages() {
  release_edge_messages_();
  std::vector<double>().swap(visit_pi_);
  std::vector<int8_t>().swap(visit_u_);
  std::vector<int8_t>().swap(settled_);
  std::vector<bp_cell_>().swap(cells_);
  std::vector<int>().swap(edge_cell_);
  tally_fresh_ = false;
  messages_released_ = true;
  return_freed_memory_();
}

double zsat::bp_get_entropy() const {
  if (var_recs.empty()) return 0.0;
  assert(!cells_active_ && !messages_released_);
  assert(edge_messages_kept_);
  const double kLn2 = 0.6931471805599453;
  double vars = 0.0;
  for (const formula_var& r : var_recs) {
    if (r.deg == 0 && r.fixed_value == 0)
      vars += kLn2;
    else
      vars += (1.0 - r.deg) * std::log(r.WT + r.WF);
  }
  double clauses = 0.0, edges = 0.0;
  for (const formula_clause& c : clause_recs) {
    double P = 1.0;
    for (int s = c.begin; s < c.begin + c.size; ++s) {
      const int f = member_edge[s];
      P *= occ_sign[f] > 0 ? 1.0 - eta[f] : eta[f];
      edges += std::log(WT_cav[f] + WF_cav[f]);
    }
    clauses += std::log(1.0 - P);
  }
  return (vars + clauses + edges) / static_cast<double>(var_recs.size());
}

}  // namespace vorn
