// Lowers what a store reserves before it knows what it holds. A target
// runs thousands of small inputs in one process under AddressSanitizer,
// which serves an allocation above 128 KiB by its own mapping, writes its
// shadow and unmaps it on free: with the binary's first sizes that was
// most of an input's time. Every table still grows past its reserve as in
// the binary, so what is read and decided stays the same.
#pragma once

#include "engine/Matrix.h"
#include "engine/NffEx.h"
#include "preprocessor/CnfMatrix.h"
#include "preprocessor/CnfPrefix.h"
#include "preprocessor/QDimacsCnf.h"

namespace vorn {
namespace fuzz {

// The preprocessor's formula and its reader.
inline void useSmallPreproReserves() {
  CnfTarget::reserveCap = 1u << 10;
  CnfTarget::cacheCap = 1u << 12;
  CnfMatrix::firstClauseCapacity = 64;
  CnfPrefix::firstAtomCapacity = 64;
}

// The engine's stores as main builds them: 64 KiB chunks instead of 32 MiB,
// as many more of them (the same room), and small first tables.
inline void useSmallEngineReserves() {
  Matrix::roadChunkWords = Matrix::kDefaultChunkWords >> 9;
  Matrix::roadChunkLimit = Matrix::kDefaultChunkLimit << 9;
  NffEx::hintCap = 1u << 10;
  NffEx::firstReserveSize = 1u << 10;
}

}  // namespace fuzz
}  // namespace vorn
