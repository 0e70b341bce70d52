#include "study/Study.h"

#include <algorithm>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>

#include "powerflow/TaskHandOver.h"

namespace tarvel {

StudyResult runStudy(const StudyBase& base, std::vector<Outage> outages, StudyControl* control)
{
    StudyResult study;
    study.outages = std::move(outages);
    const std::size_t count = study.outages.size();
    study.results.resize(count);
    study.solved.assign(count, 0);
    std::atomic<bool> stopped{false};
    tbb::enumerable_thread_specific<OutageWorkspace> workspaces([&] { return OutageWorkspace(base); });
    // Small chunks: an outage costs from microseconds to a few refactorisations,
    // and cancel is looked at before each one.
    parallelFor(tbb::blocked_range<std::size_t>(0, count, 4), [&](const tbb::blocked_range<std::size_t>& range) {
        OutageWorkspace& workspace = workspaces.local();
        for (std::size_t i = range.begin(); i != range.end(); ++i) {
            if (control && control->cancel.load(std::memory_order_relaxed)) {
                stopped = true;
                break;
            }
            study.results[i] = evaluateOutage(base, study.outages[i], workspace);
            study.solved[i] = 1;
            if (control)
                control->done.fetch_add(1, std::memory_order_relaxed);
        }
    });
    study.cancelled = stopped.load();
    return study;
}

bool isInsecure(const OutageResult& result)
{
    return result.outcome != OutageOutcome::Solved || !result.violations.empty();
}

namespace {

int category(const OutageResult& r)
{
    switch (r.outcome) {
    case OutageOutcome::Split:
        return 0;
    case OutageOutcome::NotConverged:
    case OutageOutcome::Diverged:
        return 1;
    case OutageOutcome::Solved:
        break;
    }
    return 2;
}

}  // namespace

std::vector<std::size_t> rankBySeverity(const std::vector<OutageResult>& results)
{
    std::vector<std::size_t> order(results.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const OutageResult& x = results[a];
        const OutageResult& y = results[b];
        if (category(x) != category(y))
            return category(x) < category(y);
        if (category(x) == 0 && x.lostLoadMw != y.lostLoadMw)
            return x.lostLoadMw > y.lostLoadMw;
        if (category(x) == 1)
            return false;
        return x.severity > y.severity;
    });
    return order;
}

StudyCounts countOutcomes(const std::vector<OutageResult>& results)
{
    StudyCounts c;
    c.outages = results.size();
    for (const OutageResult& r : results) {
        if (r.outcome == OutageOutcome::Split)
            ++c.splits;
        else if (r.outcome != OutageOutcome::Solved)
            ++c.failed;
        else if (r.violations.empty())
            ++c.secure;
        else
            ++c.violations;
    }
    return c;
}

}  // namespace tarvel
