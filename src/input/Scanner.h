// The one tokeniser of every text reader: the engine's and the
// preprocessor's QDIMACS readers, the prefix normaliser and the
// belief-propagation reader all read the instance through it, so they
// agree on what the formula is.
//
// Bytes come through zlib (gzread reads a plain file unchanged) in large
// reads into one buffer, closed by a NUL byte so that the token loops
// stop at its end without a bounds test per byte. Tokens are scanned in
// place. Lines are counted only when asked for (error messages), by
// counting line feeds in what was consumed. White space is bytes 9..13
// and 32. Only the real end of the file ends the input; a read error is
// reported, never taken for the end.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorn {

constexpr std::size_t kDefaultBlockSize = 1u << 20;

inline bool isBlank(int c) { return c == ' ' || (c >= 9 && c <= 13); }

class Scanner {
 public:
  explicit Scanner(const std::string& path, std::size_t blockSize = kDefaultBlockSize);
  ~Scanner();
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // Current byte (0..255), or -1 at the end of the input or after a read error.
  int peek() {
    if (pos_ < len_) return static_cast<unsigned char>(buffer_[pos_]);
    return refill() ? static_cast<unsigned char>(buffer_[pos_]) : -1;
  }
  // Only after a peek that gave a byte.
  void advance() { ++pos_; }
  void skipWhitespace() {
    for (;;) {
      const char* p = buffer_.get() + pos_;
      while (isBlank(static_cast<unsigned char>(*p))) ++p;  // the closing NUL stops it
      pos_ = static_cast<std::size_t>(p - buffer_.get());
      if (pos_ < len_ || !refill()) return;
    }
  }
  // Skips up to and including the next line feed (any byte is skipped).
  void skipLine();
  // Appends the bytes up to (not including) the next line feed to out and
  // consumes the line feed.
  void readLine(std::string& out);
  // Consumes the bytes of text while they match; true when all matched.
  // On a mismatch the scanner stands at the byte that did not match.
  bool match(const char* text);

  enum class IntStatus { Ok, NoDigit, TooLarge };
  // Skips white space, then reads [+-]?digits. Magnitudes above 2^31-1
  // are TooLarge (the digits are still consumed).
  IntStatus readInt(int32_t& value) {
    // Fast path: up to 9 digits (no overflow possible) ended by a byte of
    // this block. Anything else (a longer number, one that may go on in
    // the next block, no digit) takes the general path from the start of
    // the token.
    const char* const begin = buffer_.get();
    const char* p = begin + pos_;
    while (isBlank(static_cast<unsigned char>(*p))) ++p;  // the closing NUL stops it
    const char* q = p + (*p == '-' || *p == '+');
    unsigned d = static_cast<unsigned char>(*q) - unsigned('0');
    if (d < 10) {
      uint32_t magnitude = d;
      const char* const last = q + 9;
      for (++q; q < last && (d = static_cast<unsigned char>(*q) - unsigned('0')) < 10; ++q) magnitude = magnitude * 10 + d;
      if (q < begin + len_ && static_cast<unsigned>(static_cast<unsigned char>(*q) - unsigned('0')) >= 10) {
        pos_ = static_cast<std::size_t>(q - begin);
        value = *p == '-' ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
        return IntStatus::Ok;
      }
    }
    pos_ = static_cast<std::size_t>(p - begin);
    return readIntSlow(value);
  }

  // The line of the next byte: 1 plus the line feeds consumed.
  long line() const;
  bool readError() const { return error_; }
  std::string errorText() const;

 private:
  bool refill();
  IntStatus readIntSlow(int32_t& value);

  std::string path_;
  gzFile file_ = nullptr;
  // Sized to the file when that is smaller than the block, so a small input
  // (a fuzz input) allocates little; capacity_ + 1 bytes, for the closing
  // NUL. Left uninitialised: gzread fills what is read.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  // Line feeds before counted_ in the buffer are in line_; line() counts
  // on from there, so asking often costs no more than asking once.
  mutable std::size_t counted_ = 0;
  mutable long line_ = 1;
  bool eof_ = false;
  bool error_ = false;
};

// Parses an integer token held in a string (same rules as Scanner::readInt,
// the whole token must be consumed). Used for tokens of a line already read.
Scanner::IntStatus parseIntToken(const char*& p, const char* end, int32_t& value);

}  // namespace vorn
