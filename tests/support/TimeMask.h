// CPU times vary from run to run: output is compared with them masked.
#pragma once

#include <string>

namespace vorn {
namespace test {

// Replaces the number after each time label ("c Parse time: ", "time used
// in dpll: ", ...) by "T", and the check count of the Q-resolution time
// line ("c QRES Time: T s by 12 checks") by "N". Times print in the
// stream's default format ("0.000312", "4e-06", "0"); a label followed by
// anything else stays as it is, so the comparison fails.
std::string maskTimes(std::string out);

}  // namespace test
}  // namespace vorn
