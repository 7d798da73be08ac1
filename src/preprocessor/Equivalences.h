// The equivalence pass: finds groups of clauses that define an existential
// literal by others (AND-type: v <-> b1 & ... & bm from one clause and m
// binaries; XOR-type: a three-literal parity constraint), takes them out
// of the formula, orders them in a dependency graph, and eliminates each
// defined literal by resolution within a size bound, or puts its clauses
// back, or (-er) splits its atom so each sign keeps the half it needs.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "preprocessor/CnfFormula.h"
#include "preprocessor/DependencyGraph.h"

namespace vorn {

class CommandLine;

// [id, t1, t2, t3]: the trigger clause's id (not read again) and the group's
// literals, t1 in the deepest block. Stands for the four clauses over t1,
// t2, t3 with an even number of negated literals, i.e. t1 ^ t2 ^ t3 = 1.
using ThreeEquiRecord = std::array<int32_t, 4>;

struct EquivalenceSwitches {
  bool substitution = false;     // -es
  bool rewriting = false;        // -er
  bool threeEqui = false;        // -3e
  bool selfSubsumption = false;  // -ss
  float kf = 1.0f;               // factor of the substitution size bound
};

class Equivalences {
 public:
  // atoms and clauses size the scratch lists; the sweep resizes them.
  Equivalences(long atoms, long clauses, CommandLine& options);
  Equivalences(long atoms, long clauses, const EquivalenceSwitches& switches);

  // One sweep: detect, order, substitute. PassFalse when a substitution
  // produced an empty clause; without -es, -er, -3e the formula is untouched.
  PassResult operator()(CnfFormula& F);

  // Literals in all stored clauses that hold lit or -lit.
  long computeMaxScore_(CnfFormula& F, CnfLiteral lit) const;
  // AND-type definition from stored clause id and the binaries of its
  // literals; on success it is recorded and its clauses leave the formula.
  bool checkEqui_(CnfFormula& F, ClauseId id);
  void removeEquiFromFormula_(CnfFormula& F, ClauseId id, CnfLiteral lit);
  // Parity group around the stored three-literal clause id; on success a
  // record is appended and the group's four clauses leave the formula.
  bool check3Equi_(CnfFormula& F, ClauseId id);
  // Every record becomes an XOR-type definition, or its clauses come back.
  void compute3EquiGraph_(CnfFormula& F);
  // The definitions that closed a cycle go back into the formula.
  void badEquivalences_(CnfFormula& F);
  // Eliminates the defined literal by resolution, or hands the definition
  // to rewrite_. False only when a clause came out empty (formula false).
  bool substitute_(const EquiDefinition& d, CnfFormula& F);
  // Puts the definition back, or with -er splits its atom. Never false:
  // every clause it stores keeps an existential literal of the definition.
  bool rewrite_(const EquiDefinition& d, CnfFormula& F);

  DependencyGraph graph;
  std::vector<ThreeEquiRecord> threeEquiRecords;
  // Per atom, 0 between calls: the negated literal of the defining clause
  // being taken out / the body literal of the definition being substituted.
  std::vector<CnfLiteral> clauseNegation;
  std::vector<CnfLiteral> bodyLiteral;

  float kf = 1.0f;
  bool useSubstitution = false;
  bool useRewriting = false;
  bool useThreeEqui = false;
  bool useSelfSubsumption = false;

  // Statistics of the run; they only grow.
  int32_t eqSubstitutions = 0;
  int32_t eq3Substitutions = 0;
  int32_t eqRewritings = 0;
  int32_t eq3Rewritings = 0;
  float defLengthSum = 0;
  float defLengthMin = 0;  // 0: nothing substituted yet
  float defLengthMax = 0;
  float keptDefinitions = 0;

 private:
  void coverAtom_(CnfLiteral atom);
  static std::pair<int, int32_t> occurrenceRank_(const CnfFormula& F, ClauseId e, CnfLiteral lit);
  // Stores the definition's clause set with addClause.
  void putBack_(const EquiDefinition& d, bool isXorType, CnfFormula& F);
  void store_(std::initializer_list<CnfLiteral> lits, CnfFormula& F);
  // The resolvents of a substitution, back to back: one opens at the end
  // of the list and is kept (its length counted as produced) or cut off.
  void beginResolvent_();
  void closeResolvent_(bool tautology);
  std::vector<CnfLiteral> resolventLits_;
  std::vector<std::size_t> resolventEnds_;
  std::size_t resolventStart_ = 0;
  long produced_ = 0;

  std::vector<ClauseId> candidates_;  // clauses a substitution resolves
  std::vector<ClauseId> sameParity_;
  std::vector<ClauseId> oppositeParity_;
  std::vector<ClauseId> collected_;
  std::vector<ClauseId> subsumed_;
  std::vector<ClauseId> removeIds_;
  std::vector<std::vector<CnfLiteral>> selfResolvents_;
  std::vector<CnfLiteral> work_;
  std::vector<CnfLiteral> clause_;
  std::vector<std::vector<CnfLiteral>> pending_;
  EquiDefinition definition_;
};

}  // namespace vorn
