// A plain QBF in prenex CNF for tests, independent of the solver's own
// data structures, with a tolerant QDIMACS reader and writer.
//
// Semantics (the same as every road of the solver):
//  - a variable in no quantifier block is existential in the outermost block;
//  - a variable quantified more than once keeps its first place;
//  - an empty clause makes the formula false; an empty block means nothing.
#pragma once

#include <string>
#include <vector>

namespace vorn {
namespace test {

struct QBlock {
  bool exists = true;
  std::vector<int> vars;
};

struct QbfFormula {
  int numVars = 0;  // the header's variable count
  std::vector<QBlock> prefix;
  std::vector<std::vector<int>> clauses;

  // "p cnf V C", one line per block ("e 1 2 0", "a 0" for an empty one),
  // one line per clause ("1 -3 0", "0" for the empty clause).
  std::string toQdimacs() const;
  // Largest variable number met anywhere (prefix or clauses), at least numVars.
  int maxVar() const;
};

// Reads QDIMACS text: "c" lines are comments, items are separated by any
// white space, lists may span lines, a missing final 0 closes the list at
// the end of the text. A quantifier entry for a variable that already
// occurred in an earlier clause is dropped: such a variable was met free
// and keeps that place. Returns false (with a reason) only on text that is
// not QDIMACS at all: a token that is not an integer, a bad header.
bool parseQdimacs(const std::string& text, QbfFormula& out, std::string* error = nullptr);

// parseQdimacs that reports a failure as a gtest failure.
QbfFormula parseQdimacsOrFail(const std::string& text);

}  // namespace test
}  // namespace vorn
