// The store: records, literal intake, the flat occurrence and member
// arrays, and the writers.
#include <cassert>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <new>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "bp/BpFormula.h"
#include "input/FatalError.h"

namespace vorn {

zsat::zsat(XTQRANDOMv3* generator, int verbosity) : verbose(verbosity), rng(generator) {}

void zsat::formula_out_of_memory() const {
  throw FatalError(255, "",
                   "belief propagation: out of memory for " + std::to_string(N) + " variables and " +
                       std::to_string(M) + " clauses\n");
}

void zsat::return_freed_memory_() {
#if defined(__GLIBC__)
  // Freed blocks below the mmap threshold stay in the heap, resident, while
  // the search that follows runs beside them.
  malloc_trim(0);
#endif
}

void zsat::formula_init_structures() {
  try {
    var_recs.assign(N > 0 ? N : 0, formula_var());
    clause_recs.assign(M > 0 ? M : 0, formula_clause());
    perm.assign(var_recs.size(), 0);
    // Everything not in a quantifier line is existential, as in the engine.
    vtypes.assign(var_recs.size(), 1);
  } catch (const std::bad_alloc&) {
    formula_out_of_memory();
  }
  // The store is made anew: nothing of a previous formula may refer into it.
  prefix_blocks.clear();
  block_types.clear();
  occ_clause.clear();
  occ_sign.clear();
  members.clear();
  member_edge.clear();
  member_sign.clear();
  eta.clear();
  pi.clear();
  WT_cav.clear();
  WF_cav.clear();
  h.clear();
  u.clear();
  sp_vars.clear();
  sp_T.clear();
  sp_F.clear();
  sp_eta.clear();
  sp_cavT.clear();
  sp_cavF.clear();
  sp_cav0.clear();
  var_vals.clear();
  cells_.clear();
  edge_cell_.clear();
  cells_active_ = false;
  messages_released_ = false;
  add_clause_.clear();
  add_lit_.clear();
  index_clauses_();
}

void zsat::formula_add_var(int lit, int clause) {
  long long magnitude = lit < 0 ? -static_cast<long long>(lit) : lit;
  if (magnitude > N) {
    throw FatalError(255, "", "Too many variables.\n");
  }
  // Only a literal that has records to go to is kept.
  if (lit == 0 || magnitude > static_cast<long long>(var_recs.size()) || clause < 0 ||
      clause >= static_cast<int>(clause_recs.size()))
    return;
  add_clause_.push_back(clause);
  add_lit_.push_back(lit);
}

void zsat::formula_reserve_literals(std::size_t n) {
  add_clause_.reserve(add_clause_.size() + n);
  add_lit_.reserve(add_lit_.size() + n);
}

void zsat::formula_vector2array() {
  assert(!cells_active_);  // the literals are gone
  // Rebuilt from the whole intake, so a second call (or literals added
  // after the first) gives the same arrays as one call at the end.
  const int nVars = static_cast<int>(var_recs.size());
  const int nClauses = static_cast<int>(clause_recs.size());
  const std::size_t total = add_lit_.size();

  for (formula_var& r : var_recs) r.deg = 0;
  for (formula_clause& r : clause_recs) r.size = 0;
  for (std::size_t i = 0; i < total; ++i) {
    int lit = add_lit_[i];
    ++var_recs[(lit < 0 ? -lit : lit) - 1].deg;
    ++clause_recs[add_clause_[i]].size;
  }
  int edge = 0;
  for (int v = 0; v < nVars; ++v) {
    var_recs[v].occ_begin = edge;
    edge += var_recs[v].deg;
  }
  int slot = 0;
  for (int c = 0; c < nClauses; ++c) {
    clause_recs[c].begin = slot;
    slot += clause_recs[c].size;
  }

  occ_clause.assign(total, 0);
  occ_sign.assign(total, 0);
  members.assign(total, 0);
  member_sign.assign(total, 0);
  // First the edge each slot was added with; then every slot points at its
  // variable's first occurrence in the clause.
  member_edge.assign(total, 0);
  std::vector<int> varFill(nVars, 0), clauseFill(nClauses, 0);
  for (std::size_t i = 0; i < total; ++i) {
    int lit = add_lit_[i];
    int v = (lit < 0 ? -lit : lit) - 1;
    int c = add_clause_[i];
    int e = var_recs[v].occ_begin + varFill[v]++;
    int s = clause_recs[c].begin + clauseFill[c]++;
    occ_clause[e] = c;
    occ_sign[e] = lit > 0 ? 1 : -1;
    members[s] = v;
    member_sign[s] = lit > 0 ? 1 : -1;
    member_edge[s] = e;
  }
  std::vector<int>().swap(varFill);
  std::vector<int>().swap(clauseFill);
  if (release_literals) {
    // No literal comes after: the arrays are final.
    std::vector<int>().swap(add_clause_);
    std::vector<int>().swap(add_lit_);
  }
  std::vector<int> stamp(nVars, -1), firstEdge(nVars, 0);
  for (int c = 0; c < nClauses; ++c) {
    const formula_clause& r = clause_recs[c];
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      int v = members[s];
      if (stamp[v] != c) {
        stamp[v] = c;
        firstEdge[v] = member_edge[s];
      }
      member_edge[s] = firstEdge[v];
    }
  }
  std::vector<int>().swap(stamp);
  std::vector<int>().swap(firstEdge);
  // Cells straight away, so that the slot index is never made beside them.
  if (cells_wanted_() && cells_fit_())
    cells_build_();
  else
    index_clauses_();
}

