#include "powerflow/ReactiveLimits.h"

#include "model/TextFile.h"

namespace tarvel {

namespace {

constexpr int kNodesPerLine = 10;

std::string limitName(float limit, bool upper)
{
    return std::string(upper ? "Qmax = " : "Qmin = ") + formatGeneral(limit, 0, 6) + " Мвар";
}

}  // namespace

int8_t nextHold(int8_t held, double generation, double voltage2, double setting2, double qmin, double qmax)
{
    if (held == 0) {
        if (generation > qmax)
            return 1;
        if (generation < qmin)
            return -1;
        return 0;
    }
    // At Qmax the voltage stays below its setting while the node needs more
    // than the limit; above it, the node needs less and can hold it again.
    // At Qmin the other way round.
    if ((held > 0 && voltage2 > setting2) || (held < 0 && voltage2 < setting2))
        return 0;
    return held;
}

std::string limitSwitchLine(const NetworkModel& model, const LimitSwitch& s)
{
    const std::string head = "Итерация " + formatInt(s.iteration) + ": узел " + formatInt(model.nodeNumber[s.node]);
    if (!s.released)
        return head + " на пределе " + limitName(s.limit, s.upper) + ", напряжение не удерживается";
    return head + " снят с предела " + limitName(s.limit, s.upper) + ", напряжение " +
           formatGeneral(model.nodeUnom[s.node], 0, 6) + " кВ удерживается";
}

std::string heldNodesLine(const NetworkModel& model)
{
    std::string text;
    int onLine = 0;
    for (int k = 1; k <= model.nodeCount; ++k) {
        const int8_t held = model.nodeHeldAt[k];
        if (held == 0)
            continue;
        if (text.empty())
            text = "Узлы на пределах реактивной мощности:";
        else if (onLine == kNodesPerLine) {
            text += "\n";
            onLine = 0;
        }
        text += " " + formatInt(model.nodeNumber[k]) + (held > 0 ? " (Qmax)" : " (Qmin)");
        ++onLine;
    }
    return text;
}

}  // namespace tarvel
