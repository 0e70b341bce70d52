// The diagram core: layout by Graphviz, the session's layout cache, the
// reader's findings on the picture, the figures of a real run, and where the
// records of the input stand.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "diagram/Layout.h"
#include "diagram/OutageOverlay.h"
#include "diagram/RunDiagram.h"
#include "diagram/SvgWriter.h"
#include "model/MessageSink.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/GridTopology.h"
#include "tests/support/TestSupport.h"

namespace tarvel::diagram {
namespace {

struct NetworkRun {
    test::TempDir dir;
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    RunOutcome outcome{};
    DiagramData data;

    explicit NetworkRun(const std::string& text)
    {
        CollectingSink sink;
        outcome = runPowerFlow(*model, dir.path(), toCrLf(text), sink, ',');
        const bool accepted = outcome == RunOutcome::Converged || outcome == RunOutcome::NotConverged;
        data = diagramDataOfRun(*model, accepted);
    }
};

std::string sampleText(const char* name)
{
    return cp1251ToUtf8(test::fileBytes(test::sourcePath(std::string("samples/") + name)));
}

const NodeShape& nodeNumbered(const Picture& p, int32_t number)
{
    for (const NodeShape& n : p.nodes)
        if (n.number == number)
            return n;
    throw std::runtime_error("no node " + std::to_string(number));
}

const BranchShape& branchBetween(const Picture& p, int32_t a, int32_t b)
{
    for (const BranchShape& s : p.branches)
        if (s.startNumber == a && s.endNumber == b)
            return s;
    throw std::runtime_error("no branch");
}

TEST(DiagramLayout, SameTopologyGivesTheSamePlacesAndEveryNodeItsOwn)
{
    const Topology t = test::meshedTopology(600, 7);
    const Layout first = layoutTopology(t);
    const Layout second = layoutTopology(t);
    EXPECT_EQ(first.engine, LayoutEngine::ForceDirected);
    ASSERT_EQ(first.positions.size(), t.nodeNumbers.size());
    std::set<std::pair<long, long>> cells;
    for (std::size_t k = 0; k < first.positions.size(); ++k) {
        const Point p = first.positions[k];
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        // Graphviz sums forces in an order that follows memory addresses: the
        // same to far below a pixel, not to the last bit.
        EXPECT_NEAR(p.x, second.positions[k].x, 0.01);
        EXPECT_NEAR(p.y, second.positions[k].y, 0.01);
        // No two nodes on top of each other (cells of a node's size).
        EXPECT_TRUE(cells.emplace(std::lround(p.x / 4), std::lround(p.y / 4)).second) << "node " << k;
    }
    // The median branch has the drawing's branch length.
    std::vector<double> lengths;
    for (const TopologyBranch& b : t.branches) {
        const Point p = first.positions[static_cast<std::size_t>(b.from)];
        const Point q = first.positions[static_cast<std::size_t>(b.to)];
        lengths.push_back(std::hypot(p.x - q.x, p.y - q.y));
    }
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<long>(lengths.size() / 2), lengths.end());
    EXPECT_NEAR(lengths[lengths.size() / 2], kBranchLength, 1.0);
}

TEST(DiagramLayout, RadialFeedersHangInLayersFromTheBaseNode)
{
    const Topology tree = test::radialTopology(300, 3);
    ASSERT_EQ(chooseEngine(tree), LayoutEngine::Layered);
    EXPECT_EQ(chooseEngine(test::meshedTopology(300, 3)), LayoutEngine::ForceDirected);
    EXPECT_EQ(chooseEngine(test::radialTopology(static_cast<int>(kLayeredNodeLimit) + 1)), LayoutEngine::ForceDirected);

    const Layout layout = layoutTopology(tree);
    // Every branch goes down from the node nearer the base to the farther one.
    for (const TopologyBranch& b : tree.branches)
        EXPECT_LT(layout.positions[static_cast<std::size_t>(b.from)].y, layout.positions[static_cast<std::size_t>(b.to)].y);
}

TEST(DiagramLayout, CacheKeepsThePlacesWhileOnlyLoadsChange)
{
    std::string text = sampleText("ieee14.cdu");
    NetworkRun before(text);
    LayoutCache cache;
    cache.store(before.data.topology, layoutTopology(before.data.topology));

    // Node 9's load doubled: the same topology, the same places.
    const std::string load = "0201 0 9 220 29.5 16.6";
    text.replace(text.find(load), load.size(), "0201 0 9 220 59.0 16.6");
    NetworkRun loaded(text);
    ASSERT_NE(cache.find(loaded.data.topology), nullptr);

    // A branch moved: laid out anew.
    const std::string branch = "0301 0 9 14";
    text.replace(text.find(branch), branch.size(), "0301 0 9 13");
    NetworkRun moved(text);
    EXPECT_EQ(cache.find(moved.data.topology), nullptr);
}

TEST(DiagramPicture, Ieee14ShowsKindsFlowsAndVoltages)
{
    NetworkRun run(sampleText("ieee14.cdu"));
    ASSERT_EQ(run.outcome, RunOutcome::Converged);
    const Picture p = pictureOf(run.data, layoutTopology(run.data.topology));
    ASSERT_TRUE(p.withResults);
    EXPECT_EQ(nodeNumbered(p, 1).kind, NodeKind::Base);
    EXPECT_EQ(nodeNumbered(p, 2).kind, NodeKind::FixedVoltage);
    EXPECT_EQ(nodeNumbered(p, 4).kind, NodeKind::Load);
    for (const NodeShape& n : p.nodes)
        EXPECT_FALSE(n.warning) << n.number;

    // network.rez: 1-2 carries -156.88 MW at node 1 (the most of all), so from 1 to 2;
    // 3-4 has +23.29 at node 3, so it flows from 4 to 3; 4-7 is a transformer.
    EXPECT_EQ(branchBetween(p, 1, 2).direction, 1);
    EXPECT_DOUBLE_EQ(branchBetween(p, 1, 2).width, 6.0);
    EXPECT_EQ(branchBetween(p, 3, 4).direction, -1);
    EXPECT_TRUE(branchBetween(p, 4, 7).transformer);
    EXPECT_FALSE(branchBetween(p, 1, 2).transformer);
    EXPECT_NE(branchBetween(p, 1, 2).text.find("P12 = -156.88 МВт, Q12 = 20.40 Мвар"), std::string::npos);

    // Node 4: 223.89 kV at 220 nominal is +1.77 %: a little red, not the scale's end.
    const NodeShape& n4 = nodeNumbered(p, 4);
    EXPECT_NE(n4.text.find("V = 223.89 кВ (Uном 220.00 кВ, +1.77 %)"), std::string::npos) << n4.text;
    EXPECT_EQ(n4.fill, deviationColor(100.0 * (223.89 - 220) / 220));
    EXPECT_GT(n4.fill.r, n4.fill.b);
    EXPECT_EQ(deviationColor(-25), deviationColor(-kScaleLimit));
    EXPECT_EQ(deviationColor(0), (Color{0xf7, 0xf7, 0xf7}));
}

// An outage over IEEE 14's base case: 1-2 out, node 8 cut off (as if), node
// 14 low and 2-3 overloaded; every other node at nominal and branch idle.
TEST(DiagramPicture, AnOutageMarksItsBranchesAndNodesAndTellsItsOwnFigures)
{
    NetworkRun run(sampleText("ieee14.cdu"));
    ASSERT_EQ(run.outcome, RunOutcome::Converged);
    Picture p = pictureOf(run.data, layoutTopology(run.data.topology));
    const NodeShape base14 = nodeNumbered(p, 14);

    OutageOverlay overlay;
    overlay.label = "1-2";
    overlay.outcome = "решено";
    const NetworkModel& model = *run.model;
    overlay.nodes.resize(model.nodeCount + 1);
    for (int k = 0; k <= model.nodeCount; ++k) {
        overlay.nodes[k].unom = nominalVoltage(model, k);
        overlay.nodes[k].u = overlay.nodes[k].unom;
        overlay.nodes[k].cutOff = model.nodeNumber[k] == 8;
        if (model.nodeNumber[k] == 14) {
            overlay.nodes[k].u = 0.93 * overlay.nodes[k].unom;
            overlay.nodes[k].violations = {"узел 14: ниже предела"};
        }
    }
    overlay.branches.resize(model.branchCount + 1);
    for (int i = 1; i <= model.branchCount; ++i) {
        const int a = model.nodeNumber[model.branchStartIndex[i]], b = model.nodeNumber[model.branchEndIndex[i]];
        OutageBranchState& s = overlay.branches[i];
        s.out = a == 1 && b == 2;
        if (a == 2 && b == 3) {
            s.p12 = 80;  // received at 2: the flow goes from 3 to 2
            s.current = 0.21;
            s.loading = 140;
            s.violations = {"перегрузка ветви 2-3"};
        }
        if (a == 2 && b == 4)
            s.p12 = -20;
    }
    overlayOutage(p, overlay);

    EXPECT_EQ(p.outage, "1-2");
    const BranchShape& out = branchBetween(p, 1, 2);
    EXPECT_TRUE(out.outaged);
    EXPECT_EQ(out.direction, 0);
    EXPECT_NE(out.text.find("Ветвь отключена"), std::string::npos);
    const BranchShape& heavy = branchBetween(p, 2, 3);
    EXPECT_TRUE(heavy.violation);
    EXPECT_FALSE(heavy.outaged);
    EXPECT_DOUBLE_EQ(heavy.width, 6.0);
    EXPECT_EQ(heavy.direction, -1);
    EXPECT_NE(heavy.text.find("I = 0.210 кА, загрузка 140.0 %\nперегрузка ветви 2-3"), std::string::npos) << heavy.text;
    EXPECT_EQ(branchBetween(p, 2, 4).direction, 1);
    EXPECT_DOUBLE_EQ(branchBetween(p, 2, 4).width, 1.0 + 5.0 * std::sqrt(20.0 / 80.0));
    EXPECT_FALSE(branchBetween(p, 2, 4).violation);
    int dashed = 0;
    for (const BranchShape& b : p.branches)
        dashed += b.outaged;
    EXPECT_EQ(dashed, 1);

    const NodeShape& low = nodeNumbered(p, 14);
    EXPECT_TRUE(low.violation);
    EXPECT_EQ(low.fill, deviationColor(-7.0));
    EXPECT_NE(low.fill, base14.fill);
    EXPECT_NE(low.text.find("0.9300 о.е. (Uном " + formatFixed(overlay.nodes[13].unom, 0, 2) + " кВ, -7.00 %)"),
              std::string::npos)
        << low.text;
    EXPECT_NE(low.text.find("Отключение: 1-2"), std::string::npos);
    const NodeShape& apart = nodeNumbered(p, 8);
    EXPECT_TRUE(apart.cutOff);
    EXPECT_EQ(apart.fill, noResultColor());
    EXPECT_NE(apart.text.find("Узел отделен от базового узла"), std::string::npos);
    EXPECT_FALSE(nodeNumbered(p, 4).violation);
    EXPECT_FALSE(nodeNumbered(p, 4).cutOff);
}

TEST(DiagramSvg, AFailedWriteLeavesTheEarlierPictureWhole)
{
    NetworkRun run(sampleText("ieee14.cdu"));
    const Picture p = pictureOf(run.data, layoutTopology(run.data.topology));
    const std::filesystem::path file = run.dir.path() / "scheme.svg";
    ASSERT_TRUE(writeSvg(p, file));
    EXPECT_EQ(test::fileBytes(file), svgText(p));

    // The disk fills while it is written: the old file stays, and no
    // temporary is left beside it.
    writeFileBytes(file, "earlier");
    seam::failWritesAfter(100);
    EXPECT_FALSE(writeSvg(p, file));
    seam::failWritesAfter(std::nullopt);
    EXPECT_EQ(test::fileBytes(file), "earlier");
    for (const auto& entry : std::filesystem::directory_iterator(run.dir.path()))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
}

TEST(DiagramPicture, DistrictsGetTintsOnlyWhereTheyLieApart)
{
    NetworkRun districts(sampleText("districts.cdu"));
    EXPECT_GE(pictureOf(districts.data, layoutTopology(districts.data.topology)).hulls.size(), 4u);
    // Districts in one ring and its feeders, numbers dealt round-robin: all interleaved.
    Topology mixed = test::meshedTopology(800, 2);
    for (std::size_t k = 1; k < mixed.nodeNumbers.size(); ++k)
        mixed.nodeNumbers[k] = static_cast<int32_t>((1 + k % 4) * 10000 + k);
    EXPECT_TRUE(drawPicture(mixed, layoutTopology(mixed), nullptr, {}).hulls.empty());
}

double distanceToSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// How close a tint comes to p: 0 inside its polygon, else the distance to
// its outline or nearest sleeve, before the margin.
double tintDistance(const Hull& h, Point p)
{
    double nearest = std::numeric_limits<double>::infinity();
    for (const auto& [a, b] : h.sleeves)
        nearest = std::min(nearest, distanceToSegment(p, a, b));
    const std::size_t n = h.polygon.size();
    int left = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point a = h.polygon[i], b = h.polygon[(i + 1) % n];
        nearest = std::min(nearest, distanceToSegment(p, a, b));
        left += (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x) >= 0;
    }
    return n >= 3 && left == static_cast<int>(n) ? 0.0 : nearest;
}

