// Unit propagation under the quantified rules.
//
// Two watched literals: Moskewicz, Madigan, Zhao, Zhang, Malik, "Chaff:
// Engineering an Efficient SAT Solver", DAC 2001; their use under
// quantifiers: Gent, Giunchiglia, Narizzano, Rowley, Tacchella, "Watched
// Data Structures for QBF Solvers", SAT 2003.
//
// Binary constraints go through the partner lists and are emptied for the
// whole trail before any longer constraint is looked at; constraints of
// three or more literals go through two watched literals. The N-ary pass
// hands control back after every unit it pushes, so that the cheap binary
// consequences come first, and resumes the interrupted trail literal at
// the watch-list position where it stopped.
//
// In a clause the own literals are the existential ones and a universal
// literal counts only while some open existential literal stands deeper in
// the prefix; terms are the dual. So a watch pair is an own literal with
// either another own literal or an opponent literal outside it: two open
// watches of that shape keep a constraint from being unit or empty, while
// an opponent watch inside the own one would be reduced away. Literals
// fixed by MLF (Pure, DontCare) are not consequences of the formula:
// learned constraints and terms never propagate from them or conflict on
// them.
//
// The search loop drives this class by direct calls (assignBinaries twice,
// MLF::subsume, assignNaries); it receives no events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Propagation.h"
#include "engine/Strategy.h"
#include "engine/Types.h"

namespace vorn {

class BCP : public Strategy, public UnitPropagation {
 public:
  BCP(DynFormula& formula, CommandLine& options, Instance<long>& names);

  void init() override;
  void assign(const uint32_t&, const reasonItem_&) override {}

  // Binary propagation of every trail literal from binHead on; stops at the
  // first empty binary constraint. Does nothing while one is pending.
  void assignBinaries() override;
  // N-ary propagation from naryHead on; returns after the first unit (with
  // naryHead stepped back onto the interrupted literal) or empty constraint.
  void assignNaries() override;

  // Scan of watchList[litCode(x)]: x is the clause literal that has just
  // become false, or the term literal that has just become true. The
  // static scan serves input clauses; the dynamic one learned clauses and
  // all terms, where MLF-fixed literals need care.
  void assignStaticNaries_(const uint32_t& x, WordLists& watchList,
                           std::vector<watchedOccs_>& entries, const uint32_t& kind);
  void assignDynamicNaries_(const uint32_t& x, WordLists& watchList,
                            std::vector<watchedOccs_>& entries, const uint32_t& kind);
  void testUnit_(uint32_t*) {}

  DynFormula& formula;
  CommandLine& options;

  // Resume point of an interrupted N-ary propagation: valid only while
  // fullAssignments + emptyCount still equals resumeStamp, since any
  // conflict, solution or full assignment in between changes the trail.
  unsigned long resumeStamp = 0;
  std::size_t resumePos = 0;
  uint16_t resumeStage = 0;  // 0 none, 1..4
  Literal resumeLit = 0;

  // True existential literals with reason DontCare met in the term being
  // walked; a unit or empty term rests on them, so they become Pure.
  std::vector<Literal> dontCares;

 private:
  // Partners of the false literal f in one clause kind; true when an empty
  // constraint was recorded.
  bool clausePartners_(Literal f, ConstraintKind kind);
  // Partners of the true trail literal lit in one term kind; likewise.
  bool termPartners_(Literal lit, ConstraintKind kind);
  // Values and prefix levels as the scan reads them.
  struct ValueView {
    const int32_t* value;
    const uint32_t* level;
    // The value of l's variable seen from l: > 0 true, < 0 false, 0 open.
    int32_t seen(Literal l) const {
      const int32_t s = -static_cast<int32_t>(l & kSignBit);
      return (value[litVar(l)] ^ s) - s;
    }
    uint32_t levelOf(Literal l) const { return level[litVar(l)]; }
  };
  // How the watch search of a record ended: a literal blocks it (nothing
  // to do), two open literals keep it alive, or one or none is left.
  enum class WatchSearch : uint8_t { Blocked, Pair, Alone };

  // The scan of one watch list: per record the watch search, then the
  // watch move (BCP.cpp).
  template <bool Dynamic, bool Term>
  void scan_(Literal x, WordLists& watchList, std::vector<watchedOccs_>& entries,
             uint32_t kind);
  template <bool Dynamic, bool Term>
  WatchSearch searchWatches_(ValueView view, uint32_t* R, watchedOccs_& E, Literal& c, Literal& w,
                             Literal& outerOpen);
  bool moveWatches_(WordLists& watchList, WordList& L, std::size_t p,
                    uint32_t id, uint32_t* R, Literal x, Literal w, Literal c);
  Literal unitPartner_(const uint32_t* record, Literal c) const;
  void emptyWatches_(const uint32_t* record, Literal outerOpen, Literal& w, Literal& c) const;
  void recordEmpty_(const uint32_t* record);
  Literal deepestSpent_(const uint32_t* record, Literal ref, bool ownOnly, Literal skip) const;
  Literal deepestAssigned_(const uint32_t* record, Literal skip) const;
  // A true existential DontCare literal that a term depends on: Pure from
  // now on, so that the solution term never flips it.
  void keepFixed_(Literal trueLit);
  void reportBrokenWatch_(const uint32_t* record, Literal x, Literal r1);
};

}  // namespace vorn
