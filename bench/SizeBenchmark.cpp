// Cost of a calculation by network size: the solve alone (flat start to
// convergence, no file I/O) and the whole run, from IEEE 14 (the exact
// method) to generated grids of 100 000 nodes (the sparse one); and the whole
// tarvel-cli process, start to exit.
//
// Goals on the project's 2-core machine, Release build: IEEE 14 solved in
// 5 us and IEEE 57 in 100 us (exact method); IEEE 118 in 0.3 ms and a
// 10 000-node grid in 25 ms (sparse method), 100 000 nodes within 15 times
// that; tarvel-cli on IEEE 57 in 3 ms, on a 9 000-node grid in 40 ms and
// 150 MB, on 100 000 nodes in 30 s and 1 GB. The fully meshed lattice of
// 100 000 nodes: the whole tarvel-cli run in 6 s and 400 MB, at most 35 times
// that of 10 000 nodes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "model/MessageSink.h"
#include "model/ReadNetworkData.h"
#include "model/WorkingFiles.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/InputEcho.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/Reports.h"
#include "powerflow/Solver.h"
#include "powerflow/SparseSolver.h"
#include "bench/BenchSupport.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

using namespace tarvel;
using namespace tarvel::test;

std::string sampleText(const std::string& name)
{
    std::string bytes;
    readFileBytes(sourcePath("samples/" + name), bytes);
    return toCrLf(cp1251ToUtf8(bytes));
}

// Generated grids, made once per size: the meshed grid of the goals (rows
// joined by 30 % of the vertical lines and 10 % diagonals, about 1.4 lines per
// node), whose factor work grows like a planar mesh's (about n^1.5), and a
// regional family closer to real transmission networks: the same mesh cut into
// regions of 16 x 16 positions joined by one tie line to each neighbour.
const std::string& gridText(int nodes, int region = 0)
{
    static std::map<std::pair<int, int>, std::string> texts;
    const auto key = std::make_pair(nodes, region);
    auto it = texts.find(key);
    if (it == texts.end()) {
        GridOptions o;
        o.nodes = nodes;
        o.region = region;
        it = texts.emplace(key, generateGrid(o).text).first;
    }
    return it->second;
}

const std::string& regionalGridText(int nodes)
{
    return gridText(nodes, 16);
}

// The fully meshed lattice of side x side nodes (about 2.2 lines per node),
// made once per side: 100, 173 and 316 give 10 000, 29 929 and 99 856 nodes.
const std::string& latticeText(int side)
{
    static std::map<int, std::string> texts;
    auto it = texts.find(side);
    if (it == texts.end())
        it = texts.emplace(side, generateLattice(side).text).first;
    return it->second;
}

// The model of a text after a whole run, or nothing (the benchmark then
// says why) when the run does not converge.
std::unique_ptr<NetworkModel> solvedModel(benchmark::State& state, const std::string& text)
{
    TempDir dir;
    auto model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    if (runPowerFlow(*model, dir.path(), text, sink) == RunOutcome::Converged)
        return model;
    state.SkipWithError("the run did not converge");
    return nullptr;
}

void solveOnly(benchmark::State& state, const std::string& text)
{
    const std::unique_ptr<NetworkModel> model = solvedModel(state, text);
    if (!model)
        return;
    SolveResult result;
    for (auto _ : state) {
        result = solvePowerFlow(*model, CalculationSettings{});
        benchmark::DoNotOptimize(result);
    }
    if (result.outcome != SolveOutcome::Converged)
        state.SkipWithError("the solve did not converge");
    state.counters["nodes"] = model->nodeCount + 1;
    state.counters["branches"] = model->branchCount;
    state.counters["iterations"] = model->iterationNumber;
}

