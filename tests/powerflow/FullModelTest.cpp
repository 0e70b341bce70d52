// The full model: figures in double precision as written, small impedances
// as written, zero-impedance ties, phase-shifting transformers, a
// transformer at the base node, and the choice of the method.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <string>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/SparseSolver.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace tarvel;
using namespace tarvel::test;

struct Run {
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    RunOutcome outcome = RunOutcome::Rejected;

    std::string file(const char* name) const { return cp1251ToUtf8(fileBytes(dir / name)); }
};

std::unique_ptr<Run> run(const std::string& text, CalculationMethod method = CalculationMethod::Auto, float precision = 1e-6f)
{
    auto r = std::make_unique<Run>();
    CalculationSettings settings;
    settings.precision = precision;
    settings.iteraz = 20;
    settings.method = method;
    r->outcome = runPowerFlow(*r->model, settings, r->dir.path(), text, r->sink);
    return r;
}

// A generated 230 kV grid beyond the exact method's limits.
GeneratedNetwork grid(int nodes = 150)
{
    GridOptions o;
    o.nodes = nodes;
    o.seed = 19;
    return generateGrid(o);
}

std::string nodeRecord(int number, double unom, double p, double q, double fixedVoltage = 0)
{
    return "0201 0 " + std::to_string(number) + " " + std::to_string(unom) + " " + std::to_string(p) + " " +
           std::to_string(q) + " 0 0 " + std::to_string(fixedVoltage) + " 0 0\r\n";
}

std::string branchRecord(int n1, int n2, const std::string& r, const std::string& x, double kt = 0,
                         const std::string& phase = "0")
{
    return "0301 0 " + std::to_string(n1) + " " + std::to_string(n2) + " " + r + " " + x + " 0 " +
           std::to_string(kt) + " " + phase + " 0 0\r\n";
}

// Every node's power equals what its shunt takes and its branches carry
// away, in MW and Mvar.
void expectBalanceAtEveryNode(const NetworkResults& results, double tolerance)
{
    std::vector<double> p(results.nodes.size(), 0.0), q(results.nodes.size(), 0.0);
    for (const BranchResult& b : results.branches) {
        p[b.startIndex] += b.p12;
        q[b.startIndex] += b.q12;
        p[b.endIndex] += b.p21;
        q[b.endIndex] += b.q21;
    }
    for (std::size_t k = 0; k < results.nodes.size(); ++k) {
        const NodeResult& node = results.nodes[k];
        if (node.type != 1)
            continue;  // the base node and fixed magnitudes balance by their own output
        EXPECT_NEAR(node.p + node.pg, p[k], tolerance) << "node " << node.number;
        EXPECT_NEAR(node.q + node.qb, q[k], tolerance) << "node " << node.number;
    }
}

const NodeResult& nodeNumbered(const NetworkResults& results, int number)
{
    for (const NodeResult& n : results.nodes)
        if (n.number == number)
            return n;
    static const NodeResult none;
    ADD_FAILURE() << "no node " << number;
    return none;
}

TEST(FullModel, CouplersJoinNodesThatBalanceEachOne)
{
    const GeneratedNetwork g = grid();
    const int a = g.nodes[10].number;
    const int b = g.nodes[20].number;
    // Bus sections behind couplers (r = x = 0): a single one, a loop of three
    // with loads, a coupler beside a line, and a chain to a section with a shunt.
    std::string text = g.text;
    text += nodeRecord(90001, 230, 30, 10) + branchRecord(a, 90001, "0", "0");
    text += nodeRecord(90002, 230, 20, 5) + nodeRecord(90003, 230, 15, -4) + nodeRecord(90004, 230, 0, 0);
    text += branchRecord(b, 90002, "0", "0") + branchRecord(90002, 90003, "0", "0") +
            branchRecord(90003, 90004, "0", "0") + branchRecord(90004, b, "0", "0");
    text += nodeRecord(90005, 230, 12, 3) + branchRecord(90005, b, "0", "0") + branchRecord(90005, b, "2", "20");
    text += nodeRecord(90006, 230, 0, 0) + "0301 0 90006 0 0 -50\r\n" + nodeRecord(90007, 230, 8, 2) +
            branchRecord(90001, 90006, "0", "0") + branchRecord(90006, 90007, "0.0", "1e-9");
    const auto r = run(text);
    ASSERT_EQ(r->outcome, RunOutcome::Converged) << r->file("network.err");
    ASSERT_TRUE(r->model->sparseNetwork->hasTies);
    const NetworkResults results = collectResults(*r->model);
    expectBalanceAtEveryNode(results, 1e-3);
    // The nodes a coupler joins are at one voltage.
    for (const int n : {90002, 90003, 90004, 90005})
        EXPECT_DOUBLE_EQ(nodeNumbered(results, n).u, nodeNumbered(results, b).u);
    EXPECT_DOUBLE_EQ(nodeNumbered(results, 90007).angle, nodeNumbered(results, a).angle);
    // The loop of couplers (b, 90002, 90003, 90004) carries the sections'
    // loads along a spanning tree; the tie closing the loop carries nothing.
    double loopFlow = 0;
    for (const BranchResult& br : results.branches)
        if (br.startNode == 90004 && br.endNode == b)
            loopFlow = br.p12;
    EXPECT_EQ(loopFlow, 0.0);
    // Every record stays in the reports, the couplers with no loss.
    EXPECT_EQ(results.nodes.size(), g.nodes.size() + 7);
    for (const BranchResult& br : results.branches)
        if (br.startNode >= 90000 || br.endNode >= 90000)
            if (!(br.startNode == 90005 && br.endNode == b && br.dP > 0))
                EXPECT_NEAR(br.dP, 0.0, 1e-9) << br.startNode << " " << br.endNode;
}