// Every node of another district keeps its whole symbol off a district's tint.
void expectNoTintOverOthers(const Picture& p)
{
    for (const Hull& h : p.hulls) {
        for (const NodeShape& n : p.nodes) {
            if (districtOf(n.number) != h.district) {
                EXPECT_GE(tintDistance(h, n.at), kHullMargin + kNodeRadius)
                    << "the tint of district " << h.district << " covers node " << n.number;
            }
        }
    }
}

TEST(DiagramPicture, NoDistrictTintCoversANodeOfAnother)
{
    NetworkRun districts(sampleText("districts.cdu"));
    const Picture p = pictureOf(districts.data, layoutTopology(districts.data.topology));
    EXPECT_GE(p.hulls.size(), 4u);
    expectNoTintOverOthers(p);
    // The legend names every tint.
    const std::string svg = svgText(p);
    EXPECT_NE(svg.find(">Районы</text>"), std::string::npos);
    for (const Hull& h : p.hulls)
        EXPECT_NE(svg.find(">" + districtCaption(h.district) + "</text>"), std::string::npos);

    // District 1 bends round a node of district 2, which its convex hull would
    // cover: it is tinted along its own nodes and branches instead.
    Topology t;
    t.nodeNumbers = {100, 101, 102, 200, 201};
    t.nodeRecords = {0, 1, 2, 3, 4};
    t.nodeTypes = {3, 1, 1, 1, 1};
    t.branches = {{0, 1, 1, false}, {1, 2, 2, false}, {1, 3, 3, false}, {3, 4, 4, false}};
    Layout bent;
    bent.positions = {{0, 0}, {200, 0}, {200, 200}, {120, 60}, {120, -200}};
    const Picture q = drawPicture(t, bent, nullptr, {});
    ASSERT_EQ(q.hulls.size(), 2u);
    EXPECT_TRUE(q.hulls[0].polygon.empty());
    EXPECT_EQ(q.hulls[0].sleeves.size(), 5u);  // three nodes, two branches
    EXPECT_FALSE(q.hulls[1].polygon.empty());
    expectNoTintOverOthers(q);
}

