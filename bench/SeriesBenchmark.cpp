// A year of hours (8 784 steps) of a generated 2 000-node grid: the steps
// alone (the network read and its base case solved beforehand), on all cores
// and on one, with the peak resident memory of the process.
#include <cmath>
#include <string>

#include <sys/resource.h>
#include <tbb/global_control.h>

#include <benchmark/benchmark.h>

#include "model/TextFile.h"
#include "series/SeriesJob.h"
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
    state.counters["steps"] = 8784;
    state.counters["iterations_per_step"] = static_cast<double>(iterations) / 8784.0;
    state.counters["unsolved"] = static_cast<double>(unsolved);
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["us_per_step"] = benchmark::Counter(8784, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}

void BM_YearOfHours(benchmark::State& s) { yearOfHours(s, 0); }
void BM_YearOfHoursOneThread(benchmark::State& s) { yearOfHours(s, 1); }
BENCHMARK(BM_YearOfHours)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_YearOfHoursOneThread)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

}  // namespace
