#include "series/SeriesReports.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

#include "model/TextFile.h"

namespace tarvel {

const char* stepOutcomeName(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::Solved:
        return "solved";
    case StepOutcome::NotConverged:
        return "not_converged";
    case StepOutcome::Diverged:
        return "diverged";
    }
    return "diverged";
}

namespace {

void appendShortest(std::string& out, double value)
{
    if (!std::isfinite(value))
        return;
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

// A node number; none (0, a step without figures) left empty.
void appendNode(std::string& out, int32_t node)
{
    if (node != 0)
        out += std::to_string(node);
}

// The branch as an outage list names it: "N1 N2", "N1 N2 K" for the K-th parallel one.
std::string branchName(const StepResult& s)
{
    std::string name = std::to_string(s.maxLoadingStart) + " " + std::to_string(s.maxLoadingEnd);
    if (s.maxLoadingParallel > 1)
        name += " " + std::to_string(s.maxLoadingParallel);
    return name;
}

double voltageExcursion(const StepResult& s)
{
    return std::max(1.0 - s.vminPu, s.vmaxPu - 1.0);
}

std::vector<int> ranked(const std::vector<StepResult>& steps, int count, auto keep, auto key)
{
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(steps.size()); ++i)
        if (steps[static_cast<std::size_t>(i)].outcome == StepOutcome::Solved && keep(steps[static_cast<std::size_t>(i)]))
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return key(steps[static_cast<std::size_t>(a)]) > key(steps[static_cast<std::size_t>(b)]);
    });
    if (static_cast<int>(order.size()) > count)
        order.resize(static_cast<std::size_t>(count));
    return order;
}

}  // namespace

const char* stepOutcomeText(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::Solved:
        return "решен";
    case StepOutcome::NotConverged:
        return "не сошелся";
    case StepOutcome::Diverged:
        return "расходится";
    }
    return "";
}

std::string stepsCsv(const std::vector<StepResult>& steps, bool withOutages)
{
    std::string out = "step,outcome,iterations,load_mw,base_mw,losses_mw,vmin_pu,vmin_node,vmax_pu,vmax_node,"
                      "max_loading_pct,max_loading_branch,violations";
    if (withOutages)
        out += ",outages_solved,outages_not_converged,outages_diverged,outages_split,outages_with_violations";
    out += '\n';
    out.reserve(steps.size() * 160);
    for (const StepResult& s : steps) {
        out += std::to_string(s.step);
        out += ',';
        out += stepOutcomeName(s.outcome);
        out += ',';
        out += std::to_string(s.iterations);
        for (const double v : {s.loadMw, s.baseMw, s.lossesMw, s.vminPu}) {
            out += ',';
            appendShortest(out, v);
        }
        out += ',';
        appendNode(out, s.vminNode);
        out += ',';
        appendShortest(out, s.vmaxPu);
        out += ',';
        appendNode(out, s.vmaxNode);
        out += ',';
        if (std::isfinite(s.maxLoadingPct)) {
            appendShortest(out, s.maxLoadingPct);
            out += ',';
            out += branchName(s);
        } else {
            out += ',';
        }
        out += ',';
        out += std::to_string(s.violations);
        if (withOutages)
            for (const int32_t count : {s.outagesSolved, s.outagesNotConverged, s.outagesDiverged, s.outagesSplit,
                                        s.outagesWithViolations}) {
                out += ',';
                out += std::to_string(count);
            }
        out += '\n';
    }
    return out;
}

std::filesystem::path stepsCsvPath(const std::filesystem::path& prefix)
{
    return std::filesystem::path(prefix.string() + "-steps.csv");
}

double energyLostMwh(const std::vector<StepResult>& steps)
{
    double total = 0;
    for (const StepResult& s : steps)
        if (s.outcome == StepOutcome::Solved)
            total += s.lossesMw;
    return total;
}

std::vector<int> worstByVoltage(const std::vector<StepResult>& steps, int count)
{
    return ranked(steps, count, [](const StepResult&) { return true; }, voltageExcursion);
}

std::vector<int> worstByLoading(const std::vector<StepResult>& steps, int count)
{
    return ranked(
        steps, count, [](const StepResult& s) { return std::isfinite(s.maxLoadingPct); },
        [](const StepResult& s) { return s.maxLoadingPct; });
}

std::vector<int> worstByLosses(const std::vector<StepResult>& steps, int count)
{
    return ranked(steps, count, [](const StepResult&) { return true; }, [](const StepResult& s) { return s.lossesMw; });
}

