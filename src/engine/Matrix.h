// Chunk memory: the words of the N-ary constraint records.
//
// Layout: records are runs of 32-bit words taken one after the other from
// large chunks; a record is addressed by a plain pointer to its word 0
// (chunks never move, so pointers stay valid for the life of the store,
// and a record holds no pointers itself). Space is never given back. A
// record never ends exactly at a chunk's end (one word to spare); a record
// too large for a chunk gets a chunk of its own. When no chunk can be had
// (the chunk limit is reached or the allocation fails), std::bad_alloc is
// thrown: a caller never receives a null or short record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorn {

struct chunkDesc_ {
  uint32_t* begin = nullptr;  // first word of the chunk
  uint32_t* cur = nullptr;    // first word not yet given out
  uint32_t* end = nullptr;    // one past the chunk's last word
};

class Matrix {
 public:
  static constexpr std::size_t kDefaultChunkWords = 0x800000;  // 32 MiB
  static constexpr std::size_t kDefaultChunkLimit = 128;
  // The chunks of the stores the solving roads build (DynFormula's
  // defaults). The whole-run fuzz target makes them small: under a
  // sanitizer every chunk's shadow is written on allocation and on free.
  static inline std::size_t roadChunkWords = kDefaultChunkWords;
  static inline std::size_t roadChunkLimit = kDefaultChunkLimit;

  explicit Matrix(std::size_t chunkWords = kDefaultChunkWords, std::size_t chunkLimit = kDefaultChunkLimit);
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;

  // A record of `words` words; its contents are undefined until written.
  uint32_t* newRecord(std::size_t words) {
    chunkDesc_& c = chunks[chunkIndex];
    if (words < static_cast<std::size_t>(c.end - c.cur)) {
      uint32_t* record = c.cur;
      c.cur += words;
      return record;
    }
    return newRecordSlow_(words);
  }

  std::size_t chunkWords() const { return chunkWords_; }
  std::size_t chunkLimit() const { return chunkLimit_; }

  // Addresses that the storing operations of the constraint store return
  // in place of a record; their values are never read.
  uint32_t emptyTag = 0;
  uint32_t tautologyTag = 0;
  uint32_t binaryTag = 0;
  uint32_t unitTag = 0;

  std::vector<chunkDesc_> chunks;  // chunks in the order they were opened
  std::size_t chunkIndex = 0;      // the chunk records are taken from

 private:
  uint32_t* newRecordSlow_(std::size_t words);
  chunkDesc_& openChunk_(std::size_t words);

  std::size_t chunkWords_;
  std::size_t chunkLimit_;
  std::vector<std::unique_ptr<uint32_t[]>> storage_;
};

}  // namespace vorn
