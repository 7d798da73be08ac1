// Belief propagation on cells: the sweep of BeliefPropagation.cpp for a
// formula of small clauses of distinct variables, with the clause's side
// of every edge in its clause's cell. Same products in the same order, so
// the same bits; fewer bytes per edge and one cache line per clause read.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "bp/BpFormula.h"
#include "bp/LeftOutProduct.h"

namespace vorn {

namespace {
constexpr double kTiny = 1e-100;  // as in the sweep on the store

// How far ahead of the visit the variable's record, then its edges, then
// its clauses are fetched: the visiting order is random, so each of them is
// a cache miss that the visits in between hide.
constexpr int kRecordAhead = 16;
constexpr int kEdgesAhead = 8;
constexpr int kCellsAhead = 4;
constexpr int kMostCellsFetched = 16;

inline void setBit(uint8_t& bits, int place, bool on) {
  const uint8_t bit = static_cast<uint8_t>(1u << place);
  bits = static_cast<uint8_t>(on ? bits | bit : bits & ~bit);
}
}  // namespace

bool zsat::cells_fit_() const {
  if (clause_recs.size() >= kMostCellClauses) return false;
  if (!long_clauses_.empty()) return false;
  for (const formula_clause& c : clause_recs) {
    if (c.size > kCellClauseSize) return false;
    for (int s = c.begin + 1; s < c.begin + c.size; ++s)
      for (int t = c.begin; t < s; ++t)
        if (members[s] == members[t]) return false;
  }
  return true;
}

void zsat::cells_build_() {
  assert(cells_fit_());
  // What the cells replace goes first, so that it and they do not add up.
  std::vector<int>().swap(members);
  std::vector<int>().swap(add_clause_);
  std::vector<int>().swap(add_lit_);
  std::vector<int>().swap(edge_slot_);
  release_edge_messages_();

  cells_.assign(clause_recs.size(), bp_cell_{});
  // An edge's clause becomes its cell code in place.
  for (std::size_t c = 0; c < clause_recs.size(); ++c) {
    const formula_clause& r = clause_recs[c];
    bp_cell_& cell = cells_[c];
    cell.size = static_cast<uint8_t>(r.size);
    for (int k = 0; k < r.size; ++k) {
      const int s = r.begin + k;
      // Distinct variables: each slot's first occurrence is its own edge.
      const int e = member_edge[s];
      assert(occ_clause[e] == static_cast<int>(c));
      occ_clause[e] = cell_code_(c, k);
      if (member_sign[s] > 0) cell.positive = static_cast<uint8_t>(cell.positive | 1u << k);
    }
  }
  edge_cell_.swap(occ_clause);
  std::vector<int>().swap(occ_clause);
  std::vector<int8_t>().swap(member_sign);
  std::vector<int>().swap(member_edge);
  std::vector<formula_clause>().swap(clause_recs);
  cells_active_ = true;
  return_freed_memory_();
}

bool zsat::formula_cells_from(const int32_t* lits, const std::size_t* ends, std::size_t clauses) {
  if (!cells_wanted_() || !add_lit_.empty() || clauses != clause_recs.size() || clauses >= kMostCellClauses)
    return false;
  const long long n = static_cast<long long>(var_recs.size());
  std::size_t begin = 0;
  for (std::size_t c = 0; c < clauses; ++c) {
    const std::size_t size = ends[c] - begin;
    if (size > static_cast<std::size_t>(kCellClauseSize)) return false;
    long long vars[kCellClauseSize];
    for (std::size_t k = 0; k < size; ++k) {
      const int32_t lit = lits[begin + k];
      vars[k] = lit < 0 ? -static_cast<long long>(lit) : lit;
      if (vars[k] < 1 || vars[k] > n) return false;
      for (std::size_t j = 0; j < k; ++j)
        if (vars[j] == vars[k]) return false;
    }
    begin = ends[c];
  }
  const std::size_t total = begin;
  if (total > static_cast<std::size_t>(INT32_MAX)) return false;

  // The edges in the order formula_vector2array gives them: by variable,
  // then in reading order.
  std::vector<formula_clause>().swap(clause_recs);
  for (formula_var& r : var_recs) r.deg = 0;
  for (std::size_t i = 0; i < total; ++i) ++var_recs[std::abs(lits[i]) - 1].deg;
  int edge = 0;
  for (formula_var& r : var_recs) {
    r.occ_begin = edge;
    edge += r.deg;
  }
  cells_.assign(clauses, bp_cell_{});
  edge_cell_.assign(total, 0);
  occ_sign.assign(total, 0);
  std::vector<int> fill(var_recs.size(), 0);
  begin = 0;
  for (std::size_t c = 0; c < clauses; ++c) {
    bp_cell_& cell = cells_[c];
    cell.size = static_cast<uint8_t>(ends[c] - begin);
    for (int k = 0; k < cell.size; ++k) {
      const int32_t lit = lits[begin + k];
      const int v = std::abs(lit) - 1;
      const int e = var_recs[v].occ_begin + fill[v]++;
      edge_cell_[e] = cell_code_(c, k);
      occ_sign[e] = lit > 0 ? 1 : -1;
      if (lit > 0) cell.positive = static_cast<uint8_t>(cell.positive | 1u << k);
    }
    begin = ends[c];
  }
  cells_active_ = true;
  return true;
}

// Every edge's eta and warning field, in edge order: eta0 and h = 0, or
// drawn as bp_init_random draws them.
void zsat::cells_start_(double eta0, bool random) {
  for (std::size_t e = 0; e < edge_cell_.size(); ++e) {
    bp_cell_& cell = cells_[cell_of_(edge_cell_[e])];
    const int place = place_of_(edge_cell_[e]);
    double x = eta0;
    int hv = 0;
    if (random) {
      x = rng->rdflt();
      hv = rng->rdflt() > 0.5 ? 1 : -1;
    }
    cell.eta[place] = x;
    setBit(cell.blocks, place, occ_sign[e] * hv >= 0);
  }
}

void zsat::cells_fix_var_(int v) {
  formula_var& r = var_recs[v];
  const bool t = r.fixed_value > 0;
  r.WT = t ? 1.0 : 0.0;
  r.WF = t ? 0.0 : 1.0;
  if (settled_[v] == r.fixed_value) return;
  settled_[v] = static_cast<int8_t>(r.fixed_value);
  for (int e = r.occ_begin; e < r.occ_begin + r.deg; ++e) cells_[cell_of_(edge_cell_[e])].eta[place_of_(edge_cell_[e])] = r.WT;
}

// bp_update_open_var_ and bp_send_messages_ for cells.
double zsat::cells_visit_(int v) {
  formula_var& r = var_recs[v];
  const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
  settled_[v] = 0;
  if (visit_pi_.size() < static_cast<std::size_t>(r.deg)) {
    visit_pi_.resize(r.deg);
    visit_u_.resize(r.deg);
  }
  double* pin = visit_pi_.data();
  int8_t* uin = visit_u_.data();
  const int* code = edge_cell_.data() + e0;
  const int8_t* sign = occ_sign.data();
  double WT = 1.0, WF = 1.0;
  int H = 0;
  for (int i = 0; i < r.deg; ++i) {
    const bp_cell_& cell = cells_[cell_of_(code[i])];
    const int own = place_of_(code[i]);
    double prod = 1.0;
    for (int k = 0; k < cell.size; ++k)
      if (k != own) prod *= cells_factor_(cell, k);
    const int warn = (cell.blocks & ~(1u << own)) == 0;
    pin[i] = prod;
    uin[i] = static_cast<int8_t>(warn);
    if (sign[e0 + i] > 0)
      WF *= 1.0 - prod;
    else
      WT *= 1.0 - prod;
    H += warn * sign[e0 + i];
  }
  r.WT = WT;
  r.WF = WF;
  r.H = H;

  double maxdiff = 0.0;
  LeftOutProduct leftOut(sign, e0, e1, [pin, e0](int o) { return 1.0 - pin[o - e0]; });
  for (int i = 0; i < r.deg; ++i) {
    bp_cell_& cell = cells_[cell_of_(code[i])];
    const int own = place_of_(code[i]);
    const int J = sign[e0 + i];
    setBit(cell.blocks, own, J * (H - J * uin[i]) >= 0);
    const double x = 1.0 - pin[i];
    double T, F;
    if (x > kTiny) {
      T = J > 0 ? WT : WT / x;
      F = J > 0 ? WF / x : WF;
    } else if (J > 0) {
      T = WT;
      F = leftOut(e0 + i);
    } else {
      T = leftOut(e0 + i);
      F = WF;
    }
    const double m = T / (T + F);
    const double d = std::fabs(cell.eta[own] - m);
    cell.eta[own] = m;
    if (d > maxdiff) maxdiff = d;
  }
  return maxdiff;
}

double zsat::cells_iterate_() {
  const int n = static_cast<int>(var_recs.size());
  shuffle_perm_();
  if (!tally_fresh_) {
    settled_.assign(var_recs.size(), 0);
    tally_fresh_ = true;
  }
  const int* order = perm.data();
  double maxdiff = 0.0;
  for (int i = 0; i < n; ++i) {
    if (i + kRecordAhead < n) __builtin_prefetch(&var_recs[order[i + kRecordAhead]]);
    if (i + kEdgesAhead < n) {
      const formula_var& a = var_recs[order[i + kEdgesAhead]];
      __builtin_prefetch(edge_cell_.data() + a.occ_begin);
      __builtin_prefetch(occ_sign.data() + a.occ_begin);
    }
    if (i + kCellsAhead < n) {
      const formula_var& a = var_recs[order[i + kCellsAhead]];
      const int end = a.occ_begin + std::min(a.deg, kMostCellsFetched);
      for (int e = a.occ_begin; e < end; ++e) __builtin_prefetch(&cells_[cell_of_(edge_cell_[e])], 1);
    }
    const int v = order[i];
    if (var_recs[v].fixed_value != 0) {
      cells_fix_var_(v);
      continue;
    }
    const double d = cells_visit_(v);
    if (d > maxdiff) maxdiff = d;
  }
  return maxdiff;
}

}  // namespace vorn