TEST(FullModel, CouplersSolveAsTheMergedNode)
{
    // Loads behind a coupler are the node's own loads: the same voltages as a
    // network that carries them at the node itself.
    GeneratedNetwork g = grid();
    const int a = g.nodes[30].number;
    const std::string coupled =
        g.text + nodeRecord(90001, 230, 25, 7) + branchRecord(a, 90001, "0", "0");
    g.nodes[30].p += 25;
    g.nodes[30].q += 7;
    const auto withCoupler = run(coupled);
    const auto merged = run(cduText(g));
    ASSERT_EQ(withCoupler->outcome, RunOutcome::Converged);
    ASSERT_EQ(merged->outcome, RunOutcome::Converged);
    const NetworkResults x = collectResults(*withCoupler->model);
    const NetworkResults y = collectResults(*merged->model);
    for (std::size_t k = 0; k < y.nodes.size(); ++k) {
        EXPECT_NEAR(x.nodes[k].u, y.nodes[k].u, 1e-6);
        EXPECT_NEAR(x.nodes[k].angle, y.nodes[k].angle, 1e-6);
    }
    const BranchResult& tie = x.branches.back();
    EXPECT_NEAR(tie.p12, -25, 1e-4);  // as network.rez prints it: the power leaving node a, negated
    EXPECT_NEAR(tie.p21, 25, 1e-4);
}

TEST(FullModel, BadTiesAndPhaseAnglesAreRefusedWithTheirLine)
{
    const GeneratedNetwork g = grid();
    int fixedA = 0, fixedB = 0;
    double voltageA = 0;
    for (const GeneratedNode& n : g.nodes) {
        if (n.type != 2)
            continue;
        if (fixedA == 0) {
            fixedA = n.number;
            voltageA = n.fixedVoltage;
        } else if (fixedB == 0 && n.fixedVoltage != voltageA) {
            fixedB = n.number;
        }
    }
    ASSERT_NE(fixedA, 0);
    ASSERT_NE(fixedB, 0);
    const int lines = static_cast<int>(std::count(g.text.begin(), g.text.end(), '\n'));
    // Two fixed voltages (at different settings) joined through a section.
    const std::string ties = g.text + nodeRecord(90001, 230, 0, 0) + branchRecord(fixedA, 90001, "0", "0") +
                             branchRecord(90001, fixedB, "0", "0");
    auto r = run(ties);
    EXPECT_EQ(r->outcome, RunOutcome::Rejected);
    EXPECT_NE(r->file("network.err").find("Ошибка схемы сети 2. Ветви нулевого сопротивления соединяют узлы с разными "
                                          "фиксированными напряжениями: ветвь 90001 " +
                                          std::to_string(fixedB) + ", строка " + std::to_string(lines + 3)),
              std::string::npos)
        << r->file("network.err");
    EXPECT_FALSE(std::filesystem::exists(r->dir / "network.out"));

    const std::string shifter = g.text + branchRecord(fixedA, fixedB, "1", "30", 1, "-95.5");
    r = run(shifter);
    EXPECT_EQ(r->outcome, RunOutcome::Rejected);
    EXPECT_NE(r->file("network.err").find("Числовая ошибка 7. Угол сдвига фазы вне пределов ±90°: ветвь " +
                                          std::to_string(fixedA) + " " + std::to_string(fixedB) + ", строка " +
                                          std::to_string(lines + 1)),
              std::string::npos);

    const std::string zeroTransformer = g.text + branchRecord(fixedA, fixedB, "0", "0", 1.05);
    r = run(zeroTransformer);
    EXPECT_EQ(r->outcome, RunOutcome::Rejected);
    EXPECT_NE(r->file("network.err").find("Числовая ошибка 8. Трансформатор без сопротивления"), std::string::npos);
}

