// How a run ends when it meets a limit set by its environment: no more
// memory (std::bad_alloc, under `ulimit -v` or a cgroup) or the soft
// CPU-time limit (SIGXCPU). A deciding road (-solve, -noprepro) then
// answers "s cnf -1" with exit code 99; the writing road prints nothing
// more and fails with exit code 1, so standard output never holds a
// cut-off formula. Either way one line on standard error says why.
#pragma once

namespace vorn {

// Sets memory aside for the out-of-memory ending and installs the
// SIGXCPU handler and the ending for a std::bad_alloc that reaches
// std::terminate. Called once, before the road starts.
void guardRunLimits(bool decidingRoad);

// The ending for a std::bad_alloc caught at the top of a road: prints
// its lines and answers the exit code (99 deciding, 1 writing).
int outOfMemoryEnding(bool decidingRoad);

// A proven answer or the simplified formula is about to be printed: a
// SIGXCPU from now on is ignored, so it can neither cut the output nor
// add a second answer line.
void outputIsFinal();

}  // namespace vorn
