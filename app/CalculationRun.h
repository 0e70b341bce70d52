// One power-flow calculation from the input text, for both front ends: the
// working files it wrote, its outcome, the figures for export and the data of
// its diagram in one result.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CaseImport.h"
#include "model/StoredVoltages.h"
#include "diagram/RunDiagram.h"
#include "model/Calculation.h"
#include "model/MessageSink.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"

namespace tarvel::app {

// The working files of a calculation in its folder.
struct WorkingFilePaths {
    std::filesystem::path input;      // network.cdu
    std::filesystem::path errors;     // network.err
    std::filesystem::path echo;       // network.out
    std::filesystem::path results;    // network.rez
    std::filesystem::path districts;  // network.rip
    std::filesystem::path currents;   // network.tok
};

WorkingFilePaths workingFilesIn(const std::filesystem::path& workDir);

struct CalculationRequest {
    std::string_view text;        // the input pane's text, UTF-8, any line ends
    char decimalSeparator = ',';  // of the figures in messages
    LoadOverride loads;           // one step of a load profile; empty: the loads as read
    RaisedBases raisedBases;      // of an imported case, to give its kV back in the figures
    StoredVoltages storedVoltages;  // of an imported case: the start, and the state its solution is compared with
    bool importedCase = false;      // the text is an imported case: solved as importedMethod says
    bool wantResults = true;      // the figures for export of an accepted run
    bool wantDiagram = true;      // the diagram's data, when the network is small enough to draw
};

struct CalculationResult {
    RunOutcome outcome = RunOutcome::Rejected;
    WorkingFilePaths files;
    std::optional<NetworkResults> results;         // accepted data, when asked for
    std::optional<diagram::DiagramData> diagram;   // when asked for and diagramHelps
    // The reader accepted the data and the reports were written.
    bool solved() const
    {
        return outcome == RunOutcome::Converged || outcome == RunOutcome::NotConverged ||
               outcome == RunOutcome::Diverged;
    }
};

// The findings of the model's last reading, told as network.err tells them
// but with the input line of the record each names ("(строка 7)"), so that
// the user finds it; network.err itself keeps its own form.
std::vector<std::string> findingsWithTheirLines(const NetworkModel& model);

// Runs runPowerFlow on the calculation's model with its settings in workDir
// and gathers what the front ends show and write.
CalculationResult runCalculation(Calculation& calculation, const std::filesystem::path& workDir,
                                 const CalculationRequest& request, MessageSink& sink);

}  // namespace tarvel::app
