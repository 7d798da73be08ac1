// The simplified formula as QDIMACS text (its hand-over to the engine is
// in driver/HandOver.cpp). Lines are collected in a buffer and written in
// large pieces; standard output is flushed once at the end, and a failed
// write is reported, not lost.
#include <cerrno>
#include <charconv>
#include <string>

#include "preprocessor/CnfFormula.h"

namespace vorn {

namespace {

class TextOut {
 public:
  explicit TextOut(std::FILE* out) : out_(out) {}
  ~TextOut() { drain(); }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;

  // Short fixed texts only (" ", " 0", "e", "p cnf ").
  void text(const char* s) {
    room(16);
    while (*s) buffer_[used_++] = *s++;
  }
  void number(long v) {
    room(24);
    used_ = static_cast<std::size_t>(std::to_chars(buffer_ + used_, buffer_ + kSize, v).ptr - buffer_);
  }
  void endLine() {
    room(1);
    buffer_[used_++] = '\n';
  }

 private:
  static constexpr std::size_t kSize = 1u << 16;
  // Lines may be longer than the buffer: it is drained mid-line too.
  void room(std::size_t n) {
    if (used_ + n > kSize) drain();
  }
  // After a failed write the rest is not tried: the output is lost anyway.
  void drain() {
    if (used_ > 0 && !std::ferror(out_)) std::fwrite(buffer_, 1, used_, out_);
    used_ = 0;
  }
  std::FILE* out_;
  std::size_t used_ = 0;
  char buffer_[kSize];
};

}  // namespace

void CnfPrefix::print(std::FILE* out) const {
  if (blocks.size() == 1) return;
  TextOut w(out);
  int32_t previous = Free;  // no line open
  for (const std::vector<CnfLiteral>& block : blocks)
    for (CnfLiteral a : block) {
      if (a == 0) continue;
      int32_t q = atomRecords[a].quantifier;
      if (q != previous) {
        if (previous != Free) {
          w.text(" 0");
          w.endLine();
        }
        w.text(q == Exists ? "e" : "a");
        previous = q;
      }
      w.text(" ");
      w.number(a);
    }
  // A prefix whose every slot was emptied opens no line.
  if (previous != Free) {
    w.text(" 0");
    w.endLine();
  }
}

void CnfMatrix::printClause(ClauseId id, std::FILE* out) const {
  if (!isStored(id)) return;
  TextOut w(out);
  for (CnfLiteral l : clauses[id]) {
    w.text(" ");
    w.number(l);
  }
  w.text(" 0");
  w.endLine();
}

void CnfMatrix::print(std::FILE* out) const {
  TextOut w(out);
  for (ClauseId id = 1; id < slotCount(); ++id) {
    if (clauses[id].empty()) continue;
    for (CnfLiteral l : clauses[id]) {
      w.text(" ");
      w.number(l);
    }
    w.text(" 0");
    w.endLine();
  }
}

int CnfFormula::printFormula(std::FILE* out) {
  errno = 0;
  {
    TextOut w(out);
    w.text("p cnf ");
    w.number(maxAtom);
    w.text(" ");
    w.number(liveClauseCount());
    w.endLine();
  }
  CnfPrefix::print(out);
  CnfMatrix::print(out);
  // A full disk shows at a write or only at the flush; either sets the
  // stream's error flag, which stays.
  if (std::fflush(out) == 0 && !std::ferror(out)) return 0;
  return errno != 0 ? errno : EIO;
}

}  // namespace vorn
