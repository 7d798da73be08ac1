// Brute-force QBF evaluator: the oracle every answer of the solver is
// checked against. Deliberately simple: recursion over the prefix, the
// matrix read after every assignment; a node stops early only when a
// clause is falsified or every clause is satisfied.
//
// Variables that occur in no clause do not matter and are skipped, so the
// cost is 2^(variables in clauses) in the worst case: meant for formulas of
// up to about 20 variables (at most 64 distinct clause variables).
#pragma once

#include <vector>

#include "support/Formula.h"

namespace vorn {
namespace test {

// The quantifier order the evaluator uses: the outermost block's
// existentials first (free variables among them, in order of first
// occurrence in the clauses), then the blocks in order; every variable
// once, at its first place. Variables in no clause are left out.
struct EvalOrder {
  std::vector<int> vars;       // variable numbers, outermost first
  std::vector<bool> exists;    // parallel to vars
};
EvalOrder evaluationOrder(const QbfFormula& f);

// True when the formula is true.
bool evaluate(const QbfFormula& f);

// The answer as the solver's exit code: 10 true, 20 false.
inline int expectedExitCode(const QbfFormula& f) { return evaluate(f) ? 10 : 20; }

}  // namespace test
}  // namespace vorn
