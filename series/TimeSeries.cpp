#include "series/TimeSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <complex>

#include "powerflow/SparseSolver.h"
#include "powerflow/TaskHandOver.h"
#include "study/Outage.h"
#include "study/OutageSolver.h"

namespace tarvel {

namespace {

StepOutcome stepOutcome(SolveOutcome outcome)
{
    switch (outcome) {
    case SolveOutcome::Converged:
        return StepOutcome::Solved;
    case SolveOutcome::NotConverged:
        return StepOutcome::NotConverged;
    case SolveOutcome::Diverged:
        return StepOutcome::Diverged;
    }
    return StepOutcome::Diverged;
}

// The active power lost in the series elements of the branches, MW:
// g |V1/K - V2|^2 with the ratio K (and its phase) at the first end.
double branchLosses(const Network& network, const Solution& solution)
{
    double total = 0;
    for (int i = 1; i <= network.branchCount; ++i) {
        if (network.seriesG[i] == 0)
            continue;
        const std::complex<double> k(network.ratio[i] * network.shiftCos[i], network.ratio[i] * network.shiftSin[i]);
        const int s = network.branchStart[i];
        const int t = network.branchEnd[i];
        const std::complex<double> vs(solution.voltageRe[s], solution.voltageIm[s]);
        const std::complex<double> vt(solution.voltageRe[t], solution.voltageIm[t]);
        total += network.seriesG[i] * std::norm(vs / k - vt);
    }
    return total;
}

}  // namespace

// The network as the sparse method solves it, its analysis shared by every
// thread, and the base case every block starts from.
struct TimeSeriesStudy::Engine {
    CalculationSettings settings;
    Network network;
    std::unique_ptr<SolverAnalysis> analysis;
    Solution base;
    std::vector<double> unom;  // the Unom written in each node's record, kV
    Limits limits;
    std::unique_ptr<BranchIndex> branches;

    struct Workspace {
        SolverWorkspace solver;
        StepLoads loads;
    };

    // A base case that did not converge is no start: its blocks start flat.
    const Solution* blockStart() const { return base.outcome == SolveOutcome::Converged ? &base : nullptr; }

    StepResult summarize(const NetworkModel& model, const Solution& solution, const StepLoads& loads) const
    {
        StepResult r;
        r.outcome = stepOutcome(solution.outcome);
        r.iterations = solution.iterations;
        for (int k = 1; k <= network.nodeCount; ++k)
            if (network.nodeType[k] == 1)
                r.loadMw += loads.p[static_cast<std::size_t>(k)];
        if (r.outcome != StepOutcome::Solved) {
            explainFailure(solution, loads, r);
            return r;
        }
        r.baseMw = solution.powerP[0];
        r.lossesMw = branchLosses(network, solution);
        r.vminPu = std::numeric_limits<double>::infinity();
        r.vmaxPu = -std::numeric_limits<double>::infinity();
        for (int k = 0; k <= network.nodeCount; ++k) {
            const double u = unom[static_cast<std::size_t>(k)];
            if (!(u > 0))
                continue;
            const double pu = std::hypot(solution.voltageRe[k], solution.voltageIm[k]) / u;
            if (pu < r.vminPu) {
                r.vminPu = pu;
                r.vminNode = network.nodeNumber[k];
            }
            if (pu > r.vmaxPu) {
                r.vmaxPu = pu;
                r.vmaxNode = network.nodeNumber[k];
            }
        }
        if (r.outcome == StepOutcome::Solved)
            checkLimits(model, solution, r);
        return r;
    }

    // A step without a solution carries no figure of its last iterate, only
    // why it failed.
    void explainFailure(const Solution& solution, const StepLoads& loads, StepResult& r) const
    {
        const double none = std::numeric_limits<double>::quiet_NaN();
        r.baseMw = r.lossesMw = r.vminPu = r.vmaxPu = none;
        for (int k = 1; k <= network.nodeCount; ++k)
            r.baseShareMw += loads.p[static_cast<std::size_t>(k)];
        const bool figures = solution.powerP.size() == static_cast<std::size_t>(network.nodeCount) + 1 &&
                             solution.powerQ.size() == solution.powerP.size();
        for (int k = 1; figures && k <= network.nodeCount; ++k) {
            const double dP = solution.powerP[k] + loads.p[static_cast<std::size_t>(k)];
            const double dQ = network.nodeType[k] == 1 ? solution.powerQ[k] + loads.q[static_cast<std::size_t>(k)] : 0.0;
            // An iterate that is no number is the worst there is.
            const double mismatch = std::isfinite(dP) && std::isfinite(dQ) ? std::hypot(dP, dQ) : HUGE_VAL;
            if (r.worstNode == 0 || mismatch > r.worstMismatchMva) {
                r.worstMismatchMva = mismatch;
                r.worstNode = network.nodeNumber[k];
            }
        }
    }

