#include "input/PrefixNormaliser.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "input/FatalError.h"
#include "input/PrivateCopy.h"
#include "input/QdimacsItems.h"
#include "input/Scanner.h"

namespace vorn {

namespace {

// Item handler of both passes. The first pass only takes the statistics
// of the prefix; the second (run only when a copy is needed) also keeps
// the formula, with every variable as an id in order of first appearance.
// Either way the reading stops after the header's clause count of clause
// lines, as the copy holds no more.
class PrefixReader {
 public:
  explicit PrefixReader(bool collect) : collect_(collect) {}

  // --- handler interface of scanQdimacs
  bool header(int32_t vars, int32_t clauses) {
    haveHeader_ = true;
    declaredVars_ = vars;
    declaredClauses_ = clauses;
    return true;
  }
  void quantifierBegin(bool exists) {
    anyQuantifierLine_ = true;
    if (collect_) blockStart_.push_back({exists, entries_.size()});
  }
  void quantifierEntry(int32_t var) {
    ++entryCount_;
    if (var < minEntry_) minEntry_ = var;
    if (var > maxEntry_) maxEntry_ = var;
    if (!collect_) return;
    // A variable keeps its first place, whether that was a block or a
    // clause (a variable met first in a clause is free); later entries
    // for it are dropped from the copy.
    auto found = idOf_.emplace(var, static_cast<int32_t>(isPrefix_.size()));
    if (!found.second) return;
    isPrefix_.push_back(true);
    entries_.push_back(found.first->second);
  }
  void quantifierEnd() {}
  void clauseBegin() {}
  void clauseLiteral(int32_t lit) {
    if (!collect_) return;
    int32_t var = lit < 0 ? -lit : lit;
    auto found = idOf_.emplace(var, static_cast<int32_t>(isPrefix_.size()));
    if (found.second) isPrefix_.push_back(false);
    int32_t id = found.first->second + 1;  // ids from 1 here, so the sign survives
    literals_.push_back(lit < 0 ? -id : id);
  }
  bool clauseEnd() {
    if (collect_) literals_.push_back(0);
    ++clauseLines_;
    // At or above: clause lines before the header count too. A count of 0
    // or less gives nothing to stop at.
    return !(haveHeader_ && declaredClauses_ > 0 && clauseLines_ >= declaredClauses_);
  }
  bool wantsPreferenceLines() const { return false; }
  void preferenceLine(const std::vector<int32_t>&) {}

  // --- after the first pass
  bool needsCopy() const {
    if (!anyQuantifierLine_) return false;
    bool exact = entryCount_ > 0 && entryCount_ == declaredVars_ && minEntry_ == 1 && maxEntry_ == declaredVars_;
    return !exact;
  }

  // --- after the second pass: the copy's text, written through out.
  template <class Out>
  void writeCopy(Out& out) const {
    // Prefix variables get 1..K in prefix order, free ones K+1.. in order
    // of first appearance.
    std::vector<int32_t> newNumber(isPrefix_.size());
    int32_t prefixCount = 0;
    for (int32_t id : entries_) newNumber[id] = ++prefixCount;
    int32_t next = prefixCount;
    for (std::size_t id = 0; id < isPrefix_.size(); ++id)
      if (!isPrefix_[id]) newNumber[id] = ++next;

    out.text("p cnf ");
    out.number(next);
    out.text(" ");
    out.number(clauseLines_);
    out.text("\n");
    for (std::size_t b = 0; b < blockStart_.size(); ++b) {
      out.text(blockStart_[b].exists ? "e " : "a ");
      std::size_t end = b + 1 < blockStart_.size() ? blockStart_[b + 1].first : entries_.size();
      for (std::size_t i = blockStart_[b].first; i < end; ++i) {
        out.number(newNumber[entries_[i]]);
        out.text(" ");
      }
      out.text("0\n");
    }
    for (int32_t lit : literals_) {
      if (lit == 0) {
        out.text("0\n");
        continue;
      }
      out.number(lit < 0 ? -newNumber[-lit - 1] : newNumber[lit - 1]);
      out.text(" ");
    }
  }

 private:
  struct Block {
    bool exists;
    std::size_t first;  // index of its first kept entry in entries_
  };

  bool collect_;
  bool haveHeader_ = false;
  int64_t declaredVars_ = 0;
  int64_t declaredClauses_ = 0;
  bool anyQuantifierLine_ = false;
  int64_t entryCount_ = 0;  // repeats counted
  int32_t minEntry_ = std::numeric_limits<int32_t>::max();
  int32_t maxEntry_ = 0;
  int64_t clauseLines_ = 0;

