// The voltages a case stores with its data (an imported case's own solved
// state): where the full model starts by default, and what its solution is
// measured against.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvel {

struct StoredVoltage {
    int64_t node = 0;     // the node's number in the text
    double kv = 0;        // magnitude, kV on the node's Unom as written
    double degrees = 0;   // angle, as the case gives it (any reference)
};

struct StoredVoltages {
    std::vector<StoredVoltage> nodes;
    // The case holds a solved state (not a flat profile): its solution is
    // measured against it.
    bool solved = false;
};

}  // namespace tarvel
