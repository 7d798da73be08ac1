#include "support/SolverSearch.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "support/Bench.h"

namespace vorn {
namespace test {

namespace {
// Small formulas by the thousand: small chunks keep each engine cheap to
// build (a record larger than a chunk still gets one of its own).
constexpr std::size_t kChunkWords = 1 << 12;

// A slot of the strategy list that hands each event to a test function.
class EventHook : public Strategy {
 public:
  explicit EventHook(std::function<void(Literal)> onEvent) : onEvent_(std::move(onEvent)) {}
  void assign(const uint32_t& lit, const reasonItem_&) override { onEvent_(lit); }

 private:
  std::function<void(Literal)> onEvent_;
};

// Thrown by the decision slot once the iterations are spent.
struct Exhausted {};

// The engine prints its times and statistics; thousands of runs need none.
class SilentStdout {
 public:
  SilentStdout() : saved_(std::cout.rdbuf(nullptr)) {}
  ~SilentStdout() {
    std::cout.rdbuf(saved_);
    std::cout.clear();
  }

 private:
  std::streambuf* saved_;
};
}  // namespace

SolverSearch::SolverSearch(const QbfFormula& f, const SolverSearchConfig& c)
    : input(f), config(c), formula(options, names, kChunkWords), rng_(c.phaseSeed) {
  names.nVars = f.numVars;
  names.nClauses = static_cast<long>(f.clauses.size());
  formula.init(f.maxVar(), names.nClauses);
  for (const QBlock& b : f.prefix)
    for (int v : b.vars) {
      const long index = names.getIndex(std::abs(v));
      formula.prefix.learnAtom(b.exists ? Exists : Forall, static_cast<unsigned long>(index));
    }
  std::vector<long> internal;
  for (const auto& clause : f.clauses) {
    internal.clear();
    for (int l : clause) {
      const long index = names.getIndex(std::abs(l));
      formula.prefix.learnAtom(Free, static_cast<unsigned long>(index));
      internal.push_back(l < 0 ? -index : index);
    }
    uint32_t id = 0;
    formula.learnConstraint(internal, id, true, true);
  }
  if (c.searchStats) options[kOptionSearchStats] = "true";
  solver = makeSolver(formula, options, names);
  std::vector<std::unique_ptr<Strategy>>& list = solver->strategies;
  // The engine's list: BCP, MLF, heuristic, Backtrack, Unlearn (idle
  // without "-unlearn").
  bcp = &bcpOf(*solver);
  mlf = &mlfOf(*solver);
  backtrack = static_cast<Backtrack*>(list[3].get());
  backtrack->setStampLimit(config.stampLimit);
  list[2] = std::make_unique<EventHook>([this](Literal lit) {
    if (iterations >= config.maxIterations) throw Exhausted{};
    if (lit == 0 && !formula.hasEmpty()) decideNext_();
  });
  list.insert(list.begin() + 3, std::make_unique<EventHook>([this](Literal) {
    DynFormula& f = formula;
    const uint32_t placed = f.prefix.atomCount;
    if (!f.hasEmpty() && f.trailSize == placed && f.binHead == placed && onCompleteAssignment)
      onCompleteAssignment(*this);
    topLevel_.clear();
    for (uint32_t i = 0; i < f.trailSize && f.levelOf(f.trail[i]) == 1; ++i)
      topLevel_.push_back(externalLiteral(f.trail[i]));
  }));
  list.insert(list.begin() + 5, std::make_unique<EventHook>([this](Literal) {
    recordLearned_(topLevel_);
    if (afterAnalysis) afterAnalysis(*this);
    ++iterations;
  }));
}

Literal SolverSearch::internalLiteral(int external) const {
  auto it = names.extToInt.find(std::abs(external));
  if (it == names.extToInt.end()) return 0;
  const uint32_t v = static_cast<uint32_t>(it->second);
  if (!formula.prefix.isPlaced(v)) return 0;
  return formula.prefix.atomWord[v] | (external < 0 ? kSignBit : 0u);
}

int SolverSearch::externalLiteral(Literal l) const {
  const int ext = static_cast<int>(names.intToExt[litVar(l)]);
  return litNegative(l) ? -ext : ext;
}

int SolverSearch::pendingResult() const { return solver->pendingResult(); }

void SolverSearch::propagate() {
  if (config.pureLiterals) return solver->propagate();
  do {
    bcp->assignBinaries();
    bcp->assignNaries();
  } while (!formula.hasEmpty() && formula.binHead != formula.trailSize);
}

void SolverSearch::decide(int external) {
  formula.push2Assign(internalLiteral(external), reasonItem_{0, Branch});
  ++decisions;
}

void SolverSearch::nextEvent(Literal& lit, reasonItem_& reason) {
  DynFormula& f = formula;
  lit = 0;
  reason = f.reasons[0];
  if (f.notifyHead != f.trailSize) {
    lit = f.trail[f.notifyHead++];
    reason = f.reasons[litCode(lit)];
  }
}

void SolverSearch::decideNext_() {
  DynFormula& f = formula;
  for (uint32_t word = f.prefix.getBegin(); word != NULL_ATOM; word = f.prefix.getNext()) {
    if (f.isAssigned(word)) continue;
    bool negative = !litExistential(word);
    if (config.phaseSeed != 0) negative = rng_.chance(0.5);
    f.push2Assign(negative ? (word | kSignBit) : word, reasonItem_{0, Branch});
    ++decisions;
    return;
  }
}

void SolverSearch::recordLearned_(const std::vector<int>& topLevel) {
  DynFormula& f = formula;
  const ConstraintKind kinds[2] = {LearnedClause, LearnedTerm};
  for (int i = 0; i < 2; ++i) {
    const ConstraintKind k = kinds[i];
    // Records.
    for (; learnedIds_[i] < f.watchedOccs[k].size(); ++learnedIds_[i]) {
      LearnedConstraint c;
      c.clause = k == LearnedClause;
      for (const uint32_t* p = NConstraint::literals(f.watchedOccs[k][learnedIds_[i]].begin); *p; ++p)
        c.lits.push_back(externalLiteral(*p));
      learned.push_back(c);
    }
    // Binary constraints: a partner list that grew names its new partner.
    std::vector<std::size_t>& sizes = partnerSizes_[i];
    const auto& lists = f.bOccs[k];
    if (sizes.size() < lists.size()) sizes.resize(lists.size(), 0);
    for (std::size_t code = 0; code < lists.size(); ++code) {
      const auto& list = lists[code];
      std::size_t from = std::max<std::size_t>(sizes[code], 1);
      for (std::size_t j = from; j < list.size(); ++j) {
        // Each pair shows in both lists; keep it once.
        if (litCode(list[j]) < code) continue;
        LearnedConstraint c;
        c.clause = k == LearnedClause;
        c.lits = {externalLiteral(list[0]), externalLiteral(list[j])};
        learned.push_back(c);
      }
      sizes[code] = list.size();
    }
  }
  for (; unitCount_ < f.units.size(); ++unitCount_) {
    LearnedConstraint c;
    c.clause = !litTerm(f.units[unitCount_]);
    c.lits = {externalLiteral(f.units[unitCount_])};
    learned.push_back(c);
  }
  for (; learnedSeen_ < learned.size(); ++learnedSeen_) learned[learnedSeen_].topLevel = topLevel;
}

bool SolverSearch::start() {
  DynFormula& f = formula;
  if (config.pureLiterals) {
    SilentStdout quiet;
    solver->init();
  } else {
    // Solver::init without MLF.
    f.init();
    if (!f.hasEmpty())
      for (auto& s : solver->strategies)
        if (s.get() != mlf) s->init();
  }
  if (f.hasEmpty()) {
    earlyResult = pendingResult();
    return false;
  }
  unitCount_ = f.units.size();  // the input units are not learned
  for (int i = 0; i < 2; ++i) {
    partnerSizes_[i].assign(f.bOccs[i == 0 ? LearnedClause : LearnedTerm].size(), 0);
    learnedIds_[i] = f.watchedOccs[i == 0 ? LearnedClause : LearnedTerm].size();
  }
  if (f.counts[OrigClause] == 0) {
    earlyResult = ResultTrue;
    return false;
  }
  return true;
}

int SolverSearch::solve() {
  assert(config.pureLiterals && "the engine's loop always runs MLF");
  if (!start()) return earlyResult;
  SilentStdout quiet;
  try {
    solver->Solve(INT_MAX);
  } catch (const Exhausted&) {
    exhausted = true;
    return ResultUnknown;
  }
  return solver->result;
}

}  // namespace test
}  // namespace vorn
