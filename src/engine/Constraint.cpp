#include "engine/Constraint.h"

#include <iostream>

namespace vorn {

std::size_t NConstraint::getSize(const uint32_t* record) {
  std::size_t n = 0;
  for (const uint32_t* p = literals(record); *p; ++p) ++n;
  return n;
}

void NConstraint::print(const uint32_t* record) {
  std::cout << "[ ";
  for (const uint32_t* p = literals(record); *p; ++p) {
    long v = static_cast<long>(litVar(*p));
    std::cout << (litNegative(*p) ? -v : v) << (litExistential(*p) ? "-E" : "-A") << " ";
  }
  std::cout << "]" << std::endl;
}

long printedLiteral(uint32_t lit, Instance<long>& names, bool external) {
  const uint32_t v = litVar(lit);
  long number = static_cast<long>(v);
  if (external) number = v < names.intToExt.size() ? names.intToExt[v] : 0;
  return litNegative(lit) ? -number : number;
}

void NConstraint::print(const uint32_t* record, Instance<long>& names, bool external) {
  for (const uint32_t* p = literals(record); *p; ++p) std::cout << printedLiteral(*p, names, external) << " ";
  std::cout << "0" << std::endl;
}

void BinConstraint::print(const uint32_t* lits, Instance<long>& names, bool external) {
  std::cout << printedLiteral(lits[0], names, external) << " " << printedLiteral(lits[1], names, external) << " 0"
            << std::endl;
}

}  // namespace vorn
