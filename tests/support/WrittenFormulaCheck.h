// Checks that text written as a simplified formula is QDIMACS as the
// writer promises, independently of the solver's own reader.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vorn {
namespace test {

// Header "p cnf V C" whose clause count is the number of clause lines;
// prefix lines before every clause line, alternating, not empty, each atom
// within 1..V and quantified once; clause lines beginning with a blank,
// not empty, atoms within V and distinct, and, once there are prefix
// lines, every clause atom among them (a fresh atom must stand in its
// block); every line closed by " 0".
::testing::AssertionResult wellFormedSimplified(const std::string& text);

}  // namespace test
}  // namespace vorn