// tarvel-cli as a user starts it, on a file. (Its peak memory is measured
// outside, with /usr/bin/time: the rusage of a spawned child counts the pages
// of the parent it started from.)
void cliProcess(benchmark::State& state, const std::string& text)
{
    TempDir dir;
    writeBytes(dir / "input.cdu", utf8ToCp1251(text));
    const std::string cli = TARVEL_CLI_PATH;
    const std::string workdir = "--workdir=" + dir.path().string();
    const std::string input = (dir / "input.cdu").string();
    for (auto _ : state) {
        char* argv[] = {const_cast<char*>(cli.c_str()), const_cast<char*>(workdir.c_str()),
                        const_cast<char*>(input.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("tarvel-cli could not be started");
            return;
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("tarvel-cli did not converge");
            return;
        }
    }
}

void BM_SolveIeee14(benchmark::State& s) { solveOnly(s, sampleText("ieee14.cdu")); }
void BM_SolveIeee57(benchmark::State& s) { solveOnly(s, sampleText("ieee57.cdu")); }
void BM_SolveIeee118(benchmark::State& s) { solveOnly(s, sampleText("ieee118.cdu")); }
void BM_SolveIeee300(benchmark::State& s) { solveOnly(s, sampleText("ieee300.cdu")); }
void BM_SolveGrid(benchmark::State& s) { solveOnly(s, gridText(static_cast<int>(s.range(0)))); }
BENCHMARK(BM_SolveIeee14)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SolveIeee57)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SolveIeee118)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SolveIeee300)->Unit(benchmark::kMicrosecond);
// Nodes besides the base node; 99 999 keeps the numbers within 100 000.
BENCHMARK(BM_SolveGrid)->Arg(1000)->Arg(10000)->Arg(99999)->Unit(benchmark::kMillisecond);
void BM_SolveRegionalGrid(benchmark::State& s) { solveOnly(s, regionalGridText(static_cast<int>(s.range(0)))); }
BENCHMARK(BM_SolveRegionalGrid)->Arg(1000)->Arg(10000)->Arg(99999)->Unit(benchmark::kMillisecond);

void BM_SolveLattice(benchmark::State& s) { solveOnly(s, latticeText(static_cast<int>(s.range(0)))); }
BENCHMARK(BM_SolveLattice)->Arg(100)->Arg(173)->Arg(316)->Unit(benchmark::kMillisecond);

// Both orders on the same network: the analysis (ordering, pattern, KLU's
// symbolic step) and the solve from the flat start, with the factor's fill
// and work. range(0): 0 minimum degree, 1 nested dissection.
void orderAndSolve(benchmark::State& state, const std::string& text)
{
    const std::unique_ptr<NetworkModel> model = solvedModel(state, text);
    if (!model)
        return;
    const Network network = buildNetwork(*model);
    const NodeOrdering how = state.range(0) == 0 ? NodeOrdering::MinimumDegree : NodeOrdering::NestedDissection;
    double analyseSeconds = 0;
    FactorStatistics statistics;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const SolverAnalysis analysis(network, how);
        analyseSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        SolverWorkspace workspace;
        const Solution solution = solveSparse(network, CalculationSettings{}, Start::flat(), analysis, workspace);
        benchmark::DoNotOptimize(solution.iterations);
        statistics = factorStatistics(analysis, workspace);
    }
    state.counters["analyse_ms"] = 1e3 * analyseSeconds / static_cast<double>(state.iterations());
    state.counters["factor_entries"] = statistics.entries;
    state.counters["factor_flops"] = statistics.flops;
}
void BM_OrderLattice(benchmark::State& s) { orderAndSolve(s, latticeText(static_cast<int>(s.range(1)))); }
BENCHMARK(BM_OrderLattice)->ArgsProduct({{0, 1}, {100, 173, 316}})->Unit(benchmark::kMillisecond);
void BM_OrderRegionalGrid(benchmark::State& s) { orderAndSolve(s, regionalGridText(static_cast<int>(s.range(1)))); }
BENCHMARK(BM_OrderRegionalGrid)->ArgsProduct({{0, 1}, {10000, 99999}})->Unit(benchmark::kMillisecond);

