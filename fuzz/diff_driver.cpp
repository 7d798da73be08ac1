// Differential fuzzing of answers: random formulas from the test
// generator go through every road and heuristic of the built binary, and
// each answer is compared with the brute-force evaluator (small formulas)
// or with an independent QBF solver (larger ones). A formula that gets a
// wrong answer, or makes a run fail, is shrunk by deleting clauses,
// literals and prefix entries while the fault stays, and written to the
// findings folder with the command that shows it.
//
// One process is one worker: it tries the seeds base + worker,
// base + worker + workers, ... until its time is up, then prints a summary
// line that fuzz/diff adds up over the workers.
//
//   vorn_diff --seconds S [--worker K --workers N] [--seed BASE] [--out DIR]
//             [--vorn PATH] [--depqbf PATH|""] [--timelimit T] [--count N]
//             [--padded] [--verbose]
//   vorn_diff --replay DIR [--vorn PATH] [--depqbf PATH]
//   vorn_diff --oracle FILE [--depqbf PATH]
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "support/Evaluator.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/Process.h"

namespace vorn {
namespace diff {

using test::GenParams;
using test::QBlock;
using test::QbfFormula;
using test::SplitMix64;

// Formulas with at most this many clause variables go to the evaluator;
// its cost doubles with each one.
constexpr int kEvaluatorLimit = 20;

struct Settings {
  double seconds = 60;
  int worker = 0;
  int workers = 1;
  uint64_t seedBase = 1;
  std::string out = "diff-findings";
  std::string vorn;
  std::string depqbf;
  int timeLimit = 10;        // --timelimit of every solver run (CPU seconds)
  int oracleTimeout = 20;    // wall seconds for the independent solver
  double shrinkSeconds = 90;  // per reported formula
  int reportsPerKey = 2;      // shrunk reproducers per road key and kind, per worker
  bool padded = false;        // every formula padded past 100000 or 500000 clauses
  long long count = -1;        // stop after this many formulas (-1: time only)
  bool verbose = false;
};

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------- files

bool writeBytes(const std::string& path, const std::string& content, bool gzip) {
  if (gzip) {
    gzFile f = gzopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = content.empty() || gzwrite(f, content.data(), static_cast<unsigned>(content.size())) ==
                                     static_cast<int>(content.size());
    return gzclose(f) == Z_OK && ok;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

bool makeDir(const std::string& path) {
  std::string partial;
  std::stringstream parts(path);
  std::string piece;
  if (!path.empty() && path[0] == '/') partial = "/";
  while (std::getline(parts, piece, '/')) {
    if (piece.empty()) continue;
    partial += piece + "/";
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// ---------------------------------------------------------------- cases

// Layouts of the same formula: every reader must see it alike.
enum class Style { Plain, Blanks, Tabs, CrLf, SplitLines, Comments, Count };

const char* styleName(Style s) {
  static const char* names[] = {"plain", "blanks", "tabs", "crlf", "split-lines", "comments"};
  return names[static_cast<int>(s)];
}

// One input file: the formula, an optional preference line, the layout
// and the encoding. The preference line goes after the prefix, or before
// the header (then it gives the reader's first indices).
struct Case {
  QbfFormula formula;
  std::vector<int> pref;
  bool hasPref = false;
  bool prefFirst = false;
  bool gzip = false;
  Style style = Style::Plain;
  uint64_t styleSeed = 0;
  // Copies of the first clause appended to the file: the same formula, but
  // more than 100000 clauses leave out subsumption, more than 500000 take
  // the huge-input road.
  int padding = 0;

  std::string plainText() const {
    std::string body;
    if (padding > 0 && !formula.clauses.empty()) {
      QbfFormula padded = formula;
      padded.clauses.insert(padded.clauses.end(), static_cast<std::size_t>(padding), formula.clauses[0]);
      body = padded.toQdimacs();
    } else {
      body = formula.toQdimacs();
    }
    if (!hasPref) return body;
    std::string line = "c f";
    for (int l : pref) line += " " + std::to_string(l);
    line += " 0\n";
    if (prefFirst) return line + body;
    // After the header and the prefix lines.
    std::size_t at = 0;
    for (std::size_t i = 0; i < formula.prefix.size() + 1; ++i) at = body.find('\n', at) + 1;
    return body.substr(0, at) + line + body.substr(at);
  }

  std::string text() const {
    const std::string plain = plainText();
    if (style == Style::Plain) return plain;
    SplitMix64 rng(styleSeed);
    std::istringstream in(plain);
    std::string line, out;
    std::string pending;  // SplitLines: a clause line kept back to share a line with the next
    while (std::getline(in, line)) {
      const bool listLine = !line.empty() && line[0] != 'p' && line[0] != 'c';
      const bool clauseLine = listLine && line[0] != 'e' && line[0] != 'a';
      std::vector<std::string> tokens;
      std::istringstream t(line);
      for (std::string tok; t >> tok;) tokens.push_back(tok);
      auto join = [&](std::size_t from, std::size_t to, const std::string& sep) {
        std::string j;
        for (std::size_t i = from; i < to; ++i) j += (i > from ? sep : "") + tokens[i];
        return j;
      };
      switch (style) {
        case Style::Blanks:
          if (listLine) {
            // Leading blanks on clause lines only: a quantifier line begins with its letter.
            line = clauseLine ? std::string(rng.below(3), ' ') : "";
            for (std::size_t i = 0; i < tokens.size(); ++i)
              line += (i ? std::string(1 + rng.below(3), ' ') : "") + tokens[i];
            if (rng.chance(0.3)) line += " ";
          }
          out += line + "\n";
          break;
        case Style::Tabs:
          if (listLine) line = join(0, tokens.size(), rng.chance(0.5) ? "\t" : " \t");
          out += line + "\n";
          break;
        case Style::CrLf:
          out += line + "\r\n";
          break;
        case Style::SplitLines:
          if (clauseLine && tokens.size() > 2 && rng.chance(0.3)) {
            std::size_t cut = 1 + rng.below(tokens.size() - 1);
            line = join(0, cut, " ") + "\n" + join(cut, tokens.size(), " ");
          } else if (clauseLine && pending.empty() && rng.chance(0.3)) {
            pending = line;
            continue;
          }
          if (!pending.empty()) {
            out += clauseLine ? pending + " " : pending + "\n";
            pending.clear();
          }
          out += line + "\n";
          break;
        case Style::Comments:
          if (rng.chance(0.2)) out += "c comment " + std::to_string(rng.below(100)) + " 0\n";
          out += line + "\n";
          break;
        default:
          out += line + "\n";
      }
    }
    if (!pending.empty()) out += pending + "\n";
    return out;
  }
  std::string fileName() const { return gzip ? "f.qdimacs.gz" : "f.qdimacs"; }
};

// ---------------------------------------------------------------- oracle

enum class Truth { False, True, Unknown };

const char* truthName(Truth t) { return t == Truth::True ? "true (10)" : t == Truth::False ? "false (20)" : "unknown"; }

int clauseVariables(const QbfFormula& f) {
  std::unordered_set<int> vars;
  for (const auto& c : f.clauses)
    for (int l : c) vars.insert(std::abs(l));
  return static_cast<int>(vars.size());
}

// The same formula in the plainest QDIMACS: every variable once, free ones
// in an outermost existential block, no empty or repeated blocks, clauses
// without repeated literals or tautologies. The independent solver rejects
// some of what the generator writes (a variable quantified twice).
std::string canonicalText(const QbfFormula& f) {
  test::EvalOrder order = test::evaluationOrder(f);
  std::vector<std::vector<int>> clauses;
  int maxVar = 0;
  for (const auto& c : f.clauses) {
    std::vector<int> k;
    bool tautology = false;
    for (int l : c) {
      if (std::find(k.begin(), k.end(), -l) != k.end()) tautology = true;
      if (std::find(k.begin(), k.end(), l) == k.end()) k.push_back(l);
      maxVar = std::max(maxVar, std::abs(l));
    }
    if (!tautology) clauses.push_back(std::move(k));
  }
  std::string out = "p cnf " + std::to_string(maxVar) + " " + std::to_string(clauses.size()) + "\n";
  for (std::size_t i = 0; i < order.vars.size();) {
    std::size_t j = i;
    out += order.exists[i] ? "e" : "a";
    while (j < order.vars.size() && order.exists[j] == order.exists[i]) out += " " + std::to_string(order.vars[j++]);
    out += " 0\n";
    i = j;
  }
  for (const auto& c : clauses) {
    for (int l : c) out += std::to_string(l) + " ";
    out += "0\n";
  }
  return out;
}

class Oracle {
 public:
  Oracle(const Settings& s, const std::string& dir) : settings_(s), file_(dir + "/oracle.qdimacs") {}

  bool canDecide(const QbfFormula& f) const {
    return clauseVariables(f) <= kEvaluatorLimit || !settings_.depqbf.empty();
  }
  Truth decide(const QbfFormula& f) {
    for (const auto& c : f.clauses)
      if (c.empty()) return Truth::False;
    if (clauseVariables(f) <= kEvaluatorLimit) return test::evaluate(f) ? Truth::True : Truth::False;
    return independent(f);
  }
  Truth independent(const QbfFormula& f) {
    if (settings_.depqbf.empty()) return Truth::Unknown;
    for (const auto& c : f.clauses)
      if (c.empty()) return Truth::False;
    if (!writeBytes(file_, canonicalText(f), false)) return Truth::Unknown;
    test::ProcessResult r = test::runProcess(settings_.depqbf, {file_}, settings_.oracleTimeout);
    if (r.timedOut || r.signaled) return Truth::Unknown;
    return r.exitCode == 10 ? Truth::True : r.exitCode == 20 ? Truth::False : Truth::Unknown;
  }

 private:
  const Settings& settings_;
  std::string file_;
};

// ---------------------------------------------------------------- roads

// One way of running the binary. key names the road and heuristic (what a
// "not available" answer switches off); name adds the seed and -ps.
struct Config {
  std::string key;
  std::string name;
  std::vector<std::string> args;  // after the file name
  bool writes = false;            // the road that writes the simplified formula
};

// Padded files (the first clause repeated past 100000 copies) leave out
// what is known to cost the square of a variable's occurrences there:
// the three-literal equivalence search (-3e of -all, as subsumption no
// longer removes the copies) and, past 500000 clauses (huge, where
// -forceprepro matters), the equivalence pass (-es, -er), whose clause
// removal searches the occurrence lists.
std::vector<Config> configsFor(SplitMix64& rng, bool padded, bool huge) {
  struct Road {
    std::string name;
    std::vector<std::string> args;
  };
  std::vector<Road> roads = {{"noprepro", {"-noprepro"}}, {"solve", {"-solve"}}, {"all-solve", {"-all", "-solve"}}};
  const std::vector<std::string> passes =
      huge ? std::vector<std::string>{"-ss", "-qr"} : std::vector<std::string>{"-ss", "-qr", "-es", "-er"};
  const std::string passesName = huge ? "ss-qr" : "all-but-3e";
  if (padded) {
    roads[2] = {passesName + "-solve", passes};
    roads[2].args.push_back("-solve");
  }
  if (huge) roads.push_back({"force-solve", {"-forceprepro", "-solve"}});
  const char* heuristics[] = {"default", "bp", "bpd", "occs", "qp", "vsids"};
  // Two seeds of belief propagation per formula, from a wide range (0
  // would seed it from the clock).
  const std::string seeds[2] = {std::to_string(1 + rng.below(2147483646)), std::to_string(1 + rng.below(1000))};
  // Options that print more or tune belief propagation, for all runs of
  // some formulas: none of them may change an answer.
  std::vector<std::string> extra, bpExtra;
  if (rng.chance(0.15)) extra.push_back("-stat");
  if (rng.chance(0.15)) extra.push_back("-sstat");
  if (rng.chance(0.2)) bpExtra.insert(bpExtra.end(), {"--bptime", std::to_string(1 + rng.below(400))});
  if (rng.chance(0.2)) bpExtra.insert(bpExtra.end(), {"--bperr", std::to_string(1 + rng.below(500)) + "e-3"});
  if (rng.chance(0.1)) bpExtra.insert(bpExtra.end(), {"--bpvflag", rng.chance(0.5) ? "1" : "2"});
  std::vector<Config> out;
  for (const Road& road : roads)
    for (const char* h : heuristics) {
      const bool usesBp = std::strcmp(h, "bp") == 0 || std::strcmp(h, "bpd") == 0 || std::strcmp(h, "default") == 0;
      const std::string key = road.name + "/" + h;
      for (int seed = 0; seed < (usesBp ? 2 : 1); ++seed)
        for (int ps = 0; ps < 2; ++ps) {
          Config c;
          c.key = key;
          c.name = key;
          c.args = road.args;
          if (std::strcmp(h, "default") != 0) c.args.insert(c.args.end(), {"--heur", h});
          if (usesBp) {
            c.args.insert(c.args.end(), {"--bpseed", seeds[seed]});
            c.name += "/seed" + seeds[seed];
          }
          if (ps) {
            c.args.push_back("-ps");
            c.name += "/ps";
          }
          c.args.insert(c.args.end(), extra.begin(), extra.end());
          if (usesBp) c.args.insert(c.args.end(), bpExtra.begin(), bpExtra.end());
          out.push_back(std::move(c));
        }
    }
  // The written formula must keep its truth (-stat would mix its lines in).
  out.push_back(Config{"write", "write", {}, true});
  if (padded)
    out.push_back(Config{passesName + "-write", passesName + "-write", passes, true});
  else
    out.push_back(Config{"all-write", "all-write", {"-all"}, true});
  return out;
}

enum class Kind { Answer, Timeout, NotAvailable, Failed };

struct Outcome {
  Kind kind = Kind::Failed;
  Truth answer = Truth::Unknown;  // Answer only
  std::string detail;             // Failed: "hang", "signal N", "exit N: ..."; for shrinking
};

std::string firstLine(const std::string& s) {
  std::size_t end = s.find('\n');
  std::string line = s.substr(0, end);
  return line.size() > 160 ? line.substr(0, 160) + "..." : line;
}

// The line of standard error that says what went wrong (the normaliser's
// "convert from" line may come first).
std::string messageOf(const std::string& err, const char* containing = "") {
  std::istringstream in(err);
  std::string l;
  if (!*containing)
    for (const char* report : {"Sanitizer", "runtime error"})
      if (err.find(report) != std::string::npos) return messageOf(err, report);
  while (std::getline(in, l))
    if (l.rfind("convert from ", 0) != 0 && l.find(containing) != std::string::npos) return firstLine(l);
  return "";
}

bool hasLine(const std::string& out, const std::string& line) {
  std::istringstream in(out);
  std::string l;
  while (std::getline(in, l))
    if (l == line) return true;
  return false;
}

class Runner {
 public:
  Runner(const Settings& s, const std::string& dir, Oracle& oracle) : settings_(s), dir_(dir), oracle_(oracle) {}

  // Writes the case to the worker's folder (removing the renumbered copy an
  // earlier run left) and returns the path.
  std::string place(const Case& c) {
    std::string path = dir_ + "/" + c.fileName();
    ::unlink((path + ".tmp").c_str());
    writeBytes(path, c.text(), c.gzip);
    return path;
  }

  Outcome run(const std::string& path, const Config& config) {
    ::unlink((path + ".tmp").c_str());
    std::vector<std::string> args = {path};
    args.insert(args.end(), config.args.begin(), config.args.end());
    args.insert(args.end(), {"--timelimit", std::to_string(settings_.timeLimit)});
    test::RunOptions options;
    options.timeoutSeconds = 3 * settings_.timeLimit + 10;
    options.workDir = dir_;
    options.argv0 = "vorn";
    test::ProcessResult r = test::runProcess(settings_.vorn, args, options);
    ++runs;
    Outcome o;
    if (r.timedOut) {
      o.detail = "hang (killed after " + std::to_string(options.timeoutSeconds) + " s)";
      return o;
    }
    if (r.signaled) {
      o.detail = "signal " + std::to_string(r.exitCode - 128) + ": " + messageOf(r.err);
      return o;
    }
    if (r.exitCode == 99 && (r.err.find("not available") != std::string::npos ||
                             r.err.find("not built") != std::string::npos)) {
      o.kind = Kind::NotAvailable;
      o.detail = messageOf(r.err, r.err.find("not available") != std::string::npos ? "not available" : "not built");
      return o;
    }
    if (r.exitCode == 10 || r.exitCode == 20) {
      const char* line = r.exitCode == 10 ? "s cnf 1" : "s cnf 0";
      if (!hasLine(r.out, line)) {
        o.detail = "exit " + std::to_string(r.exitCode) + " without the line \"" + line + "\"";
        return o;
      }
      o.kind = Kind::Answer;
      o.answer = r.exitCode == 10 ? Truth::True : Truth::False;
      return o;
    }
    if (r.exitCode == 99 && hasLine(r.out, "s cnf -1")) {
      o.kind = Kind::Timeout;
      return o;
    }
    if (config.writes && r.exitCode == 100) {
      // The simplified formula must have the input's truth.
      QbfFormula simplified;
      std::string why;
      if (!test::parseQdimacs(r.out, simplified, &why)) {
        o.detail = "exit 100 with unreadable output: " + why;
        return o;
      }
      Truth t = oracle_.decide(simplified);
      if (t == Truth::Unknown) {
        o.kind = Kind::Timeout;
        return o;
      }
      o.kind = Kind::Answer;
      o.answer = t;
      return o;
    }
    o.detail = "exit " + std::to_string(r.exitCode);
    const std::string message = messageOf(r.err);
    if (!message.empty()) o.detail += ": " + message;
    return o;
  }

  long long runs = 0;

 private:
  const Settings& settings_;
  std::string dir_;
  Oracle& oracle_;
};

// ---------------------------------------------------------------- formulas

// Parameters drawn from the seed: sizes up to 40 variables and 10
// alternations, clause lengths 1 to 6, planted structure, free and
// re-declared variables, empty blocks, numberings that make the
// normaliser write its copy, gzip and plain text.
Case drawCase(uint64_t seed, bool large, bool padded) {
  SplitMix64 rng(seed ^ 0xd1b54a32d192ed03ull);
  GenParams p;
  p.numVars = large ? rng.range(kEvaluatorLimit - 1, 40) : rng.range(1, 16);
  p.alternations = rng.range(0, std::min(10, std::max(0, p.numVars - 1)));
  if (rng.chance(0.3)) p.alternations = std::min(p.alternations, 3);
  p.firstExists = -1;
  p.minClauseLen = rng.chance(0.15) ? 1 : rng.range(2, 3);
  p.maxClauseLen = std::min(6, p.minClauseLen + rng.range(0, 3));
  const double avgLen = (p.minClauseLen + p.maxClauseLen) / 2.0;
  // Longer clauses need more of them before the formula turns false;
  // universals make it false sooner.
  const double ratio = (avgLen <= 2 ? 0.5 : avgLen <= 3 ? 1.0 : avgLen <= 4 ? 1.6 : 2.8) * (0.4 + rng.range(0, 120) / 100.0);
  p.numClauses = std::max(1, static_cast<int>(p.numVars * ratio * (large ? 0.7 : 1.0) /
                                               (1 + 0.3 * std::min(p.alternations, 6))));
  if (rng.chance(0.5)) p.andGates = rng.range(0, std::max(1, p.numVars / 3));
  if (rng.chance(0.4)) p.xorTriples = rng.range(0, std::max(1, p.numVars / 6));
  if (rng.chance(0.3)) p.equivalences = rng.range(0, std::max(1, p.numVars / 5));
  if (rng.chance(0.3)) {
    p.xorGroups = rng.range(1, 3);
    p.xorGroupSize = rng.range(3, 6);
  }
  // A clean file (prefix 1..N in order, no free or re-declared variable)
  // is read as it is; the others go through the normaliser's renumbered
  // copy, which drops the preference line.
  const bool clean = rng.chance(0.4);
  if (rng.chance(0.2)) p.emptyBlockProb = 0.3;
  if (rng.chance(0.15)) p.repeatLitProb = 0.1;
  if (rng.chance(0.15)) p.tautologyProb = 0.1;
  if (rng.chance(0.03)) p.emptyClauseProb = 0.05;
  if (clean) {
    p.namesInFileOrder = true;
  } else {
    if (rng.chance(0.4)) p.freeVarProb = rng.range(5, 30) / 100.0;
    if (rng.chance(0.25)) p.redeclareProb = 0.2;
    const uint64_t numbering = rng.below(10);
    if (numbering < 5) p.nameRange = p.numVars + rng.range(0, 2 * p.numVars);
    else if (numbering < 8) p.namesInFileOrder = true;
    if (rng.chance(0.3)) p.headerSlack = rng.range(1, 5);
  }

  Case c;
  c.formula = test::generate(p, seed);
  // A clause of universal literals only makes the formula false before
  // any search; most of them get an existential literal.
  std::vector<int> existential;
  std::set<int> universal;
  for (const QBlock& b : c.formula.prefix)
    for (int v : b.vars) {
      if (universal.count(v) || std::find(existential.begin(), existential.end(), v) != existential.end()) continue;
      if (b.exists) existential.push_back(v);
      else universal.insert(v);
    }
  if (!existential.empty())
    for (auto& clause : c.formula.clauses) {
      bool allUniversal = !clause.empty();
      for (int l : clause) allUniversal = allUniversal && universal.count(std::abs(l));
      if (allUniversal && rng.chance(0.9)) {
        int v = existential[rng.below(existential.size())];
        clause.push_back(rng.chance(0.5) ? v : -v);
      }
    }
  c.gzip = rng.chance(0.3);
  if (rng.chance(0.4)) {
    c.style = static_cast<Style>(1 + rng.below(static_cast<uint64_t>(Style::Count) - 1));
    c.styleSeed = rng.next();
  }
  if (rng.chance(padded ? 1.0 : 0.006)) c.padding = rng.chance(0.5) ? 100000 + rng.range(1, 1000) : 500000 + rng.range(1, 1000);
  // A preference line over quantified variables (free ones would get
  // indices beyond the prefix).
  std::vector<int> quantified;
  for (const QBlock& b : c.formula.prefix)
    for (int v : b.vars)
      if (std::find(quantified.begin(), quantified.end(), v) == quantified.end()) quantified.push_back(v);
  if (!quantified.empty() && rng.chance(0.6)) {
    c.hasPref = true;
    c.prefFirst = rng.chance(0.2);
    int count = rng.range(1, static_cast<int>(quantified.size()));
    for (int i = 0; i < count; ++i) {
      int v = quantified[rng.below(quantified.size())];
      c.pref.push_back(rng.chance(0.5) ? v : -v);
    }
  }
  return c;
}

// ---------------------------------------------------------------- shrinking

// What a shrunk case must keep: a wrong answer (any), or a failure of the
// same sort (the first word of its detail: "exit 1", "signal 11", ...).
struct Fault {
  bool wrong = false;
  std::string sort;
};

std::string sortOf(const std::string& detail) {
  std::size_t colon = detail.find(':');
  return detail.substr(0, colon);
}

class Shrinker {
 public:
  Shrinker(Runner& runner, Oracle& oracle, const Config& config, const Fault& fault, double seconds)
      : runner_(runner), oracle_(oracle), config_(config), fault_(fault), deadline_(now() + seconds) {}

  bool keeps(const Case& c) {
    if (now() > deadline_) return false;
    ++tests;
    if (fault_.wrong) {
      if (!oracle_.canDecide(c.formula)) return false;
      Outcome o = runner_.run(runner_.place(c), config_);
      if (o.kind != Kind::Answer) return false;
      Truth t = oracle_.decide(c.formula);
      return t != Truth::Unknown && t != o.answer;
    }
    Outcome o = runner_.run(runner_.place(c), config_);
    return o.kind == Kind::Failed && sortOf(o.detail) == fault_.sort;
  }

  Case shrink(Case c) {
    tidy(c);  // first, as a padded file makes every run slow
    bool progress = true;
    while (progress && now() < deadline_) {
      progress = false;
      progress |= dropClauses(c);
      progress |= dropLiterals(c);
      progress |= dropPrefixEntries(c);
      progress |= dropPreference(c);
      progress |= tidy(c);
    }
    return c;
  }

  int tests = 0;

 private:
  bool dropClauses(Case& c) {
    bool any = false;
    auto& clauses = c.formula.clauses;
    for (std::size_t chunk = std::max<std::size_t>(1, clauses.size() / 2); chunk >= 1; chunk /= 2) {
      for (std::size_t i = 0; i < clauses.size();) {
        Case t = c;
        auto& tc = t.formula.clauses;
        tc.erase(tc.begin() + static_cast<long>(i), tc.begin() + static_cast<long>(std::min(tc.size(), i + chunk)));
        if (keeps(t)) {
          c = std::move(t);
          any = true;
        } else {
          i += chunk;
        }
      }
      if (chunk == 1) break;
    }
    return any;
  }

  bool dropLiterals(Case& c) {
    bool any = false;
    for (std::size_t i = 0; i < c.formula.clauses.size(); ++i)
      for (std::size_t j = 0; j < c.formula.clauses[i].size();) {
        Case t = c;
        t.formula.clauses[i].erase(t.formula.clauses[i].begin() + static_cast<long>(j));
        if (keeps(t)) {
          c = std::move(t);
          any = true;
        } else {
          ++j;
        }
      }
    return any;
  }

  // Entries of the prefix (a variable left in clauses becomes free), then
  // whole blocks.
  bool dropPrefixEntries(Case& c) {
    bool any = false;
    for (std::size_t b = 0; b < c.formula.prefix.size(); ++b)
      for (std::size_t j = 0; j < c.formula.prefix[b].vars.size();) {
        Case t = c;
        t.formula.prefix[b].vars.erase(t.formula.prefix[b].vars.begin() + static_cast<long>(j));
        if (keeps(t)) {
          c = std::move(t);
          any = true;
        } else {
          ++j;
        }
      }
    for (std::size_t b = 0; b < c.formula.prefix.size();) {
      Case t = c;
      t.formula.prefix.erase(t.formula.prefix.begin() + static_cast<long>(b));
      if (keeps(t)) {
        c = std::move(t);
        any = true;
      } else {
        ++b;
      }
    }
    return any;
  }

  bool dropPreference(Case& c) {
    if (!c.hasPref) return false;
    Case t = c;
    t.hasPref = false;
    t.pref.clear();
    if (keeps(t)) {
      c = std::move(t);
      return true;
    }
    bool any = false;
    for (std::size_t j = 0; j < c.pref.size();) {
      Case u = c;
      u.pref.erase(u.pref.begin() + static_cast<long>(j));
      if (keeps(u)) {
        c = std::move(u);
        any = true;
      } else {
        ++j;
      }
    }
    return any;
  }

  // Plain text instead of gzip, the header's count down to the largest
  // variable, variables numbered 1, 2, ... in order of first appearance.
  bool tidy(Case& c) {
    bool any = false;
    if (c.style != Style::Plain) {
      Case t = c;
      t.style = Style::Plain;
      if (keeps(t)) {
        c = std::move(t);
        any = true;
      }
    }
    if (c.padding > 0) {
      Case t = c;
      t.padding = 0;
      if (keeps(t)) {
        c = std::move(t);
        any = true;
      }
    }
    if (c.gzip) {
      Case t = c;
      t.gzip = false;
      if (keeps(t)) {
        c = std::move(t);
        any = true;
      }
    }
    int largest = 0;
    for (const QBlock& b : c.formula.prefix)
      for (int v : b.vars) largest = std::max(largest, std::abs(v));
    for (const auto& cl : c.formula.clauses)
      for (int l : cl) largest = std::max(largest, std::abs(l));
    if (c.formula.numVars > largest) {
      Case t = c;
      t.formula.numVars = largest;
      if (keeps(t)) {
        c = std::move(t);
        any = true;
      }
    }
    std::map<int, int> name;
    auto rename = [&](int v) {
      auto it = name.find(v);
      if (it != name.end()) return it->second;
      int n = static_cast<int>(name.size()) + 1;
      name[v] = n;
      return n;
    };
    Case t = c;
    for (QBlock& b : t.formula.prefix)
      for (int& v : b.vars) v = rename(std::abs(v));
    for (auto& cl : t.formula.clauses)
      for (int& l : cl) l = l > 0 ? rename(l) : -rename(-l);
    for (int& l : t.pref) l = l > 0 ? rename(l) : -rename(-l);
    t.formula.numVars = std::max(static_cast<int>(name.size()), t.formula.numVars - (largest - static_cast<int>(name.size())));
    bool changed = t.text() != c.text();
    if (changed && keeps(t)) {
      c = std::move(t);
      any = true;
    }
    return any;
  }

  Runner& runner_;
  Oracle& oracle_;
  const Config& config_;
  Fault fault_;
  double deadline_;
};

// ---------------------------------------------------------------- reports

std::string commandLine(const Config& config, const std::string& file, int timeLimit) {
  std::string s = "vorn " + file;
  for (const std::string& a : config.args) s += " " + a;
  s += " --timelimit " + std::to_string(timeLimit);
  return s;
}

struct Totals {
  long long formulas = 0, trueOnes = 0, falseOnes = 0, undecided = 0;
  long long runs = 0, answers = 0, timeouts = 0, skipped = 0;
  long long wrong = 0, failed = 0, inconsistent = 0, oracleMismatch = 0;
  long long disagreeingFormulas = 0;
};

class Worker {
 public:
  explicit Worker(const Settings& s)
      : settings_(s),
        dir_(makeWorkDir()),
        oracle_(s, dir_),
        runner_(s, dir_, oracle_) {}
  ~Worker() {
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) std::cerr << "vorn_diff: could not remove " << dir_ << "\n";
  }

  void loop() {
    const double end = now() + settings_.seconds;
    for (uint64_t i = 0; now() < end && (settings_.count < 0 || static_cast<long long>(i) < settings_.count); ++i) {
      const uint64_t seed = settings_.seedBase + static_cast<uint64_t>(settings_.worker) +
                            i * static_cast<uint64_t>(settings_.workers);
      one(seed);
    }
    totals_.runs = runner_.runs;
    std::cout << "diff-summary worker " << settings_.worker << " formulas " << totals_.formulas << " true "
              << totals_.trueOnes << " false " << totals_.falseOnes << " undecided " << totals_.undecided
              << " runs " << totals_.runs << " answers " << totals_.answers << " timeouts " << totals_.timeouts
              << " skipped " << totals_.skipped << " wrong " << totals_.wrong << " failed " << totals_.failed
              << " inconsistent " << totals_.inconsistent << " oracle-mismatch " << totals_.oracleMismatch
              << " disagreeing-formulas " << totals_.disagreeingFormulas << "\n";
    for (const auto& k : perKey_)
      std::cout << "diff-road " << k.first << " runs " << k.second[0] << " answers " << k.second[1] << " timeouts "
                << k.second[2] << " bad " << k.second[3] << "\n";
    std::cout << "diff-unavailable";
    for (const auto& k : unavailable_) std::cout << " " << k.first;
    std::cout << "\n";
    for (const auto& k : unavailable_) std::cout << "diff-unavailable-why " << k.first << ": " << k.second << "\n";
    std::cout.flush();
  }

 private:
  static std::string makeWorkDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/vorn-diff-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
      std::cerr << "vorn_diff: cannot create " << templ << "\n";
      std::exit(2);
    }
    return name.data();
  }

  void one(uint64_t seed) {
    // Formulas beyond the evaluator need the independent solver.
    SplitMix64 pick(seed * 0x9e3779b97f4a7c15ull + 7);
    const bool large = !settings_.depqbf.empty() && pick.chance(0.5);
    Case c = drawCase(seed, large, settings_.padded);
    Truth expected = oracle_.decide(c.formula);
    // The independent solver is checked against the evaluator now and then,
    // so that the canonical form it reads stays right.
    if (expected != Truth::Unknown && clauseVariables(c.formula) <= kEvaluatorLimit && pick.chance(0.1)) {
      Truth other = oracle_.independent(c.formula);
      if (other != Truth::Unknown && other != expected) {
        ++totals_.oracleMismatch;
        std::cout << "ORACLE-MISMATCH seed " << seed << ": evaluator " << truthName(expected) << ", depqbf "
                  << truthName(other) << "\n";
        report("oracle", seed, c, c, Config{"oracle", "oracle", {}, false}, expected, "independent solver says " +
               std::string(truthName(other)), {});
      }
    }
    ++totals_.formulas;
    if (settings_.verbose)
      std::cout << "formula seed " << seed << " vars " << clauseVariables(c.formula) << " blocks "
                << c.formula.prefix.size() << " clauses " << c.formula.clauses.size() << " truth "
                << truthName(expected) << "\n";
    if (expected == Truth::True) ++totals_.trueOnes;
    else if (expected == Truth::False) ++totals_.falseOnes;
    else ++totals_.undecided;

    SplitMix64 rng(seed ^ 0x8cb92ba72f3d8dd7ull);
    std::vector<Config> configs = configsFor(rng, c.padding > 0, c.padding > 500000);
    const std::string path = runner_.place(c);
    std::vector<std::string> failing;
    bool shrunk = false;
    std::set<Truth> answers;
    for (const Config& config : configs) {
      if (unavailable_.count(config.key)) {
        ++totals_.skipped;
        continue;
      }
      Outcome o = runner_.run(path, config);
      auto& counts = perKey_[config.key];
      if (o.kind != Kind::NotAvailable) ++counts[0];
      if (o.kind == Kind::Answer) ++counts[1];
      if (o.kind == Kind::Timeout) ++counts[2];
      if (o.kind == Kind::Failed || (o.kind == Kind::Answer && expected != Truth::Unknown && o.answer != expected))
        ++counts[3];
      switch (o.kind) {
        case Kind::NotAvailable:
          unavailable_[config.key] = o.detail;
          ++totals_.skipped;
          continue;
        case Kind::Timeout:
          ++totals_.timeouts;
          continue;
        case Kind::Answer:
          ++totals_.answers;
          answers.insert(o.answer);
          if (expected == Truth::Unknown || o.answer == expected) continue;
          ++totals_.wrong;
          break;
        case Kind::Failed:
          ++totals_.failed;
          break;
      }
      const std::string what = o.kind == Kind::Answer ? std::string("answered ") + truthName(o.answer) : o.detail;
      std::cout << (o.kind == Kind::Answer ? "WRONG" : "FAILED") << " seed " << seed << " " << config.name
                << ": expected " << truthName(expected) << ", " << what << "\n";
      std::cout.flush();
      failing.push_back(config.name + ": " + what);
      Fault fault{o.kind == Kind::Answer, o.kind == Kind::Answer ? "" : sortOf(o.detail)};
      const std::string kindKey = config.key + (fault.wrong ? "/wrong" : "/" + fault.sort);
      const bool shrinkable = fault.wrong || fault.sort.rfind("hang", 0) != 0;
      if (!shrunk && reported_[kindKey] < settings_.reportsPerKey) {
        ++reported_[kindKey];
        shrunk = true;
        Case small = c;
        int tests = 0;
        if (shrinkable) {
          Shrinker s(runner_, oracle_, config, fault, settings_.shrinkSeconds);
          small = s.shrink(c);
          tests = s.tests;
        }
        Truth smallExpected = oracle_.decide(small.formula);
        report(fault.wrong ? "wrong" : "failed", seed, c, small, config, smallExpected, what,
               failing, tests);
        runner_.place(c);  // the shrinker overwrote the input
      }
    }
    if (!failing.empty()) ++totals_.disagreeingFormulas;
    if (expected == Truth::Unknown && answers.size() > 1) {
      ++totals_.inconsistent;
      std::cout << "INCONSISTENT seed " << seed << ": roads answer both true and false (no oracle answer)\n";
      report("inconsistent", seed, c, c, Config{"inconsistent", "inconsistent", {}, false}, expected,
             "roads answer both true and false", {});
    }
  }

  void report(const std::string& kind, uint64_t seed, const Case& original, const Case& small, const Config& config,
              Truth expected, const std::string& what, const std::vector<std::string>& alsoFailing,
              int shrinkTests = 0) {
    if (!makeDir(settings_.out)) {
      std::cerr << "vorn_diff: cannot create " << settings_.out << "\n";
      return;
    }
    std::string id = kind + "-";
    for (char ch : config.name) id += (ch == '/' ? '_' : ch);
    id += "-seed" + std::to_string(seed);
    const std::string ext = small.gzip ? ".qdimacs.gz" : ".qdimacs";
    const std::string file = settings_.out + "/" + id + ext;
    const std::string origFile = settings_.out + "/" + id + ".orig" + (original.gzip ? ".qdimacs.gz" : ".qdimacs");
    writeBytes(file, small.text(), small.gzip);
    writeBytes(origFile, original.text(), original.gzip);
    std::ofstream txt(settings_.out + "/" + id + ".txt");
    txt << "kind: " << kind << "\n"
        << "seed: " << seed << "\n"
        << "config: " << config.name << "\n"
        << "args:";
    for (const std::string& a : config.args) txt << " " << a;
    txt << "\n"
        << "command: " << commandLine(config, id + ext, settings_.timeLimit) << "\n"
        << "expected: " << truthName(expected) << "\n"
        << "got: " << what << "\n"
        << "shrunk: " << small.formula.clauses.size() << " clauses, " << clauseVariables(small.formula)
        << " variables in clauses (from " << original.formula.clauses.size() << " clauses, "
        << clauseVariables(original.formula) << "), " << shrinkTests << " shrink runs\n"
        << "layout: " << styleName(small.style) << (small.gzip ? ", gzip-compressed" : "");
    if (small.padding) txt << ", the first clause repeated " << small.padding << " times more";
    txt << "\n"
        << "file: " << id << ext << "\n"
        << "original: " << id << ".orig" << (original.gzip ? ".qdimacs.gz" : ".qdimacs") << "\n";
    for (const std::string& f : alsoFailing) txt << "failing: " << f << "\n";
    Case shown = small;
    shown.padding = 0;  // the repeated clauses are left out here
    txt << "--- shrunk formula" << (small.gzip ? " (the file is gzip)" : "")
        << (small.padding ? " (without the repeated clauses)" : "") << " ---\n"
        << shown.text();
    std::cout << "  reproducer: " << file << " (" << small.formula.clauses.size() << " clauses, "
              << clauseVariables(small.formula) << " variables; expected " << truthName(expected) << ")\n";
    std::cout.flush();
  }

  const Settings& settings_;
  std::string dir_;
  Oracle oracle_;
  Runner runner_;
  Totals totals_;
  std::map<std::string, std::string> unavailable_;
  std::map<std::string, int> reported_;
  std::map<std::string, std::array<long long, 4>> perKey_;  // runs, answers, timeouts, wrong or failed
};

// ---------------------------------------------------------------- replay

// Runs every reproducer of a findings folder again; ends 1 when any still
// disagrees or fails.
int replay(const Settings& s) {
  DIR* d = opendir(s.out.c_str());
  if (!d) {
    std::cerr << "vorn_diff: cannot open " << s.out << "\n";
    return 2;
  }
  std::vector<std::string> ids;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".txt") == 0) ids.push_back(n.substr(0, n.size() - 4));
  }
  closedir(d);
  std::sort(ids.begin(), ids.end());
  char tmpl[] = "/tmp/vorn-diff-replay-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string dir = tmpl;
  Oracle oracle(s, dir);
  Runner runner(s, dir, oracle);
  int still = 0, fixed = 0;
  for (const std::string& id : ids) {
    std::ifstream in(s.out + "/" + id + ".txt");
    std::string line, kind, file;
    Config config;
    while (std::getline(in, line)) {
      if (line.rfind("kind: ", 0) == 0) kind = line.substr(6);
      if (line.rfind("file: ", 0) == 0) file = line.substr(6);
      if (line.rfind("config: ", 0) == 0) config.name = config.key = line.substr(8);
      if (line.rfind("args:", 0) == 0) {
        std::istringstream a(line.substr(5));
        std::string arg;
        while (a >> arg) config.args.push_back(arg);
      }
      if (line.rfind("---", 0) == 0) break;
    }
    if (kind != "wrong" && kind != "failed") continue;
    config.writes = config.name.size() >= 5 && config.name.compare(config.name.size() - 5, 5, "write") == 0;
    std::string text;
    if (!test::readFile(s.out + "/" + file, text)) continue;
    Case c;
    if (!test::parseQdimacs(text, c.formula)) continue;
    c.gzip = file.size() > 3 && file.compare(file.size() - 3, 3, ".gz") == 0;
    // Replay the exact bytes.
    const std::string path = dir + "/" + c.fileName();
    writeBytes(path, text, c.gzip);
    Outcome o = runner.run(path, config);
    Truth expected = oracle.decide(c.formula);
    bool bad = o.kind == Kind::Failed || (o.kind == Kind::Answer && expected != Truth::Unknown && o.answer != expected);
    std::cout << (bad ? "STILL " : "ok    ") << id << ": expected " << truthName(expected) << ", "
              << (o.kind == Kind::Answer ? std::string("answered ") + truthName(o.answer)
                  : o.kind == Kind::Timeout ? std::string("no answer in time")
                  : o.kind == Kind::NotAvailable ? "not available" : o.detail)
              << "\n";
    (bad ? still : fixed)++;
  }
  std::cout << "replayed " << still + fixed << ": " << still << " still failing, " << fixed << " ok\n";
  std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) std::cerr << "vorn_diff: could not remove " << dir << "\n";
  return still ? 1 : 0;
}

