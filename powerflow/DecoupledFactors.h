// The factors of a network's decoupled matrices, which precondition the
// Newton step of a large network: B' (MW per radian of the angles) and B''
// (Mvar per kV of the magnitudes; a fixed-voltage node's row is that of its
// voltage equation), both of the node graph's pattern, factorised once in
// the sparse method's node order. Their factor work is an eighth of the
// Jacobian's.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "powerflow/Ordering.h"

namespace tarvel {

// The KLU analysis of the node graph's pattern in a given order, shared
// read-only by the solves of one network.
class NodeAnalysis {
public:
    NodeAnalysis(const NodeGraph& graph, const std::vector<int>& order);
    ~NodeAnalysis();
    NodeAnalysis(const NodeAnalysis&) = delete;
    NodeAnalysis& operator=(const NodeAnalysis&) = delete;
    bool ok() const { return symbolic_ != nullptr; }
    void* symbolic() const { return symbolic_; }  // klu_symbolic*

private:
    void* symbolic_ = nullptr;
};

class DecoupledFactors {
public:
    DecoupledFactors();
    ~DecoupledFactors();
    DecoupledFactors(const DecoupledFactors&) = delete;
    DecoupledFactors& operator=(const DecoupledFactors&) = delete;

    // Factorises B' and B'' (values at the graph's entries, column by
    // column). False where either is singular.
    // On two cores at once where twoCores says so.
    bool factor(const NodeGraph& graph, const NodeAnalysis& analysis, std::span<const double> angle,
                std::span<const double> magnitude, bool twoCores);
    void release();
    bool ready() const { return angle_ != nullptr && magnitude_ != nullptr; }
    // The analysis (by its serial) the factors were made for; 0 for none.
    std::uint64_t madeFor = 0;

    // The step the decoupled equations give for the mismatches r (two rows
    // per node k = 1..n at 2(k-1): reactive power or voltage, active power):
    // x, the corrections of e and f at the same places, turned from those of
    // angle and magnitude at the voltages e, f (nodes 0..n). Identity rows
    // pass through. The two solves on two cores at once where twoCores says so.
    void apply(const NodeAnalysis& analysis, std::span<const double> r, std::span<double> x, std::span<const double> e,
               std::span<const double> f, std::span<const char> identity, bool twoCores);

    // Overwrites rhs (nodes 1..n) with the solution of B' theta = rhs.
    bool solveAngles(const NodeAnalysis& analysis, std::span<double> rhs);

private:
    // KLU's settings and status, one for each matrix: the two are solved at once.
    void* angleCommon_;  // klu_common
    void* magnitudeCommon_;
    void* angle_ = nullptr;
    void* magnitude_ = nullptr;
    std::vector<double> theta_, volts_;
};

}  // namespace tarvel
