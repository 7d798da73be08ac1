// The belief-propagation module's reader on arbitrary bytes, followed by a
// short ranking run on what it read (the steps the default heuristic takes,
// with few sweeps), in-process: it either ranks or raises the fatal error of
// code 3 or 99 (input the readers reject) or 255 ("Too many variables."),
// with a line for standard error. The store and its generator are made
// anew for each input; the only global of the module is a cache of the
// Poisson deviate's constants, a function of its mean.
#include <cstddef>
#include <cstdint>

#include "InProcess.h"
#include "bp/BpFormula.h"
#include "bp/Random.h"

using namespace vorn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::discardStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  const fuzz::ChildResult r = fuzz::runInProcess([&] {
    XTQRANDOMv3 rng(size + 1);
    zsat bp(&rng, 0);
    bp.formula_read_qbf_file(path);
    bp.bp_init_structure();
    bp.bp_init_random();
    bp.bp_converge(0.01, 20, 0);
    bp.des_allmag(bp.N);
    for (std::size_t i = 0; i < bp.des_vars.size(); ++i)
      if (bp.des_vars[i] < 0 || bp.des_vars[i] >= bp.N || (bp.des_vals[i] != 1 && bp.des_vals[i] != -1))
        fuzz::fail("ranking entry " + std::to_string(i) + " is not a variable with a value");
    {
      // The default heuristic's road, with the literals released (on cells
      // where the clauses fit), must rank alike.
      XTQRANDOMv3 rng2(size + 1);
      zsat lean(&rng2, 0);
      lean.keep_edge_messages = false;
      lean.release_literals = true;
      lean.formula_read_qbf_file(path);
      lean.bp_init_structure();
      lean.bp_init_random();
      lean.bp_converge(0.01, 20, 0);
      lean.bp_release_messages();
      lean.des_allmag(lean.N);
      if (lean.des_vars != bp.des_vars || lean.des_vals != bp.des_vals)
        fuzz::fail(std::string("the ranking with the literals released differs (cells ") +
                   (lean.cells_in_use() ? "in use" : "not in use") + ")");
    }
    bp.des_vars.clear();
    bp.des_vals.clear();
    bp.des_bp_mix(0.01, 20);
    return 0;
  });
  fuzz::expectExit(r, {0, 3, 99, 255}, "BP reader");
  if (r.code == 3 || r.code == 99) fuzz::expectRejectionLine(r, path, data, size);
  if (r.code == 255 && r.err.find("Too many variables.\n") != 0 && r.err.find("out of memory") == std::string::npos)
    fuzz::fail("exit 255 without \"Too many variables.\" or an out-of-memory line on standard error", r);
  return 0;
}
