#include <cassert>
#include <cstdlib>
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

struct Pool {
  // A free block holds the address of the next free block of its class.
  uint32_t* freeBlocks[kLargestClass + 1] = {};
  uint32_t* cur = nullptr;
  uint32_t* end = nullptr;
  std::vector<std::unique_ptr<uint32_t[]>> chunks;
};

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
      p.freeBlocks[c] = *reinterpret_cast<uint32_t**>(block);
      return block;
    }
    if (static_cast<std::size_t>(p.end - p.cur) < words) {
      // Uninitialised: the pages cost nothing until blocks are written.
      p.chunks.emplace_back(new uint32_t[kChunkWords]);
      p.cur = p.chunks.back().get();
      p.end = p.cur + kChunkWords;
    }
    uint32_t* block = p.cur;
    p.cur += words;
    return block;
  }
#endif
  void* block = std::malloc(words * sizeof(uint32_t));
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint32_t*>(block);
}

void WordPool::give(uint32_t* block, std::size_t words) {
  if (block == nullptr) return;
#ifndef VORN_POOL_MALLOC
  if (words <= (std::size_t{1} << kLargestClass)) {
    Pool& p = pool();
    const unsigned c = classOf(words);
    *reinterpret_cast<uint32_t**>(block) = p.freeBlocks[c];
    p.freeBlocks[c] = block;
    return;
  }
#else
  (void)words;
#endif
  std::free(block);
}

}  // namespace vorn