// Angles of nodes 0..n in degrees.
std::vector<double> angles(const NetworkResults& results)
{
    std::vector<double> a;
    for (const NodeResult& n : results.nodes)
        a.push_back(n.angle);
    return a;
}

TEST(FullModel, APhaseShifterTurnsTheAnglesBeyondIt)
{
    // A radial section behind a phase-shifting transformer: its angles turn by
    // the shift (the second end lags the first by the angle, as MATPOWER's
    // SHIFT), its magnitudes and every flow stay as without the shift.
    const GeneratedNetwork g = grid();
    const int a = g.nodes[40].number;
    const auto text = [&](const std::string& phase) {
        return g.text + nodeRecord(90001, 230, 40, 10) + nodeRecord(90002, 230, 30, 5) +
               branchRecord(a, 90001, "1", "30", 1.02, phase) + branchRecord(90001, 90002, "2", "25");
    };
    const auto plain = run(text("0"));
    const auto shifted = run(text("7.5"));
    ASSERT_EQ(plain->outcome, RunOutcome::Converged);
    ASSERT_EQ(shifted->outcome, RunOutcome::Converged);
    const NetworkResults x = collectResults(*plain->model);
    const NetworkResults y = collectResults(*shifted->model);
    for (std::size_t k = 0; k < x.nodes.size(); ++k) {
        const bool beyond = x.nodes[k].number == 90001 || x.nodes[k].number == 90002;
        EXPECT_NEAR(y.nodes[k].angle, x.nodes[k].angle - (beyond ? 7.5 : 0.0), 1e-6) << x.nodes[k].number;
        EXPECT_NEAR(y.nodes[k].u, x.nodes[k].u, 1e-6);
        EXPECT_NEAR(y.nodes[k].p, x.nodes[k].p, 1e-4);
    }
    for (std::size_t i = 0; i < x.branches.size(); ++i) {
        EXPECT_NEAR(y.branches[i].p12, x.branches[i].p12, 1e-5);
        EXPECT_NEAR(y.branches[i].q21, x.branches[i].q21, 1e-5);
        EXPECT_NEAR(y.branches[i].current, x.branches[i].current, 1e-8);
    }
    expectBalanceAtEveryNode(y, 1e-3);
}

TEST(FullModel, APhaseShifterInALoopMovesPowerAndKeepsTheBalance)
{
    const GeneratedNetwork g = grid();
    const int a = g.nodes[40].number;
    const int b = g.nodes[41].number;
    const auto flowThrough = [&](const std::string& phase) {
        const auto r = run(g.text + branchRecord(a, b, "1", "40", 1, phase));
        EXPECT_EQ(r->outcome, RunOutcome::Converged);
        const NetworkResults results = collectResults(*r->model);
        expectBalanceAtEveryNode(results, 1e-3);
        return -results.branches.back().p12;  // leaving a
    };
    // A positive angle delays the first end's voltage as the branch sees it:
    // less power flows from a to b.
    EXPECT_LT(flowThrough("5"), flowThrough("0") - 10);
    EXPECT_GT(flowThrough("-5"), flowThrough("0") + 10);
}

TEST(FullModel, FiguresAreTakenAsWrittenBeyondTheOldLimits)
{
    const GeneratedNetwork g = grid();
    const int a = g.nodes[5].number;
    const std::string text = g.text + "0201 0 90001 230 0.123456789 0.01 0 0 0 0 0\r\n" +
                             branchRecord(a, 90001, "0.123456789012", "0.5") + "0301 0 90001 0 0 -1.23456789\r\n";
    const auto r = run(text);
    ASSERT_EQ(r->outcome, RunOutcome::Converged);
    const Network& net = *r->model->sparseNetwork;
    const int k = net.nodeCount;
    const int i = net.branchCount;
    EXPECT_EQ(net.loadP[k], 0.123456789);
    EXPECT_EQ(net.resistance[i], 0.123456789012);
    EXPECT_EQ(net.reactance[i], 0.5);  // not raised to 1.01
    EXPECT_DOUBLE_EQ(net.shuntB[k], 1.23456789e-6);
    // The echo shows the reactance as written too.
    EXPECT_NE(r->file("network.out").find(std::to_string(a) + "90001  0.123457       0.5"), std::string::npos);

    // Within the old limits the exact method still raises it.
    const std::string small = "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n" +
                              branchRecord(1, 2, "0.5", "0.5");
    const auto exact = run(small, CalculationMethod::Auto, 0.01f);
    ASSERT_EQ(exact->outcome, RunOutcome::Converged);
    EXPECT_EQ(exact->model->branchReactance[1], 1.01f);
    EXPECT_FALSE(exact->model->solvedSparse());
    // Asked for, the full model takes it as written at any size.
    const auto full = run(small, CalculationMethod::Sparse, 0.01f);
    ASSERT_EQ(full->outcome, RunOutcome::Converged);
    ASSERT_TRUE(full->model->solvedSparse());
    EXPECT_EQ(full->model->sparseNetwork->reactance[1], 0.5);
    EXPECT_NE(full->file("network.out").find(sparseMethodLine(1)), std::string::npos);
}

