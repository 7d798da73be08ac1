// The prefix normaliser on arbitrary bytes, in-process. It raises nothing;
// when it writes the renumbered copy, the copy must be well-formed QDIMACS
// with the prefix numbered 1..K in prefix order, and (for formulas small
// enough for the brute-force evaluator) have the truth value of the
// original as the readers see it.
#include <cstddef>
#include <cstdint>

#include "EvalReader.h"
#include "InProcess.h"
#include "QdimacsCheck.h"
#include "input/PrefixNormaliser.h"
#include "input/PrivateCopy.h"
#include "support/Evaluator.h"

using namespace vorn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::discardStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzz::writeInput(data, size);
  const fuzz::ChildResult r = fuzz::runInProcess([&] {
    const NormaliseResult result = normalisePrefix(path);
    if (result.outcome == NormaliseOutcome::WriteFailed) fuzz::fail("the copy could not be written: " + result.error);
    if (result.outcome == NormaliseOutcome::Unchanged) return 0;
    if (result.copyName != privateCopyPath() || result.copyName.rfind(temporaryFolder() + "/", 0) != 0)
      fuzz::fail("the copy is named " + result.copyName);
    fuzz::WrittenFormula copy;
    const std::string problem = fuzz::checkWellFormed(result.copyName, copy);
    if (!problem.empty()) fuzz::fail("the copy is not well-formed QDIMACS: " + problem);
    for (std::size_t i = 0; i < copy.prefixOrder.size(); ++i)
      if (copy.prefixOrder[i] != static_cast<int32_t>(i + 1))
        fuzz::fail("prefix entry " + std::to_string(i + 1) + " of the copy is " + std::to_string(copy.prefixOrder[i]));

    fuzz::ToEvaluator original(true), renumbered(true);
    if (!fuzz::readForEvaluator(path, original) || !fuzz::readForEvaluator(result.copyName, renumbered))
      fuzz::fail("the original or the copy cannot be read back");
    if (original.f.clauses.size() != renumbered.f.clauses.size())
      fuzz::fail("the copy holds " + std::to_string(renumbered.f.clauses.size()) + " clauses, the original " +
                 std::to_string(original.f.clauses.size()));
    if (fuzz::smallEnough(original) && test::evaluate(original.f) != test::evaluate(renumbered.f))
      fuzz::fail("the copy does not have the truth value of the original");
    return 0;
  });
  fuzz::expectExit(r, {0}, "normaliser");
  return 0;
}
