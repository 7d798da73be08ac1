// The option store of the whole system: every component looks its options
// up here by name. A value is "true" for a given flag, the following
// argument for a "--" option, the instance name under "FILENAME", or null
// when never given.
//
// Every value the store hands out is a string the store owns, so a copy of
// the store (the engine keeps one) carries values of its own that stay
// valid for as long as the copy lives, FILENAME included.
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
  CommandLine(const CommandLine& other);
  CommandLine& operator=(const CommandLine& other);

  // Value slot of a name; creates a null entry when absent. A pointer
  // stored through the slot is taken over as a copy when the store is copied.
  const char*& operator[](const char* name);
  // Parses the process arguments; false after printing the usage text.
  // The whole command line is checked before the instance file is read.
  bool parse(int argc, const char** argv);
  // The value given for name, or null.
  const char* getPar(const char* name) const;
  // Prints the usage text on standard output; returns false.
  bool badCL_(const char** argv) const;

  const std::vector<std::string>& optionNames() const { return names_; }
  const std::vector<std::string>& optionDescriptions() const { return descriptions_; }
  // The argument vector given to parse, or null before a successful parse.
  const char** arguments() const { return argv_; }

  // The positive number given directly after the instance file; 0 when none.
  long number = 0;

 private:
  struct Entry {
    const char* value = nullptr;  // null, or text owned by this entry or by the caller of operator[]
    std::string owned;
  };
  void set(const std::string& name, const std::string& value);
  // Makes every value point at text owned by this store.
  void ownValues();

  std::map<std::string, Entry, std::less<>> pars_;
  std::vector<std::string> names_;
  std::vector<std::string> descriptions_;
  const char** argv_ = nullptr;
};

// The 18 rows of the option table, in table order.
const std::vector<OptionRow>& optionTable();

}  // namespace vorn
