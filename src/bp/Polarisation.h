// Ranking by polarisation. One scan walks a candidate list in order with
// best = 100 and takes candidate i when |m_i - 1| < best (best = |m_i - 1|)
// or else when m_i < best (best = m_i); the last taker is the pick. The
// ranking repeats the scan, removing each pick, with the marginals m held
// fixed. The scan is order dependent and is reproduced exactly; a NaN
// marginal is never taken and never changes best, so NaN also marks an
// entry that is not a candidate.
#pragma once

#include <vector>

namespace vorn {

// Positions of the first n picks of the repeated scan over m (fewer when
// the candidates run out). O(n log n) for marginals in [0, 1] and NaN;
// other values fall back to the repeated literal scan.
std::vector<int> polarisation_order(const std::vector<double>& m, int n);

}  // namespace vorn
