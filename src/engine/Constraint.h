// Shapes of stored constraints.
//
// NConstraint record (n >= 3 literals) in chunk memory, n + 3 words:
//   [0] watch1  [1] watch2  [2 .. n+1] the literals, innermost first  [n+2] 0
// watchedOccs_ is a constraint's entry in its kind's id table; `begin` is
// a plain pointer into chunk memory (records never move), so an entry is
// 16 bytes and the record itself stays pure 32-bit words. The record's end
// is found from its terminator: only printers, maintenance and tests want
// it, and a million-clause store would pay 8 bytes a clause to keep it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/Instance.h"
#include "engine/Types.h"

namespace vorn {

struct watchedOccs_ {
  uint32_t watch1 = 0;       // watch words: let a reader pass a satisfied
  uint32_t watch2 = 0;       // clause (blocked term) without the record
  uint32_t* begin = nullptr;  // the record's word 0; null once deleted
};
static_assert(sizeof(watchedOccs_) == 16, "one entry per N-ary constraint: kept small");

constexpr std::size_t kRecordHeader = 2;  // words before the first literal

struct NConstraint {
  static uint32_t* literals(uint32_t* record) { return record + kRecordHeader; }
  static const uint32_t* literals(const uint32_t* record) { return record + kRecordHeader; }
  // Number of literals, counted up to the terminator.
  static std::size_t getSize(const uint32_t* record);
  // The record's terminating 0.
  static uint32_t* terminator(uint32_t* record) { return literals(record) + getSize(record); }
  static const uint32_t* terminator(const uint32_t* record) { return literals(record) + getSize(record); }
  // Diagnostic form "[ 3-E -5-A ]" with internal indices.
  static void print(const uint32_t* record);
  // Clause-line form "l1 l2 ... 0", external numbers when asked.
  static void print(const uint32_t* record, Instance<long>& names, bool external);
};

struct BinConstraint {
  // "l1 l2 0" for a pair of literals.
  static void print(const uint32_t* lits, Instance<long>& names, bool external);
};

// Signed number of a literal for printing: internal index or external number.
long printedLiteral(uint32_t lit, Instance<long>& names, bool external);

}  // namespace vorn
