// The conversion of a case into ЦДУ text, as an engineer writes it by hand:
// every bus at its own base voltage as Unom (kV), impedances in Ohm on the
// second end's base, susceptances in µS, transformer ratios at the first end
// (the case's tap times the ratio of the two base voltages), bus shunts as
// shunt records, generators summed per bus, a voltage-controlled bus as a
// fixed-voltage node at its set voltage with its net injection as negative
// load, the reference bus as the base node at its set voltage.
//
// What ЦДУ cannot hold is changed as little as possible and told in the notes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "interchange/CaseData.h"
#include "model/CalculationSettings.h"
#include "model/StoredVoltages.h"

namespace tarvel {

// The voltage proposed for a case without base voltages, kV.
constexpr double kDefaultBaseKv = 220.0;

struct ConversionOptions {
    double defaultBaseKv = kDefaultBaseKv;  // for buses whose base voltage is 0
    // The precision the network will be calculated with (MW, Mvar): loads
    // below a hundred times it are told, with the precision to use.
    double precision = CalculationSettings{}.precision;
    // The method that will solve the text. An import is solved by the full
    // model unless the exact method is chosen (importedMethod), so the text
    // is written as the case is (its impedances, its reference bus, its
    // shunt conductances); only for CalculationMethod::Exact, within that
    // method's limits, are the workarounds written that it needs.
    CalculationMethod method = CalculationMethod::Auto;
};

// The method that solves an imported case: the full model, unless the user
// chose the exact method.
CalculationMethod importedMethod(CalculationMethod chosen);

struct CduConversion {
    bool ok = false;
    std::string error;                // why the case cannot be converted
    std::string text;                 // UTF-8, lines ended by "\n"
    std::vector<std::string> notes;   // one sentence per change, see conversionSummary
    int nodes = 0;                    // base node included
    int branches = 0;
    int transformers = 0;
    int shunts = 0;
    int64_t baseNode = 0;             // number of the base node in the text
    std::vector<std::pair<int64_t, int64_t>> renumbered;  // case number -> text number
    // Nodes written on a raised base voltage: text number -> written base /
    // the case's base (see restoreCaseVoltages).
    std::vector<std::pair<int64_t, double>> raisedBases;
    // Every written bus with its area, zone and load as the case gives them,
    // by its number in the text: what the case's scenario tables refer to.
    struct BusArea {
        int64_t node = 0;
        int64_t area = 0, zone = 0;
        double pd = 0;  // MW
    };
    std::vector<BusArea> busAreas;
    // The case's branches as the text holds them: case branch (0-based) ->
    // branch record of the text (1-based), 0 when left out; and per branch
    // record 1..m the case's rating rateA in MVA (0 unlimited), for the
    // limits of a contingency study.
    std::vector<int> branchRecordOfCaseBranch;
    std::vector<double> branchRatingMva;
    // Per branch record 1..m: the charging written as node shunts at its
    // first and second end (S, capacitive positive; 0 where none, and at
    // the base node, whose shunt is not written), which an outage of the
    // branch takes out with it.
    std::vector<std::array<double, 2>> branchChargingShuntS;
    // The voltages the case stores, by the nodes' numbers in the text: the
    // full model's start.
    StoredVoltages storedVoltages;
};

// True when some bus of the case gives no base voltage, so that the
// conversion will use ConversionOptions::defaultBaseKv.
bool caseLacksBaseVoltage(const CaseData& c);

CduConversion convertCase(const CaseData& c, const ConversionOptions& options = {});

// The summary for the user: what was converted, then every note on a line.
std::string conversionSummary(const CaseData& c, const CduConversion& conversion);

}  // namespace tarvel
