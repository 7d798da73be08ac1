// The preprocessor-road reader on arbitrary bytes, with the loading it
// hands the clauses to (minimisation, subsumption, self-subsuming
// resolution), in-process: it either loads the formula or raises the fatal
// error of code 3 or 99 with one line for standard error. A loaded formula
// is written and the text must be well-formed QDIMACS. The reader numbers
// atoms through the global name table `instance`, which is made anew
// before and after each read.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "InProcess.h"
#include "QdimacsCheck.h"
#include "SmallReserves.h"
#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "input/QDimacs.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/QDimacsCnf.h"

using namespace vorn;

namespace {

void readOnce(const uint8_t* data, std::size_t size, const std::string& path, bool withOptions) {
  const std::string written = fuzz::workDir() + "/written.qdimacs";
  const fuzz::ChildResult r = fuzz::runInProcess([&] {
    CommandLine options;
    options["FILENAME"] = path.c_str();
    // -solve makes an input of more than 500000 declared clauses stop
    // after its header; -ss turns on self-subsuming resolution.
    if (withOptions) options["-solve"] = options["-ss"] = "true";
    instance = Instance<long>();
    struct ResetNames {
      ~ResetNames() { instance = Instance<long>(); }  // also when the reader raises
    } resetNames;
    CnfFormula formula(options);
    CnfTarget target(formula, instance, options);
    QDimacs reader(target, options);
    if (!reader.done()) return 2;  // the size cut
    std::FILE* out = std::fopen(written.c_str(), "w");
    if (!out) fuzz::fail("cannot write " + written);
    formula.printFormula(out);
    std::fclose(out);
    return formula.simplify() == PassFalse ? 1 : 0;
  });
  const std::string road = withOptions ? "preprocessor reader (-solve -ss)" : "preprocessor reader";
  fuzz::expectExit(r, {0, 1, 2, 3, 99}, road);
  if (r.code == 3 || r.code == 99) return fuzz::expectRejectionLine(r, path, data, size);
  if (r.code == 0) {
    fuzz::WrittenFormula f;
    const std::string problem = fuzz::checkWellFormed(written, f);
    if (!problem.empty()) fuzz::fail(road + ": the written formula is not well-formed QDIMACS: " + problem, r);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::discardStdout();
  fuzz::useSmallPreproReserves();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  readOnce(data, size, path, false);
  readOnce(data, size, path, true);
  return 0;
}
