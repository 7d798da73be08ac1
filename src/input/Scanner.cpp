#include "input/Scanner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sys/stat.h>

#include "input/FatalError.h"
#include "input/PrivateCopy.h"
#include "input/QdimacsItems.h"

namespace vorn {

namespace {
constexpr int64_t kMaxMagnitude = 2147483647;  // 2^31 - 1
}

namespace {
// Smallest block of a file whose size is known: a gzip file of a few bytes
// may still expand to many.
constexpr std::size_t kMinBlockSize = 1u << 12;
}  // namespace

Scanner::Scanner(const std::string& path, std::size_t blockSize) : path_(path), capacity_(blockSize ? blockSize : 1) {
  // gzopen happily opens a directory; reading it then fails. Refuse it here.
  struct stat st;
  const bool known = ::stat(path.c_str(), &st) == 0;
  if (!known || S_ISDIR(st.st_mode)) {
    capacity_ = std::min(capacity_, kMinBlockSize);  // nothing will be read
  } else if (S_ISREG(st.st_mode)) {
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    capacity_ = std::min(capacity_, std::max(size, kMinBlockSize));
  }
  buffer_.reset(new char[capacity_ + 1]);
  buffer_[0] = '\0';
  if (known && S_ISDIR(st.st_mode)) return;
  file_ = gzopen(path.c_str(), "rb");
  // zlib's own buffer (8 KiB by default) sets the size of each read of a
  // compressed file; match the block for a large one.
  if (file_ && known && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > capacity_)
    gzbuffer(file_, static_cast<unsigned>(std::min<std::size_t>(capacity_, 1u << 18)));
}

Scanner::~Scanner() {
  if (file_) gzclose(file_);
}

namespace {
// Line feeds in [from, to), eight bytes at a time: a byte of x is zero
// exactly where the byte was a line feed, and the mask marks zero bytes
// without carries between them.
long countLineFeeds(const char* from, const char* to) {
  long n = 0;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  for (; to - from >= 8; from += 8) {
    uint64_t word;
    std::memcpy(&word, from, 8);
    const uint64_t x = word ^ (kOnes * '\n');
    const uint64_t zero = ~(((x & (kOnes * 0x7f)) + kOnes * 0x7f) | x | (kOnes * 0x7f));
    n += static_cast<long>(((zero >> 7) * kOnes) >> 56);
  }
  for (; from < to; ++from) n += *from == '\n';
  return n;
}
}  // namespace

long Scanner::line() const {
  const char* b = buffer_.get();
  line_ += countLineFeeds(b + counted_, b + pos_);
  counted_ = pos_;
  return line_;
}

bool Scanner::refill() {
  // Everything in the block was consumed: count its line feeds before it goes.
  line_ += countLineFeeds(buffer_.get() + counted_, buffer_.get() + len_);
  counted_ = pos_ = len_ = 0;
  buffer_[0] = '\0';
  if (eof_ || error_ || !file_) return false;
  int got = gzread(file_, buffer_.get(), static_cast<unsigned>(capacity_));
  if (got < 0) {
    error_ = true;
    return false;
  }
  len_ = static_cast<std::size_t>(got);
  buffer_[len_] = '\0';
  if (got == 0) {
    // A clean end of a gzip stream and a truncated one both return 0;
    // only gzerror tells them apart.
    int code = Z_OK;
    gzerror(file_, &code);
    if (code != Z_OK && code != Z_STREAM_END)
      error_ = true;
    else
      eof_ = true;
    return false;
  }
  return true;
}

std::string Scanner::errorText() const {
  if (!file_) return "cannot be read";
  int code = Z_OK;
  const char* text = gzerror(file_, &code);
  if (code == Z_ERRNO) return std::string("read error: ") + std::strerror(errno);
  return std::string("read error: ") + (text && *text ? text : "corrupt or truncated data");
}

void Scanner::skipLine() {
  for (;;) {
    const char* from = buffer_.get() + pos_;
    const void* feed = std::memchr(from, '\n', len_ - pos_);
    if (feed) {
      pos_ = static_cast<std::size_t>(static_cast<const char*>(feed) - buffer_.get()) + 1;
      return;
    }
    pos_ = len_;
    if (!refill()) return;
  }
}

void Scanner::readLine(std::string& out) {
  for (;;) {
    const char* from = buffer_.get() + pos_;
    const void* feed = std::memchr(from, '\n', len_ - pos_);
    if (feed) {
      const char* at = static_cast<const char*>(feed);
      out.append(from, static_cast<std::size_t>(at - from));
      pos_ = static_cast<std::size_t>(at - buffer_.get()) + 1;
      return;
    }
    out.append(from, len_ - pos_);
    pos_ = len_;
    if (!refill()) return;
  }
}

bool Scanner::match(const char* text) {
  for (; *text; ++text) {
    if (peek() != static_cast<unsigned char>(*text)) return false;
    advance();
  }
  return true;
}

Scanner::IntStatus Scanner::readIntSlow(int32_t& value) {
  skipWhitespace();
  bool negative = false;
  int c = peek();
  if (c == '-' || c == '+') {
    negative = c == '-';
    advance();
    c = peek();
  }
  if (c < '0' || c > '9') return IntStatus::NoDigit;
  // Held at kMaxMagnitude + 1 once above it, so it never overflows and the
  // remaining digits are still consumed.
  int64_t magnitude = 0;
  for (;;) {
    const char* p = buffer_.get() + pos_;
    for (unsigned d; (d = static_cast<unsigned char>(*p) - unsigned('0')) < 10; ++p) {
      magnitude = magnitude * 10 + d;
      if (magnitude > kMaxMagnitude) magnitude = kMaxMagnitude + 1;
    }
    pos_ = static_cast<std::size_t>(p - buffer_.get());
    // Stopped at the closing NUL: the number may go on in the next block.
    if (pos_ < len_ || !refill()) break;
  }
  if (magnitude > kMaxMagnitude) return IntStatus::TooLarge;
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return IntStatus::Ok;
}

Scanner::IntStatus parseIntToken(const char*& p, const char* end, int32_t& value) {
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
  if (p >= end || *p < '0' || *p > '9') return Scanner::IntStatus::NoDigit;
  int64_t magnitude = 0;
  bool tooLarge = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    if (!tooLarge) {
      magnitude = magnitude * 10 + (*p - '0');
      tooLarge = magnitude > kMaxMagnitude;
    }
  }
  if (tooLarge) return Scanner::IntStatus::TooLarge;
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return Scanner::IntStatus::Ok;
}

