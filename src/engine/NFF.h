// Base of the constraint store: the quantifier prefix and the chunk memory
// of the records, reached as members (`prefix`, `matrix`).
#pragma once

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/Matrix.h"
#include "engine/Prefix.h"

namespace vorn {

class NFF {
 public:
  NFF(CommandLine& options, Instance<long>& names, std::size_t chunkWords = Matrix::kDefaultChunkWords,
      std::size_t chunkLimit = Matrix::kDefaultChunkLimit)
      : prefix(options, names), matrix(chunkWords, chunkLimit), names(names) {}

  void init(unsigned long nVars, unsigned long nClauses) { prefix.init(nVars, nClauses); }
  void defrag(long a, long b) { prefix.defrag(a, b); }

  Prefix prefix;
  Matrix matrix;
  Instance<long>& names;
};

}  // namespace vorn
