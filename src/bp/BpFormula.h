// The belief-propagation module: its own copy of the formula, read from the
// instance file, and the message passing that ranks the variables before
// the search (belief and warning propagation, decimation, survey
// propagation, random formula generators).
//
// Belief propagation: Pearl, "Probabilistic Reasoning in Intelligent
// Systems", 1988; warning and survey propagation for satisfiability, with
// decimation: Mezard, Parisi, Zecchina, "Analytic and Algorithmic Solution
// of Random Satisfiability Problems", Science 297, 2002; Braunstein,
// Mezard, Zecchina, "Survey Propagation: An Algorithm for Satisfiability",
// Random Structures and Algorithms 27(2), 2005.
//
// Variables are 0-based here: the file's variable x is variable x - 1.
// Clauses are numbered from 0 in reading order.
//
// Layout: the occurrences of all variables live in flat arrays indexed by
// an edge id; variable v owns edges occ_begin..occ_begin+deg-1 in the order
// its literals were added. The members of all clauses live in flat arrays
// indexed by a slot id; clause c owns slots begin..begin+size-1 in literal
// order. member_edge of a slot is the edge of that member's first
// occurrence in the clause, so a clause reads its members' messages without
// searching their occurrence lists.
//
// The ranking (des_vars, des_vals) is what the search consumes: des_vars
// holds the decided variables (0-based) in the order they were fixed,
// des_vals the value the search should give each: +1 TRUE, -1 FALSE.
//
// A ranking run:
//   XTQRANDOMv3 rng(seed);
//   zsat bp(&rng, 0);
//   bp.verbose = verbosity;
//   bp.formula_read_qbf_file(fileName);
//   bp.bp_init_structure();
//   one fixed point:  bp.bp_init_random(); bp.bp_converge(err, sweeps, 0);
//                     bp.des_allmag(bp.N);
//   decimation:       bp.des_bp_mix(0.01, 1000);
//   then read bp.des_vars[i] + 1 (the file's variable) and bp.des_vals[i].
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bp/RunningProduct.h"
#include "bp/Random.h"

namespace vorn {

struct formula_var {
  int deg = 0;        // number of occurrences
  int occ_begin = 0;  // first edge of this variable
  int fixed_value = 0;  // 0 free, +1 fixed TRUE, -1 fixed FALSE
  int H = 0;            // warning field
  // Products of (1 - pi) over the negative (WT) and positive (WF)
  // occurrences; the marginal is WT / (WT + WF).
  double WT = 1.0;
  double WF = 1.0;
};

struct formula_clause {
  int size = 0;
  int begin = 0;  // first slot of this clause
};

// What the members of a short clause send it in a BP sweep, counted over
// its slots: factors exactly +0, factors outside (0, 1] otherwise (NaN,
// -0, negative, above 1), and members that block its warning (J h >= 0).
// With no odd factor among the other members, one +0 among them makes
// their product +0 whatever the order, so the fold can be skipped.
struct clause_tally {
  int zeros = 0;
  int odd = 0;
  int blocking = 0;
  // Slot up to which the clause's prefix products are cached: those of
  // the slots begin..prefix_end hold the left fold of the factors before.
  int prefix_end = 0;
};

// Survey fields of one variable (made by sp_init_structure).
struct sp_var {
  int sp_fixed = 0;
  double PT = 0.0, PF = 0.0, P0 = 1.0;
  double Wp = 0.0, Wm = 0.0;
};

class zsat {
 public:
  zsat(XTQRANDOMv3* rng, int verbose);

  // ---- store and reader --------------------------------------------------
  // Reads a QDIMACS file (plain or gzip) through the shared tokeniser. Ends
  // the process on an unreadable file (1), a malformed one (3/99), and a
  // clause variable beyond the header's count ("Too many variables.", 255).
  void formula_read_qbf_file(const char* name);
  void formula_read_qbf_file(const std::string& name) { formula_read_qbf_file(name.c_str()); }
  // Plain DIMACS: the header and up to M clauses; no prefix.
  void formula_read_cnf_file(const char* name);

