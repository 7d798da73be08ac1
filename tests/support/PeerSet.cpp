#include "support/PeerSet.h"

#include <fstream>
#include <sstream>

namespace vorn {
namespace test {

const std::string& peerFolder() {
  static const std::string folder = VORN_SOURCE_DIR "/../shared/bench/peer";
  return folder;
}

std::vector<PeerInstance> copyPeerInstances(const TempDir& dir) {
  std::vector<PeerInstance> out;
  std::ifstream answers(peerFolder() + "/answers.tsv");
  if (!answers) return out;
  for (std::string line; std::getline(answers, line);) {
    std::istringstream fields(line);
    PeerInstance in;
    if (!(fields >> in.name >> in.known)) continue;
    in.path = dir.write(in.name, readFileOrFail(peerFolder() + "/" + in.name));
    out.push_back(in);
  }
  return out;
}

std::string tail(const std::string& text, std::size_t bytes) {
  return text.size() > bytes ? text.substr(text.size() - bytes) : text;
}

}  // namespace test
}  // namespace vorn
