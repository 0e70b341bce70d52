// One whole power-flow calculation, from the input text to the reports.
//
// The window's "Потокораспределение" and the command-line tool both call
// runPowerFlow; the window then shows the reports by the outcome.
#pragma once

#include <filesystem>
#include <string_view>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"

namespace tarvel {

enum class RunOutcome {
    InputNotSaved,    // network.cdu could not be written
    Rejected,         // the reader refused the data; network.err holds why
    OutNotCreatable,  // network.out could not be created
    Converged,        // reports written, precision reached
    NotConverged,     // reports written from the last voltages
};

// The progress text shown in the lower pane while a run works.
extern const char* const kRunProgressText;

// Runs one calculation in workDir: clears the run tables, writes inputText
// (UTF-8, the input pane's text) as network.cdu in Windows-1251 with CR LF,
// reads and checks it, writes the echo and iteration log to network.out,
// iterates, and writes the reports. Message boxes go to sink; the
// non-convergence text uses decimalSeparator (the user's one; ',' on a
// Russian system).
RunOutcome runPowerFlow(NetworkModel& model, const std::filesystem::path& workDir,
                        std::string_view inputText, MessageSink& sink, char decimalSeparator = ',');

}  // namespace tarvel