  void formula_init_structures();
  // The fatal error of a store that cannot have its tables for N and M.
  [[noreturn]] void formula_out_of_memory() const;
  void formula_add_var(int lit, int clause);
  // Room for n literals more, so that adding them does not regrow the intake.
  void formula_reserve_literals(std::size_t n);
  void formula_vector2array();
  // Straight into cells, without the literal arrays, from freshly made
  // records and clauses c = 0..clauses-1 of lits[ends[c-1]..ends[c]) (the
  // first from 0): when release_literals and not keep_edge_messages, and
  // the clauses fit (see release_literals). Else false, nothing changed.
  bool formula_cells_from(const int32_t* lits, const std::size_t* ends, std::size_t clauses);

  int getNnNmM(int* nn, int* nm, int* m) const;
  int formula_gen_vtypes();
  void formula_gen_invarlist();
  double get_unsat_alpha() const;
  void formula_write_formula(const char* name) const;
  void formula_write_qformula(const char* name) const;

  // Index of slot k's member in that member's own occurrence list.
  int member_pos(int clause, int k) const {
    int slot = clause_recs[clause].begin + k;
    return member_edge[slot] - var_recs[members[slot]].occ_begin;
  }

  // ---- belief and warning propagation -----------------------------------
  void bp_init_structure();
  void bp_init_random();
  double bp_iterate();
  void bp_converge(double eps, int maxiter, int miniter);
  double bp_get_entropy() const;
  // Frees the messages once the sweeps are over: what is left serves
  // marginal and des_allmag only.
  void bp_release_messages();
  double marginal(int v) const { return var_recs[v].WT / (var_recs[v].WT + var_recs[v].WF); }

  int des_allmag(int n);
  int des_bp_mix(double eps, int maxiter);
  int des_verify_solution();
  int des_allmag_inverse(int n);
  int des_emag(int n);
  int des_umag(int n);

  // ---- survey propagation -------------------------------------------------
  void sp_init_structure();
  void sp_init_random();
  double sp_iterate();
  int sp_converge(double eps, int maxiter, int miniter);
  double sp_get_complexity() const;
  int sp_des_allmag(int n);
  int sp_des_allmag_balance(int n);
  int sp_des_allmag_inverse(int n);

  // ---- random formulas (-1: the request cannot be met; nothing changed) --
  int formula_gen_ran_formula(int type, int a, int b, int c, int d, int e, int f);
  int formula_gen_ran_K3(int n, int m, int k);
  int formula_gen_ran_12qsat(int nn, int nm, int m);
  int formula_gen_ran_13qsat(int nn, int nm, int m);
  int formula_gen_ran_22qsat(int nn, int nm, int m);
  int formula_gen_ran_23qsat(int nn, int nm, int m);
  int formula_gen_ran_121qsat(int nn, int nm, int m);

  // Clauses up to this length multiply "the product over the other
  // members" out member by member, in literal order, for every member: that
  // order fixes the bits of their messages, and so the ranking of a seed.
  // It costs the clause's length per member, so at most 64 times linear per
  // sweep (at 64 members about five times what the running products cost).
  // Longer clauses keep running products of their members' factors: linear
  // per sweep, equal up to rounding.
  static constexpr int kExactClauseSize = 64;
  // Clauses up to this length multiply out straight from eta: for them the
  // bookkeeping of slot factors and tallies would cost more than the fold.
  static constexpr int kPlainClauseSize = 4;

  // ---- data ----------------------------------------------------------------
  // Variables. The reader sets it to the largest variable the file mentions
  // (a literal or a prefix entry), not to the header's count, which only
  // bounds the literals: declared variables beyond that occur nowhere.
  int N = 10000;
  int M = 42000;  // clauses
  int K = 3;      // clause length of a generated formula
  int verbose = 0;
  XTQRANDOMv3* rng;  // not owned

