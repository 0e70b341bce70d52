// How far apart two solutions of one network are.
#pragma once

#include <algorithm>
#include <cmath>

#include "powerflow/SparseSolver.h"

namespace tarvel::test {

// The largest distance (kV) between the two voltages of a node, over the nodes.
inline double largestVoltageDifference(const Solution& a, const Solution& b)
{
    double d = 0;
    for (std::size_t k = 0; k < a.voltageRe.size(); ++k)
        d = std::max(d, std::hypot(a.voltageRe[k] - b.voltageRe[k], a.voltageIm[k] - b.voltageIm[k]));
    return d;
}

}  // namespace tarvel::test
