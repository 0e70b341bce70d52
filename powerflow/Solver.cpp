#include "powerflow/Solver.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "powerflow/Equations.h"
#include "powerflow/Newton.h"
#include "powerflow/Reports.h"

namespace tarvel {

namespace {

// True when every voltage and its squared magnitude, which the residual and
// the reports are built on, are finite numbers in single precision.
bool voltagesFinite(const NetworkModel& model)
{
    for (int k = 1; k <= model.nodeCount; ++k) {
        const float e = model.voltageRe[k];
        const float f = model.voltageIm[k];
        if (!std::isfinite(e * e + f * f))
            return false;
    }
    return true;
}

// Switches the fixed-voltage nodes whose hold at a limit changes after an
// iteration of the exact method; computeResidual has left the injections of
// the present voltages. Returns the number of switches.
int switchExactLimits(NetworkModel& model, int iteration, std::vector<int>& releases, SolveResult& result)
{
    const auto generation = [&model](int k) { return static_cast<double>(model.calcQ[k] + model.nodeLoadQ[k]); };
    const auto voltage2 = [&model](int k) {
        const float e = model.voltageRe[k];
        const float f = model.voltageIm[k];
        return static_cast<double>(e * e + f * f);
    };
    const auto limits = [&model](int k) { return limitsOf(model, k); };
    return switchAtLimits(model.nodeCount, iteration, limits, generation, voltage2, model.nodeHeldAt, releases,
                          result.limitSwitches);
}

}  // namespace

SolveResult solveExact(NetworkModel& model, const CalculationSettings& settings)
{
    SolveResult result;
    model.sparseNetwork.reset();
    model.sparseSolution.reset();
    std::fill_n(model.nodeHeldAt.begin(), model.nodeCount + 1, int8_t{0});
    std::vector<int> releases(settings.qLimits ? model.nodeCount + 1 : 0, 0);
    initVoltages(model);
    formAdmittances(model);
    model.iterationNumber = 0;
    model.residual = computeResidual(model);
    if (!std::isfinite(model.residual))
        result.divergedAt = 0;

    // The voltages before the step under way, to fall back on when it diverges.
    const std::size_t slots = static_cast<std::size_t>(model.nodeCount) + 1;
    std::vector<float> lastRe(slots), lastIm(slots);

    // A switch at a reactive limit calls for one more iteration at least.
    bool switched = false;
    while (result.divergedAt < 0 && (model.residual > settings.precision || switched) &&
           model.iterationNumber < settings.iteraz) {
        const int iteration = model.iterationNumber + 1;
        std::copy_n(model.voltageRe.begin(), slots, lastRe.begin());
        std::copy_n(model.voltageIm.begin(), slots, lastIm.begin());
        formJacobian(model);
        if (!solveAndUpdate(model)) {
            // The voltages and the injections are still those of the last
            // finite iteration.
            result.divergedAt = iteration;
            break;
        }
        float residual = computeResidual(model);
        if (!std::isfinite(residual) || !voltagesFinite(model)) {
            std::copy_n(lastRe.begin(), slots, model.voltageRe.begin());
            std::copy_n(lastIm.begin(), slots, model.voltageIm.begin());
            model.residual = computeResidual(model);
            result.divergedAt = iteration;
            break;
        }
        switched = settings.qLimits && switchExactLimits(model, iteration, releases, result) > 0;
        if (switched)
            residual = computeResidual(model);
        model.iterationNumber = iteration;
        model.residual = residual;
        result.residuals.push_back(residual);
    }
    if (result.divergedAt >= 0)
        result.outcome = SolveOutcome::Diverged;
    else if (model.residual > settings.precision || switched)
        result.outcome = SolveOutcome::NotConverged;
    else
        result.outcome = SolveOutcome::Converged;
    return result;
}

namespace {

// The solution, rounded, in the single-precision tables, for whatever reads
// them after a run.
void storeRounded(NetworkModel& model, const Network& network, const Solution& x)
{
    for (int k = 0; k <= model.nodeCount; ++k) {
        model.voltageRe[k] = static_cast<float>(x.voltageRe[k]);
        model.voltageIm[k] = static_cast<float>(x.voltageIm[k]);
        model.calcP[k] = static_cast<float>(x.powerP[k]);
        model.calcQ[k] = static_cast<float>(x.powerQ[k]);
    }
    for (int i = 1; i <= model.branchCount; ++i) {
        model.seriesG[i] = static_cast<float>(network.seriesG[i]);
        model.seriesB[i] = static_cast<float>(network.seriesB[i]);
    }
}

}  // namespace

Solution storedStart(const Network& network, std::span<const StoredVoltage> stored)
{
    const int n = network.nodeCount;
    std::unordered_map<int64_t, int> slot;
    for (int k = 0; k <= n; ++k)
        slot[network.nodeNumber[k]] = k;
    Solution start;
    start.voltageRe.assign(n + 1, 0.0);
    start.voltageIm.assign(n + 1, 0.0);
    double baseDegrees = 0;
    for (const StoredVoltage& v : stored)
        if (v.node == network.nodeNumber[0])
            baseDegrees = v.degrees;
    for (const StoredVoltage& v : stored) {
        const auto it = slot.find(v.node);
        if (it == slot.end() || !(v.kv > 0) || !std::isfinite(v.degrees))
            continue;
        const int k = it->second;
        const double u = network.nodeType[k] == 1 ? v.kv : network.nodeUnom[k];
        const double angle = k == 0 ? 0.0 : (v.degrees - baseDegrees) * std::numbers::pi / 180.0;
        start.voltageRe[k] = u * std::cos(angle);
        start.voltageIm[k] = u * std::sin(angle);
    }
    start.voltageRe[0] = network.nodeUnom[0];
    start.voltageIm[0] = 0.0;
    return start;
}

SolveResult solveSparseModel(NetworkModel& model, const CalculationSettings& settings,
                             std::span<const StoredVoltage> stored)
{
    auto network = std::make_shared<const Network>(buildNetwork(model));
    Solution given;
    Start start = settings.start == StartChoice::Dc ? Start::dc() : Start::flat();
    if (settings.start == StartChoice::Case && !stored.empty()) {
        given = storedStart(*network, stored);
        start = Start::from(given);
    }
    auto solution = std::make_shared<const Solution>(solveSparse(*network, settings, start));
    SolveResult result;
    result.method = SolveMethod::Sparse;
    result.outcome = solution->outcome;
    result.divergedAt = solution->divergedAt;
    result.stalledAt = solution->stalledAt;
    result.worstError = solution->worstError;
    for (const double r : solution->residuals)
        result.residuals.push_back(static_cast<float>(r));
    result.limitSwitches = solution->limitSwitches;
    std::fill_n(model.nodeHeldAt.begin(), model.nodeCount + 1, int8_t{0});
    std::copy(solution->held.begin(), solution->held.end(), model.nodeHeldAt.begin());
    model.iterationNumber = solution->iterations;
    model.residual = static_cast<float>(solution->residual);
    storeRounded(model, *network, *solution);
    model.sparseNetwork = std::move(network);
    model.sparseSolution = std::move(solution);
    return result;
}

SolveResult solvePowerFlow(NetworkModel& model, const CalculationSettings& settings,
                           std::span<const StoredVoltage> stored)
{
    SolveResult result = model.fullModel() ? solveSparseModel(model, settings, stored) : solveExact(model, settings);
    // Figures beyond single precision are told as a diverging iteration.
    if (result.outcome != SolveOutcome::Diverged && !reportFiguresFinite(model)) {
        result.outcome = SolveOutcome::Diverged;
        result.divergedAt = model.iterationNumber;
    }
    return result;
}

}  // namespace tarvel
