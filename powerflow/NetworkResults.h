// The results of a calculation as figures for other programs and views: the
// diagram, CSV and JSON exports. The values are the ones the reports print,
// taken from the same figures (the single-precision tables, or the sparse
// method's double-precision solution), without the reports' rounding.
#pragma once

#include <cstdint>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel {

struct NodeResult {
    int32_t number = 0;
    int32_t type = 0;         // 3 base, 1 load, 2 fixed voltage magnitude
    int district = 0;         // 0..9, -1 for none
    double unom = 0;          // kV, written in the record (nominalVoltage): for a fixed-voltage
                              // node not the fixed voltage
    double u = 0;             // kV, the "V" column of network.rez
    double angle = 0;         // degrees, the "dV" column of network.rez
    double deviation = 0;     // % of Unom: 100 (u - unom) / unom, 0 when unom is 0
    double p = 0, q = 0;      // MW, Mvar: + consumption, - generation ("P", "Q")
    double pg = 0, qb = 0;    // MW, Mvar of the shunt ("Pg", "Qb")
};

struct BranchResult {
    int32_t startNode = 0, endNode = 0;  // node numbers N1, N2
    int startIndex = 0, endIndex = 0;    // node indices 0..n
    double p12 = 0, q12 = 0;  // as network.rez prints them
    double p21 = 0, q21 = 0;
    double dP = 0;            // MW
    double current = 0;       // kA, magnitude at the first end
    bool transformer = false;
};

struct LineClassLoss {
    int kv = 0;               // the voltage class as network.rip labels it
    int lines = 0;
    double loss = 0;          // MW
};

// The figures of network.rip for one district.
struct DistrictResult {
    int district = 0;
    int nodes = 0;            // node records, base node included
    int innerBranches = 0;
    double loss = 0;          // MW, inner branches
    std::vector<LineClassLoss> lineLosses;  // classes with lines only
    int transformers = 0;
    double transformerLoss = 0;  // MW
    double saldoP = 0, saldoQ = 0;  // MW, Mvar flowing into the district
};

struct NetworkResults {
    std::vector<NodeResult> nodes;       // index k = 0..n, the base node first
    std::vector<BranchResult> branches;  // the branches of network.rez, in order
    double totalLoss = 0;                // MW, the sum of dP
    std::vector<DistrictResult> districts;  // the districts that have nodes
    // Computed by the exact method in single precision: every figure holds
    // no more than a float's digits.
    bool singlePrecision = false;
};

// Collects the figures of the last run from the model.
NetworkResults collectResults(const NetworkModel& model);

}  // namespace tarvel
