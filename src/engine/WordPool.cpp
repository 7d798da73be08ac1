#include <cassert>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/WordLists.h"

#if defined(__SANITIZE_ADDRESS__)
#define VORN_POOL_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORN_POOL_MALLOC 1
#endif
#endif

namespace vorn {

#ifndef VORN_POOL_MALLOC
namespace {

// Blocks up to 2^kLargestClass words come from chunks; larger lists are
// rare and few, and get a malloc of their own.
constexpr unsigned kSmallestClass = 2;
constexpr unsigned kLargestClass = 16;
constexpr std::size_t kChunkWords = std::size_t{1} << 20;

unsigned classOf(std::size_t words) {
  unsigned c = kSmallestClass;
  while ((std::size_t{1} << c) < words) ++c;
  assert((std::size_t{1} << c) == words && "blocks have power-of-two sizes");
  return c;
}

// The largest class a block of this many words can serve.
unsigned floorClassOf(std::size_t words) {
  assert(words >= (std::size_t{1} << kSmallestClass));
  unsigned c = kSmallestClass;
  while ((std::size_t{2} << c) <= words && c < kLargestClass) ++c;
  return c;
}

struct Pool {
  // A free block holds the address of the next free block of its class
  // (copied in and out: a block of exact size may be only 4-byte aligned).
  uint32_t* freeBlocks[kLargestClass + 1] = {};
  uint32_t* cur = nullptr;
  uint32_t* end = nullptr;
  std::vector<std::unique_ptr<uint32_t[]>> chunks;

  uint32_t* cut(std::size_t words) {
    if (static_cast<std::size_t>(end - cur) < words) {
      // Uninitialised: the pages cost nothing until blocks are written.
      chunks.emplace_back(new uint32_t[kChunkWords]);
      cur = chunks.back().get();
      end = cur + kChunkWords;
    }
    uint32_t* block = cur;
    cur += words;
    return block;
  }
};

uint32_t* nextFree(const uint32_t* block) {
  uint32_t* next;
  std::memcpy(&next, block, sizeof next);
  return next;
}

// Never destroyed: a table destroyed during exit may still give back.
Pool& pool() {
  static Pool* const thePool = new Pool;
  return *thePool;
}

}  // namespace
#endif

uint32_t* WordPool::take(std::size_t words) {
#ifndef VORN_POOL_MALLOC
  if (words <= (std::size_t{1} << kLargestClass)) {
    Pool& p = pool();
    const unsigned c = classOf(words);
    if (uint32_t* block = p.freeBlocks[c]) {
      p.freeBlocks[c] = nextFree(block);
      return block;
    }
    return p.cut(words);
  }
#endif
  void* block = std::malloc(words * sizeof(uint32_t));
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint32_t*>(block);
}

uint32_t* WordPool::takeExact(std::size_t words) {
  assert(words > 0);
#ifndef VORN_POOL_MALLOC
  // Free blocks are left to take(): they would waste what this saves.
  if (words <= (std::size_t{1} << kLargestClass)) return pool().cut(words);
#endif
  void* block = std::malloc(words * sizeof(uint32_t));
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint32_t*>(block);
}

void WordPool::give(uint32_t* block, std::size_t words) {
  if (block == nullptr) return;
#ifndef VORN_POOL_MALLOC
  if (words <= (std::size_t{1} << kLargestClass)) {
    if (words < (std::size_t{1} << kSmallestClass)) return;  // too small for any list: dropped
    Pool& p = pool();
    const unsigned c = floorClassOf(words);
    std::memcpy(block, &p.freeBlocks[c], sizeof p.freeBlocks[c]);
    p.freeBlocks[c] = block;
    return;
  }
#else
  (void)words;
#endif
  std::free(block);
}

}  // namespace vorn
