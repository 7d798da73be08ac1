// The engine target of the QDIMACS reader: the prefix and the clauses go
// straight into the engine's constraint store as they are met; preference
// lines are collected and installed at the end.
#include <algorithm>
#include <memory>

#include "engine/NffEx.h"
#include "input/QDimacs.h"
#include "input/QdimacsItems.h"

namespace vorn {

namespace {

// The header's counts are hints: a three-line file may declare billions.
// Tables are sized for at most this many up front and grow as needed.
constexpr int32_t kHintCap = 1 << 16;

class EngineTarget {
 public:
  EngineTarget(NffEx& formula, Instance<long>& names, Scanner& in, const std::string& file)
      : formula_(formula), names_(names), in_(in), file_(file), prefLines_(new PrefLines) {}

  bool header(int32_t vars, int32_t clauses) {
    names_.nVars = vars;
    names_.nClauses = clauses;
    formula_.init(std::min(vars, kHintCap), clauses);
    prefLines_->reserve(static_cast<std::size_t>(std::min(clauses, kHintCap)));
    return true;
  }
  void quantifierBegin(bool exists) { quantifier_ = exists ? Exists : Forall; }
  void quantifierEntry(int32_t var) { formula_.prefix.learnAtom(quantifier_, index(var)); }
  void quantifierEnd() {}
  void clauseBegin() { clause_.clear(); }
  void clauseLiteral(int32_t lit) {
    const long i = index(lit < 0 ? -static_cast<long>(lit) : lit);
    formula_.prefix.learnAtom(Free, static_cast<unsigned long>(i));
    clause_.push_back(lit < 0 ? -i : i);
  }
  bool clauseEnd() {
    uint32_t id = 0;
    formula_.learnConstraint(clause_, id, true, true);
    return true;
  }
  bool wantsPreferenceLines() const { return true; }
  // Kept as the file's numbers until the end, so that a variable met only
  // here does not take an index below variables of the prefix.
  void preferenceLine(const std::vector<int32_t>& entries) { prefLines_->emplace_back(entries.begin(), entries.end()); }

  void finish() {
    for (std::vector<long>& group : *prefLines_)
      for (long& e : group) {
        const long i = index(e < 0 ? -e : e);
        e = e < 0 ? -i : i;
      }
    formula_.prefLines = std::move(prefLines_);
  }

 private:
  // Internal index of a file number. Repeated numbers are answered from a
  // flat table (the hash map of the name table costs a cache miss per
  // literal); its size stays proportional to the variables seen.
  long index(long number) {
    const std::size_t n = static_cast<std::size_t>(number);
    if (n < direct_.size() && direct_[n] != 0) return direct_[n];
    const long i = names_.getIndex(number);
    if (i > static_cast<long>(kMaxVar)) {
      InputError error;
      error.kind = InputError::Malformed;
      error.line = in_.line();
      error.what = "more distinct variables than the engine can number (" + std::to_string(kMaxVar) + ")";
      raiseInputError(file_, error);
    }
    if (n < 16 * names_.intToExt.size() + 4096) {
      if (n >= direct_.size()) direct_.resize(std::max(n + 1, 2 * direct_.size()), 0);
      direct_[n] = static_cast<uint32_t>(i);
    }
    return i;
  }

  NffEx& formula_;
  Instance<long>& names_;
  Scanner& in_;
  const std::string& file_;
  std::unique_ptr<PrefLines> prefLines_;
  Quantifier quantifier_ = Exists;
  std::vector<long> clause_;
  std::vector<uint32_t> direct_;  // file number -> internal index, 0 unknown
};


}  // namespace

QDimacs::QDimacs(NffEx& formula, Instance<long>& names, CommandLine& options) {
  const char* file = options.getPar(kKeyFileName);
  fileName = file ? file : "";
  Scanner in(fileName);
  if (!in.isOpen()) raiseUnopened(fileName);
  EngineTarget target(formula, names, in, fileName);
  InputError error;
  if (scanQdimacs(in, target, error) != ScanEnd::Complete) raiseInputError(fileName, error);
  target.finish();
  status = 0;
}

}  // namespace vorn
