// Frame time of the diagram view of a generated 10 000-node network (offscreen):
// one frame is a pan by 40 pixels and the repaint of a 1280 x 800 view.
// Goal: under 16 ms a frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>

#include "diagram/Layout.h"
#include "diagram/Picture.h"
#include "tests/support/GridTopology.h"
#include "ui/DiagramView.h"

namespace {

using namespace tarvel;

struct Diagram {
    ui::DiagramView view;
    Diagram()
    {
        const diagram::Topology topology = test::meshedTopology(10000, 1);
        view.setPicture(diagram::drawPicture(topology, diagram::layoutTopology(topology), nullptr, {}));
        view.resize(1280, 800);
        view.show();
    }
};

Diagram& diagram10000()
{
    static Diagram d;
    return d;
}

void pan(benchmark::State& state, double scale)
{
    ui::DiagramView& view = diagram10000().view;
    view.fitAll();
    if (scale > 0)
        view.zoomBy(scale / view.transform().m11());
    view.centerOn(view.sceneRect().center());
    QApplication::processEvents();
    int step = 40;
    for (auto _ : state) {
        QScrollBar* bar = view.horizontalScrollBar();
        if (bar->value() + step > bar->maximum() || bar->value() + step < bar->minimum())
            step = -step;
        bar->setValue(bar->value() + step);
        view.viewport()->repaint();
    }
    state.counters["scale"] = view.transform().m11();
}

void BM_PanAtFullSize(benchmark::State& state)
{
    pan(state, 1.0);  // node numbers readable
}
BENCHMARK(BM_PanAtFullSize)->Unit(benchmark::kMillisecond);

void BM_PanWholeNetwork(benchmark::State& state)
{
    pan(state, 0);  // fit to the window: every shape in sight
}
BENCHMARK(BM_PanWholeNetwork)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
