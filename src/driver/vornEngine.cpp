#include "driver/vornEngine.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/QDimacsEngine.h"
#include "engine/Solver.h"
#include "heuristics/StrategyList.h"
#include "input/QDimacs.h"

namespace vorn {

namespace {
constexpr int kDefaultSearchLimit = 6000;
}

int searchTimeLimit(const CommandLine& options) {
  const char* value = options.getPar(kOptionTimeLimit);
  if (!value || std::strcmp(value, "true") == 0) return kDefaultSearchLimit;
  const long limit = std::strtol(value, nullptr, 10);
  if (limit > INT_MAX) return INT_MAX;
  if (limit < 0) return 0;
  return static_cast<int>(limit);
}

vornEngine::vornEngine(CommandLine& opts) : options(opts), formula(options, names) {
  if (!options.getPar(kKeyFileName)) {
    state = StateNoInput;
    return;
  }
  EngineTarget target(formula, names);
  reader_ = std::make_unique<QDimacs>(target, options);
  state = StateReady;
}

vornEngine::vornEngine(long nVars, long nClauses, int, CommandLine& opts) : options(opts), formula(options, names) {
  buildFromCounts_(nVars, nClauses);
}

vornEngine::vornEngine(long nVars, long nClauses) : formula(options, names) { buildFromCounts_(nVars, nClauses); }

vornEngine::vornEngine(long nVars, long nClauses, int) : formula(options, names) {
  buildFromCounts_(nVars, nClauses);
}

vornEngine::~vornEngine() = default;

void vornEngine::buildFromCounts_(long nVars, long nClauses) {
  names.nVars = nVars;
  names.nClauses = nClauses;
  formula.init(nVars < 0 ? 0 : nVars, nClauses);
  state = StateReady;
}

void vornEngine::addAtom(const int& var, bool exists) {
  const long index = names.getIndex(var);
  formula.prefix.learnAtom(exists ? Exists : Forall, static_cast<unsigned long>(index));
}

void vornEngine::addClause(std::vector<long>& lits) {
  std::vector<long> internal;
  internal.reserve(lits.size());
  for (const long l : lits) {
    const long index = names.getIndex(l < 0 ? -l : l);
    // A number never declared is free, as the reader places it.
    formula.prefix.learnAtom(Free, static_cast<unsigned long>(index));
    internal.push_back(l < 0 ? -index : index);
  }
  uint32_t id = 0;
  formula.learnConstraint(internal, id, true, true);
}

void vornEngine::Solve() {
  if (state != StateReady) return;
  // Nothing on this road reads which learned constraints hold a literal.
  formula.keepLearnedOccurrenceLists(false);
  solver_ = std::make_unique<Solver>(formula, makeStrategies(formula, options, names));
  solver_->init();
  solver_->Solve(searchTimeLimit(options));
  state = solver_->getResult();
}

}  // namespace vorn
