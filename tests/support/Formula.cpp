#include "support/Formula.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <unordered_set>

namespace vorn {
namespace test {

namespace {

void appendList(std::string& out, const std::vector<int>& list) {
  for (int v : list) {
    out += std::to_string(v);
    out += ' ';
  }
  out += "0\n";
}

}  // namespace

std::string QbfFormula::toQdimacs() const {
  std::string out = "p cnf " + std::to_string(numVars) + " " + std::to_string(clauses.size()) + "\n";
  for (const QBlock& b : prefix) {
    out += b.exists ? "e " : "a ";
    appendList(out, b.vars);
  }
  for (const auto& c : clauses) appendList(out, c);
  return out;
}

int QbfFormula::maxVar() const {
  int m = numVars;
  for (const QBlock& b : prefix)
    for (int v : b.vars) m = std::max(m, std::abs(v));
  for (const auto& c : clauses)
    for (int l : c) m = std::max(m, std::abs(l));
  return m;
}

bool parseQdimacs(const std::string& text, QbfFormula& out, std::string* error) {
  out = QbfFormula();
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipSpace = [&] {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  };
  auto readToken = [&] {
    skipSpace();
    std::size_t b = i;
    while (i < n && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    return text.substr(b, i - b);
  };
  auto toInt = [&](const std::string& tok, long long& v) {
    if (tok.empty()) return false;
    char* end = nullptr;
    v = std::strtoll(tok.c_str(), &end, 10);
    return *end == '\0';
  };
  // Reads integers up to 0 or the end of the text.
  auto readList = [&](std::vector<int>& list) {
    for (;;) {
      std::string tok = readToken();
      if (tok.empty()) return true;
      long long v;
      if (!toInt(tok, v)) return fail("not an integer: \"" + tok + "\"");
      if (v == 0) return true;
      list.push_back(static_cast<int>(v));
    }
  };

  std::unordered_set<int> metInClause;
  bool haveHeader = false;
  for (;;) {
    skipSpace();
    if (i >= n) break;
    char c = text[i];
    if (c == 'c') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    if (c == 'p') {
      std::string p = readToken(), cnf = readToken(), vars = readToken(), cls = readToken();
      long long v, k;
      if (p != "p" || cnf != "cnf" || !toInt(vars, v) || !toInt(cls, k)) return fail("bad header");
      if (haveHeader) return fail("second header");
      haveHeader = true;
      out.numVars = static_cast<int>(v);
      continue;
    }
    if (c == 'e' || c == 'a') {
      std::string letter = readToken();
      if (letter != "e" && letter != "a") return fail("bad quantifier token \"" + letter + "\"");
      QBlock block;
      block.exists = letter == "e";
      std::vector<int> entries;
      if (!readList(entries)) return false;
      for (int v : entries)
        if (!metInClause.count(v)) block.vars.push_back(v);
      out.prefix.push_back(std::move(block));
      continue;
    }
    std::vector<int> clause;
    if (!readList(clause)) return false;
    for (int l : clause) metInClause.insert(std::abs(l));
    out.clauses.push_back(std::move(clause));
  }
  if (!haveHeader) return fail("no header");
  return true;
}

QbfFormula parseQdimacsOrFail(const std::string& text) {
  QbfFormula f;
  std::string why;
  EXPECT_TRUE(parseQdimacs(text, f, &why)) << why << "\n--- text ---\n" << text.substr(0, 2000);
  return f;
}

}  // namespace test
}  // namespace vorn
