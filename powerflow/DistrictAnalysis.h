// The loss analysis by district: the figures gathered over the branch loop of
// the report stage and their file network.rip.
//
// A district is the leading digit of a node number (districtOf); a line falls
// into the voltage class of its start node's nominal voltage.
#pragma once

#include <array>
#include <cstdint>

#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/BranchFlows.h"

namespace tarvel {

constexpr int kVoltageClasses = 10;

// Nominal voltage of each class, kV, as the report shows it.
extern const std::array<int, kVoltageClasses> voltageClassLabel;

// Class 0..9 of a nominal voltage; each bound belongs to the lower class
// (8 kV is class 0, labelled 6 kV).
int voltageClassOf(float unom);

// A transformer is a branch whose single-precision ratio differs from 1 by at
// least 0.001 (compared in double, so 0.999f counts as a line).
bool isTransformer(float ratio);

// Sums in Real precision: single for the exact method, double for the sparse one.
template <typename Real>
struct DistrictAccumulatorsOf {
    std::array<int32_t, kDistricts> districtBranchCount{};  // inner branches
    std::array<Real, kDistricts> districtLoss{};            // their dP
    std::array<std::array<Real, kVoltageClasses>, kDistricts> lineLossByClass{};
    std::array<std::array<int32_t, kVoltageClasses>, kDistricts> lineCountByClass{};
    // Only the sum of the inner transformers' losses is ever shown, so it is
    // kept as a running single-precision sum in branch order: the same figure
    // as adding up a list afterwards, and no limit on the number of entries.
    std::array<Real, kDistricts> transformerLoss{};
    std::array<int32_t, kDistricts> transformerCount{};
    std::array<Real, kDistricts> saldoP{}, saldoQ{};  // flowing into the district

    void clear() { *this = DistrictAccumulatorsOf{}; }
};
using DistrictAccumulators = DistrictAccumulatorsOf<float>;

// Adds branch i with flows f: an inner branch to its district's losses, a
// border branch to the сальдо of both districts. An end whose number has no
// district (below -99) lies outside every district.
template <typename Real>
void accumulateBranch(DistrictAccumulatorsOf<Real>& acc, const NetworkModel& model, int i,
                      const BranchFlowOf<Real>& f);

// Writes the whole content of network.rip and closes it.
template <typename Real>
void writeDistrictReport(const DistrictAccumulatorsOf<Real>& acc, const NetworkModel& model, TextFileWriter& rip);

}  // namespace tarvel
