// The preprocessor's formula: prefix, clause store and the loading rules
// (repeats, tautologies, universal reduction, subsumption, one level of
// self-subsuming resolution).
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

#include "preprocessor/CnfMatrix.h"
#include "preprocessor/CnfPrefix.h"

namespace vorn {

class CommandLine;
class vornEngine;

// Answer of a preprocessing pass and of CnfFormula::simplify.
enum PassResult : int { PassFalse = 1, PassUndecided = 4 };

// Innermost block first, inside a block larger atom first, zeros last;
// a and -a are equivalent.
struct Compareliteral {
  const CnfPrefix* prefix;
  bool operator()(CnfLiteral a, CnfLiteral b) const {
    if (a == 0) return false;
    if (b == 0) return true;
    int32_t blockA = prefix->blockOf(a), blockB = prefix->blockOf(b);
    if (blockA != blockB) return blockA > blockB;
    return atomOf(a) > atomOf(b);
  }
};

// Input clauses back to back, as the reader collects them: no allocation
// per clause. Literals in file order; an empty clause is allowed.
struct ClauseList {
  std::vector<CnfLiteral> literals;
  std::vector<std::size_t> ends;  // one past the last literal of each clause

  std::size_t size() const { return ends.size(); }
  std::size_t begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  void closeClause() { ends.push_back(literals.size()); }
  void add(const std::vector<CnfLiteral>& clause) {
    literals.insert(literals.end(), clause.begin(), clause.end());
    closeClause();
  }
};

class CnfFormula : public CnfPrefix, public CnfMatrix {
 public:
  // Self-subsuming resolution on with "-ss" or "-all".
  explicit CnfFormula(CommandLine& options);
  explicit CnfFormula(bool selfSubsumption = false);

  // Loads the input clauses once, after the prefix and every clause atom
  // were declared. An empty clause makes the formula false and stops it.
  void init(const ClauseList& input);
  void init(const std::vector<std::vector<CnfLiteral>>& input);

  // Sorts with Compareliteral and drops the universal literals deeper than
  // every existential literal of the list (all of them when there is none).
  void minimizeClause(std::vector<CnfLiteral>& lits) const;
  // minimizeClause, then stores the list; 0 when it came out empty.
  ClauseId addClause(std::vector<CnfLiteral>& lits);
  PassResult simplify() const { return formulaFalse ? PassFalse : PassUndecided; }

  // Puts the partner lists of every prefix atom (or of one literal) in
  // Compareliteral order. Moves the prefix cursor.
  void sortBinary();
  void sortBinary(CnfLiteral lit);

  // Rebuilds clause id without the literal of atom and stores it as loading
  // does; false when it or a resolvent comes out empty (the clause stays
  // when the rebuilt list itself is empty).
  bool removeFromClause(ClauseId id, CnfLiteral atom);
  void printStat();

  // minimizeClause on lits, then checkSubsumption_ when it is not empty and
  // subsumption is on.
  bool checkSubsumption(std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed);
  // True when a stored clause subsumes or equals the (minimised) list;
  // appends the ids of the stored clauses the list subsumes. Leaves the
  // counts for checkSelfSubsumption.
  bool checkSubsumption_(const std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed);
  // Right after checkSubsumption_ of the list then stored under id: the
  // clauses to take out and the resolvents to store instead. False only
  // when subsumption is off.
  bool checkSelfSubsumption(ClauseId id, std::vector<ClauseId>& removeIds,
                            std::vector<std::vector<CnfLiteral>>& resolvents);
  // Resolvent of two clauses on the atom of pivot, without the pivot's
  // literals, each atom once. False when they clash on a second atom (the
  // resolvent would be a tautology); resolvent then holds no clause.
  bool resolution_(const std::vector<CnfLiteral>& a, const std::vector<CnfLiteral>& b, CnfLiteral pivot,
                   std::vector<CnfLiteral>& resolvent);

  // "p cnf maxAtom clauses", the prefix lines and the clause lines, then
  // a flush. Answers 0, or the errno of a write that failed (on out before
  // or during this call: the stream's error flag is checked).
  int printFormula(std::FILE* out);
  // Hands every prefix atom in prefix order, then every clause in id order,
  // to an engine sized for maxAtom and liveClauseCount. Moves both cursors.
  // Defined in driver/HandOver.cpp, above the engine.
  void sendFormula(vornEngine& engine);

  bool formulaFalse = false;
  bool useSelfSubsumption = false;
  bool useSubsumption = true;
  // Occurrence lists at least this long may be left out of a subsumption
  // check when that saves work. 0 leaves out whatever keeps the check
  // exact, SIZE_MAX nothing: the two give the same results.
  std::size_t skippableLength = 64;

 private:
  // Steps of loading after the repeat and tautology test: reduce, check
  // subsumption, store, drop what it subsumes, strengthen by self-subsuming
  // resolution. False when the list or a resolvent came out empty.
  bool storeLoaded_(std::vector<CnfLiteral>& lits);
  void removeAll_(std::vector<ClauseId>& ids);
  // Sets skippedLiterals to the literals of lits whose occurrence lists
  // the subsumption check leaves out, and marks listPosition for lits when
  // there is one; false when every list is walked.
  bool chooseSkipped_(const std::vector<CnfLiteral>& lits);
  bool isSkipped_(CnfLiteral l) const { return l != 0 && (l == skippedLiterals[0] || l == skippedLiterals[1]); }
  bool decideAroundSkipped_(const std::vector<CnfLiteral>& lits, std::vector<ClauseId>& subsumed);
  // Literals clause c shares with the last list checked (of listLength
  // literals), where that can make c or the list the other's subset less
  // one literal; otherwise possibly fewer.
  int32_t sharedWithChecked_(ClauseId c, int32_t listLength) const;
  void reserveOccurrences_(const ClauseList& input);
  // True when, for pivot l of the list just checked, the clauses the check
  // reached are all that the walk of occs(-l) can act on.
  bool reachedSuffice_(CnfLiteral l) const;
  // Per literal of n whether reachedSuffice_ holds, and in deciding_ the
  // reached clauses that can act, in the order of the pivots' walks.
  void collectReachedPivots_(const std::vector<CnfLiteral>& n);
  std::vector<bool> pivotFromReached_;

  std::vector<CnfLiteral> seen_;  // per atom: literal of the clause being built
  std::vector<CnfLiteral> work_;
  std::vector<ClauseId> subsumed_;
  std::vector<ClauseId> removeIds_;
  std::vector<std::vector<CnfLiteral>> resolvents_;
  // A clause that decides a check, and where the plain walk meets it.
  struct Deciding {
    int32_t list;   // index in the checked list of the first literal it holds
    int32_t place;  // its place in that literal's occurrence list
    ClauseId id;
    bool operator<(const Deciding& o) const { return list != o.list ? list < o.list : place < o.place; }
  };
  std::vector<Deciding> deciding_;
};

}  // namespace vorn
