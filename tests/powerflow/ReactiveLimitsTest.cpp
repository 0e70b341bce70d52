// Reactive limits of fixed-voltage nodes, on both methods: against an
// independent double-precision Newton with PV-PQ switching
// (tools/case_newton.py --q-limits), and by the conditions every solution
// with limits meets.
#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/ReactiveLimits.h"
#include "powerflow/Solver.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using tarvel::test::fileBytes;
using tarvel::test::sourcePath;
using tarvel::test::TempDir;

namespace {

struct Reference {
    std::map<int, double> vm;       // bus number -> magnitude, p.u.
    std::map<int, int8_t> held;     // bus number -> +1 at Qmax, -1 at Qmin
};

Reference readReference(const std::string& json)
{
    Reference r;
    const std::regex bus("\"number\":\\s*(-?[0-9]+),\\s*\"vm\":\\s*([-0-9.eE+]+)");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), bus); it != std::sregex_iterator(); ++it)
        r.vm[std::stoi((*it)[1])] = std::stod((*it)[2]);
    const std::string heldPart = json.substr(json.find("\"held\""));
    const std::regex held("\"number\":\\s*([0-9]+),\\s*\"limit\":\\s*\"(Qm..)\"");
    for (auto it = std::sregex_iterator(heldPart.begin(), heldPart.end(), held); it != std::sregex_iterator(); ++it)
        r.held[std::stoi((*it)[1])] = (*it)[2] == "Qmax" ? 1 : -1;
    return r;
}

struct LimitRun {
    TempDir dir;
    std::unique_ptr<tarvel::NetworkModel> model = std::make_unique<tarvel::NetworkModel>();
    tarvel::CollectingSink sink;
    tarvel::RunOutcome outcome{};

    LimitRun(const std::string& cdu, tarvel::CalculationSettings settings)
    {
        outcome = tarvel::runPowerFlow(*model, settings, dir.path(), tarvel::cp1251ToUtf8(cdu), sink);
    }
    std::string file(const char* name) const { return tarvel::cp1251ToUtf8(fileBytes(dir / name)); }
    double voltage(int k) const
    {
        const auto& m = *model;
        if (m.solvedSparse())
            return std::hypot(m.sparseSolution->voltageRe[k], m.sparseSolution->voltageIm[k]);
        return std::hypot(static_cast<double>(m.voltageRe[k]), static_cast<double>(m.voltageIm[k]));
    }
    double generation(int k) const
    {
        const auto& m = *model;
        return (m.solvedSparse() ? m.sparseSolution->powerQ[k] : static_cast<double>(m.calcQ[k])) + m.nodeLoadQ[k];
    }
};

tarvel::CalculationSettings withLimits(float precision, int iterations = 20)
{
    tarvel::CalculationSettings s;
    s.precision = precision;
    s.iteraz = iterations;
    s.qLimits = true;
    return s;
}

// The same nodes held at the same limits as the reference, every voltage
// within `tolerance` p.u. of it.
void expectReference(const LimitRun& run, const Reference& ref, double baseKv, double tolerance)
{
    const auto& m = *run.model;
    ASSERT_EQ(run.outcome, tarvel::RunOutcome::Converged) << run.file("network.out");
    std::map<int, int8_t> held;
    double worst = 0;
    for (int k = 0; k <= m.nodeCount; ++k) {
        if (m.nodeHeldAt[k] != 0)
            held[m.nodeNumber[k]] = m.nodeHeldAt[k];
        ASSERT_TRUE(ref.vm.contains(m.nodeNumber[k]));
        worst = std::max(worst, std::fabs(run.voltage(k) / baseKv - ref.vm.at(m.nodeNumber[k])));
    }
    EXPECT_EQ(held, ref.held);
    EXPECT_LE(worst, tolerance);
}

}  // namespace

TEST(ReactiveLimits, HoldAndRelease)
{
    using tarvel::nextHold;
    const double set2 = 110.0 * 110.0;
    // A free node takes the limit it passes and keeps its voltage within them.
    EXPECT_EQ(nextHold(0, 51, set2, set2, -20, 50), 1);
    EXPECT_EQ(nextHold(0, -21, set2, set2, -20, 50), -1);
    EXPECT_EQ(nextHold(0, 50, set2, set2, -20, 50), 0);
    // At Qmax it is given its voltage back only once the voltage rises past
    // its setting, at Qmin once it falls below, whatever its generation.
    EXPECT_EQ(nextHold(1, 50, 109.9 * 109.9, set2, -20, 50), 1);
    EXPECT_EQ(nextHold(1, 50, 110.1 * 110.1, set2, -20, 50), 0);
    EXPECT_EQ(nextHold(-1, -20, 110.1 * 110.1, set2, -20, 50), -1);
    EXPECT_EQ(nextHold(-1, -20, 109.9 * 109.9, set2, -20, 50), 0);
}

