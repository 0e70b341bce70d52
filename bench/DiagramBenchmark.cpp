// Layout of generated networks by Graphviz, as the "Схема" tab and
// tarvel-cli --diagram compute it. Goal: 10 000 nodes in at most 3 s.
#include <benchmark/benchmark.h>

#include "diagram/Layout.h"
#include "diagram/Picture.h"
#include "diagram/SvgWriter.h"
#include "tests/support/GridTopology.h"

namespace {

using namespace tarvel;

void layoutOf(benchmark::State& state, diagram::Topology (*make)(int, uint32_t), diagram::LayoutEngine engine)
{
    const diagram::Topology topology = make(static_cast<int>(state.range(0)), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(diagram::layoutTopology(topology, engine));
    state.counters["nodes"] = static_cast<double>(topology.nodeNumbers.size());
}

void BM_LayoutMeshedSfdp(benchmark::State& state)
{
    layoutOf(state, test::meshedTopology, diagram::LayoutEngine::ForceDirected);
}
BENCHMARK(BM_LayoutMeshedSfdp)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_LayoutRadialDot(benchmark::State& state)
{
    layoutOf(state, test::radialTopology, diagram::LayoutEngine::Layered);
}
BENCHMARK(BM_LayoutRadialDot)->Arg(100)->Arg(1000)->Arg(1500)->Arg(3000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_LayoutRadialSfdp(benchmark::State& state)
{
    layoutOf(state, test::radialTopology, diagram::LayoutEngine::ForceDirected);
}
BENCHMARK(BM_LayoutRadialSfdp)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The picture and its SVG text, after the layout.
void BM_SvgOf10000Nodes(benchmark::State& state)
{
    const diagram::Topology topology = test::meshedTopology(10000, 1);
    const diagram::Layout layout = diagram::layoutTopology(topology);
    for (auto _ : state) {
        const diagram::Picture picture = diagram::drawPicture(topology, layout, nullptr, {});
        benchmark::DoNotOptimize(diagram::svgText(picture));
    }
}
BENCHMARK(BM_SvgOf10000Nodes)->Unit(benchmark::kMillisecond);

}  // namespace
