// Checks that a file the system wrote (the normaliser's renumbered copy,
// the simplified formula) is well-formed QDIMACS: read with the shared item
// grammar, one header whose clause count is the number of clauses that
// follow, every prefix entry and every clause variable within the header's
// variable count, and no variable quantified twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/QdimacsItems.h"
#include "input/Scanner.h"

namespace vorn {
namespace fuzz {

struct WrittenFormula {
  int32_t vars = 0;
  int32_t clauses = 0;
  std::vector<int32_t> prefixOrder;  // entries of all blocks, in order
  std::vector<std::vector<int32_t>> clauseList;
};

class WellFormedCheck {
 public:
  explicit WellFormedCheck(WrittenFormula& out) : out_(out) {}

  bool header(int32_t v, int32_t c) {
    if (seenItem_) problem("an item stands before the header");
    out_.vars = v;
    out_.clauses = c;
    quantified_.assign(static_cast<std::size_t>(v) + 1, 0);
    return true;
  }
  void quantifierBegin(bool) { item(); }
  void quantifierEntry(int32_t v) {
    if (v < 1 || v > out_.vars) return problem("prefix entry " + std::to_string(v) + " outside 1.." + std::to_string(out_.vars));
    if (quantified_[v]) return problem("variable " + std::to_string(v) + " quantified twice");
    quantified_[v] = 1;
    out_.prefixOrder.push_back(v);
  }
  void quantifierEnd() {}
  void clauseBegin() {
    item();
    out_.clauseList.emplace_back();
  }
  void clauseLiteral(int32_t lit) {
    const int64_t v = lit < 0 ? -static_cast<int64_t>(lit) : lit;
    if (v > out_.vars) problem("clause variable " + std::to_string(v) + " beyond the header");
    out_.clauseList.back().push_back(lit);
  }
  bool clauseEnd() { return true; }
  bool wantsPreferenceLines() const { return false; }
  void preferenceLine(const std::vector<int32_t>&) {}

  const std::string& firstProblem() const { return problem_; }

 private:
  void item() { seenItem_ = true; }
  void problem(const std::string& what) {
    if (problem_.empty()) problem_ = what;
  }
  WrittenFormula& out_;
  std::vector<char> quantified_;
  bool seenItem_ = false;
  std::string problem_;
};

// Empty when the file is well-formed; otherwise what is wrong.
inline std::string checkWellFormed(const std::string& path, WrittenFormula& out) {
  Scanner in(path);
  if (!in.isOpen()) return "cannot be opened";
  WellFormedCheck check(out);
  InputError error;
  if (scanQdimacs(in, check, error) != ScanEnd::Complete)
    return "line " + std::to_string(error.line) + ": " + error.what;
  if (!check.firstProblem().empty()) return check.firstProblem();
  if (static_cast<std::size_t>(out.clauses) != out.clauseList.size())
    return "header declares " + std::to_string(out.clauses) + " clauses, " + std::to_string(out.clauseList.size()) +
           " follow";
  return "";
}

}  // namespace fuzz
}  // namespace vorn
