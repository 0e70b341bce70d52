// The names of the working files in the working folder: what one stage of a
// calculation hands to the next, and what the window shows.
#pragma once

namespace tarvel {

inline constexpr const char* kInputFile = "network.cdu";        // the input pane's text
inline constexpr const char* kErrorFile = "network.err";        // the reader's findings
inline constexpr const char* kEchoFile = "network.out";         // input echo and iteration log
inline constexpr const char* kResultsFile = "network.rez";      // node and branch results
inline constexpr const char* kDistrictFile = "network.rip";     // losses by district
inline constexpr const char* kCurrentsFile = "network.tok";     // branch currents for the loss allocation
inline constexpr const char* kLossShareFile = "losses.rez";     // the loss allocation

}  // namespace tarvel
