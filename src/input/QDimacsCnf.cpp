// The preprocessor target of the QDIMACS reader: atoms go to the formula's
// prefix as they are met, clauses are collected and loaded at the end.
#include <algorithm>

#include "input/QDimacs.h"
#include "input/QdimacsItems.h"
#include "preprocessor/CnfFormula.h"

namespace vorn {

namespace {

// The header's count is a hint: a file may declare far more than it holds.
constexpr std::size_t kReserveCap = std::size_t(1) << 22;
constexpr std::size_t kCacheCap = std::size_t(1) << 24;

class CnfTarget {
 public:
  CnfTarget(CnfFormula& formula, Instance<long>& names, CommandLine& options)
      : formula_(formula),
        names_(names),
        sizeCut_(options.getPar(kOptionSolve) != nullptr && options.getPar(kOptionForcePrepro) == nullptr) {}

  bool header(int32_t vars, int32_t count) {
    if (sizeCut_ && count > kHugeInputClauses) return false;
    std::size_t hint = std::min<std::size_t>(static_cast<std::size_t>(count), kReserveCap);
    clauses.ends.reserve(hint);
    clauses.literals.reserve(3 * hint);
    names_.nClauses = count;
    names_.nVars = vars;
    known_.assign(std::min<std::size_t>(static_cast<std::size_t>(vars) + 1, kCacheCap), 0);
    return true;
  }
  void quantifierBegin(bool exists) { exists_ = exists; }
  void quantifierEntry(int32_t var) {
    formula_.addAtom(atomIndex(var), exists_ ? Exists : Forall);
  }
  void quantifierEnd() {}
  void clauseBegin() {}
  void clauseLiteral(int32_t lit) {
    CnfLiteral i = atomIndex(lit < 0 ? -static_cast<long>(lit) : lit);
    formula_.addAtom(i);
    clauses.literals.push_back(lit < 0 ? -i : i);
  }
  bool clauseEnd() {
    clauses.closeClause();
    return true;
  }
  bool wantsPreferenceLines() const { return false; }
  void preferenceLine(const std::vector<int32_t>&) {}

  ClauseList clauses;

 private:
  // The name table's answer, remembered for the numbers up to the header's
  // count: most literals then cost an array lookup instead of a hash lookup.
  CnfLiteral atomIndex(long var) {
    if (var >= static_cast<long>(known_.size())) return static_cast<CnfLiteral>(names_.getIndex(var));
    CnfLiteral& index = known_[static_cast<std::size_t>(var)];
    if (index == 0) index = static_cast<CnfLiteral>(names_.getIndex(var));
    return index;
  }

  CnfFormula& formula_;
  Instance<long>& names_;
  bool sizeCut_;
  bool exists_ = true;
  std::vector<CnfLiteral> known_;
};

}  // namespace

QDimacs::QDimacs(CnfFormula& formula, Instance<long>& names, CommandLine& options) {
  const char* file = options.getPar(kKeyFileName);
  fileName = file ? file : "";
  Scanner in(fileName);
  if (!in.isOpen()) raiseUnopened(fileName);
  CnfTarget target(formula, names, options);
  InputError error;
  switch (scanQdimacs(in, target, error)) {
    case ScanEnd::Failed:
      raiseInputError(fileName, error);
    case ScanEnd::Stopped:
      return;  // size cut: status stays 2, nothing loaded
    case ScanEnd::Complete:
      break;
  }
  formula.init(target.clauses);
  status = 0;
}

}  // namespace vorn
