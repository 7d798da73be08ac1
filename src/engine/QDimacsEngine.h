// The engine's sink of the QDIMACS reader: the prefix and the clauses go
// straight into the engine's constraint store as they are met; preference
// lines are collected and installed at the end. Read with
// QDimacs reader(target, options).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/Instance.h"
#include "engine/NffEx.h"
#include "input/QdimacsSink.h"

namespace vorn {

class EngineTarget final : public QdimacsSink {
 public:
  EngineTarget(NffEx& formula, Instance<long>& names)
      : formula_(formula), names_(names), prefLines_(new PrefLines) {}

  bool header(int32_t vars, int32_t clauses) override {
    names_.nVars = vars;
    names_.nClauses = clauses;
    // The counts are hints: a three-line file may declare billions. Tables
    // are sized for at most NffEx::hintCap up front and grow as needed.
    const int32_t cap = static_cast<int32_t>(std::min<std::size_t>(NffEx::hintCap, INT32_MAX));
    formula_.init(std::min(vars, cap), clauses);
    formula_.deferInputOccurrences();
    prefLines_->reserve(static_cast<std::size_t>(std::min(clauses, cap)));
    return true;
  }
  void quantifierBegin(bool exists) override { quantifier_ = exists ? Exists : Forall; }
  void quantifierEntry(int32_t var) override { formula_.prefix.learnAtom(quantifier_, index(var)); }
  void quantifierEnd() override {}
  void clauseBegin() override { clause_.clear(); }
  void clauseLiteral(int32_t lit) override {
    // learnConstraint places free variables, in this same order.
    const long i = index(lit < 0 ? -static_cast<long>(lit) : lit);
    clause_.push_back(lit < 0 ? -i : i);
  }
  bool clauseEnd() override {
    uint32_t id = 0;
    formula_.learnConstraint(clause_, id, true, true);
    return true;
  }
  bool wantsPreferenceLines() const override { return true; }
  // Kept as the file's numbers until the end, so that a variable met only
  // here does not take an index below variables of the prefix.
  void preferenceLine(const std::vector<int32_t>& entries) override {
    prefLines_->emplace_back(entries.begin(), entries.end());
  }

  void finish() override {
    formula_.layOutInputOccurrences();
    for (std::vector<long>& group : *prefLines_)
      for (long& e : group) {
        const long i = index(e < 0 ? -e : e);
        e = e < 0 ? -i : i;
      }
    formula_.prefLines = std::move(prefLines_);
  }

 private:
  // Internal index of a file number. Numbers are answered from a flat
  // table (the hash map of the name table costs a cache miss per literal
  // and some 40 bytes per variable); its size stays proportional to the
  // variables seen. Only a number too large for it goes into the hash map,
  // which nothing but this reader looks up; indices are handed out in
  // order of first appearance either way.
  long index(long number) {
    const std::size_t n = static_cast<std::size_t>(number);
    if (n < direct_.size() && direct_[n] != 0) return direct_[n];
    const bool flat = n < 16 * names_.intToExt.size() + 4096;
    long i;
    if (flat && (names_.extToInt.empty() || names_.extToInt.find(number) == names_.extToInt.end()))
      i = names_.appendIndex(number);
    else
      i = names_.getIndex(number);
    if (i > static_cast<long>(kMaxVar))
      fail("more distinct variables than the engine can number (" + std::to_string(kMaxVar) + ")");
    if (flat) {
      if (n >= direct_.size()) direct_.resize(std::max(n + 1, 2 * direct_.size()), 0);
      direct_[n] = static_cast<uint32_t>(i);
    }
    return i;
  }

  NffEx& formula_;
  Instance<long>& names_;
  std::unique_ptr<PrefLines> prefLines_;
  Quantifier quantifier_ = Exists;
  std::vector<long> clause_;
  std::vector<uint32_t> direct_;  // file number -> internal index, 0 unknown
};

}  // namespace vorn