  std::unordered_map<int32_t, int32_t> idOf_;  // file variable -> id
  std::vector<bool> isPrefix_;                 // per id: first met in a block
  std::vector<Block> blockStart_;
  std::vector<int32_t> entries_;   // ids of the kept entries, blocks back to back
  std::vector<int32_t> literals_;  // +-(id + 1), each clause closed by 0
};

// Buffered writer to a file descriptor; remembers the first error.
class FdWriter {
 public:
  // The buffer grows to what is written, up to a chunk: a small copy costs
  // no chunk-sized allocation.
  explicit FdWriter(int fd) : fd_(fd) {}
  void text(const char* s) {
    buffer_ += s;
    if (buffer_.size() >= kChunk) flush();
  }
  void bytes(const char* p, std::size_t n) {
    buffer_.append(p, n);
    if (buffer_.size() >= kChunk) flush();
  }
  void number(int64_t v) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    buffer_.append(digits, end);
    if (buffer_.size() >= kChunk) flush();
  }
  bool flush() {
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0 && error_ == 0) {
      ssize_t put = ::write(fd_, p, left);
      if (put < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        break;
      }
      p += put;
      left -= static_cast<std::size_t>(put);
    }
    buffer_.clear();
    return error_ == 0;
  }
  int error() const { return error_; }

 private:
  static constexpr std::size_t kChunk = 1u << 20;
  int fd_;
  int error_ = 0;
  std::string buffer_;
};

// Writes the renumbered formula into a fresh private copy; on failure no
// copy is left.
bool writeCopyFile(const PrefixReader& formula, NormaliseResult& result) {
  const int fd = createPrivateCopy(result.copyName, result.error);
  if (fd < 0) return false;
  FdWriter out(fd);
  formula.writeCopy(out);
  out.flush();
  int writeError = out.error();
  if (::close(fd) != 0 && writeError == 0) writeError = errno;
  if (writeError == 0) return true;
  result.error = std::strerror(writeError);
  removeCopyNow();
  return false;
}

// A pipe or a device gives its bytes once: they go into the private copy
// as they are (gzip or not), and every later pass reads that.
bool copyBytes(int in, NormaliseResult& result) {
  const int fd = createPrivateCopy(result.copyName, result.error);
  if (fd < 0) return false;
  FdWriter out(fd);
  std::vector<char> block(1u << 16);
  int error = 0;
  for (;;) {
    const ssize_t got = ::read(in, block.data(), block.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    out.bytes(block.data(), static_cast<std::size_t>(got));
  }
  if (!out.flush() && error == 0) error = out.error();
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return true;
  result.error = std::strerror(error);
  removeCopyNow();
  return false;
}

}  // namespace

NormaliseResult normalisePrefix(const std::string& inputName) {
  NormaliseResult result;
  std::string source = inputName;
  struct stat st;
  if (::stat(inputName.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    const int in = ::open(inputName.c_str(), O_RDONLY);
    if (in < 0) return result;  // the readers report it
    const bool copied = copyBytes(in, result);
    ::close(in);
    result.outcome = copied ? NormaliseOutcome::Copied : NormaliseOutcome::WriteFailed;
    if (!copied) return result;
    markCopyAsBytesOf(inputName);
    source = result.copyName;
  }
  {
    Scanner in(source);
    if (!in.isOpen()) return result;  // the readers report the missing file
    PrefixReader survey(false);
    InputError error;
    // On input the readers reject, make no copy: they report it on the original.
    if (scanQdimacs(in, survey, error) == ScanEnd::Failed || !survey.needsCopy()) return result;
  }
  PrefixReader formula(true);
  {
    Scanner in(source);
    InputError error;
    if (!in.isOpen() || scanQdimacs(in, formula, error) == ScanEnd::Failed) return result;
  }
  if (!writeCopyFile(formula, result)) {
    result.outcome = NormaliseOutcome::WriteFailed;
    return result;
  }
  result.outcome = NormaliseOutcome::Converted;
  return result;
}

int mycheck_qbf(std::string& name) {
  NormaliseResult result = normalisePrefix(name);
  switch (result.outcome) {
    case NormaliseOutcome::Unchanged:
      return 0;
    case NormaliseOutcome::Converted:
      std::cerr << "convert from " << name << " to " << result.copyName << std::endl;
      name = result.copyName;
      return 1;
    case NormaliseOutcome::Copied:
      name = result.copyName;
      return 0;
    case NormaliseOutcome::WriteFailed:
      break;
  }
  throw FatalError(1, "", result.copyName + ": cannot write the renumbered copy of " + name + ": " + result.error + "\n");
}

}  // namespace vorn