TEST(DiagramPicture, RefusedDataShowTheReadersFindingsWhereTheyBelong)
{
    // Node 3 has no branch, branch 2-7 names a node that is not given, nodes
    // 5 and 6 hang together away from the base node, 8's nominal voltage is 0.
    NetworkRun run("0102 0 1 110 0 0 0 0 0 0 0\n"
            "0201 0 2 110 10 5 0 0 0 0 0\n"
            "0201 0 3 110 1 1 0 0 0 0 0\n"
            "0201 0 5 110 1 1 0 0 0 0 0\n"
            "0201 0 6 110 1 1 0 0 0 0 0\n"
            "0201 0 8 0 1 1 0 0 0 0 0\n"
            "0301 0 1 2 5 20 -100 1 0 0 0\n"
            "0301 0 2 7 5 20 -100 1 0 0 0\n"
            "0301 0 5 6 5 20 -100 1 0 0 0\n"
            "0301 0 2 8 5 20 -100 1 0 0 0\n");
    ASSERT_EQ(run.outcome, RunOutcome::Rejected);
    const Picture p = pictureOf(run.data, layoutTopology(run.data.topology));
    EXPECT_FALSE(p.withResults);

    EXPECT_TRUE(nodeNumbered(p, 3).warning);
    EXPECT_NE(nodeNumbered(p, 3).text.find("Ошибка связи 1. Нет ветвей для узла 3"), std::string::npos);
    EXPECT_EQ(nodeNumbered(p, 7).kind, NodeKind::Unknown);
    EXPECT_TRUE(branchBetween(p, 2, 7).warning);
    EXPECT_NE(branchBetween(p, 2, 7).text.find("Ошибка связи 2"), std::string::npos);
    EXPECT_TRUE(nodeNumbered(p, 5).warning);  // an island
    EXPECT_TRUE(nodeNumbered(p, 6).warning);
    EXPECT_FALSE(nodeNumbered(p, 1).warning);
    EXPECT_FALSE(nodeNumbered(p, 2).warning);
    // "U ном. велико или мало" names no node: a note above the diagram.
    ASSERT_EQ(p.notes.size(), 1u);
    EXPECT_EQ(p.notes[0], "Числовая ошибка 2. U ном. велико или мало");
}