bool isInsecureStep(const StepResult& s)
{
    return s.outcome == StepOutcome::Solved &&
           s.violations + s.outagesWithViolations + s.outagesNotConverged + s.outagesDiverged + s.outagesSplit > 0;
}

std::string timeSeriesReport(const std::vector<StepResult>& steps, bool withOutages)
{
    int solved = 0, notConverged = 0, diverged = 0;
    for (const StepResult& s : steps) {
        solved += s.outcome == StepOutcome::Solved;
        notConverged += s.outcome == StepOutcome::NotConverged;
        diverged += s.outcome == StepOutcome::Diverged;
    }
    std::string r;
    r += "                   Расчет по графику нагрузки\n\n";
    r += " Шагов: " + formatInt(static_cast<long long>(steps.size())) + ", решено: " + formatInt(solved) +
         ", не сошлось: " + formatInt(notConverged) + ", расходится: " + formatInt(diverged) + "\n";
    r += " Потери энергии за решенные шаги (шаг - 1 час): " + formatFixed(energyLostMwh(steps), 0, 3) + " МВт·ч\n";

    r += "\n Худшие шаги по напряжению (наибольшее отклонение от номинала)\n";
    r += "      Шаг   Umin,о.е.     Узел   Umax,о.е.     Узел\n";
    for (const int i : worstByVoltage(steps, kWorstSteps)) {
        const StepResult& s = steps[static_cast<std::size_t>(i)];
        r += formatInt(s.step, 9) + formatFixed(s.vminPu, 12, 5) + formatInt(s.vminNode, 9) +
             formatFixed(s.vmaxPu, 12, 5) + formatInt(s.vmaxNode, 9) + "\n";
    }

    r += "\n Худшие шаги по загрузке ветвей\n";
    const std::vector<int> loading = worstByLoading(steps, kWorstSteps);
    if (loading.empty()) {
        r += " Допустимые токи ветвей не заданы\n";
    } else {
        r += "      Шаг   Загрузка,%   Ветвь\n";
        for (const int i : loading) {
            const StepResult& s = steps[static_cast<std::size_t>(i)];
            r += formatInt(s.step, 9) + formatFixed(s.maxLoadingPct, 13, 1) + "   " + branchName(s) + "\n";
        }
    }

    r += "\n Худшие шаги по потерям мощности\n";
    r += "      Шаг   Потери,МВт   Нагрузка,МВт   Баланс.узел,МВт\n";
    for (const int i : worstByLosses(steps, kWorstSteps)) {
        const StepResult& s = steps[static_cast<std::size_t>(i)];
        r += formatInt(s.step, 9) + formatFixed(s.lossesMw, 13, 3) + formatFixed(s.loadMw, 15, 3) +
             formatFixed(s.baseMw, 18, 3) + "\n";
    }

    if (withOutages) {
        r += "\n Шаги, небезопасные при отключении одной ветви (N-1)\n";
        r += "      Шаг   Нарушений в шаге   Отключений с нарушениями   Не решено   Разделение сети\n";
        int shown = 0;
        for (const StepResult& s : steps) {
            if (!isInsecureStep(s))
                continue;
            r += formatInt(s.step, 9) + formatInt(s.violations, 19) + formatInt(s.outagesWithViolations, 27) +
                 formatInt(s.outagesNotConverged + s.outagesDiverged, 12) + formatInt(s.outagesSplit, 18) + "\n";
            ++shown;
        }
        if (shown == 0)
            r += " Нет\n";
    }

    r += "\n Шаги, расчет которых не удался\n";
    if (notConverged + diverged == 0) {
        r += " Нет\n";
    } else {
        r += "      Шаг   Итераций   Исход          Баланс.узел,МВт   Наибольший небаланс\n";
        for (const StepResult& s : steps) {
            if (s.outcome == StepOutcome::Solved)
                continue;
            // Both outcomes are ten letters long.
            r += formatInt(s.step, 9) + formatInt(s.iterations, 11) + "   " + stepOutcomeText(s.outcome) +
                 formatFixed(s.baseShareMw, 20, 1);
            if (s.worstNode != 0) {
                r += "   узел " + formatInt(s.worstNode);
                r += std::isfinite(s.worstMismatchMva) ? ", " + formatGeneral(s.worstMismatchMva, 0, 4) + " МВА"
                                                       : ": не число";
            }
            r += "\n";
        }
    }
    return r;
}

bool writeTimeSeriesReport(const std::vector<StepResult>& steps, bool withOutages,
                           const std::filesystem::path& workDir)
{
    return replaceFileSafely(workDir / kTimeSeriesFile, utf8ToCp1251(toCrLf(timeSeriesReport(steps, withOutages))));
}

}  // namespace tarvel