void zsat::index_clauses_() {
  assert(!cells_active_);  // the literals are gone
  index_long_clauses_();
  index_short_clauses_();
}

void zsat::index_short_clauses_() {
  tally_fresh_ = false;
  edge_slot_.clear();
  slot_factor_.clear();
  slot_flags_.clear();
  slot_prefix_.clear();
  tally_.clear();
  bool anyRead = false, anyShort = false;
  for (const formula_clause& c : clause_recs) {
    anyRead |= c.size > 0 && c.size <= kExactClauseSize;
    anyShort |= is_short_(c);
  }
  // A formula of long clauses only keeps none of it.
  if (!anyRead) return;
  edge_slot_.assign(occ_clause.size(), kNoReader);
  slot_factor_.assign(members.size(), 1.0);
  slot_flags_.assign(members.size(), 0);
  if (anyShort) {
    slot_prefix_.assign(members.size(), 1.0);
    tally_.assign(clause_recs.size(), clause_tally());
  }
  for (const formula_clause& c : clause_recs) {
    if (c.size > kExactClauseSize) continue;
    const bool isShort = is_short_(c);
    for (int s = c.begin; s < c.begin + c.size; ++s) {
      const int f = member_edge[s];
      edge_slot_[f] = edge_slot_[f] == kNoReader ? s : kSeveralReaders;
      slot_flags_[s] = isShort ? kSlotShort : plain_slot_flags_(s - c.begin, c.size);
    }
  }
}

void zsat::index_long_clauses_() {
  long_clauses_.clear();
  long_index_.clear();
  long_first_.clear();
  long_mult_.clear();
  bp_long_prod_.clear();
  bp_long_blocking_.clear();
  sp_long_prod_.clear();
  const int nClauses = static_cast<int>(clause_recs.size());
  for (int c = 0; c < nClauses; ++c)
    if (clause_recs[c].size > kExactClauseSize) long_clauses_.push_back(c);
  if (long_clauses_.empty()) return;
  long_index_.assign(nClauses, -1);
  for (std::size_t l = 0; l < long_clauses_.size(); ++l) long_index_[long_clauses_[l]] = static_cast<int>(l);
  long_first_.assign(occ_clause.size(), -1);
  long_mult_.assign(occ_clause.size(), 0);
  for (int c : long_clauses_) {
    const formula_clause& r = clause_recs[c];
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      const int f = member_edge[s];
      ++long_mult_[f];
      long_first_[f] = f;
    }
  }
  // Every other edge of a variable in a long clause leads to the first one.
  std::vector<int> firstOf(long_clauses_.size(), -1), stamp(long_clauses_.size(), -1);
  for (int v = 0; v < static_cast<int>(var_recs.size()); ++v) {
    const formula_var& r = var_recs[v];
    for (int e = r.occ_begin; e < r.occ_begin + r.deg; ++e) {
      const int l = long_index_[occ_clause[e]];
      if (l < 0) continue;
      if (stamp[l] != v) {
        stamp[l] = v;
        firstOf[l] = e;
      }
      long_first_[e] = firstOf[l];
      assert(long_mult_[firstOf[l]] > 0);
    }
  }
  bp_long_prod_.resize(long_clauses_.size());
  bp_long_blocking_.assign(long_clauses_.size(), 0);
  sp_long_prod_.resize(long_clauses_.size());
}

