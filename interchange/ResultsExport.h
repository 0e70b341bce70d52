// The results of a calculation for spreadsheets (two CSV files: nodes and
// branches) and for programs (one JSON document), from collectResults.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "powerflow/NetworkResults.h"

namespace tarvel {

// The field separator and decimal mark of a spreadsheet: ";" and "," where
// the decimal mark is a comma, "," and "." otherwise.
struct CsvConvention {
    char separator = ',';
    char decimal = '.';
};
CsvConvention csvConventionFor(char localeDecimalMark);

// UTF-8 text with a header row, lines ended by CR LF.
std::string nodesCsv(const NetworkResults& results, CsvConvention convention);
std::string branchesCsv(const NetworkResults& results, CsvConvention convention);

// The two files of one export: PREFIX-nodes.csv and PREFIX-branches.csv.
std::filesystem::path nodesCsvPath(const std::filesystem::path& prefix);
std::filesystem::path branchesCsvPath(const std::filesystem::path& prefix);

// Writes both files; false with the failing file's name in failedPath when
// one cannot be written (then neither is left half-written).
bool writeResultsCsv(const NetworkResults& results, const std::filesystem::path& prefix, CsvConvention convention,
                     std::filesystem::path& failedPath);

struct ConvergenceFigures {
    bool converged = false;
    int iterations = 0;
    double residual = 0;
    std::vector<std::string> warnings;  // about a converged result; written only when there are some
};

// The whole result as JSON (docs/results.schema.json): settings,
// convergence, nodes, branches and district losses, numbers at full
// precision.
std::string resultsJson(const CalculationSettings& settings, const NetworkResults& results,
                        const ConvergenceFigures& convergence);

// Results of a converted case in the case's own base voltages: a node the
// conversion wrote on a raised base (CduConversion::raisedBases, number ->
// factor) has its voltages divided by the factor, and a branch starting
// there its current multiplied by it; powers and angles are the same.
void restoreCaseVoltages(NetworkResults& results, const std::vector<std::pair<int64_t, double>>& raisedBases);

}  // namespace tarvel
