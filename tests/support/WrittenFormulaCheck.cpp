#include "support/WrittenFormulaCheck.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

namespace vorn {
namespace test {

::testing::AssertionResult wellFormedSimplified(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) return ::testing::AssertionFailure() << "no header";
  long vars = -1, clauses = -1;
  if (std::sscanf(line.c_str(), "p cnf %ld %ld", &vars, &clauses) != 2 ||
      line != "p cnf " + std::to_string(vars) + " " + std::to_string(clauses))
    return ::testing::AssertionFailure() << "bad header: " << line;
  std::set<long> quantified;
  char previous = 0;
  long clauseLines = 0;
  while (std::getline(in, line)) {
    if (line.size() < 2 || line.compare(line.size() - 2, 2, " 0") != 0)
      return ::testing::AssertionFailure() << "line not closed by \" 0\": " << line;
    std::istringstream items(line);
    if (line[0] == 'e' || line[0] == 'a') {
      if (clauseLines) return ::testing::AssertionFailure() << "prefix line after a clause: " << line;
      if (line[0] == previous) return ::testing::AssertionFailure() << "quantifiers do not alternate: " << line;
      previous = line[0];
      char q;
      items >> q;
      long v;
      std::size_t count = 0;
      while (items >> v && v != 0) {
        ++count;
        if (v < 1 || v > vars) return ::testing::AssertionFailure() << "atom outside the header: " << v;
        if (!quantified.insert(v).second) return ::testing::AssertionFailure() << "atom quantified twice: " << v;
      }
      if (count == 0) return ::testing::AssertionFailure() << "empty prefix line";
      continue;
    }
    if (line[0] != ' ') return ::testing::AssertionFailure() << "clause line without leading blank: " << line;
    ++clauseLines;
    std::set<long> atoms;
    long l;
    while (items >> l && l != 0) {
      const long atom = std::labs(l);
      if (atom > vars) return ::testing::AssertionFailure() << "literal outside the header: " << l;
      if (!atoms.insert(atom).second) return ::testing::AssertionFailure() << "atom twice in a clause: " << line;
      if (previous != 0 && !quantified.count(atom))
        return ::testing::AssertionFailure() << "clause atom missing from the prefix: " << l;
    }
    if (atoms.empty()) return ::testing::AssertionFailure() << "empty clause written";
  }
  if (clauseLines != clauses)
    return ::testing::AssertionFailure() << "header says " << clauses << " clauses, " << clauseLines << " written";
  return ::testing::AssertionSuccess();
}

}  // namespace test
}  // namespace vorn