  int Nn = 0;  // existential entries
  int Nm = 0;  // universal entries
  std::vector<int> exist_vars, univ_vars;  // 0-based, file order
  std::vector<int> vtypes;                 // 1 existential, 0 universal
  std::vector<std::vector<int>> prefix_blocks;  // 0-based entries per quantifier line
  std::vector<int> block_types;                 // 1 "e", 0 "a"

  std::vector<formula_var> var_recs;
  std::vector<formula_clause> clause_recs;
  std::vector<int> perm;
  std::vector<int> var_vals;  // decided values by variable, 0 undecided
  std::vector<int> exist_vals, univ_vals;

  std::vector<int> des_vars;
  std::vector<int> des_vals;

  // Edges (occurrences), variable by variable.
  std::vector<int> occ_clause;
  std::vector<int8_t> occ_sign;  // +1 positive, -1 negative literal
  // Whether pi, u, WT_cav and WF_cav are kept per edge (read from outside:
  // by bp_get_entropy, so by decimation, and in checks). Without them a
  // visit holds its clause messages in buffers of the largest degree, and
  // the sweeps need some 25 bytes less per edge; the sweeps give the same
  // bits either way. Takes effect at bp_init_structure.
  bool keep_edge_messages = true;
  // Whether a formula of clauses of at most kCellClauseSize distinct
  // variables may move into cells (below) and the store release its
  // literal arrays and intake, when keep_edge_messages is off: at reading
  // when both are set before, else at bp_init_structure. What is left
  // serves bp_init_random, bp_iterate, bp_converge, marginal and
  // des_allmag, with the same bits; nothing that reads the literals
  // (writers, survey propagation, decimation, the entropy) may run after.
  bool release_literals = false;
  bool cells_in_use() const { return cells_active_; }
  void return_freed_memory_();
  // Cavity P(TRUE) sent to the clause. Between sweeps only bp_init_structure,
  // bp_init_random and bp_iterate write eta and h: the sweep keeps tallies
  // of them from one sweep to the next.
  std::vector<double> eta;
  std::vector<double> pi;        // clause's message: no other member satisfies it
  std::vector<double> WT_cav, WF_cav;
  std::vector<int> h;       // cavity warning field
  std::vector<int8_t> u;    // warning of the clause, 0 or 1

  // Slots (clause members), clause by clause.
  std::vector<int> members;
  std::vector<int8_t> member_sign;  // sign of this slot's own literal
  std::vector<int> member_edge;

  // Survey fields.
  std::vector<sp_var> sp_vars;
  std::vector<double> sp_T, sp_F, sp_eta, sp_cavT, sp_cavF, sp_cav0;

 private:
  void shuffle_perm_();
  void bp_update_var_(int v);
  // The literal polarisation scan over a candidate list; -1 when no pick.
  int polarisation_pick_(const int* cand, int count) const;
  int final_check_() const;
  template <class Key>
  int sp_decimate_(int n, Key key, int mode);
  double sp_member_factor_(int slot) const;
  double sp_factor_(int var, int edge) const;
  double bp_factor_(int edge) const { return occ_sign[edge] > 0 ? 1.0 - eta[edge] : eta[edge]; }
  // Does edge's variable block a warning of the edge's clause?
  bool bp_blocks_(int edge) const { return occ_sign[edge] * h[edge] >= 0; }

  // Indexes the clauses after the store changed: long clauses, and which
  // slot of a plain or short clause reads each edge.
  void index_clauses_();
  void index_long_clauses_();
  void index_short_clauses_();

