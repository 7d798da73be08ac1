#include "input/Scanner.h"

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

Scanner::Scanner(const std::string& path, std::size_t blockSize)
    : path_(path), buffer_(new char[blockSize ? blockSize : 1]), capacity_(blockSize ? blockSize : 1) {
  // gzopen happily opens a directory; reading it then fails. Refuse it here.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  file_ = gzopen(path.c_str(), "rb");
}

Scanner::~Scanner() {
  if (file_) gzclose(file_);
}

bool Scanner::refill() {
  if (eof_ || error_ || !file_) {
    pos_ = len_ = 0;
    return false;
  }
  unsigned want = static_cast<unsigned>(capacity_);
  int got = gzread(file_, buffer_.get(), want);
  pos_ = 0;
  if (got < 0) {
    error_ = true;
    len_ = 0;
    return false;
  }
  len_ = static_cast<std::size_t>(got);
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
  for (int c = peek(); c >= 0; c = peek()) {
    advance();
    if (c == '\n') return;
  }
}

void Scanner::readLine(std::string& out) {
  for (int c = peek(); c >= 0; c = peek()) {
    advance();
    if (c == '\n') return;
    out.push_back(static_cast<char>(c));
  }
}

bool Scanner::match(const char* text) {
  for (; *text; ++text) {
    if (peek() != static_cast<unsigned char>(*text)) return false;
    advance();
  }
  return true;
}

Scanner::IntStatus Scanner::readInt(int32_t& value) {
  skipWhitespace();
  bool negative = false;
  int c = peek();
  if (c == '-' || c == '+') {
    negative = c == '-';
    advance();
    c = peek();
  }
  if (c < '0' || c > '9') return IntStatus::NoDigit;
  int64_t magnitude = 0;
  bool tooLarge = false;
  while (c >= '0' && c <= '9') {
    if (!tooLarge) {
      magnitude = magnitude * 10 + (c - '0');
      tooLarge = magnitude > kMaxMagnitude;
    }
    advance();
    c = peek();
  }
  if (tooLarge) return IntStatus::TooLarge;
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
