// The peer instances with known answers in the shared benchmark folder
// beside the repository (../shared/bench/peer, listed in answers.tsv).
#pragma once

#include <string>
#include <vector>

#include "support/Process.h"

namespace vorn {
namespace test {

struct PeerInstance {
  std::string name;
  int known = 0;     // 10 true, 20 false
  std::string path;  // the copy in the caller's folder
};

// The folder, for skip messages.
const std::string& peerFolder();

// Copies every instance of answers.tsv into dir and lists the copies;
// empty when the folder or its answers.tsv is absent. The runs use copies:
// the shared folder is not the tests' to write to, should a build ever
// write beside its input again.
std::vector<PeerInstance> copyPeerInstances(const TempDir& dir);

// The last `bytes` of a run's output, for failure messages.
std::string tail(const std::string& text, std::size_t bytes = 400);

}  // namespace test
}  // namespace vorn
