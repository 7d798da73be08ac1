#include "support/Evaluator.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace vorn {
namespace test {

EvalOrder evaluationOrder(const QbfFormula& f) {
  std::unordered_set<int> inClauses;
  std::vector<int> clauseVarsInOrder;
  for (const auto& c : f.clauses)
    for (int l : c)
      if (inClauses.insert(std::abs(l)).second) clauseVarsInOrder.push_back(std::abs(l));

  // First place of every quantified variable.
  std::unordered_set<int> placed;
  std::vector<std::pair<int, bool>> quantified;  // (var, exists) in prefix order
  for (const QBlock& b : f.prefix)
    for (int v : b.vars) {
      v = std::abs(v);
      if (placed.insert(v).second) quantified.push_back({v, b.exists});
    }

  EvalOrder order;
  // Free variables join the outermost block; existentials of one block
  // commute, so putting them first is the same formula.
  for (int v : clauseVarsInOrder)
    if (!placed.count(v)) {
      order.vars.push_back(v);
      order.exists.push_back(true);
    }
  for (const auto& q : quantified)
    if (inClauses.count(q.first)) {
      order.vars.push_back(q.first);
      order.exists.push_back(q.second);
    }
  return order;
}

namespace {

struct Clause {
  uint64_t pos, neg;  // bit i: literal of order.vars[i] occurs positive / negative
};

class Search {
 public:
  Search(const std::vector<Clause>& clauses, const std::vector<bool>& exists)
      : clauses_(clauses), exists_(exists) {}

  bool value(std::size_t depth, uint64_t assigned, uint64_t trueVars) const {
    bool allSatisfied = true;
    for (const Clause& c : clauses_) {
      bool sat = (c.pos & assigned & trueVars) || (c.neg & assigned & ~trueVars);
      if (sat) continue;
      if (((c.pos | c.neg) & ~assigned) == 0) return false;  // falsified
      allSatisfied = false;
    }
    if (allSatisfied) return true;
    assert(depth < exists_.size());  // an open clause has an unassigned variable
    uint64_t bit = uint64_t(1) << depth;
    bool first = value(depth + 1, assigned | bit, trueVars);
    if (exists_[depth] ? first : !first) return first;
    return value(depth + 1, assigned | bit, trueVars | bit);
  }

 private:
  const std::vector<Clause>& clauses_;
  const std::vector<bool>& exists_;
};

}  // namespace

bool evaluate(const QbfFormula& f) {
  EvalOrder order = evaluationOrder(f);
  if (order.vars.size() > 64) throw std::invalid_argument("evaluate: more than 64 clause variables");
  std::unordered_map<int, int> bitOf;
  for (std::size_t i = 0; i < order.vars.size(); ++i) bitOf[order.vars[i]] = static_cast<int>(i);
  std::vector<Clause> clauses;
  clauses.reserve(f.clauses.size());
  for (const auto& c : f.clauses) {
    Clause k{0, 0};
    for (int l : c) {
      uint64_t bit = uint64_t(1) << bitOf.at(std::abs(l));
      (l > 0 ? k.pos : k.neg) |= bit;
    }
    clauses.push_back(k);
  }
  return Search(clauses, order.exists).value(0, 0, 0);
}

}  // namespace test
}  // namespace vorn