namespace detail {
bool parsePreferenceRest(const std::string& rest, std::vector<int32_t>& entries) {
  entries.clear();
  if (rest.empty() || !isBlank(static_cast<unsigned char>(rest[0]))) return false;
  const char* p = rest.data();
  const char* end = p + rest.size();
  bool closed = false;
  for (;;) {
    while (p < end && isBlank(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return closed;
    if (closed) return false;  // something after the closing 0
    int32_t v;
    if (parseIntToken(p, end, v) != Scanner::IntStatus::Ok) return false;
    if (p < end && !isBlank(static_cast<unsigned char>(*p))) return false;  // "3x"
    if (v == 0)
      closed = true;
    else
      entries.push_back(v);
  }
}
}  // namespace detail

void raiseInputError(const std::string& file, const InputError& error) {
  throw FatalError(error.kind == InputError::BadHeader ? 99 : 3, "",
                   reportedName(file) + ":" + std::to_string(error.line) + ": " + error.what + "\n");
}

void raiseUnopened(const std::string& file) {
  // A directory exists but holds no formula: a read error, not a missing file.
  struct stat st;
  if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    InputError error;
    error.kind = InputError::Malformed;
    error.what = "is a directory, not a QDIMACS file";
    raiseInputError(file, error);
  }
  throw FatalError(1, "ERROR: file not found!\n", file + ": cannot be opened\n");
}

}  // namespace vorn
