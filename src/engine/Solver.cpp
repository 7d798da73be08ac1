#include "engine/Solver.h"

#include <sys/resource.h>

#include <algorithm>
#include <cassert>
#include <iostream>
#include <utility>

#include "driver/Timer.h"

namespace vorn {

namespace {

// Index of the first strategy that receives events (after BCP and MLF).
constexpr std::size_t kFirstEventStrategy = 2;
constexpr unsigned long kClockPeriod = 128;

void say(const char* line) { std::cout << line << std::endl; }

}  // namespace

float processCpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  const double user = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
  const double system = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  return static_cast<float>(user + system);
}

namespace {
float searchClockOrigin = 0;
}

void setSearchClockOrigin(float processSeconds) { searchClockOrigin = processSeconds; }

float searchStopSeconds(int timeLimit, rlim_t softCpuLimit) {
  const float limit = searchClockOrigin + static_cast<float>(timeLimit);
  if (softCpuLimit == RLIM_INFINITY) return limit;
  // Room for the statistics, the answer line and freeing the store; the
  // clock is only read every kClockPeriod iterations, so the room grows
  // with the limit, within bounds.
  const double soft = static_cast<double>(softCpuLimit);
  const double margin = std::clamp(soft * 0.05, 0.5, 5.0);
  return std::min(limit, static_cast<float>(soft - margin));
}

Solver::Solver(DynFormula& f, SearchStrategies s)
    : formula(f), strategies(std::move(s.list)), bcp_(s.units), mlf_(s.pures) {
  assert(strategies.size() >= kFirstEventStrategy && bcp_ && mlf_);
}

Solver::~Solver() = default;

void Solver::init() {
  Timer timer;
  timer.start();
  formula.init();
  if (!formula.hasEmpty())
    for (auto& s : strategies) s->init();
  std::cout << "time used in BP  : " << timer.elapsed() << std::endl;
}

int Solver::pendingResult_() const {
  if (!formula.bEmpties.empty()) return litTerm(formula.bEmpties.back().lit2) ? ResultTrue : ResultFalse;
  if (formula.nEmpties.empty()) return ResultUnknown;
  const uint32_t* entry = formula.nEmpties.back();
  // An entry whose first literal is 0 says the analysis gave up.
  if (DynFormula::firstLiteral(entry) == 0) return ResultUnknown;
  return DynFormula::isTermEntry(entry) ? ResultTrue : ResultFalse;
}

void Solver::propagate() {
  for (;;) {
    do {
      // Twice, as the loop has always been: the second call returns at
      // once, since the first stops only at the trail's end or at an
      // empty constraint.
      bcp_->assignBinaries();
      bcp_->assignBinaries();
      mlf_->subsume();
      bcp_->assignNaries();
    } while (!formula.hasEmpty() && formula.binHead != formula.trailSize);
    mlf_->search4pure();
    if (formula.hasEmpty() || formula.binHead == formula.trailSize) return;
  }
}

void Solver::Solve(int limit) {
  // Early answers, without statistics: an empty constraint from loading,
  // or no clause of two or more literals left (units only: true).
  if (formula.hasEmpty()) {
    result = pendingResult_();
    return;
  }
  if (formula.counts[OrigClause] == 0) {
    result = ResultTrue;
    return;
  }

  struct rlimit cpu;
  const float stopAt = searchStopSeconds(limit, getrlimit(RLIMIT_CPU, &cpu) == 0 ? cpu.rlim_cur : RLIM_INFINITY);
  Timer timer;
  timer.start();
  // Completeness counts placed variables: an index with no place in the
  // prefix is never assigned.
  const uint32_t placed = formula.prefix.atomCount;
  const reasonItem_ nullReason{0, NoReason};
  bool complete = false;
  unsigned long iterations = 0;
  for (;;) {
    propagate();

    Literal lit = 0;
    reasonItem_ reason = nullReason;
    if (formula.notifyHead != formula.trailSize) {
      lit = formula.trail[formula.notifyHead++];
      reason = formula.reasons[litCode(lit)];
    }
    for (std::size_t i = kFirstEventStrategy; i < strategies.size(); ++i) strategies[i]->assign(lit, reason);

    if (formula.hasEmpty()) break;
    if (formula.trailSize == placed && formula.binHead == placed) {
      complete = true;
      break;
    }
    // Reading the clock is a system call that would cost more than a
    // cheap iteration: read it at the first iteration and then every
    // kClockPeriod iterations.
    if (++iterations % kClockPeriod == 1 && processCpuSeconds() > stopAt) {
      std::cout << "DPLL: TIMEOUT" << std::endl;
      break;
    }
  }

  // Only a decided record (or a level-1 unit conflict) is an answer; a
  // complete trail proves nothing by itself. The analysis judges every
  // complete propagated trail at its event, so that exit means it did not.
  assert(!complete && "complete assignment left unanalysed");
  (void)complete;
  result = pendingResult_();

  formula.printStats();
  for (auto& s : strategies) s->printStats();
  std::cout << "time used in dpll: " << timer.elapsed() << std::endl;
}

int& Solver::getResult() {
  switch (result) {
    case ResultTrue:
      say("s cnf 1");
      break;
    case ResultFalse:
      say("s cnf 0");
      break;
    case ResultUnknown:
      say("s cnf -1");
      break;
    default:
      break;
  }
  return result;
}

}  // namespace vorn
