// Frame time of the diagram view of a generated 10 000-node network (offscreen,
// a 1280 x 800 view). Pan: a move by 40 pixels as a drag makes it, the view
// scrolling what it shows and painting the strip that comes into sight.
// Redraw: the whole view painted anew at the same scale; zoom step: at a new
// scale each frame. Goal: under 16 ms a frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGraphicsItem>
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
        diagram::Picture picture = diagram::drawPicture(topology, diagram::layoutTopology(topology), nullptr, {});
        // Voltages spread over the whole colour scale, as after a calculation.
        for (std::size_t k = 0; k < picture.nodes.size(); ++k)
            picture.nodes[k].fill = diagram::deviationColor(static_cast<double>(k * 37 % 241) / 10 - 12);
        view.setPicture(picture);
        view.resize(1280, 800);
        view.show();
    }
};

Diagram& diagram10000()
{
    static Diagram d;
    return d;
}

enum class Frame { Pan, Redraw, ZoomStep };

void frames(benchmark::State& state, double scale, Frame kind)
{
    ui::DiagramView& view = diagram10000().view;
    view.fitAll();
    if (scale > 0)
        view.zoomBy(scale / view.transform().m11());
    view.centerOn(view.nodeItem(1)->scenePos());  // the base node, amid the network
    QApplication::processEvents();
    // Back and forth over 400 pixels around the base node.
    int frame = 0;
    for (auto _ : state) {
        if (kind == Frame::ZoomStep) {
            view.zoomBy(frame++ % 2 == 0 ? 1 / 1.2 : 1.2);  // a notch of the wheel out, then in
            view.viewport()->repaint();
            continue;
        }
        const bool forth = (frame++ / 10) % 2 == 0;
        QScrollBar* bar = view.horizontalScrollBar();
        bar->setValue(bar->value() + (forth ? 40 : -40));
        if (kind == Frame::Redraw)
            view.viewport()->repaint();
        else
            QApplication::processEvents();  // paints what the scroll exposed
    }
    state.counters["scale"] = view.transform().m11();
    state.counters["shapes"] = static_cast<double>(view.items(view.viewport()->rect()).size());  // in sight
}

// Scale 1: node numbers readable; scale 0: the whole network in the window.
void BM_PanAtFullSize(benchmark::State& state)
{
    frames(state, 1.0, Frame::Pan);
}
BENCHMARK(BM_PanAtFullSize)->Unit(benchmark::kMillisecond);

void BM_PanWholeNetwork(benchmark::State& state)
{
    frames(state, 0, Frame::Pan);
}
BENCHMARK(BM_PanWholeNetwork)->Unit(benchmark::kMillisecond);

void BM_RedrawAtFullSize(benchmark::State& state)
{
    frames(state, 1.0, Frame::Redraw);
}
BENCHMARK(BM_RedrawAtFullSize)->Unit(benchmark::kMillisecond);

void BM_RedrawWholeNetwork(benchmark::State& state)
{
    frames(state, 0, Frame::Redraw);
}
BENCHMARK(BM_RedrawWholeNetwork)->Unit(benchmark::kMillisecond);

// Zoom steps out of the fitted view and back: every frame at a new scale.
void BM_ZoomStepWholeNetwork(benchmark::State& state)
{
    frames(state, 0, Frame::ZoomStep);
}
BENCHMARK(BM_ZoomStepWholeNetwork)->Unit(benchmark::kMillisecond);

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
