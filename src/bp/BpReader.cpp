// Reading the instance into the store, through the shared tokeniser and
// item grammar, so the module sees the formula the engine sees (gzip or
// plain, any white space).
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "bp/BpFormula.h"
#include "input/FatalError.h"
#include "input/QdimacsItems.h"

namespace vorn {

namespace {

[[noreturn]] void raiseTooManyVariables(const std::string& file, long line, long long var, long long declared) {
  throw FatalError(255, "",
                   "Too many variables.\n" + file + ":" + std::to_string(line) + ": variable " + std::to_string(var) +
                       " is beyond the " + std::to_string(declared) + " variables of the header\n");
}

// Collects the items; the store is built once the counts are known, so a
// clause or quantifier line before the header is kept like any other.
struct BpItems {
  Scanner& in;
  const std::string& file;
  bool wantPrefix;

  bool haveHeader = false;
  int32_t vars = 0;
  int32_t clauses = 0;

  std::vector<int8_t> blockExists;
  std::vector<std::size_t> blockBegin;
  std::vector<int32_t> entries;

  std::vector<int32_t> lits;
  std::vector<std::size_t> ends;  // end of each clause in lits
  // Largest variable met before the header, checked once the header is read.
  long long earlyMax = 0;
  long earlyMaxLine = 0;

  BpItems(Scanner& scanner, const std::string& name, bool prefix) : in(scanner), file(name), wantPrefix(prefix) {}

  bool header(int32_t v, int32_t c) {
    haveHeader = true;
    vars = v;
    clauses = c;
    if (earlyMax > vars) raiseTooManyVariables(file, earlyMaxLine, earlyMax, vars);
    return true;
  }
  void quantifierBegin(bool exists) {
    if (!wantPrefix) return;
    blockExists.push_back(exists ? 1 : 0);
    blockBegin.push_back(entries.size());
  }
  void quantifierEntry(int32_t v) {
    if (wantPrefix) entries.push_back(v);
  }
  void quantifierEnd() {}
  void clauseBegin() {}
  void clauseLiteral(int32_t lit) {
    long long var = lit < 0 ? -static_cast<long long>(lit) : lit;
    if (haveHeader) {
      if (var > vars) raiseTooManyVariables(file, in.line(), var, vars);
    } else if (var > earlyMax) {
      earlyMax = var;
      earlyMaxLine = in.line();
    }
    lits.push_back(lit);
  }
  bool clauseEnd() {
    ends.push_back(lits.size());
    // Clause lines before the header count too; the header's count ends the
    // reading.
    return !(haveHeader && static_cast<long long>(ends.size()) >= clauses);
  }
  bool wantsPreferenceLines() const { return false; }
  // Once the store has the clauses, before it builds its arrays.
  void releaseClauses() {
    std::vector<int32_t>().swap(lits);
    std::vector<std::size_t>().swap(ends);
  }
  void preferenceLine(const std::vector<int32_t>&) {}
};

void scanInto(BpItems& items, Scanner& in, const std::string& file) {
  InputError error;
  if (scanQdimacs(in, items, error) == ScanEnd::Failed) raiseInputError(file, error);
}

// The first min(read, declared) clauses go to the store; M becomes that
// number, so the store holds nothing that was not read. N becomes the
// largest variable that those clauses or a prefix entry within the header's
// count mention: a header may declare far more variables than the file
// uses, and records for those would cost memory and sweep time for nothing
// (literals were checked against the header's count while reading).
// Below this many variables a store of file numbers is small whatever the
// file names (tens of megabytes).
constexpr long long kSparseVariablesAllowed = 1 << 20;

void fillClauses(zsat& f, const BpItems& items) {
  std::size_t kept = items.ends.size();
  if (kept > static_cast<std::size_t>(items.clauses)) kept = static_cast<std::size_t>(items.clauses);
  const std::size_t keptLits = kept > 0 ? items.ends[kept - 1] : 0;
  long long largest = 0;
  for (std::size_t i = 0; i < keptLits; ++i) largest = std::max(largest, std::llabs(items.lits[i]));
  for (int32_t x : items.entries)
    if (x <= items.vars && x > largest) largest = x;
  assert(largest <= items.vars);
  f.N = static_cast<int>(largest);
  f.M = static_cast<int>(kept);
  // The store keeps a record for every number up to N. A few literals that
  // name a variable near 2^31 would have it ask for tens of gigabytes, an
  // allocation that fails (or, where it is granted, exhausts the machine);
  // such a store is refused before the attempt, with the same error.
  const long long named = static_cast<long long>(keptLits + items.entries.size());
  if (largest > kSparseVariablesAllowed && largest > 16 * named) f.formula_out_of_memory();
  f.formula_init_structures();
  if (f.formula_cells_from(items.lits.data(), items.ends.data(), kept)) return;
  f.formula_reserve_literals(keptLits);
  std::size_t begin = 0;
  for (std::size_t c = 0; c < kept; ++c) {
    std::size_t end = items.ends[c];
    for (std::size_t i = begin; i < end; ++i) f.formula_add_var(items.lits[i], static_cast<int>(c));
    begin = end;
  }
}

}  // namespace

void zsat::formula_read_qbf_file(const char* name) {
  const std::string file(name);
  Scanner in(file);
  if (!in.isOpen()) raiseUnopened(file);
  BpItems items(in, file, true);
  scanInto(items, in, file);
  fillClauses(*this, items);
  items.releaseClauses();
  if (cells_in_use()) return_freed_memory_();

  exist_vars.clear();
  univ_vars.clear();
  // A variable keeps the first place it is quantified at; entries without a
  // record (outside 1..N) are passed over.
  std::vector<char> placed(var_recs.size(), 0);
  const std::size_t nBlocks = items.blockExists.size();
  for (std::size_t b = 0; b < nBlocks; ++b) {
    const bool exists = items.blockExists[b] != 0;
    prefix_blocks.emplace_back();
    block_types.push_back(exists ? 1 : 0);
    std::size_t end = b + 1 < nBlocks ? items.blockBegin[b + 1] : items.entries.size();
    for (std::size_t i = items.blockBegin[b]; i < end; ++i) {
      int32_t x = items.entries[i];
      if (x < 1 || x > N || placed[x - 1]) continue;
      placed[x - 1] = 1;
      prefix_blocks.back().push_back(x - 1);
      (exists ? exist_vars : univ_vars).push_back(x - 1);
    }
  }
  if (nBlocks == 0) {
    std::cout << "no existential variable found, it is a SAT formula\n";
    for (int v = 0; v < N; ++v) exist_vars.push_back(v);
  }
  Nn = static_cast<int>(exist_vars.size());
  Nm = static_cast<int>(univ_vars.size());
  exist_vals.assign(Nn, 0);
  univ_vals.assign(Nm, 0);
  if (!cells_in_use()) formula_vector2array();
  for (int v : univ_vars) vtypes[v] = 0;
}

void zsat::formula_read_cnf_file(const char* name) {
  const std::string file(name);
  Scanner in(file);
  if (!in.isOpen()) {
    throw FatalError(255, "can not open file " + file + "\n", file + ": cannot be opened\n");
  }
  BpItems items(in, file, false);
  scanInto(items, in, file);
  fillClauses(*this, items);
  items.releaseClauses();
  if (!cells_in_use()) formula_vector2array();
}

}  // namespace vorn
