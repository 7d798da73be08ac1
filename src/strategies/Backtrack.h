// Conflict and solution analysis: on a pending empty clause (conflict),
// an empty term (solution) or a complete propagated assignment, resolve
// the empty constraint backwards along the trail until it asserts a
// literal, learn it, backjump and assert; or, when the analysis reaches
// the top level, leave the decided record that ends the search.
//
// Clause and term (cube) learning in QBF search: Giunchiglia, Narizzano,
// Tacchella, "Learning for Quantified Boolean Logic Satisfiability", AAAI
// 2002; Zhang, Malik, "Conflict Driven Learning in a Quantified Boolean
// Satisfiability Solver", ICCAD 2002, and "Towards a Symmetric Treatment
// of Satisfaction and Conflicts in Quantified Boolean Formula
// Evaluation", CP 2002; Letz, "Lemma and Model Caching in Decision
// Procedures for Quantified Boolean Formulas", TABLEAUX 2002.
//
// Clauses and terms go through one algorithm with the quantifiers'
// roles exchanged: "own" literals are existential in a clause and
// universal in a term, "spent" literals are false in a clause and true
// in a term.
//
// Layout: the resolvent lives in two reusable vectors (`work`, `other`)
// with room for every variable; `stamps` marks, per variable and cycle,
// which literal of it was taken (the sign) by the current stamp, so no
// cycle clears it. The tables of the initial solution term are bit
// vectors kept in their resting state between calls.
//
// Files: Backtrack.cpp (sizing, statistics), BacktrackRanking.cpp (the
// literal orders), ImplicationPoint.cpp (evaluation of a constraint),
// Analysis.cpp (the resolution cycles), Learning.cpp (the learned
// constraint and its watches), InitialSolutionTerm.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Strategy.h"
#include "engine/Types.h"

namespace vorn {

class Backtrack : public Strategy {
 public:
  // One past the largest stamp: the stamp restarts at 1 there.
  static constexpr int16_t kStampLimit = 30001;
  // The nEmpties entry of an analysis that stopped the search without an
  // answer: its first literal is 0, which the search loop reads as none.
  static const uint32_t abandonedMark[3];

  Backtrack(DynFormula& formula, CommandLine& options, Instance<long>& names);

  void init() override;
  // The analysis; the event's literal and reason are not used.
  void assign(const uint32_t& lit, const reasonItem_& reason) override;
  // With -sstat: the counts of analysed clauses and terms.
  void printStats() override;

  // One step of the initial evaluation of an empty constraint; returns uip.
  Literal computeUIP_(const Literal& lit);
  // One step of the re-evaluation of the resolvent.
  void findUIP_(const Literal& lit);
  // The same steps over a run of literals.
  void computeUIPs_(const Literal* first, const Literal* last);
  // True when the run holds an own literal that is not spent.
  bool findUIPs_(const Literal* first, const Literal* last);
  // Stores the learned constraint (sorted ascending, reduced in place) and
  // sets its watches on uip and second; a unit is assigned at once.
  // Returns the record's id, or 0 for a unit or a binary constraint.
  uint32_t learnConstraint_(std::vector<Literal>& lits, bool clause);
  // The initial term of a complete assignment, innermost literal first,
  // 0-terminated, each literal with the term bit (InitialSolutionTerm.cpp).
  void computeSolution_(std::vector<Literal>& out);
  void resetUip_();
  // Evaluates a 0-terminated list into out; not used by the search.
  Literal computeWr_(const uint32_t* list, std::vector<Literal>& out);

  // Lowers the stamp's restart point; for tests of the wrap only.
  void setStampLimit(int16_t limit) { stampLimit_ = limit; }
  // True once an analysis has stopped the search without an answer.
  bool abandoned() const { return abandoned_; }

  DynFormula& formula;
  CommandLine& options;
  Instance<long>& names;

  Literal uip = 0;      // deepest literal; after learning, the asserted one
  Literal minLit = 0;   // unspent or blocking literal of smallest prefix level
  Literal second = 0;   // deepest spent literal below uip's level
  uint32_t ownCount = 0;  // own spent literals at the deepest level, unresolved
  Literal clash = 0;    // literal whose complement is in the resolvent
  std::vector<Literal>* other;  // next cycle's list (0-terminated), the initial term
  std::vector<Literal>* work;   // the resolvent under construction
  uint32_t conflicts = 0;
  uint32_t solutions = 0;
  std::vector<int16_t> stamps;  // by variable: +stamp / -stamp for the literal taken

  // Initial solution term (InitialSolutionTerm.cpp); resting state between calls:
  // every variable in the term, nothing planned. Flags are bytes, not
  // bits: they are read at random far more often than they are cleared.
  std::vector<uint8_t> inTerm;     // by variable
  std::vector<Literal> termLits;   // the collected term, ascending, before reduction
  std::vector<uint8_t> planned;    // by litCode: to be true in the term
  std::vector<uint8_t> committed;  // by litCode: planned for good
  std::vector<Literal> tentative;  // planned while one universal is examined
  std::vector<Literal> flips;      // committed, in order

