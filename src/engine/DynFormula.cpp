#include "engine/DynFormula.h"

#include <algorithm>

namespace vorn {

const uint32_t DynFormula::emptyClauseMark[3] = {0x7ffffffeu, 0, 0};
const uint32_t DynFormula::emptyTermMark[3] = {0xbffffffeu, 0, 0};
const uint32_t DynFormula::decidedFalseMark[3] = {0x40000000u, 0, 0};
const uint32_t DynFormula::decidedTrueMark[3] = {0x80000000u, 0, 0};

DynFormula::DynFormula(CommandLine& options, Instance<long>& names, std::size_t chunkWords, std::size_t chunkLimit)
    : NffEx(options, names, chunkWords, chunkLimit), Assignment(options, names), options(options) {}

void DynFormula::init() {
  layOutInputOccurrences();
  if (emptyClause) nEmpties.push_back(emptyClauseMark);
  if (emptyTerm) nEmpties.push_back(emptyTermMark);

  const uint32_t maxAtom = prefix.maxAtom;
  const std::size_t lists = 2 * (static_cast<std::size_t>(maxAtom) + 1);
  for (auto& table : watchLists)
    table.reserve(lists);

  // Input records start watched on their first two stored literals. The
  // lists are counted first and filled in id order, so that each takes its
  // final block at once. An empty input constraint is the answer: no
  // strategy starts and nothing propagates, so the watches are left unset
  // (a large formula would spend a fifth of its reading on them).
  std::vector<uint32_t> count;
  for (ConstraintKind k : {OrigClause, OrigTerm}) {
    if (!nEmpties.empty()) break;
    std::vector<watchedOccs_>& entries = watchedOccs[k];
    WordLists& lists = watchLists[k];
    count.assign(lists.capacity(), 0);
    for (uint32_t id = 1; id < entries.size(); ++id) {
      const watchedOccs_& e = entries[id];
      if (!e.begin) continue;
      const uint32_t c1 = litCode(e.begin[kRecordHeader]), c2 = litCode(e.begin[kRecordHeader + 1]);
      if (std::max(c1, c2) >= count.size()) count.resize(std::max(c1, c2) + 1, 0);
      ++count[c1];
      ++count[c2];
    }
    for (std::size_t code = 0; code < count.size(); ++code)
      if (count[code] != 0) {
        WordList& list = lists.edit(code);
        list.reserve(list.size() + count[code]);
      }
    for (uint32_t id = 1; id < entries.size(); ++id) {
      watchedOccs_& e = entries[id];
      if (!e.begin) continue;
      const uint32_t w1 = e.begin[kRecordHeader], w2 = e.begin[kRecordHeader + 1];
      e.begin[0] = e.watch1 = w1;
      e.begin[1] = e.watch2 = w2;
      lists.edit(litCode(w1)).push_back(id);
      lists.edit(litCode(w2)).push_back(id);
    }
  }
  std::vector<uint32_t>().swap(count);

  NffEx::init(maxAtom, static_cast<long>(counts[OrigClause]));
  Assignment::init(maxAtom, static_cast<long>(counts[OrigClause]));
  if (varScores.size() < static_cast<std::size_t>(maxAtom) + 1) varScores.resize(static_cast<std::size_t>(maxAtom) + 1, 0.0);

  // Input units at level 1 (a term unit as the assignment it forces).
  for (const Literal u : units) {
    const Literal l = litTerm(u) ? termForces(u) : u;
    if (!isAssigned(l)) {
      pushUnassigned_(l, reasonItem_{0, NaryUnit | OrigClause});
    } else if (isFalse(l)) {
      conflictLit = litComplement(l);
      scratch[1] = u;
      scratch[2] = 0;
      scratch[3] = 0;
      ++emptyCount;
      nEmpties.push_back(&scratch[1]);
      setConflictLitFromList(&scratch[1]);
    }
  }
}

void DynFormula::setConflictLitFromList(const uint32_t* words) {
  uint32_t last = 0;
  for (const uint32_t* p = words; *p; ++p) {
    const uint32_t v = litVar(*p);
    if (v < trailPos.size() && trailPos[v] > last) last = trailPos[v];
  }
  conflictLit = trail[last];
}

void DynFormula::incVarScore(const unsigned long& lit) {
  double& score = varScores[litVar(static_cast<uint32_t>(lit))];
  score += scoreInc;
  if (score > 1e100) {
    for (double& s : varScores) s *= 1e-100;
    scoreInc *= 1e-100;
  }
}

void DynFormula::printStats() {
  // Neither part counts anything yet, so -sstat adds no line here.
  Assignment::printStats();
  NffEx::printStats();
}

}  // namespace vorn
