// Whole power-flow runs as the window starts them: write network.cdu, read and
// check it, echo, iterate, write every report. Goal: the largest network the
// tables hold (99 nodes, 149 branches) in under 5 ms on one core.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/Reports.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

namespace tarvel::bench {

void runWholeCalculation(benchmark::State& state, const std::string& text)
{
    test::TempDir dir;
    auto model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    RunOutcome outcome = RunOutcome::Rejected;
    for (auto _ : state) {
        outcome = runPowerFlow(*model, dir.path(), text, sink);
        benchmark::DoNotOptimize(outcome);
    }
    if (outcome != RunOutcome::Converged)
        state.SkipWithError("the run did not converge");
    state.counters["nodes"] = model->nodeCount + 1;
    state.counters["branches"] = model->branchCount;
    state.counters["iterations"] = model->iterationNumber;
}

}  // namespace tarvel::bench

namespace {

using namespace tarvel;
using namespace tarvel::test;
using tarvel::bench::runWholeCalculation;

std::string largestNetwork()
{
    NetworkOptions o;
    o.nodes = 99;
    o.extraBranches = 50;  // 149 branches
    o.districts = 5;
    o.transformers = 6;
    o.fixedVoltageNodes = 3;
    o.shunts = 4;
    o.seed = 7;
    return generateNetwork(o).text;
}

std::string ieee14()
{
    std::string text;
    readTextFile(sourcePath("samples/ieee14.cdu"), text);
    return text;
}


void BM_Run99Nodes149Branches(benchmark::State& state)
{
    runWholeCalculation(state, largestNetwork());
}
BENCHMARK(BM_Run99Nodes149Branches)->Unit(benchmark::kMillisecond);

void BM_RunIeee14(benchmark::State& state)
{
    runWholeCalculation(state, ieee14());
}
BENCHMARK(BM_RunIeee14)->Unit(benchmark::kMillisecond);

// The report stage alone on the solved largest network.
void BM_Reports99Nodes(benchmark::State& state)
{
    TempDir dir;
    auto model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    if (runPowerFlow(*model, dir.path(), largestNetwork(), sink) != RunOutcome::Converged) {
        state.SkipWithError("the run did not converge");
        return;
    }
    for (auto _ : state)
        writeReports(*model, dir.path(), sink);
}
BENCHMARK(BM_Reports99Nodes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
