#include "series/TimeSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include "powerflow/NetworkResults.h"
#include "powerflow/Solver.h"

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

}  // namespace

// Each thread solves its steps on a copy of the network's tables.
struct TimeSeriesStudy::Engine {
    CalculationSettings settings;
    std::vector<double> unom;  // the Unom written in each node's record, kV
    struct Workspace {
        NetworkModel model;
        StepLoads loads;
    };
    const NetworkModel* network = nullptr;

    StepResult solveStep(Workspace& w, const StepLoads& loads) const
    {
        NetworkModel& m = w.model;
        for (int k = 0; k <= m.nodeCount; ++k) {
            m.nodeLoadP[k] = static_cast<float>(loads.p[static_cast<std::size_t>(k)]);
            m.nodeLoadQ[k] = static_cast<float>(loads.q[static_cast<std::size_t>(k)]);
        }
        const SolveResult solved = solvePowerFlow(m, settings);
        const NetworkResults results = collectResults(m);
        StepResult r;
        r.outcome = stepOutcome(solved.outcome);
        r.iterations = m.iterationNumber;
        for (int k = 1; k <= m.nodeCount; ++k)
            if (m.nodeType[k] == 1)
                r.loadMw += loads.p[static_cast<std::size_t>(k)];
        r.baseMw = -results.nodes[0].p;
        r.lossesMw = results.totalLoss;
        r.vminPu = std::numeric_limits<double>::infinity();
        r.vmaxPu = -std::numeric_limits<double>::infinity();
        for (int k = 0; k <= m.nodeCount; ++k) {
            const double u = unom[static_cast<std::size_t>(k)];
            if (!(u > 0))
                continue;
            const double pu = results.nodes[static_cast<std::size_t>(k)].u / u;
            if (pu < r.vminPu) {
                r.vminPu = pu;
                r.vminNode = m.nodeNumber[k];
            }
            if (pu > r.vmaxPu) {
                r.vmaxPu = pu;
                r.vmaxNode = m.nodeNumber[k];
            }
        }
        return r;
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
    engine_->network = &model_;
    engine_->unom.resize(static_cast<std::size_t>(model.nodeCount) + 1);
    for (int k = 0; k <= model.nodeCount; ++k)
        engine_->unom[static_cast<std::size_t>(k)] = model.nodeUnom[static_cast<std::size_t>(k)];
}

TimeSeriesStudy::~TimeSeriesStudy() = default;

void TimeSeriesStudy::stepLoads(int step, StepLoads& loads) const
{
    computeStepLoads(profile_, binding_, model_, step, loads);
}

void TimeSeriesStudy::solve(StepRange range, std::span<StepResult> out, const std::atomic<bool>* cancel,
                            const std::function<void(int)>& progress) const
{
    const int firstBlock = range.first / kStepsPerBlock;
    const int lastBlock = (range.last + kStepsPerBlock - 1) / kStepsPerBlock;
    tbb::enumerable_thread_specific<Engine::Workspace> workspaces([this] { return Engine::Workspace{model_, {}}; });
    std::atomic<int> done{0};
    tbb::parallel_for(tbb::blocked_range<int>(firstBlock, lastBlock, 1), [&](const tbb::blocked_range<int>& blocks) {
        Engine::Workspace& w = workspaces.local();
        for (int block = blocks.begin(); block != blocks.end(); ++block) {
            const int first = std::max(range.first, block * kStepsPerBlock);
            const int last = std::min(range.last, (block + 1) * kStepsPerBlock);
            for (int step = first; step < last; ++step) {
                if (cancel && cancel->load(std::memory_order_relaxed))
                    return;
                stepLoads(step, w.loads);
                StepResult r = engine_->solveStep(w, w.loads);
                r.step = profile_.steps[static_cast<std::size_t>(step)];
                out[static_cast<std::size_t>(step - range.first)] = r;
                const int count = done.fetch_add(1, std::memory_order_relaxed) + 1;
                if (progress)
                    progress(count);
            }
        }
    });
}

}  // namespace tarvel