    void checkLimits(const NetworkModel& model, const Solution& solution, StepResult& r) const
    {
        const OutageResult checked = checkState(model, network, limits, solution);
        r.violations = static_cast<int32_t>(checked.violations.size());
        if (checked.maxLoading.branch > 0) {
            const BranchName& name = branches->name(checked.maxLoading.branch);
            r.maxLoadingPct = checked.maxLoading.percent;
            r.maxLoadingStart = name.n1;
            r.maxLoadingEnd = name.n2;
            r.maxLoadingParallel = name.k;
        }
    }
};

StepRange stepShare(int stepCount, int part, int parts)
{
    const int blocks = (stepCount + kStepsPerBlock - 1) / kStepsPerBlock;
    const auto blockStart = [&](int p) { return static_cast<int>(static_cast<long long>(blocks) * p / parts); };
    return {std::min(stepCount, blockStart(part) * kStepsPerBlock),
            std::min(stepCount, blockStart(part + 1) * kStepsPerBlock)};
}

TimeSeriesStudy::TimeSeriesStudy(const NetworkModel& model, const LoadProfile& profile, const ProfileBinding& binding,
                                 const CalculationSettings& settings)
    : model_(model), profile_(profile), binding_(binding), engine_(std::make_unique<Engine>())
{
    engine_->settings = settings;
    engine_->network = buildNetwork(model);
    engine_->analysis = std::make_unique<SolverAnalysis>(engine_->network);
    SolverWorkspace workspace;
    engine_->base = solveSparse(engine_->network, settings, Start::flat(), *engine_->analysis, workspace);
    engine_->unom.resize(static_cast<std::size_t>(model.nodeCount) + 1);
    for (int k = 0; k <= model.nodeCount; ++k)
        engine_->unom[static_cast<std::size_t>(k)] = nominalVoltage(model, k);
    engine_->limits = defaultLimits(model);
    engine_->branches = std::make_unique<BranchIndex>(model);
}

const CalculationSettings& TimeSeriesStudy::settings() const
{
    return engine_->settings;
}

void TimeSeriesStudy::setLimits(Limits limits)
{
    engine_->limits = std::move(limits);
}

const Limits& TimeSeriesStudy::limits() const
{
    return engine_->limits;
}

TimeSeriesStudy::~TimeSeriesStudy() = default;

void TimeSeriesStudy::stepLoads(int step, StepLoads& loads) const
{
    computeStepLoads(profile_, binding_, model_, step, loads);
}

void TimeSeriesStudy::solve(StepRange range, std::span<StepResult> out, const std::atomic<bool>* cancel,
                            const std::function<void(int)>& progress, const StepHook& hook) const
{
    const int firstBlock = range.first / kStepsPerBlock;
    const int lastBlock = (range.last + kStepsPerBlock - 1) / kStepsPerBlock;
    tbb::enumerable_thread_specific<Engine::Workspace> workspaces;
    std::atomic<int> done{0};
    const Engine& engine = *engine_;
    parallelFor(tbb::blocked_range<int>(firstBlock, lastBlock, 1), [&](const tbb::blocked_range<int>& blocks) {
        Engine::Workspace& w = workspaces.local();
        for (int block = blocks.begin(); block != blocks.end(); ++block) {
            const int first = std::max(range.first, block * kStepsPerBlock);
            const int last = std::min(range.last, (block + 1) * kStepsPerBlock);
            // Each step starts from the one before; a step that failed hands
            // no start on, the next begins from the block's start again.
            Solution previous;
            const Solution* start = engine.blockStart();
            for (int step = first; step < last; ++step) {
                if (cancel && cancel->load(std::memory_order_relaxed))
                    return;
                stepLoads(step, w.loads);
                SolveChanges changes;
                changes.loadP = w.loads.p;
                changes.loadQ = w.loads.q;
                // A start from the step before, solved on w.solver, keeps its factors.
                const Start from = !start               ? Start::flat()
                                   : start == &previous ? Start::continuing(*start)
                                                        : Start::from(*start);
                Solution solution =
                    solveSparse(engine.network, engine.settings, from, *engine.analysis, w.solver, changes);
                StepResult r = engine.summarize(model_, solution, w.loads);
                r.step = profile_.steps[static_cast<std::size_t>(step)];
                if (hook)
                    hook(step, solution, w.loads, r);
                out[static_cast<std::size_t>(step - range.first)] = r;
                if (solution.outcome == SolveOutcome::Converged) {
                    previous = std::move(solution);
                    start = &previous;
                } else {
                    start = engine.blockStart();
                }
                const int count = done.fetch_add(1, std::memory_order_relaxed) + 1;
                if (progress)
                    progress(count);
            }
        }
    });
}

}  // namespace tarvel
