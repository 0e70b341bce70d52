// What a run over a load profile writes: the steps as CSV for other programs
// and the report timeseries.rez for the engineer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "series/StepResult.h"

namespace tarvel {

// The report's name in the working folder.
inline constexpr const char* kTimeSeriesFile = "timeseries.rez";

// How many steps each list of the report shows.
constexpr int kWorstSteps = 10;

// The steps as CSV (UTF-8, ",", a header row, one line a step, figures in
// their shortest round-trip form); withOutages adds the N-1 outcome counts.
std::string stepsCsv(const std::vector<StepResult>& steps, bool withOutages);

// The name of the steps file for a prefix: PREFIX-steps.csv.
std::filesystem::path stepsCsvPath(const std::filesystem::path& prefix);

// The energy lost over the steps that were solved, MWh (a step is an hour).
double energyLostMwh(const std::vector<StepResult>& steps);

// The steps ranked worst first (stable: the earlier step first among equals),
// at most count of them, solved steps only.
std::vector<int> worstByVoltage(const std::vector<StepResult>& steps, int count);  // largest |U - 1| p.u.
std::vector<int> worstByLoading(const std::vector<StepResult>& steps, int count);  // steps with a loading
std::vector<int> worstByLosses(const std::vector<StepResult>& steps, int count);

// How the reports and the window name a step's outcome.
const char* stepOutcomeText(StepOutcome outcome);

// True when a solved step's N-1 needs the engineer's attention: the step
// itself or some outage breaks a limit, an outage splits the network or
// does not solve.
bool isInsecureStep(const StepResult& step);

// The text of timeseries.rez in UTF-8, lines ended by "\n".
std::string timeSeriesReport(const std::vector<StepResult>& steps, bool withOutages);

// Writes the report into the working folder (Windows-1251, CR LF, written
// aside and renamed into place). False when it cannot be written.
bool writeTimeSeriesReport(const std::vector<StepResult>& steps, bool withOutages,
                           const std::filesystem::path& workDir);

}  // namespace tarvel
