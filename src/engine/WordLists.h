// Lists of 32-bit words indexed by literal code (or by id): occurrence,
// partner, watch and witness lists.
//
// A table of std::vector costs 24 bytes per list, written at sizing time
// even for the lists that stay empty, and with four constraint kinds and
// three list kinds most lists of a large formula do stay empty. Here a list
// head is 16 bytes, all-zero bytes are an empty list, and the heads of a
// table come from calloc. A page of heads is touched only once a list on it
// is edited: reads of a list on an untouched page answer from a shared
// empty list, so a table reserved for a million variables costs what its
// used lists cost (reading a zero page would map it too).
//
// The heads have no destructor of their own: the table frees the lists.
// A list is never copied (only converted to a std::vector for a snapshot).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace vorn {

// The memory of the lists: blocks of 4, 8, 16, ... words cut from large
// chunks, a freed block kept for the next list of its size. Lists grow by
// doubling, so a growing list's block has one of these sizes; a per-list
// malloc would cost a header each and most of the reading time in the
// allocator. A list laid out once at its final length (takeExact) gets
// just that many words: a million lists of three occurrences would waste
// a quarter of their words on rounding. Such a block, given back, serves
// the largest size it holds, or is dropped when it holds less than the
// smallest. The chunks live as long as the process. Under
// AddressSanitizer every block is a malloc of its own, so that a stale
// list pointer is still caught.
class WordPool {
 public:
  static uint32_t* take(std::size_t words);
  static uint32_t* takeExact(std::size_t words);
  static void give(uint32_t* block, std::size_t words);
};

class WordList {
 public:
  using value_type = uint32_t;
  using size_type = std::size_t;
  using iterator = uint32_t*;
  using const_iterator = const uint32_t*;
  using reference = uint32_t&;
  using const_reference = const uint32_t&;

  WordList() = default;
  WordList(const WordList&) = delete;
  WordList& operator=(const WordList&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return cap_; }
  uint32_t* data() { return data_; }
  const uint32_t* data() const { return data_; }
  uint32_t* begin() { return data_; }
  uint32_t* end() { return data_ + size_; }
  const uint32_t* begin() const { return data_; }
  const uint32_t* end() const { return data_ + size_; }
  uint32_t& operator[](std::size_t i) {
    assert(i < size_);
    return data_[i];
  }
  uint32_t operator[](std::size_t i) const {
    assert(i < size_);
    return data_[i];
  }
  uint32_t& back() {
    assert(size_ > 0);
    return data_[size_ - 1];
  }
  uint32_t back() const {
    assert(size_ > 0);
    return data_[size_ - 1];
  }

  void push_back(uint32_t w) {
    if (size_ == cap_) grow_(size_ + 1);
    data_[size_++] = w;
  }
  void pop_back() {
    assert(size_ > 0);
    --size_;
  }
  // Keeps the memory: a cleared list is usually filled again.
  void clear() { size_ = 0; }
  void reserve(std::size_t n) {
    if (n > cap_) grow_(n);
  }
  // Room for exactly n words, for a list that is filled once to a known
  // length and rarely grows after.
  void reserveExact(std::size_t n) {
    if (n <= cap_) return;
    if (n > (std::size_t{1} << 31)) throw std::bad_alloc();
    moveTo_(WordPool::takeExact(n), n);
  }

  operator std::vector<uint32_t>() const { return std::vector<uint32_t>(begin(), end()); }
  friend bool operator==(const WordList& a, const std::vector<uint32_t>& b) {
    return a.size_ == b.size() && (a.size_ == 0 || std::memcmp(a.data_, b.data(), a.size_ * sizeof(uint32_t)) == 0);
  }

 private:
  friend class WordLists;

