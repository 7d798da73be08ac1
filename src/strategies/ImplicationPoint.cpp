// Evaluation of a constraint against the trail: its deepest literal (the
// implication point candidate), the deepest one below that level, and the
// open literal of smallest prefix level.
#include "strategies/Backtrack.h"

namespace vorn {

Literal Backtrack::computeUIP_(const Literal& l) {
  computeUIPs_(&l, &l + 1);
  return uip;
}

// computeUIP_ on each literal in turn, with the levels of uip and second
// kept at hand.
void Backtrack::computeUIPs_(const Literal* first, const Literal* last) {
  const DynFormula& f = formula;
  const int32_t* const value = f.value.data();
  const uint32_t* const prefixLevel = f.prefix.atomLevel.data();
  Literal u = uip, s = second, m = minLit;
  uint32_t uLevel = u ? f.levelOf(u) : 0, sLevel = s ? f.levelOf(s) : 0;
  uint32_t uPrefix = u ? prefixLevel[litVar(u)] : 0;
  for (; first != last; ++first) {
    const Literal l = *first;
    const int32_t val = value[litVar(l)];
    const uint32_t lPrefix = prefixLevel[litVar(l)];
    if (val == 0) {
      if (m == 0 || lPrefix < prefixLevel[litVar(m)]) m = l;
      continue;
    }
    const uint32_t level = static_cast<uint32_t>(val < 0 ? -val : val);
    if (u == 0) {
      u = l;
      s = 0;
      uLevel = level;
      uPrefix = lPrefix;
      continue;
    }
    if (!litOwn(l) && lPrefix >= uPrefix) continue;
    if (level > uLevel) {
      s = u;
      sLevel = uLevel;
      u = l;
      uLevel = level;
      uPrefix = lPrefix;
    } else if (level < uLevel) {
      if (s == 0 || level > sLevel) {
        s = l;
        sLevel = level;
      }
    } else if (litOwn(l)) {
      // Prefer an own literal over a decision at the same level.
      if (f.reasonKindOf(u) == Branch) {
        u = l;
        uPrefix = lPrefix;
      }
    }
  }
  uip = u;
  second = s;
  minLit = m;
}

void Backtrack::findUIP_(const Literal& l) { findUIPs_(&l, &l + 1); }

// findUIP_ on each literal in turn; true when an own literal is unspent.
bool Backtrack::findUIPs_(const Literal* first, const Literal* last) {
  const DynFormula& f = formula;
  const int32_t* const value = f.value.data();
  const uint32_t* const prefixLevel = f.prefix.atomLevel.data();
  Literal u = uip, s = second, m = minLit;
  uint32_t owned = ownCount;
  uint32_t uLevel = u ? f.levelOf(u) : 0, sLevel = s ? f.levelOf(s) : 0;
  uint32_t uPrefix = u ? prefixLevel[litVar(u)] : 0;
  bool openOwn = false;
  for (; first != last; ++first) {
    const Literal l = *first;
    const bool own = litOwn(l);
    const int32_t val = value[litVar(l)];
    const uint32_t lPrefix = prefixLevel[litVar(l)];
    // Spent: false in a clause, true in a term.
    const bool spent = val != 0 && ((val < 0) == litNegative(l)) == isTerm_;
    if (!spent) {
      if (own) openOwn = true;
      if (m == 0 || lPrefix < prefixLevel[litVar(m)]) m = l;
      continue;
    }
    const uint32_t level = static_cast<uint32_t>(val < 0 ? -val : val);
    if (u == 0) {
      u = l;
      s = 0;
      owned = own ? 1 : 0;
      uLevel = level;
      uPrefix = lPrefix;
      continue;
    }
    if (!own && lPrefix >= uPrefix) continue;
    if (level > uLevel) {
      s = u;
      sLevel = uLevel;
      u = l;
      uLevel = level;
      uPrefix = lPrefix;
      owned = own ? 1 : 0;
    } else if (level < uLevel) {
      if (s == 0 || level > sLevel) {
        s = l;
        sLevel = level;
      }
    } else if (own) {
      ++owned;
      u = l;
      uPrefix = lPrefix;
    } else {
      // An opponent literal outside uip at uip's level keeps it open.
      m = l;
    }
  }
  uip = u;
  second = s;
  minLit = m;
  ownCount = owned;
  return openOwn;
}

Literal Backtrack::computeWr_(const uint32_t* list, std::vector<Literal>& out) {
  out.clear();
  for (; *list; ++list) {
    const Literal l = *list;
    out.push_back(l);
    computeUIP_(l);
    if (formula.isAssigned(l) && !spent_(l)) clash = l;
  }
  if (uip != 0 && !litOwn(uip)) clash = uip;
  return uip;
}

}  // namespace vorn
