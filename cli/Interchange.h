// The command-line tool's import of MATPOWER and IEEE CDF cases and its
// export of the results as CSV and JSON.
#pragma once

#include <filesystem>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "interchange/CaseConversion.h"
#include "model/NetworkModel.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"

namespace cli {

struct InterchangeOptions {
    double baseKv = 220.0;           // --base-kv
    double precision = tarvel::CalculationSettings{}.precision;  // --precision, for the check of small loads
    std::filesystem::path convertTo; // --convert
    std::filesystem::path csvPrefix; // --csv
    std::filesystem::path jsonPath;  // --json
    // Filled by importInput: the nodes written on a raised base voltage, so
    // that --csv and --json give the case's own voltages.
    std::vector<std::pair<int64_t, double>> raisedBases;
    // Filled by importInput: every bus's area, for a load profile by areas.
    std::vector<tarvel::CduConversion::BusArea> busAreas;
    // Filled by importInput for a MATPOWER case: its function name, its
    // branches as the text holds them and their ratings (CduConversion), for
    // a contingency study.
    std::string caseName;
    std::vector<int> branchRecordOfCaseBranch;
    std::vector<double> branchRatingMva;
    std::vector<std::array<double, 2>> branchChargingShuntS;
    // Filled by importInput: the case's own voltages.
    tarvel::StoredVoltages storedVoltages;
    // The method the user chose, for the way the case is written.
    tarvel::CalculationMethod method = tarvel::CalculationMethod::Auto;
};

// True when name is one of the options above (each takes a value).
bool isInterchangeOption(const std::string& name);
// Stores the option's value; false with a message in problem when it is wrong.
bool setInterchangeOption(InterchangeOptions& options, const std::string& name, const std::string& value,
                          std::string& problem);

// The help lines of the options.
extern const char* const kInterchangeHelp;

enum class ImportStep {
    NotACase,   // the input is ЦДУ text: run it as it is
    Converted,  // text holds the converted ЦДУ text: run it
    Written,    // --convert: the file is written, nothing more to do
    Failed,     // the message has been printed; exit 2
};

// Recognises a case by the input's content and converts it: the summary goes
// to standard error, the ЦДУ text to text (UTF-8) or to --convert's file.
ImportStep importInput(const std::string& bytes, InterchangeOptions& options, std::string& text);

// Writes --csv and --json of the run's figures (app::resultsForExport) after a
// run whose reports were written; false when a file could not be written (the
// message has been printed).
bool exportResults(const tarvel::NetworkResults& results, const tarvel::NetworkModel& model,
                   const tarvel::CalculationSettings& settings,
                   tarvel::RunOutcome outcome, const InterchangeOptions& options);

}  // namespace cli
