// The interface of the search strategies. The search loop calls only
// init, assign(lit, reason) and printStats; the other slots exist for
// strategies that want to hear about learning and undoing.
#pragma once

#include <cstdint>

#include "engine/Types.h"

namespace vorn {

struct BC2learn {
  uint32_t lit1;
  uint32_t lit2;
};

struct NC2learn {
  uint32_t id;
  uint32_t kind;  // 0 clause, 2 term
};

class Strategy {
 public:
  virtual ~Strategy() = default;
  virtual void init() {}
  virtual void assign() {}
  virtual void assign(const uint32_t& lit, const reasonItem_& reason) = 0;
  virtual void unAssign(const uint32_t&, const reasonItem_&) {}
  virtual void Blearn(const BC2learn&) {}
  virtual void Nlearn(const NC2learn&) {}
  virtual void unLearn(const uint32_t*) {}
  virtual void printStats() {}
};

}  // namespace vorn
