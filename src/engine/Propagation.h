// The two strategies the search loop drives by direct calls instead of
// events: unit propagation and the pure-literal rule. The loop calls them
// in a fixed order (see Solver::propagate); they are declared here so the
// loop needs no strategy header.
#pragma once

namespace vorn {

class UnitPropagation {
 public:
  // Binary constraints of every trail literal not yet propagated.
  virtual void assignBinaries() = 0;
  // Constraints of three or more literals, up to the first unit or empty one.
  virtual void assignNaries() = 0;

 protected:
  ~UnitPropagation() = default;
};

class PureLiterals {
 public:
  // Bookkeeping for the trail literals that became true.
  virtual void subsume() = 0;
  // Fixes at most one literal that has become pure.
  virtual void search4pure() = 0;

 protected:
  ~PureLiterals() = default;
};

}  // namespace vorn
