// What a QDIMACS reader hands the items of a file to. The input layer
// knows only the grammar; the engine's store and the preprocessor's
// formula each have a sink of their own in their own folder.
//
// The calls come in file order (see QdimacsItems.h for the grammar);
// finish follows only a file read to its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/QdimacsItems.h"
#include "input/Scanner.h"

namespace vorn {

class QDimacs;

class QdimacsSink {
 public:
  // false stops the reading.
  virtual bool header(int32_t vars, int32_t clauses) = 0;
  virtual void quantifierBegin(bool exists) = 0;
  virtual void quantifierEntry(int32_t var) = 0;
  virtual void quantifierEnd() = 0;
  virtual void clauseBegin() = 0;
  virtual void clauseLiteral(int32_t lit) = 0;
  // false stops the reading.
  virtual bool clauseEnd() = 0;
  virtual bool wantsPreferenceLines() const = 0;
  // The entries of a "c f" line, its closing 0 left out.
  virtual void preferenceLine(const std::vector<int32_t>& entries) = 0;
  // After the last item of a file read to its end.
  virtual void finish() = 0;

 protected:
  ~QdimacsSink() = default;

  // Ends the process with a malformed-input error at the line being read,
  // for faults that only the sink can see.
  [[noreturn]] void fail(const std::string& what) const {
    InputError error;
    error.kind = InputError::Malformed;
    error.line = in_ ? in_->line() : 0;
    error.what = what;
    raiseInputError(file_ ? *file_ : std::string(), error);
  }

 private:
  friend class QDimacs;
  const Scanner* in_ = nullptr;
  const std::string* file_ = nullptr;
};

}  // namespace vorn