int zsat::getNnNmM(int* nn, int* nm, int* m) const {
  *nn = Nn;
  *nm = Nm;
  *m = M;
  return 1;
}

int zsat::formula_gen_vtypes() {
  vtypes.assign(var_recs.size(), 1);
  for (int v : univ_vars)
    if (v >= 0 && v < static_cast<int>(vtypes.size())) vtypes[v] = 0;
  for (int v : exist_vars)
    if (v >= 0 && v < static_cast<int>(vtypes.size())) vtypes[v] = 1;
  return 1;
}

void zsat::formula_gen_invarlist() {
  const int nVars = static_cast<int>(var_recs.size());
  std::vector<int> stamp(nVars, -1), firstEdge(nVars, 0);
  for (int c = 0; c < static_cast<int>(clause_recs.size()); ++c) {
    const formula_clause& r = clause_recs[c];
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      int v = members[s];
      if (stamp[v] != c) {
        stamp[v] = c;
        const formula_var& rv = var_recs[v];
        for (int e = rv.occ_begin; e < rv.occ_begin + rv.deg; ++e)
          if (occ_clause[e] == c) {
            firstEdge[v] = e;
            break;
          }
      }
      member_edge[s] = firstEdge[v];
    }
  }
  index_clauses_();
}

double zsat::get_unsat_alpha() const {
  if (Nn < 1) return 0.0;
  if (M < 1) return static_cast<double>(M) / Nn;
  // The value of a universal variable is kept at its position in univ_vars.
  std::vector<int> univPos(var_recs.size(), -1);
  for (int i = static_cast<int>(univ_vars.size()) - 1; i >= 0; --i)
    if (univ_vars[i] >= 0 && univ_vars[i] < static_cast<int>(univPos.size())) univPos[univ_vars[i]] = i;
  long satisfied = 0;
  for (const formula_clause& r : clause_recs) {
    for (int s = r.begin; s < r.begin + r.size; ++s) {
      int v = members[s];
      if (vtypes[v] == 1 || univPos[v] < 0 || univPos[v] >= static_cast<int>(univ_vals.size())) continue;
      if (member_sign[s] == univ_vals[univPos[v]]) {
        ++satisfied;
        break;
      }
    }
  }
  return static_cast<double>(M - satisfied) / Nn;
}

namespace {
void writeClauses(std::ostream& out, const zsat& f) {
  for (const formula_clause& r : f.clause_recs) {
    for (int s = r.begin; s < r.begin + r.size; ++s) out << (f.members[s] + 1) * f.member_sign[s] << " ";
    out << "0\n";
  }
}

void writeQuantifierLine(std::ostream& out, char letter, const std::vector<int>& vars) {
  // An empty quantifier set is not QDIMACS: leave the line out.
  if (vars.empty()) return;
  out << letter << " ";
  for (int v : vars) out << v + 1 << " ";
  out << "0\n";
}

bool openForWriting(std::ofstream& out, const char* name) {
  std::cout << "writing into formula " << name << "..." << std::flush;
  out.open(name, std::ios::out | std::ios::trunc);
  if (!out) {
    std::cout << "can not open file " << name << "\n";
    return false;
  }
  return true;
}
}  // namespace

void zsat::formula_write_formula(const char* name) const {
  std::ofstream out;
  if (!openForWriting(out, name)) return;
  out << "p cnf " << N << " " << M << "\n";
  writeClauses(out, *this);
  out.close();
  std::cout << "done\n";
}

void zsat::formula_write_qformula(const char* name) const {
  std::ofstream out;
  if (!openForWriting(out, name)) return;
  out << "p cnf " << N << " " << M << "\n";
  writeQuantifierLine(out, 'a', univ_vars);
  writeQuantifierLine(out, 'e', exist_vars);
  writeClauses(out, *this);
  out.close();
  std::cout << "done\n";
}

}  // namespace vorn
