// Reads a QDIMACS file with the shared item grammar into the test
// formula of the brute-force evaluator, with the semantics every road
// gives it: a variable keeps its first place (a block, or free when first
// met in a clause).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "input/QdimacsItems.h"
#include "input/Scanner.h"
#include "support/Formula.h"

namespace vorn {
namespace fuzz {

struct ToEvaluator {
  // With stopAtDeclared the reading stops, once the header has been read,
  // at the first clause end where the clause lines read (those before the
  // header included) reach the header's count: the prefix normaliser's
  // rule. A count of 0 or less gives nothing to stop at.
  explicit ToEvaluator(bool stopAtDeclared) : stop(stopAtDeclared) {}

  test::QbfFormula f;
  std::unordered_set<int32_t> met;
  bool stop;
  bool haveHeader = false;
  int64_t declared = 0;

  bool header(int32_t v, int32_t c) {
    haveHeader = true;
    f.numVars = v;
    declared = c;
    return true;
  }
  void quantifierBegin(bool exists) {
    f.prefix.emplace_back();
    f.prefix.back().exists = exists;
  }
  void quantifierEntry(int32_t v) {
    if (met.insert(v).second) f.prefix.back().vars.push_back(v);
  }
  void quantifierEnd() {}
  void clauseBegin() { f.clauses.emplace_back(); }
  void clauseLiteral(int32_t lit) {
    met.insert(lit < 0 ? -lit : lit);
    f.clauses.back().push_back(lit);
  }
  bool clauseEnd() { return !(stop && haveHeader && declared > 0 && static_cast<int64_t>(f.clauses.size()) >= declared); }
  bool wantsPreferenceLines() const { return false; }
  void preferenceLine(const std::vector<int32_t>&) {}
};

inline bool readForEvaluator(const std::string& path, ToEvaluator& out) {
  Scanner in(path);
  InputError error;
  return in.isOpen() && scanQdimacs(in, out, error) != ScanEnd::Failed;
}

// Small enough for the evaluator to answer at once.
inline bool smallEnough(const ToEvaluator& r) {
  std::unordered_set<int32_t> vars;
  std::size_t literals = 0;
  for (const auto& c : r.f.clauses) {
    literals += c.size();
    for (int32_t l : c) vars.insert(l < 0 ? -l : l);
  }
  return vars.size() <= 14 && literals <= 400;
}

}  // namespace fuzz
}  // namespace vorn
