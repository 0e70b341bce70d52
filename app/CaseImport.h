// Import of a MATPOWER or IEEE CDF case as ЦДУ text: the one road that the
// window's "Импорт..." and tarvel-cli's case input both take.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "interchange/CaseConversion.h"
#include "interchange/CaseData.h"

namespace tarvel::app {

// Nodes written on a raised base voltage: node number -> factor of the raise.
using RaisedBases = std::vector<std::pair<int64_t, double>>;

struct ImportedCase {
    std::string text;         // the ЦДУ text, UTF-8, lines ended by CR LF
    std::string summary;      // what the conversion kept and changed, UTF-8
    RaisedBases raisedBases;  // to give results back in the case's own kV
    std::vector<CduConversion::BusArea> busAreas;  // for load profiles by areas
    std::vector<int> branchRecordOfCaseBranch;     // as CduConversion gives them
    std::vector<double> branchRatingMva;
    std::vector<std::array<double, 2>> branchChargingShuntS;
    StoredVoltages storedVoltages;  // the case's own voltages: the full model's start
};

struct ImportResult {
    bool ok = false;
    std::string error;  // why the case cannot be imported (no "Импорт невозможен" prefix)
    ImportedCase imported;
};

// Converts a case that readCase has read.
ImportResult importCase(const CaseData& data, const ConversionOptions& options);

}  // namespace tarvel::app
