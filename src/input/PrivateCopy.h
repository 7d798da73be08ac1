// The private copy of the instance: the renumbered formula, or the bytes
// of an input that can be read only once (a pipe). It is a fresh file in
// the temporary folder, never beside the input, and it goes when the
// process ends, however it ends: by returning from main, by std::exit
// (an atexit handler), by an uncaught exception (a terminate handler), or
// from a signal handler through removeCopyNow().
#pragma once

#include <string>

namespace vorn {

// $TMPDIR when set and not empty, else /tmp.
std::string temporaryFolder();

// Creates the copy exclusively (mkstemp, mode 0600) in the temporary
// folder and registers it for removal. Answers its descriptor and sets
// path; on failure answers -1, sets path to the folder and error to the
// reason. One copy at a time: a new one removes
// the one before.
int createPrivateCopy(std::string& path, std::string& error);

// Removes the copy now, if there is one. Async-signal-safe: unlink() on a
// static buffer, nothing else.
void removeCopyNow();

// The copy's path while it exists, else "".
const char* privateCopyPath();

// The copy holds the bytes of input as they came (a pipe read once), so an
// error the readers find in it is the input's, on the same line.
void markCopyAsBytesOf(const std::string& input);
// The name to report an error in file under: the input, for such a copy;
// else file itself.
const std::string& reportedName(const std::string& file);

}  // namespace vorn
