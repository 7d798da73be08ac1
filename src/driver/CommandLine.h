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

// The option names: the table rows and every lookup spell a name through
// these, so a misspelt lookup does not compile. Flags:
inline constexpr char kOptionSelfSubsumption[] = "-ss";
inline constexpr char kOptionQResolution[] = "-qr";
inline constexpr char kOptionEquivalenceSubstitution[] = "-es";
inline constexpr char kOptionThreeEquivalence[] = "-3e";
inline constexpr char kOptionEquivalenceRewriting[] = "-er";
inline constexpr char kOptionAllSimplifications[] = "-all";
inline constexpr char kOptionPreproStats[] = "-stat";
inline constexpr char kOptionNoPrepro[] = "-noprepro";
inline constexpr char kOptionForcePrepro[] = "-forceprepro";
inline constexpr char kOptionSolve[] = "-solve";
inline constexpr char kOptionNoProgressSaving[] = "-ps";
inline constexpr char kOptionSearchStats[] = "-sstat";
// Options with a value:
inline constexpr char kOptionHeuristic[] = "--heur";
inline constexpr char kOptionBpError[] = "--bperr";
inline constexpr char kOptionBpSeed[] = "--bpseed";
inline constexpr char kOptionBpTime[] = "--bptime";
inline constexpr char kOptionBpVerbosity[] = "--bpvflag";
inline constexpr char kOptionTimeLimit[] = "--timelimit";

// The key the parser stores the instance name under.
inline constexpr char kKeyFileName[] = "FILENAME";

// Keys some components read that are not in the table: no command line
// can give them, so a run always has their default; only a store filled
// by hand (a test) sets them.
inline constexpr char kOptionUnlearn[] = "-unlearn";
inline constexpr char kOptionNoPure[] = "-nopure";
inline constexpr char kOptionResortPeriod[] = "--h-freq";
inline constexpr char kOptionSubstitutionBoundFactor[] = "--eq-kf";
inline constexpr char kOptionQResolutionBoundFactor[] = "--qr-kf";

// The belief-propagation options' values when not given.
inline constexpr long kDefaultBpSeed = 1024;
inline constexpr long kDefaultBpTime = 200;
inline constexpr long kDefaultBpVerbosity = 0;
inline constexpr double kDefaultBpError = 0.01;

// The "huge problems" of -forceprepro: with -solve, an input declaring
// more clauses than this goes to the engine without preprocessing.
inline constexpr int kHugeInputClauses = 500000;

}  // namespace vorn
