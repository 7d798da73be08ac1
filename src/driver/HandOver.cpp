// The hand-over of the simplified formula to the search engine. A member
// of CnfFormula, defined here above both, so that the preprocessor needs
// nothing of the engine.
#include <vector>

#include "driver/vornEngine.h"
#include "preprocessor/CnfFormula.h"

namespace vorn {

void CnfFormula::sendFormula(vornEngine& engine) {
  // Every atom before the first clause: the engine numbers its variables
  // in order of arrival, so its order follows the prefix.
  for (CnfLiteral a = getBegin(); a != getEnd(); a = getNext()) engine.addAtom(a, isExist(a));
  std::vector<long> lits;
  for (ClauseId id = getBeginClause(); id != getEndClause(); id = getNextClause()) {
    lits.assign(clauses[id].begin(), clauses[id].end());
    engine.addClause(lits);
  }
}

}  // namespace vorn
