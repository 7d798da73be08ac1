// The option store of the whole system: every component looks its options
// up here by name. A value is "true" for a given flag, the following
// argument for a "--" option, the instance name under "FILENAME", or null
// when never given.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vorn {

struct OptionRow {
  const char* name;
  const char* description;
};

class CommandLine {
 public:
  explicit CommandLine(const std::vector<OptionRow>& table = {});

  // Value slot of a name; creates a null entry when absent.
  const char*& operator[](const char* name);
  // Parses the process arguments; false after printing the usage text.
  bool parse(int argc, const char** argv);
  // The value given for name, or null.
  const char* getPar(const char* name);
  // Prints the usage text; returns false.
  bool badCL_(const char** argv);

  long number = 0;

 private:
  struct StrLess {
    bool operator()(const std::string& a, const std::string& b) const { return a < b; }
  };
  // Values are kept as owned strings; the slot hands out their address.
  std::map<std::string, const char*, StrLess> pars_;
  std::map<std::string, std::string> owned_;
  std::vector<std::string> names_;
  std::vector<std::string> descriptions_;
  const char** argv_ = nullptr;
};

// The 18 rows of the option table, in table order.
const std::vector<OptionRow>& optionTable();

}  // namespace vorn
