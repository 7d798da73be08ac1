#include "strategies/Unlearn.h"

#include <algorithm>
#include <iostream>

namespace vorn {

namespace {
constexpr unsigned long kUnlearnPeriod = 255;
}

Unlearn::Unlearn(DynFormula& f, CommandLine& o, Instance<long>&)
    : formula(f),
      options(o),
      unlearnLimit(f.counts[OrigClause]),
      unlearn_(o.getPar(kOptionUnlearn) != nullptr),
      searchStats_(o.getPar(kOptionSearchStats) != nullptr) {}

void Unlearn::assign(const uint32_t&, const reasonItem_&) {
  const unsigned long e = formula.emptyCount;
  if (e == lastEmptyCount) return;
  lastEmptyCount = e;
  if (e % kUnlearnPeriod != 0) return;
  unLearn_();
}

void Unlearn::Nlearn(const NC2learn&) {
  if (formula.emptyCount % kUnlearnPeriod != 0) return;
  unLearn_();
  unlearnLimit = static_cast<unsigned long>(1.3 * static_cast<double>(unlearnLimit));
}

bool Unlearn::isReason_(const uint32_t* record, uint32_t id, ConstraintKind kind) const {
  const uint32_t unitKind = NaryUnit | kind;
  for (const uint32_t* p = NConstraint::literals(record); *p; ++p) {
    // The literal a unit pushed is the clause literal itself, or for a
    // term the complement it forces.
    const Literal pushed = litTerm(*p) ? termForces(*p) : *p;
    const reasonItem_& r = formula.reasons[litCode(pushed)];
    if (r.kind == unitKind && r.antecedent == id) return true;
  }
  return false;
}

void Unlearn::forget_(uint32_t id, ConstraintKind kind) {
  const watchedOccs_& entry = formula.watchedOccs[kind][id];
  for (const uint32_t w : {entry.begin[0], entry.begin[1]}) {
    WordList& list = formula.watchLists[kind].edit(litCode(w));
    auto it = std::find(list.begin(), list.end(), id);
    if (it == list.end()) continue;
    *it = list.back();
    list.pop_back();
  }
  formula.unLearnNConstraint(id, false, kind == LearnedClause);
}

void Unlearn::unLearn_() {
  if (!unlearn_) return;
  // An empty constraint waiting for the analysis must stay where it is.
  if (formula.hasEmpty()) return;
  for (const ConstraintKind kind : {LearnedClause, LearnedTerm}) {
    for (uint32_t id = 1; id < formula.watchedOccs[kind].size(); ++id) {
      const uint32_t* record = formula.watchedOccs[kind][id].begin;
      if (!record) continue;
      uint32_t open = 0, openExistential = 0;
      for (const uint32_t* p = NConstraint::literals(record); *p; ++p) {
        if (formula.value[litVar(*p)] != 0) continue;
        ++open;
        if (litExistential(*p)) ++openExistential;
      }
      const bool forget = kind == LearnedClause ? (openExistential >= 2 && open >= 5) : open >= 2;
      if (!forget || isReason_(record, id, kind)) continue;
      forget_(id, kind);
      if (kind == LearnedClause)
        ++unlearnedClauses;
      else
        ++unlearnedTerms;
    }
  }
}

void Unlearn::printStats() {
  if (!searchStats_ || !unlearn_) return;
  std::cout << "UNLEARNT CLAUSES " << unlearnedClauses << std::endl;
  std::cout << "UNLEARNT TERMS " << unlearnedTerms << std::endl;
}

}  // namespace vorn
