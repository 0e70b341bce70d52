#include "model/NetworkModel.h"

#include <algorithm>


namespace tarvel {

namespace {

template <typename... Tables>
void growAll(std::size_t slots, Tables&... tables)
{
    (((tables.size() < slots) ? tables.resize(slots) : void()), ...);
}

}  // namespace

NetworkModel::NetworkModel()
{
    reserveNodes(kInitialNodeSlots);
    reserveBranches(kInitialBranchSlots);
}

void NetworkModel::reserveNodes(int slots)
{
    const std::size_t s = static_cast<std::size_t>(std::max(slots, 0));
    growAll(s, nodeNumber, nodeType, nodeUnom, nodeRecordUnom, nodeLoadP, nodeLoadQ, nodeShuntG, nodeShuntB, nodeQmin, nodeQmax,
            voltageRe, voltageIm, selfG, selfB, currentRe, currentIm, calcP, calcQ);
    growAll(s, nodeHeldAt);
    growAll(s, written.nodeUnom, written.nodeLoadP, written.nodeLoadQ, written.nodeShuntB, written.nodeShuntG);
    growAll(2 * s, mismatch);
}

void NetworkModel::reserveBranches(int branchSlots)
{
    const std::size_t s = static_cast<std::size_t>(std::max(branchSlots, 0));
    growAll(s, branchStartNode, branchEndNode, branchStartIndex, branchEndIndex, branchResistance, branchReactance,
            branchSusceptance, branchConductance, branchRatio, seriesG, seriesB, written.branchResistance,
            written.branchReactance, written.branchSusceptance, written.branchRatio, written.branchPhase);
}

float nominalVoltage(const NetworkModel& model, int k)
{
    const float written = model.nodeRecordUnom[k];
    return model.nodeType[k] == 2 && written >= 0.1f && written <= 1500.0f ? written : model.nodeUnom[k];
}

int districtOf(int32_t number)
{
    if (number <= -100)
        return -1;
    int32_t q = number / 100;
    while (q > 9)
        q = q / 10;
    return q;
}

void countNode(NetworkModel& model, int32_t number)
{
    const int d = districtOf(number);
    if (d >= 0 && d < kDistricts)
        ++model.districtNodeCount[d];
}

void clearRunTables(NetworkModel& model)
{
    std::ranges::fill(model.nodeNumber, 0);
    std::ranges::fill(model.nodeType, 0);
    std::ranges::fill(model.branchStartNode, 0);
    std::ranges::fill(model.branchEndNode, 0);
    std::ranges::fill(model.branchStartIndex, 0);
    std::ranges::fill(model.branchEndIndex, 0);
    // The double-precision solution belongs to the network it was found for.
    model.runWarnings.clear();
    model.reading = {};
    model.sparseNetwork.reset();
    model.sparseSolution.reset();
}

}  // namespace tarvel