  // Slot factors and flags of the plain and short clauses, tallies of the
  // short ones, settled variables.
  void bp_tally_rebuild_();
  bool bp_tally_matches_() const;
  // After eta[edge] changed, x its new factor; slot is edge_slot_[edge].
  void bp_store_factor_(int edge, int slot, double x);
  void bp_store_repeated_factor_(int edge, double x);
  void bp_store_repeated_warning_(int edge, bool blocks);
  // Writes h[edge] and counts the change of its blocking.
  void bp_store_warning_(int edge, int slot, int hNew);

  // The steps of a sweep (BeliefPropagation.cpp): a fixed variable's
  // messages, the clause messages of each clause-size regime, an open
  // variable's messages out.
  struct long_share_ {  // the answer of v's last long clause
    int first = -1;
    double prod = 1.0;
    int warn = 1;
  };
  void bp_fix_var_(int v);
  double bp_plain_cavity_(int v, const formula_clause& c, int& warn) const;
  double bp_plain_slot_cavity_(int own, int& warn) const;
  double bp_short_cavity_(int v, int e, const formula_clause& c, int& warn);
  double bp_long_cavity_(int e, long_share_& share, int& warn) const;
  // Where a visit keeps the clause messages to its variable: pi and u, or
  // the visit's own buffers, which hold edge e at e - base.
  struct edge_messages_ {
    double* pi;
    int8_t* u;
    int base;
  };
  double bp_send_messages_(int v, double WT, double WF, int H, const edge_messages_& in);
  double bp_update_open_var_(int v);

  // Running products of the long clauses (longer than kExactClauseSize).
  bool long_tracked_(int edge) const { return !long_mult_.empty() && long_mult_[edge] > 0; }
  void bp_long_rebuild_();
  void bp_long_leave_(int edge);
  void bp_long_enter_(int edge);
  void sp_long_rebuild_();
  int gen_qsat_(int kind, int nn, int nm, int m);

  // Literals added since formula_init_structures, in call order; the flat
  // arrays are built from them by formula_vector2array.
  std::vector<int> add_clause_, add_lit_;

  // A visit's clause messages when they are not kept per edge.
  std::vector<double> visit_pi_;
  std::vector<int8_t> visit_u_;
  bool edge_messages_kept_ = true;  // keep_edge_messages at bp_init_structure

  // Long clauses; all empty when there is none.
  std::vector<int> long_clauses_;  // the long clauses in clause order
  std::vector<int> long_index_;    // per clause: its place in long_clauses_, -1 when short
  // Per edge of a long clause: the first edge of that variable in the
  // clause, which all its members there read (member_edge).
  std::vector<int> long_first_;
  // Per first edge in a long clause: how many members that variable has in
  // the clause (its factor enters the product that often); 0 elsewhere.
  std::vector<int> long_mult_;
  // Per long clause: the product of its members' BP factors, the number of
  // members that block its warning (J h >= 0), and the product of the
  // survey factors; rebuilt at the start of every sweep.
  std::vector<RunningProduct> bp_long_prod_;
  std::vector<int> bp_long_blocking_;
  std::vector<RunningProduct> sp_long_prod_;

