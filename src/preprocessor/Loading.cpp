// Loading the input clauses into the formula.
#include <cassert>

#include "preprocessor/CnfFormula.h"

namespace vorn {

namespace {
// Above this many input clauses the subsumption checks cost more than
// they save.
constexpr std::size_t kSubsumptionLimit = 100000;
}  // namespace

void CnfFormula::removeAll_(std::vector<ClauseId>& ids) {
  for (ClauseId id : ids) removeClause(id);
  ids.clear();
}

bool CnfFormula::storeLoaded_(std::vector<CnfLiteral>& lits) {
  minimizeClause(lits);
  subsumed_.clear();
  ClauseId id = 0;
  bool subsumedByStored = !lits.empty() && useSubsumption && checkSubsumption_(lits, subsumed_);
  if (!subsumedByStored) {
    if (lits.empty()) return false;
    id = CnfMatrix::addClause(lits);
  }
  removeAll_(subsumed_);
  if (!useSelfSubsumption || id == 0 || clauses[id].size() < 2) return true;

  removeIds_.clear();
  resolvents_.clear();
  checkSelfSubsumption(id, removeIds_, resolvents_);
  removeAll_(removeIds_);
  for (std::vector<CnfLiteral>& r : resolvents_) {
    minimizeClause(r);
    bool covered = !r.empty() && useSubsumption && checkSubsumption_(r, subsumed_);
    if (!covered) {
      if (r.empty()) {
        subsumed_.clear();
        return false;
      }
      CnfMatrix::addClause(r);
    }
    removeAll_(subsumed_);
  }
  return true;
}

void CnfFormula::reserveOccurrences_(const ClauseList& input) {
  // Sized once from the input (an upper bound: repeats and tautologies
  // still count), instead of growing every list step by step.
  std::vector<uint32_t> count(2 * (static_cast<std::size_t>(maxAtom) + 1), 0);
  for (CnfLiteral l : input.literals) {
    std::size_t a = static_cast<std::size_t>(atomOf(l));
    if (a < posOccs.size()) ++count[2 * a + (l < 0)];
  }
  for (std::size_t a = 1; a < posOccs.size(); ++a) {
    posOccs[a].reserve(count[2 * a]);
    negOccs[a].reserve(count[2 * a + 1]);
  }
}

void CnfFormula::init(const ClauseList& input) {
  if (maxAtom > 0) coverAtom(maxAtom);
  reserveOccurrences_(input);
  // Each input clause takes one slot at most; growing in steps would move
  // every slot stored so far.
  reserveSlots(input.size() + 1);
  seen_.assign(static_cast<std::size_t>(maxAtom) + 1, 0);
  if (input.size() > kSubsumptionLimit) useSubsumption = false;

  for (std::size_t c = 0; c < input.size(); ++c) {
    std::size_t from = input.begin(c), to = input.ends[c];
    if (from == to) {
      formulaFalse = true;
      return;
    }
    work_.clear();
    bool tautology = false;
    for (std::size_t i = from; i < to && !tautology; ++i) {
      CnfLiteral l = input.literals[i];
      assert(l != 0);
      CnfLiteral a = atomOf(l);
      if (static_cast<std::size_t>(a) >= seen_.size()) seen_.resize(static_cast<std::size_t>(a) + 1, 0);
      if (seen_[a] == 0) {
        seen_[a] = l;
        work_.push_back(l);
      } else if (seen_[a] != l) {
        tautology = true;
      }
    }
    for (CnfLiteral l : work_) seen_[atomOf(l)] = 0;
    if (tautology) continue;
    if (!storeLoaded_(work_)) {
      formulaFalse = true;
      return;
    }
  }
}

void CnfFormula::init(const std::vector<std::vector<CnfLiteral>>& input) {
  ClauseList list;
  for (const std::vector<CnfLiteral>& c : input) list.add(c);
  init(list);
}

bool CnfFormula::removeFromClause(ClauseId id, CnfLiteral atom) {
  if (!isStored(id)) return true;
  std::vector<CnfLiteral> rebuilt;
  for (CnfLiteral l : clauses[id]) {
    if (atomOf(l) == atomOf(atom)) continue;
    if (isExist(atomOf(l)) || !rebuilt.empty()) rebuilt.push_back(l);
  }
  if (rebuilt.empty()) return false;
  removeClause(id);
  return storeLoaded_(rebuilt);
}

}  // namespace vorn
