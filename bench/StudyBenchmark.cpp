// The contingency study: every single-branch outage of IEEE 118 and of
// generated grids, by the low-rank correction (Woodbury) and by a
// refactorisation per iteration, on 1 and 2 threads. Counters: outages, the
// time per outage and its split into set-up, factor, solves and checks
// (one thread), and the outages that needed Newton's method.
#include <chrono>
#include <map>

#include <tbb/global_control.h>

#include <benchmark/benchmark.h>

#include "model/MessageSink.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "study/Study.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

namespace tarvel {
namespace {

class QuietSink : public MessageSink {
public:
    void showMessage(const std::string&) override {}
    void warning(const std::string&) override {}
};

NetworkModel readModel(const std::string& text)
{
    test::TempDir dir;
    test::writeBytes(dir / kInputFile, utf8ToCp1251(toCrLf(text)));
    NetworkModel model;
    clearRunTables(model);
    QuietSink sink;
    if (!readNetworkData(model, dir.path(), sink).accepted)
        std::abort();
    return model;
}

const NetworkModel& ieee118()
{
    static const NetworkModel model = readModel(cp1251ToUtf8(test::fileBytes(test::sourcePath("samples/ieee118.cdu"))));
    return model;
}

const NetworkModel& grid(int nodes)
{
    static std::map<int, NetworkModel> models;
    auto it = models.find(nodes);
    if (it == models.end()) {
        test::GridOptions options;
        options.nodes = nodes;
        it = models.emplace(nodes, readModel(test::generateGrid(options).text)).first;
    }
    return it->second;
}

// range(0): method (0 Woodbury, 1 refactor); range(1): threads.
void studyAllOutages(benchmark::State& state, const NetworkModel& model)
{
    StudyOptions options;
    options.method = state.range(0) == 0 ? OutageMethod::Woodbury : OutageMethod::Refactor;
    const StudyBase base(model, defaultLimits(model), options);
    const std::vector<Outage> outages = allBranchOutages(base.branches());
    const int threads = static_cast<int>(state.range(1));
    tbb::global_control control(tbb::global_control::max_allowed_parallelism, threads);
    std::size_t newton = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const StudyResult study = runStudy(base, outages);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        newton = 0;
        for (const OutageResult& r : study.results)
            newton += !r.woodbury;
        benchmark::DoNotOptimize(study.results.data());
    }
    state.counters["outages"] = static_cast<double>(outages.size());
    state.counters["newton"] = static_cast<double>(newton);
    // Wall clock per outage, in milliseconds.
    state.counters["ms_per_outage"] =
        1e3 * seconds / (static_cast<double>(state.iterations()) * static_cast<double>(outages.size()));
    if (threads == 1) {
        // The split, from one more pass on one workspace.
        OutageWorkspace workspace(base);
        for (const Outage& outage : outages)
            evaluateOutage(base, outage, workspace);
        const OutagePhaseTimes& t = workspace.times();
        const double per = 1e6 / static_cast<double>(outages.size());  // microseconds per outage
        state.counters["us_setup"] = t.setup * per;
        state.counters["us_factor"] = t.factor * per;
        state.counters["us_solves"] = t.solves * per;
        state.counters["us_checks"] = t.checks * per;
    }
}

void BM_StudyIeee118(benchmark::State& state)
{
    studyAllOutages(state, ieee118());
}

void BM_StudyGrid(benchmark::State& state)
{
    studyAllOutages(state, grid(static_cast<int>(state.range(2))));
}

BENCHMARK(BM_StudyIeee118)->Args({0, 1})->Args({1, 1})->Args({0, 2})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StudyGrid)
    ->Args({0, 1, 2000})
    ->Args({1, 1, 2000})
    ->Args({0, 1, 10000})
    ->Args({0, 2, 10000})
    ->Args({1, 2, 10000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace tarvel
