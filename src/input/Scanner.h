// The one tokeniser of every text reader: the engine's and the
// preprocessor's QDIMACS readers, the prefix normaliser and the
// belief-propagation reader all read the instance through it, so they
// agree on what the formula is.
//
// Bytes come through zlib (gzread reads a plain file unchanged), in
// blocks of a configurable size (1 MiB by default); tokens are scanned in
// place in the block. White space is bytes 9..13 and 32. Only the real
// end of the file ends the input; a read error is reported, never taken
// for the end.
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
  void advance() {
    if (buffer_[pos_] == '\n') ++line_;
    ++pos_;
  }
  void skipWhitespace() {
    for (int c = peek(); c >= 0 && isBlank(c); c = peek()) advance();
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
  IntStatus readInt(int32_t& value);

  long line() const { return line_; }
  bool readError() const { return error_; }
  std::string errorText() const;

 private:
  bool refill();

  std::string path_;
  gzFile file_ = nullptr;
  // Left uninitialised: gzread fills what is read, and a small file then
  // touches a page or two of the block instead of all of it.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  long line_ = 1;
  bool eof_ = false;
  bool error_ = false;
};

// Parses an integer token held in a string (same rules as Scanner::readInt,
// the whole token must be consumed). Used for tokens of a line already read.
Scanner::IntStatus parseIntToken(const char*& p, const char* end, int32_t& value);

}  // namespace vorn
