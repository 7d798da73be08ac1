#include "support/Bench.h"

#include <algorithm>
#include <sstream>

#include "heuristics/StrategyList.h"
#include "strategies/BCP.h"
#include "strategies/MLF.h"

namespace vorn {
namespace test {

namespace {
unsigned long maxVariable(const Prefix& prefix, const Clauses& clauses) {
  unsigned long maxVar = 0;
  for (const Block& b : prefix)
    for (unsigned long v : b.vars) maxVar = std::max(maxVar, v);
  for (const auto& c : clauses)
    for (long l : c) maxVar = std::max<unsigned long>(maxVar, static_cast<unsigned long>(l < 0 ? -l : l));
  return maxVar;
}
}  // namespace

std::string qdimacsText(const Prefix& prefix, const Clauses& clauses) {
  std::ostringstream out;
  out << "p cnf " << maxVariable(prefix, clauses) << ' ' << clauses.size() << '\n';
  for (const Block& b : prefix) {
    out << (b.q == Forall ? 'a' : 'e');
    for (unsigned long v : b.vars) out << ' ' << v;
    out << " 0\n";
  }
  for (const auto& c : clauses) {
    for (long l : c) out << l << ' ';
    out << "0\n";
  }
  return out.str();
}

Bench::Bench(const Prefix& prefix, Clauses clauses, const std::vector<const char*>& flags, const Clauses* prefLines) {
  for (const char* flag : flags) options[flag] = "true";
  // The header's variable count is the largest quantified variable.
  unsigned long maxVar = maxVariable(prefix, {});
  formula.NffEx::init(static_cast<long>(maxVar), static_cast<long>(clauses.size()));
  for (const Block& b : prefix)
    for (unsigned long v : b.vars) formula.prefix.learnAtom(b.q, v);
  for (auto& c : clauses) {
    uint32_t id = 0;
    formula.learnConstraint(c, id, true, true);
  }
  if (prefLines) formula.prefLines = std::make_unique<PrefLines>(*prefLines);
  formula.init();
}

std::unique_ptr<Solver> makeSolver(DynFormula& formula, CommandLine& options, Instance<long>& names) {
  const char* heur = options.getPar("--heur");
  options["--heur"] = "qp";
  auto solver = std::make_unique<Solver>(formula, makeStrategies(formula, options, names));
  options["--heur"] = heur;
  return solver;
}

BCP& bcpOf(Solver& solver) { return static_cast<BCP&>(*solver.strategies[0]); }
MLF& mlfOf(Solver& solver) { return static_cast<MLF&>(*solver.strategies[1]); }

}  // namespace test
}  // namespace vorn
