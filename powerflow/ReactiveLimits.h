// Reactive limits of fixed-voltage nodes: a node whose generation leaves the
// limits of its record is held at the limit and its voltage freed; it holds
// its voltage again once the voltage would come back past its setting.
//
// The generation of a node is its calculated reactive injection plus the Q
// its record consumes. Both methods check the limits after each iteration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel {

// A node taking a limit (its generation went beyond it: held there, voltage
// freed) or leaving it (the voltage came back past its setting).
struct LimitSwitch {
    int iteration = 0;
    int node = 0;           // index 1..n
    bool released = false;  // left the limit
    bool upper = true;      // the limit is Qmax (else Qmin)
    float limit = 0.0f;     // Mvar
};

// A node is given back its voltage at most this many times in a run; after
// that it stays at its limit, so that a node on the edge cannot keep the
// iteration swinging.
constexpr int kMaxReleases = 3;

// The hold a node takes after an iteration: held is +1 (at Qmax), -1 (at
// Qmin) or 0; generation in Mvar; voltage2 and setting2 the squared magnitude
// of its voltage and of its setting.
int8_t nextHold(int8_t held, double generation, double voltage2, double setting2, double qmin, double qmax);

// True when node k is solved by its reactive-power equation: a load node, or
// a fixed-voltage node held at a limit.
inline bool solvesReactivePower(const NetworkModel& model, int k)
{
    return model.nodeType[k] == 1 || model.nodeHeldAt[k] != 0;
}

// The reactive power node k consumes in its equation: the record's, less the
// generation at the limit where the node is held.
inline float equationLoadQ(const NetworkModel& model, int k)
{
    const int8_t held = model.nodeHeldAt[k];
    if (held == 0)
        return model.nodeLoadQ[k];
    return model.nodeLoadQ[k] - (held > 0 ? model.nodeQmax[k] : model.nodeQmin[k]);
}

// The text of one switch for network.out.
std::string limitSwitchLine(const NetworkModel& model, const LimitSwitch& s);

// The line of network.out that names the nodes at a limit when the run
// ended; empty when none is.
std::string heldNodesLine(const NetworkModel& model);

// The limits of one node as the switching reads them.
struct NodeLimits {
    bool given = false;  // a fixed-voltage node whose record gives limits
    double qmin = 0, qmax = 0;  // Mvar generated
    double setting = 0;         // kV, its fixed voltage
};

inline NodeLimits limitsOf(const NetworkModel& model, int k)
{
    return {model.nodeType[k] == 2 && model.hasQLimits(k), model.nodeQmin[k], model.nodeQmax[k], model.nodeUnom[k]};
}

// Checks every node 1..nodeCount whose limits are given after an iteration
// and changes the holds (held, indexed as the nodes) that nextHold changes,
// but gives no node its voltage back more than kMaxReleases times (releases
// counts them). limits(k) gives node k's NodeLimits, generation(k) its
// reactive generation in Mvar, voltage2(k) its squared voltage magnitude.
// Appends the switches to log and returns how many were made.
template <typename Limits, typename Generation, typename Voltage2>
int switchAtLimits(int nodeCount, int iteration, Limits limits, Generation generation, Voltage2 voltage2,
                   std::vector<int8_t>& held, std::vector<int>& releases, std::vector<LimitSwitch>& log)
{
    int switches = 0;
    for (int k = 1; k <= nodeCount; ++k) {
        const NodeLimits l = limits(k);
        if (!l.given)
            continue;
        const int8_t before = held[k];
        const int8_t after = nextHold(before, generation(k), voltage2(k), l.setting * l.setting, l.qmin, l.qmax);
        if (after == before || (after == 0 && releases[k] >= kMaxReleases))
            continue;
        if (after == 0)
            ++releases[k];
        held[k] = after;
        LimitSwitch s;
        s.iteration = iteration;
        s.node = k;
        s.released = after == 0;
        s.upper = (s.released ? before : after) > 0;
        s.limit = static_cast<float>(s.upper ? l.qmax : l.qmin);
        log.push_back(s);
        ++switches;
    }
    return switches;
}

}  // namespace tarvel
