#include "driver/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "input/PrefixNormaliser.h"

namespace vorn {

namespace {

bool isDecimal(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

}  // namespace

CommandLine::CommandLine(const std::vector<OptionRow>& table) {
  names_.reserve(table.size());
  descriptions_.reserve(table.size());
  for (const OptionRow& row : table) {
    names_.emplace_back(row.name);
    descriptions_.emplace_back(row.description);
  }
}

CommandLine::CommandLine(const CommandLine& other)
    : number(other.number),
      pars_(other.pars_),
      names_(other.names_),
      descriptions_(other.descriptions_),
      argv_(other.argv_) {
  ownValues();
}

CommandLine& CommandLine::operator=(const CommandLine& other) {
  if (this != &other) {
    number = other.number;
    pars_ = other.pars_;
    names_ = other.names_;
    descriptions_ = other.descriptions_;
    argv_ = other.argv_;
    ownValues();
  }
  return *this;
}

void CommandLine::ownValues() {
  // Map nodes never move, so a value may point into its own entry.
  for (auto& kv : pars_) {
    Entry& e = kv.second;
    if (e.value) {
      std::string text(e.value);
      e.owned.swap(text);
      e.value = e.owned.c_str();
    }
  }
}

const char*& CommandLine::operator[](const char* name) { return pars_[name].value; }

void CommandLine::set(const std::string& name, const std::string& value) {
  Entry& e = pars_[name];
  e.owned = value;
  e.value = e.owned.c_str();
}

const char* CommandLine::getPar(const char* name) const {
  auto it = pars_.find(name);
  return it == pars_.end() ? nullptr : it->second.value;
}

bool CommandLine::badCL_(const char** argv) const {
  const char* program = argv && argv[0] ? argv[0] : "Vorn";
  std::string text = "\nUSAGE : ";
  text += program;
  text += " <instance-file> [<options>]\n";
  text += "if no options are given only Simplify will be performed\n\n   options\n";
  std::vector<char> line;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const char* name = names_[i].c_str();
    const char* format = name[0] && name[1] == '-' ? "   %-10.10s sub-opt : %.75s\n" : "   %-18.18s : %.75s\n";
    int size = std::snprintf(nullptr, 0, format, name, descriptions_[i].c_str());
    line.resize(static_cast<std::size_t>(size) + 1);
    std::snprintf(line.data(), line.size(), format, name, descriptions_[i].c_str());
    text += line.data();
  }
  text += "\n";
  std::cout << text << std::flush;
  return false;
}

bool CommandLine::parse(int argc, const char** argv) {
  if (argc < 2 || !argv || !argv[1] || argv[1][0] == '-') return badCL_(argv);

  // Check and store the options first: a rejected command line must not
  // touch the instance (the normaliser may make a copy, or drain a pipe).
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-') {
      if (i != 2 || !isDecimal(arg)) return badCL_(argv);
      errno = 0;
      long value = std::strtol(arg, nullptr, 10);
      if (errno == ERANGE || value < 1) return badCL_(argv);
      number = value;
      continue;
    }
    bool known = false;
    for (const std::string& name : names_)
      if (name == arg) known = true;
    if (!known) return badCL_(argv);
    if (arg[1] == '-') {
      if (i + 1 >= argc || argv[i + 1][0] == '-') return badCL_(argv);
      set(arg, argv[i + 1]);
      ++i;
    } else {
      set(arg, "true");
    }
  }
  // The two contradict each other; refuse them before anything is read.
  if (getPar(kOptionNoPrepro) && getPar(kOptionForcePrepro)) return badCL_(argv);

  std::string fileName = argv[1];
  mycheck_qbf(fileName);  // renames to the copy when it writes one
  set(kKeyFileName, fileName);
  argv_ = argv;
  return true;
}

}  // namespace vorn
