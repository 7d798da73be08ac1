// Printers of the input constraints in clause-line form.
#include <iostream>

#include "engine/NffEx.h"

namespace vorn {

void NffEx::printFormula(bool external) {
  if (external) std::cout << "p cnf " << names.nVars << " " << counts[OrigClause] << std::endl;
  prefix.print(external);
  printMatrix(external);
}

void NffEx::printMatrix(bool external) {
  printId = 1;
  printList = 0;
  printPartner = 1;

  const std::vector<watchedOccs_>& records = watchedOccs[OrigClause];
  for (; printId < records.size(); ++printId)
    if (records[printId].begin) NConstraint::print(records[printId].begin, names, external);

  // A binary stands in the lists of both its literals; print it from the
  // list whose owner has the larger variable. The pair gets words of its
  // own: `scratch` may hold a pending unit-conflict list.
  uint32_t pair[2];
  const WordLists& lists = bOccs[OrigClause];
  for (; printList < lists.size(); ++printList) {
    const WordList& list = lists[printList];
    for (printPartner = 1; printPartner < list.size(); ++printPartner) {
      if (litVar(list[printPartner]) >= litVar(list[0])) continue;
      pair[0] = list[0];
      pair[1] = list[printPartner];
      BinConstraint::print(pair, names, external);
    }
  }
}

}  // namespace vorn
