#include "engine/Matrix.h"

#include <algorithm>
#include <cassert>
#include <new>

namespace vorn {

Matrix::Matrix(std::size_t chunkWords, std::size_t chunkLimit)
    : chunkWords_(chunkWords < 2 ? 2 : chunkWords), chunkLimit_(chunkLimit < 1 ? 1 : chunkLimit) {
  // The tables of many small chunks grow as chunks are opened.
  chunks.reserve(std::min(chunkLimit_, kDefaultChunkLimit));
  storage_.reserve(std::min(chunkLimit_, kDefaultChunkLimit));
  openChunk_(chunkWords_);
}

chunkDesc_& Matrix::openChunk_(std::size_t words) {
  // The driver reports the failure as any other lack of memory.
  if (chunks.size() >= chunkLimit_) throw std::bad_alloc();
  // No value-initialisation: every word of a record is written before
  // it is read, and untouched pages of a fresh chunk cost nothing.
  storage_.emplace_back(new uint32_t[words]);
  uint32_t* begin = storage_.back().get();
  chunks.push_back(chunkDesc_{begin, begin, begin + words});
  return chunks.back();
}

uint32_t* Matrix::newRecordSlow_(std::size_t words) {
  assert(words > 0);
  if (words >= chunkWords_) {
    // Too large for a regular chunk: a chunk of its own (with the spare
    // word), and records keep coming from the current chunk.
    chunkDesc_& own = openChunk_(words + 1);
    own.cur = own.begin + words;
    return own.begin;
  }
  chunkDesc_& fresh = openChunk_(chunkWords_);
  chunkIndex = chunks.size() - 1;
  uint32_t* record = fresh.cur;
  fresh.cur += words;
  return record;
}

}  // namespace vorn
