// The one entry point into the search engine: it ties the constraint
// store, the reader and the strategy list together. Built from the option
// store (the engine then reads FILENAME itself) or from counts (then
// filled with addAtom and addClause); Solve runs the search once; getState
// gives the answer as a result code.
#pragma once

#include <memory>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"

namespace vorn {

class Solver;
class QDimacs;

class vornEngine {
 public:
  enum State : int { StateBuilding = -1, StateReady = 0, StateNoInput = 101 };

  // Copies the options and reads the instance file named by FILENAME;
  // state 101 when there is none. Input errors end the process.
  explicit vornEngine(CommandLine& options);
  // An empty engine sized for the counts, to be filled by addAtom and
  // addClause; budget has no effect.
  vornEngine(long nVars, long nClauses, int budget, CommandLine& options);
  vornEngine(long nVars, long nClauses);
  vornEngine(long nVars, long nClauses, int budget);
  ~vornEngine();
  vornEngine(const vornEngine&) = delete;
  vornEngine& operator=(const vornEngine&) = delete;

  // Declares var (an external number) in the prefix; the first
  // declaration of a number wins.
  void addAtom(const int& var, bool exists);
  // Stores an input clause of signed external numbers; a number never
  // declared joins the outermost block as a free variable.
  void addClause(std::vector<long>& lits);
  // Runs the search once; does nothing unless the state is 0.
  void Solve();
  int& getState() { return state; }

  Instance<long> names;
  CommandLine options;
  DynFormula formula;

 private:
  void buildFromCounts_(long nVars, long nClauses);

  std::unique_ptr<QDimacs> reader_;
  std::unique_ptr<Solver> solver_;
  int state = StateBuilding;
};

// The search limit in CPU seconds from "--timelimit": 6000 when it is
// "true" or absent, otherwise its value in base 10 (0 without digits).
int searchTimeLimit(const CommandLine& options);

}  // namespace vorn