// IEEE 14 with narrowed limits on the exact method: nodes 3 and 8 at Qmax,
// node 6 at Qmin, as the double-precision reference finds.
TEST(ReactiveLimits, Ieee14OnTheExactMethodAgainstTheReference)
{
    const std::string cdu = fileBytes(sourcePath("tests/data/qlimits/case14_qlimits.cdu"));
    const Reference ref = readReference(fileBytes(sourcePath("tests/data/qlimits/case14_qlimits.ref.json")));
    ASSERT_EQ(ref.held.size(), 3u);
    const LimitRun run(cdu, withLimits(1e-4f));
    EXPECT_FALSE(run.model->solvedSparse());
    expectReference(run, ref, 220.0, 1e-6);

    // network.out lists the switches and the nodes at a limit; network.rez marks them.
    const std::string out = run.file("network.out");
    EXPECT_NE(out.find(": узел 3 на пределе Qmax = 20 Мвар, напряжение не удерживается\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(": узел 6 на пределе Qmin = 15 Мвар"), std::string::npos) << out;
    EXPECT_NE(out.find("Узлы на пределах реактивной мощности: 3 (Qmax) 6 (Qmin) 8 (Qmax)\r\n"), std::string::npos)
        << out;
    const std::string rez = run.file("network.rez");
    EXPECT_NE(rez.find("  Qmax\r\n    4 "), std::string::npos) << rez;  // node 3's line, then node 4's
    EXPECT_NE(rez.find("Qmax, Qmin - генерация Q на пределе"), std::string::npos);
    for (int k = 1; k <= run.model->nodeCount; ++k)
        if (run.model->nodeHeldAt[k] != 0)
            EXPECT_NEAR(run.generation(k),
                        run.model->nodeHeldAt[k] > 0 ? run.model->nodeQmax[k] : run.model->nodeQmin[k], 1e-3);
}

// IEEE 118 with the limits of MATPOWER's case118.m on the sparse method:
// nodes 19, 32, 34, 92 and 105 at Qmin, 103 at Qmax.
TEST(ReactiveLimits, Ieee118OnTheSparseMethodAgainstTheReference)
{
    const std::string cdu = fileBytes(sourcePath("tests/data/qlimits/case118_qlimits.cdu"));
    const Reference ref = readReference(fileBytes(sourcePath("tests/data/qlimits/case118_qlimits.ref.json")));
    ASSERT_EQ(ref.held.size(), 6u);
    const LimitRun run(cdu, withLimits(1e-6f));
    EXPECT_TRUE(run.model->solvedSparse());
    expectReference(run, ref, 500.0, 1e-6);
    const std::string out = run.file("network.out");
    EXPECT_NE(out.find("Узлы на пределах реактивной мощности: 19 (Qmin) 32 (Qmin) 34 (Qmin) 92 (Qmin) 103 (Qmax) 105 "
                       "(Qmin)\r\n"),
              std::string::npos)
        << out;
    const std::string rez = run.file("network.rez");
    EXPECT_NE(rez.find("  Qmax\r\n  104 "), std::string::npos);  // node 103's line, then node 104's
}

// The limits of the records change nothing while the choice is off: every
// working file as without them, and limits the wrong way round are not read
// either (only a run with the limits refuses them).
TEST(ReactiveLimits, OffByDefault)
{
    const std::string original = fileBytes(sourcePath("tests/data/qlimits/case14_qlimits.cdu"));
    const std::vector<std::string> limits = {" -40 50\r\n", " 0 20\r\n", " 15 24\r\n", " -6 15\r\n"};
    auto replaced = [&](auto by) {
        std::string cdu = original;
        for (const std::string& field : limits) {
            const std::size_t at = cdu.find(field);
            EXPECT_NE(at, std::string::npos) << field;
            if (at != std::string::npos)
                cdu.replace(at, field.size(), by(field));
        }
        return cdu;
    };
    const std::string none = replaced([](const std::string&) { return std::string(" 0 0\r\n"); });
    // " -40 50" becomes " 50 -40": every minimum above its maximum.
    const std::string crossed = replaced([](const std::string& field) {
        const std::size_t blank = field.find(' ', 1);
        return " " + field.substr(blank + 1, field.size() - blank - 3) + field.substr(0, blank) + "\r\n";
    });
    ASSERT_NE(crossed.find(" 50 -40\r\n"), std::string::npos);
    const LimitRun with(original, tarvel::CalculationSettings{});
    const LimitRun without(none, tarvel::CalculationSettings{});
    const LimitRun wrongWay(crossed, tarvel::CalculationSettings{});
    ASSERT_EQ(wrongWay.outcome, tarvel::RunOutcome::Converged) << wrongWay.file("network.err");
    for (const char* name : {"network.err", "network.out", "network.rez", "network.tok", "network.rip"}) {
        EXPECT_EQ(with.file(name), without.file(name)) << name;
        EXPECT_EQ(wrongWay.file(name), without.file(name)) << name;
    }
    EXPECT_EQ(with.file("network.out").find("на пределе"), std::string::npos);

    const LimitRun refused(crossed, withLimits(0.01f));
    EXPECT_EQ(refused.outcome, tarvel::RunOutcome::Rejected);
    EXPECT_NE(refused.file("network.err").find("Числовая ошибка 7. Qmin больше Qmax в записи узла"), std::string::npos);
}

namespace {

// Every fixed-voltage node of a converged run with limits: free, it holds
// its voltage with its generation within the limits; held, its generation is
// the limit and its voltage lies on the side of its setting that the limit
// forces (below it at Qmax, above it at Qmin). Powers are compared relative
// to the limit's own size (at least 1 Mvar), as the residual measures them.
void expectLimitsMet(const LimitRun& run, double relativeTolerance)
{
    const auto& m = *run.model;
    for (int k = 1; k <= m.nodeCount; ++k) {
        if (m.nodeType[k] != 2 || !m.hasQLimits(k))
            continue;
        const double q = run.generation(k);
        const double u = run.voltage(k) / m.nodeUnom[k];
        const double uTolerance = relativeTolerance;
        const double qTolerance =
            relativeTolerance * std::max({1.0, std::fabs(double{m.nodeQmin[k]}), std::fabs(double{m.nodeQmax[k]})});
        const std::string at = "node " + std::to_string(m.nodeNumber[k]);
        switch (m.nodeHeldAt[k]) {
        case 0:
            EXPECT_NEAR(u, 1.0, uTolerance) << at;
            EXPECT_GE(q, m.nodeQmin[k] - qTolerance) << at;
            EXPECT_LE(q, m.nodeQmax[k] + qTolerance) << at;
            break;
        case 1:
            EXPECT_NEAR(q, m.nodeQmax[k], qTolerance) << at;
            EXPECT_LE(u, 1.0 + uTolerance) << at;
            break;
        default:
            EXPECT_NEAR(q, m.nodeQmin[k], qTolerance) << at;
            EXPECT_GE(u, 1.0 - uTolerance) << at;
            break;
        }
    }
}

// Limits that the generation of an unlimited run leaves: below it for every
// other generator, above it for the rest, so that both kinds of hold occur.
void narrowLimits(tarvel::test::GeneratedNetwork& network, const LimitRun& free)
{
    const auto& m = *free.model;
    int count = 0;
    for (auto& node : network.nodes) {
        if (node.type != 2)
            continue;
        int k = 1;
        while (m.nodeNumber[k] != node.number)
            ++k;
        const double q = free.generation(k);
        const double margin = 0.3 * std::max(1.0, std::fabs(q));
        if (count++ % 2 == 0) {
            node.qmin = q - 3 * margin;
            node.qmax = q - margin;
        } else {
            node.qmin = q + margin;
            node.qmax = q + 3 * margin;
        }
    }
    network.text = tarvel::test::cduText(network);
}

}  // namespace

// Generated networks of the exact method's size whose generators cannot keep
// the output they would like: the solution meets every limit.
TEST(ReactiveLimits, GeneratedNetworksMeetTheirLimits)
{
    int switched = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        tarvel::test::NetworkOptions options;
        options.nodes = 40;
        options.extraBranches = 20;
        options.fixedVoltageNodes = 5;
        options.seed = seed;
        tarvel::test::GeneratedNetwork network = tarvel::test::generateNetwork(options);
        const LimitRun free(network.text, withLimits(1e-3f));
        ASSERT_EQ(free.outcome, tarvel::RunOutcome::Converged);
        narrowLimits(network, free);
        const LimitRun run(network.text, withLimits(1e-3f, 30));
        if (run.outcome != tarvel::RunOutcome::Converged) {
            ADD_FAILURE() << "seed " << seed << "\n" << run.file("network.out");
            continue;
        }
        expectLimitsMet(run, 2e-3);
        for (int k = 1; k <= run.model->nodeCount; ++k)
            switched += run.model->nodeHeldAt[k] != 0;
    }
    EXPECT_GT(switched, 12);
}

// A generated grid for the sparse method whose generators cannot keep the
// output they would like: the solution meets every limit.
TEST(ReactiveLimits, AGridOnTheSparseMethodMeetsItsLimits)
{
    tarvel::test::GridOptions options;
    options.nodes = 600;
    tarvel::test::GeneratedNetwork network = tarvel::test::generateGrid(options);
    const LimitRun free(network.text, withLimits(1e-6f));
    ASSERT_EQ(free.outcome, tarvel::RunOutcome::Converged);
    narrowLimits(network, free);
    const LimitRun run(network.text, withLimits(1e-6f, 30));
    ASSERT_EQ(run.outcome, tarvel::RunOutcome::Converged) << run.file("network.out");
    expectLimitsMet(run, 1e-5);
    int held = 0;
    for (int k = 1; k <= run.model->nodeCount; ++k)
        held += run.model->nodeHeldAt[k] != 0;
    EXPECT_GT(held, 10);
}