// Both ways of solving the steps on the same network and analysis order:
// the Jacobian factorised, or GMRES on the decoupled factors.
// range(0): 0 factorised, 1 GMRES.
void stepsAndSolve(benchmark::State& state, const std::string& text)
{
    const std::unique_ptr<NetworkModel> model = solvedModel(state, text);
    if (!model)
        return;
    const Network network = buildNetwork(*model);
    const SolverAnalysis analysis(network, state.range(0) == 0 ? StepSolver::Factorised : StepSolver::Krylov);
    Solution solution;
    for (auto _ : state) {
        SolverWorkspace workspace;
        solution = solveSparse(network, CalculationSettings{}, Start::flat(), analysis, workspace);
        benchmark::DoNotOptimize(solution.iterations);
    }
    state.counters["iterations"] = solution.iterations;
    state.counters["gmres_iterations"] = solution.gmresIterations;
}
void BM_StepsLattice(benchmark::State& s) { stepsAndSolve(s, latticeText(static_cast<int>(s.range(1)))); }
BENCHMARK(BM_StepsLattice)->ArgsProduct({{0, 1}, {50, 100, 173, 316}})->Unit(benchmark::kMillisecond);
void BM_StepsGrid(benchmark::State& s) { stepsAndSolve(s, gridText(static_cast<int>(s.range(1)))); }
BENCHMARK(BM_StepsGrid)->ArgsProduct({{0, 1}, {9000, 30000}})->Unit(benchmark::kMillisecond);
void BM_StepsRegionalGrid(benchmark::State& s) { stepsAndSolve(s, regionalGridText(static_cast<int>(s.range(1)))); }
BENCHMARK(BM_StepsRegionalGrid)->ArgsProduct({{0, 1}, {10000, 99999}})->Unit(benchmark::kMillisecond);

void BM_RunIeee57(benchmark::State& s) { bench::runWholeCalculation(s, sampleText("ieee57.cdu")); }
void BM_RunIeee300(benchmark::State& s) { bench::runWholeCalculation(s, sampleText("ieee300.cdu")); }
void BM_RunGrid(benchmark::State& s) { bench::runWholeCalculation(s, gridText(static_cast<int>(s.range(0)))); }
BENCHMARK(BM_RunIeee57)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunIeee300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunGrid)->Arg(1000)->Arg(10000)->Arg(99999)->Unit(benchmark::kMillisecond);

// The stages of a large network's run besides the solve, one at a time, on
// the solved generated grid: the file's bytes taken as text and written as
// network.cdu (as tarvel-cli takes a ЦДУ file), the
// reading and checks into a new model (as tarvel-cli starts with one), the
// input echo, and the three report files.
void BM_StageInputGrid(benchmark::State& state)
{
    TempDir dir;
    const std::string bytes = utf8ToCp1251(gridText(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        std::string text = cp1251ToUtf8(bytes);
        if (!hasCrLfLineEnds(text))
            text = toCrLf(text);
        benchmark::DoNotOptimize(writeFileBytes(dir / kInputFile, paneTextToCduBytes(text)));
    }
}
void BM_StageReadGrid(benchmark::State& state)
{
    TempDir dir;
    writeFileBytes(dir / kInputFile, paneTextToCduBytes(gridText(static_cast<int>(state.range(0)))));
    CollectingSink sink;
    for (auto _ : state) {
        NetworkModel model;
        model.reading = readNetworkData(model, dir.path(), sink);
        if (!model.reading.accepted)
            state.SkipWithError("the network was refused");
    }
}
void BM_StageEchoGrid(benchmark::State& state)
{
    TempDir dir;
    const std::unique_ptr<NetworkModel> model = solvedModel(state, gridText(static_cast<int>(state.range(0))));
    if (!model)
        return;
    for (auto _ : state) {
        TextFileWriter out(dir / kEchoFile);
        writeInputEcho(*model, out);
    }
}
void BM_StageReportsGrid(benchmark::State& state)
{
    TempDir dir;
    const std::unique_ptr<NetworkModel> model = solvedModel(state, gridText(static_cast<int>(state.range(0))));
    if (!model)
        return;
    CollectingSink sink;
    for (auto _ : state)
        writeReports(*model, dir.path(), sink);
}
BENCHMARK(BM_StageInputGrid)->Arg(9000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageReadGrid)->Arg(9000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageEchoGrid)->Arg(9000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageReportsGrid)->Arg(9000)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_CliIeee57(benchmark::State& s) { cliProcess(s, sampleText("ieee57.cdu")); }
void BM_CliGrid(benchmark::State& s) { cliProcess(s, gridText(static_cast<int>(s.range(0)))); }
BENCHMARK(BM_CliIeee57)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliGrid)->Arg(9000)->Arg(99999)->UseRealTime()->Unit(benchmark::kMillisecond);
void BM_CliLattice(benchmark::State& s) { cliProcess(s, latticeText(static_cast<int>(s.range(0)))); }
BENCHMARK(BM_CliLattice)->Arg(100)->Arg(173)->Arg(316)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
