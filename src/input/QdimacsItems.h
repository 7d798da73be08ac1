// The QDIMACS item grammar, shared by every reader: a reader supplies a
// handler and scanQdimacs walks the items and calls it. The readers differ
// only in what they do with the items and in how they answer an error.
//
// Items (separated by any white space; line ends matter only in comments):
//   c ...        comment, to the end of the line
//   c f l.. 0    preference line, only when the handler asks for them and
//                the rest of the line is integers closed by 0
//   p cnf V C    header (exactly once, counts not negative)
//   e|a v.. 0    quantifier line (entries positive)
//   l.. 0        clause line
//
// Handler interface (all required; QdimacsSink declares it for the readers
// of QDimacs.h, the other readers bring a class of their own):
//   bool header(int32_t vars, int32_t clauses)   false stops the reading
//   void quantifierBegin(bool exists)
//   void quantifierEntry(int32_t var)
//   void quantifierEnd()
//   void clauseBegin()
//   void clauseLiteral(int32_t lit)
//   bool clauseEnd()                              false stops the reading
//   bool wantsPreferenceLines() const
//   void preferenceLine(const std::vector<int32_t>& entries)  (0 not included)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/Scanner.h"

namespace vorn {

struct InputError {
  enum Kind { None, BadHeader, Malformed };
  Kind kind = None;
  long line = 0;
  std::string what;
};

enum class ScanEnd { Complete, Stopped, Failed };

namespace detail {
// A comment line that begins with "c f" is a preference line only when
// "f" is followed by white space and the rest of the line is integers
// closed by a single 0 at its end. Fills entries and returns true then.
bool parsePreferenceRest(const std::string& rest, std::vector<int32_t>& entries);
}  // namespace detail

template <class Handler>
ScanEnd scanQdimacs(Scanner& in, Handler& handler, InputError& error) {
  bool haveHeader = false;
  std::string rest;
  std::vector<int32_t> prefEntries;

  auto fail = [&](InputError::Kind kind, std::string what) {
    error.kind = kind;
    error.line = in.line();
    error.what = std::move(what);
    return ScanEnd::Failed;
  };
  // Records why an integer could not be read; false.
  auto numberError = [&](Scanner::IntStatus status, const char* where, bool inList) {
    switch (status) {
      case Scanner::IntStatus::Ok:
        return true;
      case Scanner::IntStatus::TooLarge:
        fail(InputError::Malformed, std::string("number does not fit 32 bits in ") + where);
        return false;
      case Scanner::IntStatus::NoDigit:
        break;
    }
    if (in.readError())
      fail(InputError::Malformed, in.errorText());
    else if (in.peek() < 0)
      // Only a list is closed by 0; a header just lacks its counts.
      fail(InputError::Malformed, std::string("end of file inside ") + where + (inList ? " (missing 0?)" : ""));
    else
      fail(InputError::Malformed, std::string("expected an integer in ") + where);
    return false;
  };
  // Reads one integer of a list; false after recording the error. Small,
  // so that it is inlined into the loops over entries and literals.
  auto readNumber = [&](int32_t& v, const char* where, bool inList = true) {
    const Scanner::IntStatus status = in.readInt(v);
    return status == Scanner::IntStatus::Ok || numberError(status, where, inList);
  };

  for (;;) {
    in.skipWhitespace();
    int c = in.peek();
    if (c < 0) {
      if (in.readError()) return fail(InputError::Malformed, in.errorText());
      break;
    }
    if (c == 'c') {
      if (handler.wantsPreferenceLines() && in.match("c f")) {
        rest.clear();
        in.readLine(rest);
        if (detail::parsePreferenceRest(rest, prefEntries)) handler.preferenceLine(prefEntries);
      } else {
        in.skipLine();
      }
      if (in.readError()) return fail(InputError::Malformed, in.errorText());
      continue;
    }
    if (c == 'p') {
      if (!in.match("p cnf")) return fail(InputError::BadHeader, "header is not \"p cnf\"");
      if (haveHeader) return fail(InputError::BadHeader, "second header");
      int32_t vars = 0, clauses = 0;
      if (!readNumber(vars, "the header", false) || !readNumber(clauses, "the header", false)) return ScanEnd::Failed;
      if (vars < 0 || clauses < 0) return fail(InputError::BadHeader, "negative count in the header");
      haveHeader = true;
      if (!handler.header(vars, clauses)) return ScanEnd::Stopped;
      continue;
    }
    if (c == 'e' || c == 'a') {
      in.advance();
      handler.quantifierBegin(c == 'e');
      for (;;) {
        int32_t v;
        if (!readNumber(v, "a quantifier line")) return ScanEnd::Failed;
        if (v == 0) break;
        if (v < 0) return fail(InputError::Malformed, "negative entry in a quantifier line");
        handler.quantifierEntry(v);
      }
      handler.quantifierEnd();
      continue;
    }
    handler.clauseBegin();
    for (;;) {
      int32_t lit;
      if (!readNumber(lit, "a clause")) return ScanEnd::Failed;
      if (lit == 0) break;
      handler.clauseLiteral(lit);
    }
    if (!handler.clauseEnd()) return ScanEnd::Stopped;
  }
  if (!haveHeader) return fail(InputError::BadHeader, "no \"p cnf\" header");
  return ScanEnd::Complete;
}

// Raises the FatalError of `error`: "file:line: what" for standard error,
// with the code of the error's kind (99 for a bad header, 3 for malformed
// input).
[[noreturn]] void raiseInputError(const std::string& file, const InputError& error);

// For a file the scanner could not open: a directory is malformed input
// (code 3); otherwise "ERROR: file not found!" for standard output, the
// reason for standard error, and code 1.
[[noreturn]] void raiseUnopened(const std::string& file);

}  // namespace vorn
