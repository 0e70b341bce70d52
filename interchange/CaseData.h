// A power-flow case as the interchange formats describe it: per-unit values on
// the system base, the tap ratio at the first ("from", "tap") end and the
// series impedance on the second end's base, as in MATPOWER's branch model.
// The readers fill it; the conversion into ЦДУ text reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

enum class CaseBusType { Load = 1, VoltageControlled = 2, Reference = 3, Isolated = 4 };

struct CaseBus {
    int64_t number = 0;
    CaseBusType type = CaseBusType::Load;
    double pd = 0, qd = 0;  // MW, Mvar taken by the load
    double gs = 0, bs = 0;  // MW, Mvar of the shunt at 1 p.u. (bs > 0 capacitive)
    double vm = 1;          // p.u., the case's voltage magnitude
    double va = 0;          // degrees, the case's voltage angle
    double baseKv = 0;      // kV; 0 when the case gives none
    int64_t remoteBus = 0;  // the bus whose voltage it controls, when not its own (CDF)
    int64_t area = 0, zone = 0;  // MATPOWER's BUS_AREA and ZONE, for the case's scenario tables
    int line = 0;           // line of the source file
};

struct CaseGenerator {
    int64_t bus = 0;
    double pg = 0, qg = 0;      // MW, Mvar
    double qmax = 0, qmin = 0;  // Mvar
    bool hasQLimits = false;    // the case limits Q (a limit ЦДУ cannot hold)
    double vg = 1;              // p.u., set voltage
    bool inService = true;
    int line = 0;
};

struct CaseBranch {
    int64_t from = 0, to = 0;
    double r = 0, x = 0, b = 0;  // p.u.; b is the total charging
    double ratio = 0;            // off-nominal tap at the first end; 0 for a line
    double shift = 0;            // degrees
    double rateA = 0;            // MVA, the long-term rating; 0 unlimited
    bool controlled = false;     // the case adjusts its tap or angle (CDF branch types 2-4)
    bool inService = true;
    int line = 0;
};

struct CaseData {
    std::string format;  // "MATPOWER" or "IEEE CDF", for the summary
    double baseMva = 100;
    std::vector<CaseBus> buses;
    std::vector<CaseGenerator> generators;
    std::vector<CaseBranch> branches;
};

// The result of reading a case: the data, or the reason it cannot be read
// (one Russian sentence that names the line).
struct CaseReadResult {
    bool ok = false;
    std::string error;
    CaseData data;
};

}  // namespace tarvel