 private:
  // What a cycle of resolution at the deepest level ended with.
  enum class CycleEnd { AtImplicationPoint, PastImplicationPoint };
  // What the re-evaluation of a cycle's resolvent found.
  struct Reevaluation {
    bool openOwn = false;    // an own literal of it is not spent
    bool asserting = false;  // it asserts uip: learn it
    uint32_t maxLevel = 0;   // level of its deepest spent literal
  };

  void ensureSized_();
  // The analysis and its steps (Analysis.cpp), in the order of a cycle.
  void analyse_(uint32_t startTrail);
  bool ownLiteralsSpent_() const;
  // The stamped trail literal before pos, moving pos onto it; 0 for none.
  Literal previousStamped_(uint32_t& pos) const;
  bool searchPivots_(Literal& p, CycleEnd& end);
  void closeCycle_(Literal p, bool atPoint);
  bool resolveClash_();
  Reevaluation reevaluate_(bool atPoint);
  void startNextCycle_();
  // Takes a 0-terminated list into the resolvent (the collection pass);
  // a clash on an own literal, which no resolution removes, sets ownClash_.
  void collect_(const uint32_t* list, uint32_t skipVar, bool atEveryLevel);
  // Reason list of a trail literal: 0-terminated; null for none
  // (decision, monotone literal) or an unusable one.
  const uint32_t* reasonList_(Literal trailLit);
  void reduce_(bool limited, uint32_t limitLevel);
  // Learning and its steps (Learning.cpp).
  void learn_();
  uint32_t chooseSecond_(const std::vector<Literal>& w);
  void chooseWatchPartner_(const std::vector<Literal>& w);
  void decide_();
  void abandon_();
  void backjump_(uint32_t level);
  void nextStamp_();
  bool isStamped_(uint32_t v) const { return stamps[v] == stamp_ || stamps[v] == -stamp_; }
  int16_t stampFor_(Literal l) const { return litNegative(l) ? static_cast<int16_t>(-stamp_) : stamp_; }
  bool spent_(Literal l) const { return isTerm_ ? formula.isTrue(l) : formula.isFalse(l); }
  // Own role of a trail literal (no term bit) in the constraint analysed.
  bool ownOnTrail_(Literal t) const { return litExistential(t) != isTerm_; }
  uint32_t prefixLevel_(Literal l) const { return formula.prefix.atomLevel[litVar(l)]; }
  void noteMin_(Literal l) {
    if (minLit == 0 || prefixLevel_(l) < prefixLevel_(minLit)) minLit = l;
  }
  // The literal orders of the analysis on precomputed ranks: the same
  // comparisons as CompareLiterals, so the same permutation, ties included.
  void sortAscending_(std::vector<Literal>& lits) { sortByRank_(lits, true); }
  void sortDescending_(std::vector<Literal>& lits) { sortByRank_(lits, false); }
  void sortByRank_(std::vector<Literal>& lits, bool ascending);
  void ensureRanks_();
  void markTermDependencies_(const std::vector<Literal>& lits);

  // Initial solution term helpers (InitialSolutionTerm.cpp).
  Literal trueLiteral_(uint32_t v) const;
  bool flippable_(Literal l) const;
  bool coversFor_(Literal l) const;
  void plan_(Literal l);
  bool coverClause_(uint32_t id, Literal u);
  bool examineUniversal_(Literal u);
  bool existentialRemovable_(Literal t) const;
  void applyFlips_();

  // rank_[v]: place of v in ascending prefix order (prefix level, then
  // index; variables without a place last), rebuilt when the prefix
  // changes. keyed_ holds rank and literal in one word while sorting;
  // byRank_ is a scratch table indexed by rank, all 0 between uses.
  std::vector<uint32_t> rank_;
  std::vector<uint32_t> rankedVars_;  // the variables in ascending prefix order
  std::vector<Literal> byRank_;
  std::vector<uint64_t> keyed_;
  uint32_t rankRevision_ = 0;
  bool ranksBuilt_ = false;

  std::vector<Literal> lists_[2];  // storage behind work and other
  uint32_t binReason_[2] = {0, 0};  // reason list of a binary unit
  const uint32_t emptyReason_[1] = {0};
  int16_t stamp_ = 1;
  int16_t stampLimit_ = kStampLimit;
  bool isTerm_ = false;
  bool ownClash_ = false;
  bool abandoned_ = false;
  bool searchStats_;  // -sstat, read at construction: the store does not change during a run
  uint32_t maxLevel_ = 0;
  Literal watchPartner_ = 0;
  uint32_t scanPos_ = 0;
};

}  // namespace vorn
