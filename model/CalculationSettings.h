// The settings of a calculation: stored in the settings file, edited in the
// parameters dialog or given on the command line, read by the run.
#pragma once

#include <cstdint>

namespace tarvel {

// Which method solves the network.
enum class CalculationMethod {
    Auto,    // the exact method within 99 nodes and 149 branches, the full model beyond
    Exact,   // the classic single-precision method (networks within those limits)
    Sparse,  // the full model in double precision, at any size
};

// Where the full model's iteration starts.
enum class StartChoice {
    Case,  // the voltages stored with the case (an imported one), else as Flat
    Flat,  // nominal and fixed voltages, turned by a DC power flow where phase shifters call for it
    Dc,    // nominal and fixed voltages turned by the angles of a DC power flow
};

// The most iterations a run may be given: Newton's method converges in a
// handful or not at all, and a limit of millions only grows network.out by
// a line an iteration for as long as the user waits.
constexpr int32_t kMostIterations = 1000;

struct CalculationSettings {
    float precision = 0.01f;  // the run iterates while the residual exceeds it
    int32_t iteraz = 10;      // the largest number of iterations of one run
    bool DelFile = false;     // delete the working files when the program closes
    // Fixed-voltage nodes keep their reactive generation within the limits of
    // their records: a node that would leave them is held at the limit and its
    // voltage freed.
    bool qLimits = false;
    CalculationMethod method = CalculationMethod::Auto;
    StartChoice start = StartChoice::Case;
};

}  // namespace tarvel
