#include "series/SeriesJob.h"

#include <atomic>
#include <charconv>
#include <cmath>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "model/MessageSink.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/TaskHandOver.h"
#include "series/ScenarioTable.h"
#include "series/SeriesReports.h"
#include "study/OutageSolver.h"
#include "study/StudyFiles.h"

namespace tarvel {

namespace {

void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

// The outages [first, last) of one step, solved from the step's solution:
// their counts into the step's figures, their violations' rows (and the
// step's own, with the first outage) into rows.
void solveStepOutages(const TimeSeriesStudy& study, const std::vector<Outage>& outages,
                      const std::vector<std::array<double, 2>>& branchShunts, std::size_t first,
                      std::size_t last, const Solution& solution, const StepLoads& loads, StepResult& step,
                      std::string& rows, const std::atomic<bool>* cancel)
{
    StudyOptions options;
    options.settings = study.settings();
    options.branchShunts = branchShunts;
    const StudyBase base(study.model(), study.limits(), options, BaseState{loads.p, loads.q, &solution});
    std::vector<OutageResult> results(last - first);
    // Isolated: a thread waiting here for the outages takes no other step's
    // work, whose solve would reuse the caller's thread-local workspace.
    tbb::this_task_arena::isolate([&] {
        tbb::enumerable_thread_specific<OutageWorkspace> workspaces([&] { return OutageWorkspace(base); });
        parallelFor(tbb::blocked_range<std::size_t>(first, last, 4), [&](const tbb::blocked_range<std::size_t>& range) {
            OutageWorkspace& workspace = workspaces.local();
            for (std::size_t i = range.begin(); i != range.end(); ++i) {
                if (cancel && cancel->load(std::memory_order_relaxed))
                    return;
                results[i - first] = evaluateOutage(base, outages[i], workspace);
            }
        });
    });
    const std::string label = std::to_string(step.step) + ",";
    if (first == 0)
        for (const Violation& v : base.baseResult().violations)
            rows += label + violationCsvLine(base, "base", v);
    for (std::size_t i = first; i < last; ++i) {
        const OutageResult& r = results[i - first];
        switch (r.outcome) {
        case OutageOutcome::Solved:
            ++step.outagesSolved;
            step.outagesWithViolations += !r.violations.empty();
            break;
        case OutageOutcome::NotConverged:
            ++step.outagesNotConverged;
            break;
        case OutageOutcome::Diverged:
            ++step.outagesDiverged;
            break;
        case OutageOutcome::Split:
            ++step.outagesSplit;
            break;
        }
        for (const Violation& v : r.violations)
            rows += label + violationCsvLine(base, outages[i].label, v);
    }
}

void addOutageCounts(StepResult& to, const StepResult& from)
{
    to.outagesSolved += from.outagesSolved;
    to.outagesNotConverged += from.outagesNotConverged;
    to.outagesDiverged += from.outagesDiverged;
    to.outagesSplit += from.outagesSplit;
    to.outagesWithViolations += from.outagesWithViolations;
}

}  // namespace

SeriesJob::SeriesJob() = default;
SeriesJob::~SeriesJob() = default;

SeriesPrepared SeriesJob::prepare(const std::string& cduText, const NodeAreas& areas, std::string_view profileBytes,
                                  const CalculationSettings& settings, std::string& error, std::string& note)
{
    areas_ = areas;
    if (looksLikeScenarioTable(profileBytes)) {
        const ScenarioReadResult read = readScenarioTable(profileBytes);
        if (!read.ok) {
            error = read.error;
            return SeriesPrepared::BadProfile;
        }
        if (areas_.empty()) {
            error = "Таблица сценариев MATPOWER задает нагрузку областей случая MATPOWER, а исходные данные - текст ЦДУ";
            return SeriesPrepared::BadProfile;
        }
        if (chooseAreaNumbering(read.table.profile, areas_))
            note = "Области таблицы сценариев найдены в столбце зон (ZONE) узлов случая";
        if (!scenarioProfile(read.table, areas_, profile_, error))
            return SeriesPrepared::BadProfile;
    } else {
        ProfileReadResult read = readLoadProfile(profileBytes);
        if (!read.ok) {
            error = read.error;
            return SeriesPrepared::BadProfile;
        }
        profile_ = std::move(read.profile);
        if (!areas_.empty() && chooseAreaNumbering(profile_, areas_))
            note = "Области графика нагрузки найдены в столбце зон (ZONE) узлов случая";
    }

    clearRunTables(model_);
    model_.qLimits = settings.qLimits;
    CollectingSink quiet;
    if (!readNetworkText(model_, paneTextToCduBytes(cduText), quiet).accepted)
        return SeriesPrepared::NetworkRejected;
    if (!bindProfile(profile_, model_, areas_, binding_, error))
        return SeriesPrepared::BadProfile;
    study_ = std::make_unique<TimeSeriesStudy>(model_, profile_, binding_, settings);
    return SeriesPrepared::Ready;
}

void SeriesJob::setLimits(Limits limits)
{
    study_->setLimits(std::move(limits));
}

void SeriesJob::setOutages(std::vector<Outage> outages, std::vector<std::array<double, 2>> branchShunts)
{
    outages_ = std::move(outages);
    branchShunts_ = std::move(branchShunts);
    withOutages_ = true;
}

std::vector<StepResult> SeriesJob::solveAll(const std::atomic<bool>* cancel,
                                            const std::function<void(int)>& progress) const
{
    std::vector<StepResult> steps(static_cast<std::size_t>(study_->stepCount()));
    study_->solve({0, study_->stepCount()}, steps, cancel, progress);
    return steps;
}

SeriesResults SeriesJob::solveWithOutages(const std::atomic<bool>* cancel,
                                          const std::function<void(int)>& progress) const
{
    return mergeShares({solveShare(0, 1, cancel, progress)}, study_->stepCount(), withOutages_);
}

SeriesShare SeriesJob::solveShare(int part, int parts, const std::atomic<bool>* cancel,
                                  const std::function<void(int)>& progress) const
{
    SeriesShare share;
    const int stepCount = study_->stepCount();
    const long long perStep = static_cast<long long>(outages_.size());
    if (!withOutages_ || perStep == 0) {
        const StepRange range = stepShare(stepCount, part, parts);
        share.firstStep = range.first;
        share.steps.resize(static_cast<std::size_t>(range.last - range.first));
        study_->solve(range, share.steps, cancel, progress);
        return share;
    }
    // The pairs (step, outage) in step order, dealt out in equal contiguous
    // shares; a share solves the steps of its pairs from their block's start.
    const long long pairs = perStep * stepCount;
    const long long first = pairs * part / parts;
    const long long last = pairs * (part + 1) / parts;
    if (first >= last)
        return share;
    const int firstStep = static_cast<int>(first / perStep);
    const int lastStep = static_cast<int>((last - 1) / perStep) + 1;
    const StepRange range{firstStep - firstStep % kStepsPerBlock, lastStep};
    std::vector<StepResult> solved(static_cast<std::size_t>(range.last - range.first));
    std::vector<std::string> rows(static_cast<std::size_t>(lastStep - firstStep));
    const auto hook = [&](int step, const Solution& solution, const StepLoads& loads, StepResult& result) {
        if (step < firstStep || result.outcome != StepOutcome::Solved)
            return;
        const long long at = perStep * step;
        solveStepOutages(*study_, outages_, branchShunts_, static_cast<std::size_t>(std::max(first, at) - at),
                         static_cast<std::size_t>(std::min(last, at + perStep) - at), solution, loads, result,
                         rows[static_cast<std::size_t>(step - firstStep)], cancel);
    };
    study_->solve(range, solved, cancel, progress, hook);
    share.firstStep = firstStep;
    share.steps.assign(solved.begin() + (firstStep - range.first), solved.end());
    for (const std::string& r : rows)
        share.violations += r;
    return share;
}

SeriesResults mergeShares(const std::vector<SeriesShare>& shares, int stepCount, bool withOutages)
{
    SeriesResults results;
    results.withOutages = withOutages;
    results.steps.resize(static_cast<std::size_t>(stepCount));
    std::vector<char> seen(static_cast<std::size_t>(stepCount), 0);
    for (const SeriesShare& share : shares) {
        for (std::size_t i = 0; i < share.steps.size(); ++i) {
            const std::size_t at = static_cast<std::size_t>(share.firstStep) + i;
            // A step two shares touched: its figures are the same in both,
            // its outages are counted in parts.
            if (seen[at])
                addOutageCounts(results.steps[at], share.steps[i]);
            else
                results.steps[at] = share.steps[i];
            seen[at] = 1;
        }
        results.violations += share.violations;
    }
    return results;
}

std::string seriesSummary(const SeriesResults& results)
{
    int unsolved = 0, insecure = 0;
    for (const StepResult& s : results.steps) {
        unsolved += s.outcome != StepOutcome::Solved;
        insecure += isInsecureStep(s);
    }
    std::string text = "График нагрузки: шагов " + std::to_string(results.steps.size()) + ", не решено " +
                       std::to_string(unsolved) + ", потери энергии " + formatFixed(energyLostMwh(results.steps), 0, 3) +
                       " МВт·ч";
    if (results.withOutages)
        text += ", небезопасных шагов при N-1 " + std::to_string(insecure);
    return text;
}

std::filesystem::path seriesViolationsCsvPath(const std::filesystem::path& prefix)
{
    return violationsCsvPath(prefix);
}

NodeAreas nodeAreasOf(const std::vector<CduConversion::BusArea>& buses)
{
    NodeAreas areas;
    areas.buses.reserve(buses.size());
    for (const CduConversion::BusArea& b : buses)
        areas.buses.push_back({b.node, b.area, b.zone, b.pd});
    return areas;
}

std::string seriesJson(const SeriesResults& results, const CalculationSettings& settings)
{
    const std::vector<StepResult>& steps = results.steps;
    std::string j = "{\n  \"settings\": {\"precision\": ";
    appendNumber(j, settings.precision);
    j += ", \"iterations\": " + std::to_string(settings.iteraz) + "},\n  \"energy_lost_mwh\": ";
    appendNumber(j, energyLostMwh(steps));
    j += ",\n  \"steps\": [";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const StepResult& s = steps[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"step\": " + std::to_string(s.step) + ", \"outcome\": \"" + stepOutcomeName(s.outcome) +
             "\", \"iterations\": " + std::to_string(s.iterations) + ", \"load_mw\": ";
        appendNumber(j, s.loadMw);
        j += ", \"base_mw\": ";
        appendNumber(j, s.baseMw);
        j += ", \"losses_mw\": ";
        appendNumber(j, s.lossesMw);
        if (s.vminNode != 0) {
            j += ", \"vmin\": {\"node\": " + std::to_string(s.vminNode) + ", \"pu\": ";
            appendNumber(j, s.vminPu);
            j += "}, \"vmax\": {\"node\": " + std::to_string(s.vmaxNode) + ", \"pu\": ";
            appendNumber(j, s.vmaxPu);
            j += "}";
        } else {
            j += ", \"vmin\": null, \"vmax\": null";
        }
        j += ", \"max_loading\": ";
        if (std::isfinite(s.maxLoadingPct)) {
            j += "{\"n1\": " + std::to_string(s.maxLoadingStart) + ", \"n2\": " + std::to_string(s.maxLoadingEnd) +
                 ", \"k\": " + std::to_string(s.maxLoadingParallel) + ", \"percent\": ";
            appendNumber(j, s.maxLoadingPct);
            j += "}";
        } else {
            j += "null";
        }
        j += ", \"violations\": " + std::to_string(s.violations);
        if (results.withOutages)
            j += ", \"outages\": {\"solved\": " + std::to_string(s.outagesSolved) +
                 ", \"not_converged\": " + std::to_string(s.outagesNotConverged) +
                 ", \"diverged\": " + std::to_string(s.outagesDiverged) + ", \"split\": " +
                 std::to_string(s.outagesSplit) + ", \"with_violations\": " +
                 std::to_string(s.outagesWithViolations) + "}";
        j += "}";
    }
    j += steps.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return j;
}

bool writeSeriesFiles(const SeriesResults& results, const CalculationSettings& settings,
                      const SeriesOutputs& outputs, std::filesystem::path& failed)
{
    const std::vector<StepResult>& steps = results.steps;
    const bool withOutages = results.withOutages;
    if (!writeTimeSeriesReport(steps, withOutages, outputs.workDir)) {
        failed = outputs.workDir / kTimeSeriesFile;
        return false;
    }
    if (!outputs.csvPrefix.empty() &&
        !replaceFileSafely(stepsCsvPath(outputs.csvPrefix), stepsCsv(steps, withOutages))) {
        failed = stepsCsvPath(outputs.csvPrefix);
        return false;
    }
    if (withOutages && !outputs.csvPrefix.empty() &&
        !replaceFileSafely(seriesViolationsCsvPath(outputs.csvPrefix), "step," + violationsCsvHeader() + results.violations)) {
        failed = seriesViolationsCsvPath(outputs.csvPrefix);
        return false;
    }
    if (!outputs.jsonPath.empty() && !replaceFileSafely(outputs.jsonPath, seriesJson(results, settings))) {
        failed = outputs.jsonPath;
        return false;
    }
    return true;
}

}  // namespace tarvel