int printOracle(const Settings& s, const std::string& file) {
  std::string text;
  QbfFormula f;
  std::string why;
  if (!test::readFile(file, text) || !test::parseQdimacs(text, f, &why)) {
    std::cerr << "vorn_diff: cannot read " << file << " " << why << "\n";
    return 2;
  }
  char tmpl[] = "/tmp/vorn-diff-oracle-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  Oracle oracle(s, tmpl);
  Truth t = oracle.decide(f);
  std::cout << truthName(t) << "\n";
  std::string cmd = std::string("rm -rf '") + tmpl + "'";
  if (std::system(cmd.c_str()) != 0) std::cerr << "vorn_diff: could not remove " << tmpl << "\n";
  return t == Truth::True ? 10 : t == Truth::False ? 20 : 0;
}

}  // namespace diff
}  // namespace vorn

int main(int argc, char** argv) {
  using namespace vorn::diff;
  Settings s;
  s.vorn = vorn::test::vornBinary();
  s.depqbf = ::access("/usr/bin/depqbf", X_OK) == 0 ? "/usr/bin/depqbf" : "";
  std::string replayDir, oracleFile;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "vorn_diff: " << a << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--seconds") s.seconds = std::atof(value().c_str());
    else if (a == "--worker") s.worker = std::atoi(value().c_str());
    else if (a == "--workers") s.workers = std::max(1, std::atoi(value().c_str()));
    else if (a == "--seed") s.seedBase = std::strtoull(value().c_str(), nullptr, 10);
    else if (a == "--out") s.out = value();
    else if (a == "--vorn") s.vorn = value();
    else if (a == "--depqbf") s.depqbf = value();
    else if (a == "--timelimit") s.timeLimit = std::max(1, std::atoi(value().c_str()));
    else if (a == "--shrink-seconds") s.shrinkSeconds = std::atof(value().c_str());
    else if (a == "--reports") s.reportsPerKey = std::atoi(value().c_str());
    else if (a == "--replay") replayDir = value();
    else if (a == "--oracle") oracleFile = value();
    else if (a == "--count") s.count = std::atoll(value().c_str());
    else if (a == "--verbose") s.verbose = true;
    else if (a == "--padded") s.padded = true;
    else {
      std::cerr << "vorn_diff: unknown argument " << a << "\n";
      return 2;
    }
  }
  if (!oracleFile.empty()) return printOracle(s, oracleFile);
  if (!replayDir.empty()) {
    s.out = replayDir;
    return replay(s);
  }
  Worker(s).loop();
  return 0;
}