TEST(FullModel, ATransformerAtTheBaseNodeBeyondTheOldLimits)
{
    GeneratedNetwork g = grid();
    // The base node's first branch becomes a transformer of ratio 2.
    for (GeneratedBranch& b : g.branches) {
        if (b.from == g.nodes[0].number || b.to == g.nodes[0].number) {
            b.ratio = 2.0;
            break;
        }
    }
    const auto large = run(cduText(g));
    EXPECT_NE(large->outcome, RunOutcome::Rejected) << large->file("network.err");
    // Within the old limits the check stays.
    const std::string small = "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 55 10 5 0 0 0 0 0\r\n" +
                              branchRecord(1, 2, "0.5", "5", 2.0);
    const auto exact = run(small);
    EXPECT_EQ(exact->outcome, RunOutcome::Rejected);
    EXPECT_NE(exact->file("network.err").find("не может быть трансформатором"), std::string::npos);
    const auto full = run(small, CalculationMethod::Sparse);
    EXPECT_EQ(full->outcome, RunOutcome::Converged);
}

TEST(FullModel, TheExactMethodAskedForALargeNetworkIsToldAndTheFullModelSolvesIt)
{
    const auto r = run(grid().text, CalculationMethod::Exact, 0.01f);
    EXPECT_EQ(r->outcome, RunOutcome::Converged);
    EXPECT_TRUE(r->model->solvedSparse());
    bool told = false;
    for (const std::string& w : r->sink.warnings)
        told = told || w == kExactMethodTooSmallText;
    EXPECT_TRUE(told);
}

TEST(FullModel, AFlatStartIsNeverTakenAsTheAnswer)
{
    // Nothing flows: the flat start meets every equation, and still one step is made.
    const std::string idle = "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 0 0 0 0 0 0 0\r\n" +
                             branchRecord(1, 2, "1", "10");
    const auto r = run(idle, CalculationMethod::Sparse, 0.01f);
    ASSERT_EQ(r->outcome, RunOutcome::Converged);
    EXPECT_EQ(r->model->iterationNumber, 1);
    EXPECT_TRUE(r->sink.warnings.empty());
}

TEST(FullModel, AConvergedVoltageFarFromNominalIsToldForAtMostTenNodes)
{
    // Twelve nodes behind long lines ending at large capacitors: about 1.4
    // times their nominal voltage.
    const GeneratedNetwork g = grid();
    std::string text = g.text;
    for (int k = 0; k < 12; ++k) {
        const int number = 90001 + k;
        text += nodeRecord(number, 230, 0, 0) + branchRecord(g.nodes[3 + 7 * k].number, number, "1", "100") +
                "0301 0 " + std::to_string(number) + " 0 0 -3000\r\n";
    }
    const auto r = run(text, CalculationMethod::Auto, 0.01f);
    ASSERT_EQ(r->outcome, RunOutcome::Converged);
    ASSERT_EQ(r->sink.warnings.size(), 1u);
    const std::string& w = r->sink.warnings[0];
    EXPECT_EQ(w.rfind("Напряжение вне пределов 0,7-1,3 Uном в узлах: ", 0), 0u) << w;
    // The first ten such nodes in input order are named, the others counted.
    const NetworkResults results = collectResults(*r->model);
    std::vector<const NodeResult*> far;
    for (const NodeResult& n : results.nodes)
        if (n.u < 0.7 * n.unom || n.u > 1.3 * n.unom)
            far.push_back(&n);
    ASSERT_GT(far.size(), 12u);
    std::size_t at = 0;
    for (std::size_t k = 0; k < 10; ++k) {
        at = w.find(std::to_string(far[k]->number) + " - ", at);
        ASSERT_NE(at, std::string::npos) << far[k]->number;
    }
    EXPECT_EQ(w.find(std::to_string(far[10]->number) + " - "), std::string::npos);
    EXPECT_NE(w.find(" и еще в " + std::to_string(far.size() - 10)), std::string::npos);
    EXPECT_NE(r->file("network.out").find(w), std::string::npos);
    EXPECT_EQ(r->model->runWarnings, r->sink.warnings);
}

}  // namespace