  // Short clauses (longer than kPlainClauseSize, up to kExactClauseSize).
  static bool is_short_(const formula_clause& c) { return c.size > kPlainClauseSize && c.size <= kExactClauseSize; }
  // Per edge: the one slot of a plain or short clause that reads it, else
  // kSeveralReaders (its variable stands in the clause more than once) or
  // kNoReader (a variable's later occurrence in a clause, which reads its
  // first one; an edge of a long clause).
  static constexpr int kNoReader = -1;
  static constexpr int kSeveralReaders = -2;
  std::vector<int> edge_slot_;  // empty, like slot_factor_ and slot_flags_, without such clauses
  int slot_of_(int edge) const { return edge_slot_.empty() ? kNoReader : edge_slot_[edge]; }
  // Per slot of a plain or short clause: the BP factor of its member_edge.
  // A plain clause reads its members' factors and warnings from its own
  // slots, one or two cache lines, instead of from the members' edges,
  // which lie far apart.
  std::vector<double> slot_factor_;
  // Per slot of a plain or short clause: kSlotBlocks when its member_edge
  // blocks the clause's warning, kSlotShort in a short clause; in a plain
  // one the slot's place in its clause and the clause's size, so that an
  // edge finds its clause from its own slot.
  static constexpr uint8_t kSlotBlocks = 1;
  static constexpr uint8_t kSlotShort = 2;
  static_assert(kPlainClauseSize <= 7, "a plain clause's size and place fit in its slot flags");
  static uint8_t plain_slot_flags_(int place, int size) { return static_cast<uint8_t>(place << 2 | size << 4); }
  static int plain_slot_place_(uint8_t flags) { return flags >> 2 & 3; }
  static int plain_slot_size_(uint8_t flags) { return flags >> 4; }
  static void set_slot_blocks_(uint8_t& flags, bool blocks) {
    flags = static_cast<uint8_t>((flags & ~kSlotBlocks) | (blocks ? kSlotBlocks : 0));
  }
  std::vector<uint8_t> slot_flags_;
  // Per slot of a short clause: the product of the factors of the slots
  // before it, multiplied out from 1.0 in slot order (valid up to the
  // clause's prefix_end). Empty, like tally_, without short clauses.
  std::vector<double> slot_prefix_;
  std::vector<clause_tally> tally_;  // per clause; zero for a plain or long one
  // Per variable: the fixed value whose messages its edges hold since its
  // last visit, 0 when they may hold others.
  std::vector<int8_t> settled_;
  // slot_factor_, slot_flags_, slot_prefix_, tally_ and settled_ follow
  // eta and h.
  bool tally_fresh_ = false;

 public:
  static constexpr int kCellClauseSize = 3;

 private:
  // A clause of distinct variables in one 32-byte record, so that a visit
  // reads it from one cache line: its members' eta in literal order (a
  // factor is 1 - eta for a positive literal, eta for a negative one, as
  // bp_factor_ computes it) and, one bit per place, the members' signs and
  // whether each blocks the clause's warning (what J h >= 0 says). With
  // cells the store keeps no eta or h per edge.
  struct alignas(32) bp_cell_ {
    double eta[kCellClauseSize];
    uint8_t size;
    uint8_t positive;
    uint8_t blocks;
  };
  static_assert(sizeof(bp_cell_) == 32, "a cell fills half a cache line");
  std::vector<bp_cell_> cells_;  // per clause
  // Per edge: its clause << 2 | its place there.
  std::vector<int> edge_cell_;
  static constexpr int kCellPlaceBits = 2;
  static_assert(kCellClauseSize < (1 << kCellPlaceBits), "a place fits in its bits");
  static constexpr std::size_t kMostCellClauses = std::size_t{1} << (31 - kCellPlaceBits);  // codes stay ints
  static int cell_code_(std::size_t clause, int place) { return static_cast<int>(clause << kCellPlaceBits) | place; }
  static uint32_t cell_of_(int code) { return static_cast<uint32_t>(code) >> kCellPlaceBits; }
  static int place_of_(int code) { return static_cast<int>(static_cast<uint32_t>(code) & ((1u << kCellPlaceBits) - 1)); }
  // Whether the sweeps are to run on cells where the clauses fit.
  bool cells_wanted_() const { return release_literals && !keep_edge_messages; }
  bool cells_active_ = false;
  bool messages_released_ = false;

  bool cells_fit_() const;
  void cells_build_();
  // The per-edge messages and the slot tables of the edge sweep.
  void release_edge_messages_();
  void cells_start_(double eta0, bool random);
  double cells_factor_(const bp_cell_& c, int place) const {
    return c.positive >> place & 1 ? 1.0 - c.eta[place] : c.eta[place];
  }
  void cells_fix_var_(int v);
  double cells_visit_(int v);
  double cells_iterate_();
};

}  // namespace vorn
