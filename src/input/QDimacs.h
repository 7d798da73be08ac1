// The buffered QDIMACS reader. One class, two targets: the engine's
// constraint store (QDimacsEngine.cpp) and the preprocessor's formula
// (QDimacsCnf.cpp). The whole file is read in the constructor.
#pragma once

#include <string>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "input/Scanner.h"

namespace vorn {

class NffEx;
class CnfFormula;

class Parser {
 public:
  virtual bool done() = 0;
  // Virtual: the driver deletes readers through this base.
  virtual ~Parser() = default;

 protected:
  std::string fileName;
};

class QDimacs : public Parser {
 public:
  QDimacs(NffEx& formula, Instance<long>& names, CommandLine& options);
  QDimacs(CnfFormula& formula, Instance<long>& names, CommandLine& options);
  bool done() override { return status == 0; }

  // 2 while reading (or after the size cut), 0 once the whole file was read.
  int status = 2;
};

}  // namespace vorn
