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
// the decimal mark is a comma, "," and "." otherwise. The spreadsheets of a
// decimal-comma locale take a file for their own 8-bit code page unless it
// starts with the UTF-8 byte-order mark, so such files carry it.
struct CsvConvention {
    char separator = ',';
    char decimal = '.';
    bool byteOrderMark = false;
};
CsvConvention csvConventionFor(char localeDecimalMark);

// UTF-8 text with a header row, lines ended by CR LF. Figures are written in
// the shortest form that reads back as the same value, a single-precision
// figure as that float (233.2), a zero as 0.
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
// precision in their shortest form, as in the CSV files.
std::string resultsJson(const CalculationSettings& settings, const NetworkResults& results,
                        const ConvergenceFigures& convergence);

// Results of a converted case in the case's own base voltages: a node the
// conversion wrote on a raised base (CduConversion::raisedBases, number ->
// factor) has its voltages divided by the factor, and a branch starting
// there its current multiplied by it; powers and angles are the same.
void restoreCaseVoltages(NetworkResults& results, const std::vector<std::pair<int64_t, double>>& raisedBases);

}  // namespace tarvel
