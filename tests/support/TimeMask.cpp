#include "support/TimeMask.h"

namespace vorn {
namespace test {

std::string maskTimes(std::string out) {
  auto isDigit = [&](std::size_t i) { return i < out.size() && out[i] >= '0' && out[i] <= '9'; };
  auto digits = [&](std::size_t i) {
    while (isDigit(i)) ++i;
    return i;
  };
  for (const char* label : {"c Parse time: ", "c Tamrix time: ", "c QRES Time: ", "c EQ Time: ",
                            "time used in BP  : ", "time used in dpll: "}) {
    const std::string l(label);
    for (std::size_t at = out.find(l); at != std::string::npos; at = out.find(l, at + 1)) {
      const std::size_t from = at + l.size();
      if (!isDigit(from)) continue;
      std::size_t to = digits(from);
      if (to < out.size() && out[to] == '.' && isDigit(to + 1)) to = digits(to + 1);
      if (to + 2 < out.size() && out[to] == 'e' && (out[to + 1] == '-' || out[to + 1] == '+') && isDigit(to + 2))
        to = digits(to + 2);
      out.replace(from, to - from, "T");
    }
  }
  const std::string qres = "c QRES Time: T s by ";
  for (std::size_t at = out.find(qres); at != std::string::npos; at = out.find(qres, at + 1)) {
    const std::size_t from = at + qres.size(), to = digits(from);
    if (to > from && out.compare(to, 8, " checks\n") == 0) out.replace(from, to - from, "N");
  }
  return out;
}

}  // namespace test
}  // namespace vorn
