// The preprocessor's sink of the QDIMACS reader: atoms go to the formula's
// prefix as they are met, clauses are collected and loaded at the end.
// Read with QDimacs reader(target, options); a reader that stopped at the
// header (the size cut of "-solve") loads nothing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "input/QdimacsSink.h"
#include "preprocessor/CnfFormula.h"

namespace vorn {

class CnfTarget final : public QdimacsSink {
 public:
  // The header's count is a hint: a file may declare far more than it holds.
  // Lowered by a process that reads many small files (a fuzzer), where a
  // large first allocation costs more than the reading.
  static inline std::size_t reserveCap = std::size_t(1) << 22;
  static inline std::size_t cacheCap = std::size_t(1) << 24;

  CnfTarget(CnfFormula& formula, Instance<long>& names, CommandLine& options)
      : formula_(formula),
        names_(names),
        sizeCut_(options.getPar(kOptionSolve) != nullptr && options.getPar(kOptionForcePrepro) == nullptr) {}

  bool header(int32_t vars, int32_t count) override {
    if (sizeCut_ && count > kHugeInputClauses) return false;
    std::size_t hint = std::min<std::size_t>(static_cast<std::size_t>(count), reserveCap);
    clauses.ends.reserve(hint);
    clauses.literals.reserve(3 * hint);
    names_.nClauses = count;
    names_.nVars = vars;
    // The cache covers the declared numbers but grows with the numbers met:
    // a header may declare millions of variables and use three.
    cacheLimit_ = std::min<std::size_t>(static_cast<std::size_t>(vars) + 1, cacheCap);
    known_.clear();
    formula_.reserveAtoms(static_cast<CnfLiteral>(std::min<std::size_t>(static_cast<std::size_t>(vars), reserveCap)));
    return true;
  }
  void quantifierBegin(bool exists) override { exists_ = exists; }
  void quantifierEntry(int32_t var) override { formula_.addAtom(atomIndex(var), exists_ ? Exists : Forall); }
  void quantifierEnd() override {}
  void clauseBegin() override {}
  void clauseLiteral(int32_t lit) override {
    bool known = false;
    CnfLiteral i = atomIndex(lit < 0 ? -static_cast<long>(lit) : lit, known);
    // A remembered atom was put in the prefix when first met.
    if (!known) formula_.addAtom(i);
    clauses.literals.push_back(lit < 0 ? -i : i);
  }
  bool clauseEnd() override {
    clauses.closeClause();
    return true;
  }
  bool wantsPreferenceLines() const override { return false; }
  void preferenceLine(const std::vector<int32_t>&) override {}

  // The clauses go to the formula in one piece, with the prefix complete.
  void finish() override {
    formula_.init(clauses);
    clauses = ClauseList();
  }

  ClauseList clauses;

 private:
  // The name table's answer, remembered for the numbers up to the header's
  // count: most literals then cost an array lookup instead of a hash lookup.
  CnfLiteral atomIndex(long var) {
    bool known;
    return atomIndex(var, known);
  }
  // known: the answer was remembered, so the atom was met before.
  CnfLiteral atomIndex(long var, bool& known) {
    known = false;
    if (var >= static_cast<long>(cacheLimit_)) return static_cast<CnfLiteral>(names_.getIndex(var));
    if (var >= static_cast<long>(known_.size()))
      known_.resize(std::min(std::max(static_cast<std::size_t>(var) + 1, 2 * known_.size()), cacheLimit_), 0);
    CnfLiteral& index = known_[static_cast<std::size_t>(var)];
    known = index != 0;
    if (index == 0) index = static_cast<CnfLiteral>(names_.getIndex(var));
    return index;
  }

  CnfFormula& formula_;
  Instance<long>& names_;
  bool sizeCut_;
  bool exists_ = true;
  std::size_t cacheLimit_ = 0;     // numbers below it are cached
  std::vector<CnfLiteral> known_;  // grows up to cacheLimit_
};

}  // namespace vorn
