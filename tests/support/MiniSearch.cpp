#include "support/MiniSearch.h"

#include <cstdlib>

namespace vorn {
namespace test {

namespace {
// Small formulas by the thousand: small chunks keep each engine cheap to
// build (a record larger than a chunk still gets one of its own).
constexpr std::size_t kChunkWords = 1 << 12;
}  // namespace

MiniSearch::MiniSearch(const QbfFormula& f, const MiniSearchConfig& c)
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
  bcp = std::make_unique<BCP>(formula, options, names);
  mlf = std::make_unique<MLF>(formula, options, names);
  backtrack = std::make_unique<Backtrack>(formula, options, names);
  backtrack->setStampLimit(config.stampLimit);
}

Literal MiniSearch::internalLiteral(int external) const {
  auto it = names.extToInt.find(std::abs(external));
  if (it == names.extToInt.end()) return 0;
  const uint32_t v = static_cast<uint32_t>(it->second);
  if (!formula.prefix.isPlaced(v)) return 0;
  return formula.prefix.atomWord[v] | (external < 0 ? kSignBit : 0u);
}

int MiniSearch::externalLiteral(Literal l) const {
  const int ext = static_cast<int>(names.intToExt[litVar(l)]);
  return litNegative(l) ? -ext : ext;
}

int MiniSearch::pendingResult() const {
  if (!formula.bEmpties.empty()) return litTerm(formula.bEmpties.back().lit2) ? ResultTrue : ResultFalse;
  if (!formula.nEmpties.empty()) {
    const Literal first = DynFormula::firstLiteral(formula.nEmpties.back());
    if (first == 0) return ResultUnknown;
    return litTerm(first) ? ResultTrue : ResultFalse;
  }
  return ResultUnknown;
}

void MiniSearch::propagate() {
  DynFormula& f = formula;
  for (;;) {
    do {
      bcp->assignBinaries();
      bcp->assignBinaries();
      if (config.pureLiterals) mlf->subsume();
      bcp->assignNaries();
    } while (!f.hasEmpty() && f.binHead != f.trailSize);
    if (config.pureLiterals) mlf->search4pure();
    if (f.hasEmpty() || f.binHead == f.trailSize) return;
  }
}

void MiniSearch::decide(int external) {
  formula.push2Assign(internalLiteral(external), reasonItem_{0, Branch});
  ++decisions;
}

void MiniSearch::nextEvent(Literal& lit, reasonItem_& reason) {
  DynFormula& f = formula;
  lit = 0;
  reason = f.reasons[0];
  if (f.notifyHead != f.trailSize) {
    lit = f.trail[f.notifyHead++];
    reason = f.reasons[litCode(lit)];
  }
}

void MiniSearch::decideNext_() {
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

void MiniSearch::recordLearned_(const std::vector<int>& topLevel) {
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

bool MiniSearch::start() {
  DynFormula& f = formula;
  f.init();
  if (f.hasEmpty()) {
    earlyResult = pendingResult();
    return false;
  }
  bcp->init();
  if (config.pureLiterals) mlf->init();
  backtrack->init();
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

int MiniSearch::solve() {
  DynFormula& f = formula;
  if (!start()) return earlyResult;
  const uint32_t placed = f.prefix.atomCount;
  std::vector<int> topLevel;
  for (iterations = 0; iterations < config.maxIterations; ++iterations) {
    propagate();
    Literal lit;
    reasonItem_ reason;
    nextEvent(lit, reason);
    if (lit == 0 && !f.hasEmpty()) decideNext_();
    if (!f.hasEmpty() && f.trailSize == placed && f.binHead == placed && onCompleteAssignment)
      onCompleteAssignment(*this);
    topLevel.clear();
    for (uint32_t i = 0; i < f.trailSize && f.levelOf(f.trail[i]) == 1; ++i) topLevel.push_back(externalLiteral(f.trail[i]));
    backtrack->assign(lit, reason);
    recordLearned_(topLevel);
    if (afterAnalysis) afterAnalysis(*this);
    if (f.hasEmpty()) return pendingResult();
    if (f.trailSize == placed && f.binHead == placed) return ResultUnknown;  // Backtrack should have acted
  }
  exhausted = true;
  return ResultUnknown;
}

}  // namespace test
}  // namespace vorn
