// A year of hours (8 784 steps) of a generated 2 000-node grid: the steps
// alone (the network read and its base case solved beforehand), on all cores
// and on one, with the peak resident memory of the process; and the N-1 of
// every step of a day (24 steps, every branch out on its own). Besides the
// wall time, the CPU time of the whole process (all threads), since the
// machine may be shared.
#include <cmath>
#include <string>

#include <sys/resource.h>
#include <tbb/global_control.h>

#include <benchmark/benchmark.h>

#include "model/TextFile.h"
#include "series/SeriesJob.h"
#include "study/Outage.h"
#include "tests/support/NetworkGenerator.h"

namespace {

// Hourly shapes per district: a daily swing, a weekly dip and a seasonal
// wave, each district shifted a little.
std::string yearProfile(int hours)
{
    std::string text = "hour,d0,d1,d2,d3,d4,d5,d6,d7,d8,d9\n";
    for (int h = 0; h < hours; ++h) {
        text += std::to_string(h);
        for (int d = 0; d < 10; ++d) {
            const double day = std::sin(2 * M_PI * (h + d) / 24.0);
            const double week = (h / 24) % 7 >= 5 ? -0.08 : 0.0;
            const double season = 0.12 * std::cos(2 * M_PI * h / 8784.0);
            text += "," + tarvel::formatFixed(0.85 + 0.15 * day + week + season, 0, 4);
        }
        text += '\n';
    }
    return text;
}

std::string gridText(int nodes)
{
    tarvel::test::GridOptions options;
    options.nodes = nodes;
    return tarvel::cp1251ToUtf8(tarvel::test::cduText(tarvel::test::generateGrid(options)));
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

void yearOfHours(benchmark::State& state, int threads)
{
    const std::string network = gridText(static_cast<int>(state.range(0)));
    const std::string profile = yearProfile(8784);
    tarvel::SeriesJob job;
    std::string error, note;
    if (job.prepare(network, {}, profile, tarvel::CalculationSettings{}, error, note) != tarvel::SeriesPrepared::Ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::unique_ptr<tbb::global_control> limit;
    if (threads > 0)
        limit = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism, threads);
    long long iterations = 0, unsolved = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        const std::vector<tarvel::StepResult> steps = job.solveAll();
        iterations = 0;
        unsolved = 0;
        for (const tarvel::StepResult& s : steps) {
            iterations += s.iterations;
            unsolved += s.outcome != tarvel::StepOutcome::Solved;
        }
        benchmark::DoNotOptimize(steps.data());
    }
    state.counters["process_cpu_s_per_run"] =
        (processCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
    state.counters["steps"] = 8784;
    state.counters["iterations_per_step"] = static_cast<double>(iterations) / 8784.0;
    state.counters["unsolved"] = static_cast<double>(unsolved);
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["us_per_step"] = benchmark::Counter(8784, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}

void dayOfHoursN1(benchmark::State& state)
{
    const std::string network = gridText(static_cast<int>(state.range(0)));
    tarvel::SeriesJob job;
    std::string error, note;
    if (job.prepare(network, {}, yearProfile(24), tarvel::CalculationSettings{}, error, note) !=
        tarvel::SeriesPrepared::Ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    job.setOutages(tarvel::allBranchOutages(tarvel::BranchIndex(job.model())));
    const double cpuBefore = processCpuSeconds();
    long long solved = 0, insecure = 0;
    for (auto _ : state) {
        const tarvel::SeriesResults results = job.solveWithOutages();
        solved = insecure = 0;
        for (const tarvel::StepResult& s : results.steps) {
            solved += s.outagesSolved;
            insecure += s.outagesNotConverged + s.outagesDiverged + s.outagesSplit + s.outagesWithViolations;
        }
        benchmark::DoNotOptimize(results.steps.data());
    }
    const double pairs = 24.0 * static_cast<double>(job.outages().size());
    state.counters["process_cpu_s_per_run"] =
        (processCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
    state.counters["outages_per_step"] = static_cast<double>(job.outages().size());
    state.counters["outages_solved"] = static_cast<double>(solved);
    state.counters["outages_insecure"] = static_cast<double>(insecure);
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["us_per_outage"] =
        benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_YearOfHours(benchmark::State& s) { yearOfHours(s, 0); }
void BM_YearOfHoursOneThread(benchmark::State& s) { yearOfHours(s, 1); }
BENCHMARK(BM_YearOfHours)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_YearOfHoursOneThread)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
void BM_DayOfHoursN1(benchmark::State& s) { dayOfHoursN1(s); }
BENCHMARK(BM_DayOfHoursN1)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
