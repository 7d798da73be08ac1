// The quantifier of a variable, as the prefix of a file gives it ("e",
// "a", or no quantifier line at all). Shared by the engine's prefix and
// the preprocessor's, so it lives below both.
#pragma once

#include <cstdint>

namespace vorn {

enum Quantifier : uint32_t { Forall = 0, Exists = 1, Free = 2 };

}  // namespace vorn