TEST(DiagramSize, TheTooLargeTextGroupsItsFiguresByThrees)
{
    EXPECT_EQ(tooLargeText(2, 200000),
              "Схема не строится: узлов 2, ветвей 200\u00a0000, больше 200\u00a0000 элементов, на таком рисунке "
              "ничего не разобрать.");
    EXPECT_NE(tooLargeText(1234567, 999).find("узлов 1\u00a0234\u00a0567, ветвей 999,"), std::string::npos);
}

TEST(DiagramFindings, ListsAndTwoLineMessagesReadAsOneLinePerElement)
{
    // Twelve nodes apart from the base node, a reactance too large and a
    // transformer at the base node (two lines each in network.err).
    std::vector<Finding> findings;
    findings.push_back({FindingKind::NotJoinedToBase, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, std::nullopt, 0,
                        "Ошибка связи 3. Узлы не связаны с базовым узлом"});
    findings.push_back({FindingKind::Reactance, {}, std::pair{4, 5}, 0, "Числовая ошибка 3. Х Ветви > 999999\nВетвь 4 5"});
    findings.push_back({FindingKind::TransformerAtBase, {}, std::pair{1, 9}, 0,
                        "Ошибка схемы сети 1. \nВетвь 1 9 не может быть трансформатором"});
    findings.push_back({FindingKind::TooManyRecords, {}, std::nullopt, 0, "Ошибка данных. Число узлов больше 99: 120"});
    Topology t;
    for (int32_t number = 0; number <= 12; ++number) {
        t.nodeNumbers.push_back(number);
        t.nodeRecords.push_back(number);
        t.nodeTypes.push_back(number == 0 ? 3 : 1);
    }
    t.branches.push_back({4, 5, 1, false});
    t.branches.push_back({1, 9, 2, true});
    const Picture p = drawPicture(t, layoutTopology(t), nullptr, findings);
    EXPECT_NE(nodeNumbered(p, 12).text.find("\nОшибка связи 3. Узлы не связаны с базовым узлом"), std::string::npos);
    EXPECT_TRUE(nodeNumbered(p, 12).warning);
    EXPECT_FALSE(nodeNumbered(p, 0).warning);
    EXPECT_NE(branchBetween(p, 4, 5).text.find("\nЧисловая ошибка 3. Х Ветви > 999999 Ветвь 4 5"), std::string::npos);
    EXPECT_NE(branchBetween(p, 1, 9).text.find("\nОшибка схемы сети 1. Ветвь 1 9 не может быть трансформатором"),
              std::string::npos);
    EXPECT_EQ(p.notes, std::vector<std::string>{"Ошибка данных. Число узлов больше 99: 120"});
}

}  // namespace
}  // namespace tarvel::diagram