  // Most lists of a formula hold a handful of words: start at four, then
  // double (from an exact capacity, to the next power of two).
  void grow_(std::size_t need) {
    std::size_t cap = 4;
    while (cap <= cap_ || cap < need) cap *= 2;
    if (cap > (std::size_t{1} << 31)) throw std::bad_alloc();
    moveTo_(WordPool::take(cap), cap);
  }
  // The words go to block, of cap words; the old block goes back to the pool.
  void moveTo_(uint32_t* block, std::size_t cap) {
    if (size_ > 0) std::memcpy(block, data_, size_ * sizeof(uint32_t));
    if (data_ != nullptr) WordPool::give(data_, cap_);
    data_ = block;
    cap_ = static_cast<uint32_t>(cap);
  }
  void release_() {
    WordPool::give(data_, cap_);
    data_ = nullptr;
    size_ = cap_ = 0;
  }

  uint32_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t cap_ = 0;
};

class WordLists {
 public:
  WordLists() = default;
  WordLists(const WordLists&) = delete;
  WordLists& operator=(const WordLists&) = delete;
  ~WordLists() {
    releaseFrom_(0);
    std::free(heads_);
  }

  // Heads per page of memory.
  static constexpr unsigned kPageShift = 8;

  // One past the last list ever edited; every list beyond it is empty.
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return cap_; }
  // Reading a list beyond size() touches no memory of the table.
  const WordList& operator[](std::size_t i) const {
    return i < size_ && touched_[i >> kPageShift] ? heads_[i] : kNone_;
  }
  // A hint that list i is read soon; changes nothing.
  void prefetch(std::size_t i) const {
    if (i < size_) __builtin_prefetch(heads_ + i);
  }
  // The list to change. Within the reserved capacity the heads never move;
  // beyond it they do (a reference to a head does not survive that, the
  // words of the lists do).
  WordList& edit(std::size_t i) {
    if (i >= size_) {
      if (i >= cap_) reserve(i + 1 > cap_ + cap_ / 2 ? i + 1 : cap_ + cap_ / 2);
      size_ = i + 1;
    }
    touched_[i >> kPageShift] = 1;
    return heads_[i];
  }
  WordList* begin() { return heads_; }
  WordList* end() { return heads_ + size_; }
  const WordList* begin() const { return heads_; }
  const WordList* end() const { return heads_ + size_; }

  // Heads for n lists, on pages that stay untouched until a list is used.
  void reserve(std::size_t n) {
    if (n <= cap_) return;
    void* p = std::calloc(n, sizeof(WordList));
    if (p == nullptr) throw std::bad_alloc();
    if (size_ > 0) std::memcpy(p, static_cast<void*>(heads_), size_ * sizeof(WordList));
    std::free(heads_);
    heads_ = static_cast<WordList*>(p);
    cap_ = n;
    touched_.resize((n >> kPageShift) + 1, 0);
  }
  // Frees every list; the reserved heads stay.
  void clear() {
    releaseFrom_(0);
    size_ = 0;
  }

  operator std::vector<std::vector<uint32_t>>() const {
    std::vector<std::vector<uint32_t>> copy;
    copy.reserve(size_);
    for (const WordList& list : *this) copy.emplace_back(list.begin(), list.end());
    return copy;
  }
  // Equal when every list is: trailing empty lists do not count.
  friend bool operator==(const WordLists& a, const std::vector<std::vector<uint32_t>>& b) {
    const std::vector<uint32_t> none;
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i)
      if (!(a[i] == (i < b.size() ? b[i] : none))) return false;
    return true;
  }

 private:
  static inline const WordList kNone_{};  // every list never edited
  // Frees lists i.. and leaves their heads zero, as calloc gave them;
  // untouched pages are skipped, not read.
  void releaseFrom_(std::size_t i) {
    for (; i < size_; ++i) {
      if (!touched_[i >> kPageShift]) {
        i |= (std::size_t{1} << kPageShift) - 1;
        continue;
      }
      if (heads_[i].data_ != nullptr) heads_[i].release_();
    }
  }

  WordList* heads_ = nullptr;
  std::size_t size_ = 0;
  std::size_t cap_ = 0;
  std::vector<uint8_t> touched_;  // by page of heads: some list on it was edited
};

}  // namespace vorn
