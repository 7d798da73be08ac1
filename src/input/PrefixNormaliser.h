// Prefix normaliser: runs once on the instance file before any reader.
// When the variables of the quantifier prefix are not exactly 1..N of the
// header, it writes a renumbered copy beside the input (its name with
// ".tmp" appended) in which the prefix variables are numbered from 1 in
// prefix order, and every later reader reads the copy.
#pragma once

#include <string>

namespace vorn {

enum class NormaliseOutcome { Unchanged, Converted, WriteFailed };

struct NormaliseResult {
  NormaliseOutcome outcome = NormaliseOutcome::Unchanged;
  std::string copyName;  // input name + ".tmp" when converted or when writing it failed
  std::string error;     // why the copy could not be written
};

// Decides and, when needed, writes the copy. Prints nothing, never exits.
NormaliseResult normalisePrefix(const std::string& inputName);

// The driver's entry: 1 after a conversion (name now holds the copy's
// name; "convert from <in> to <copy>" went to standard error), 0 when the
// file is left as it is (name unchanged). A copy that cannot be written
// raises a FatalError (code 1, one line for standard error).
int mycheck_qbf(std::string& name);

}  // namespace vorn
