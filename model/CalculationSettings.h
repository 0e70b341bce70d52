// The settings of a calculation: stored in the settings file, edited in the
// parameters dialog or given on the command line, read by the run.
#pragma once

#include <cstdint>

namespace tarvel {

struct CalculationSettings {
    float precision = 0.01f;  // the run iterates while the residual exceeds it
    int32_t iteraz = 10;      // the largest number of iterations of one run
    bool DelFile = false;     // delete the working files when the program closes
};

}  // namespace tarvel
