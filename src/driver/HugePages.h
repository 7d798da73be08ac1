// Transparent huge pages for the heap of a large run.
#pragma once

namespace vorn {

// Inputs from this size on restart the binary with huge pages for malloc.
constexpr long long kHugePagesFromBytes = 8LL << 20;

// The GLIBC_TUNABLES value that asks for them, given the current value
// (null when unset); empty when the current value already decides it.
const char* hugePagesTunables(const char* current, char* buffer, unsigned long size);

// Restarts this process image once with huge pages asked for, when an
// argument names a regular file of kHugePagesFromBytes or more. Returns
// when nothing is to be done or the restart failed: the run then goes on
// as it is.
void restartWithHugePages(int argc, const char** argv);

}  // namespace vorn
