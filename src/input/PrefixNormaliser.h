// Prefix normaliser: runs once on the instance file before any reader.
// When the variables of the quantifier prefix are not exactly 1..N of the
// header, it writes a renumbered copy (a private file in the temporary
// folder, see PrivateCopy.h) in which the prefix variables are numbered
// from 1 in prefix order, and every later reader reads the copy. An input
// that is not a regular file (a pipe) is read only here, into a copy of
// its bytes, which is then renumbered or read as it is.
#pragma once

#include <string>

namespace vorn {

// Copied: the bytes of a pipe or a device, not renumbered.
enum class NormaliseOutcome { Unchanged, Converted, Copied, WriteFailed };

struct NormaliseResult {
  NormaliseOutcome outcome = NormaliseOutcome::Unchanged;
  std::string copyName;  // the copy when made; after a failure the copy or the folder that failed
  std::string error;     // why the copy could not be made
};

// Decides and, when needed, writes the copy. Prints nothing, never exits.
NormaliseResult normalisePrefix(const std::string& inputName);

// The driver's entry: name is set to the file the readers read. 1 after a
// conversion ("convert from <in> to <copy>" went to standard error), 0
// otherwise. A copy that cannot be made raises a FatalError (code 1, one
// line for standard error).
int mycheck_qbf(std::string& name);

}  // namespace vorn
