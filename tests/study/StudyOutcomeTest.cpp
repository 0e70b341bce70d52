// The outcomes of a study: a lost load, an outage that cannot be solved
// while the others go on, violations measured as the reports measure, the
// ranking, the files whatever the number of threads, and cancel.
#include <algorithm>
#include <cmath>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tbb/global_control.h>

#include "powerflow/BranchFlows.h"
#include "powerflow/Solver.h"
#include "study/Study.h"
#include "study/StudyFiles.h"
#include "tests/study/StudySupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/NetworkGenerator.h"

namespace tarvel {
namespace {

using ::testing::HasSubstr;

// A 110 kV ring 1-2-3-4 with a radial node 5 at 4, and a heavy load at 3
// fed from 2 over two parallel lines: without one of them 3 cannot be
// supplied.
const char* const kNetwork =
    "0102 0 1 115 0 0 0 0 0 0 0\n"
    "0201 0 2 110 10 5 0 0 0 0 0\n"
    "0201 0 3 110 140 60 0 0 0 0 0\n"
    "0201 0 4 110 10 5 0 0 0 0 0\n"
    "0201 0 5 110 7 3 0 0 0 0 0\n"
    "0301 0 1 2 1 4 -50 1 0 0 0\n"
    "0301 0 2 3 6 24 -50 1 0 0 0\n"
    "0301 0 2 3 6 24 -50 1 0 0 0\n"
    "0301 0 1 4 2 8 -50 1 0 0 0\n"
    "0301 0 4 5 3 10 -50 1 0 0 0\n";

StudyOptions preciseOptions()
{
    StudyOptions options;
    options.settings.precision = 1e-6f;
    options.settings.iteraz = 15;
    return options;
}

TEST(StudyOutcome, ACutOffNodeAndAnUnsolvableOutageAreOutcomesAndTheStudyGoesOn)
{
    const NetworkModel model = test::modelFromText(kNetwork);
    const StudyBase base(model, defaultLimits(model), preciseOptions());
    ASSERT_TRUE(base.solved());
    const StudyResult study = runStudy(base, allBranchOutages(base.branches()));
    ASSERT_EQ(study.results.size(), 5u);
    // 1-2 feeds 2 and 3: both are cut off with their load.
    EXPECT_EQ(study.results[0].outcome, OutageOutcome::Split);
    EXPECT_EQ(study.results[0].lostNodes, (std::vector<int>{1, 2}));
    EXPECT_DOUBLE_EQ(study.results[0].lostLoadMw, 150);
    // One circuit of 2-3 cannot carry the load.
    for (int i : {1, 2})
        EXPECT_TRUE(study.results[i].outcome == OutageOutcome::NotConverged ||
                    study.results[i].outcome == OutageOutcome::Diverged)
            << outcomeKey(study.results[i].outcome);
    EXPECT_EQ(study.results[3].outcome, OutageOutcome::Split);
    EXPECT_EQ(study.results[3].lostNodes, (std::vector<int>{3, 4}));
    EXPECT_DOUBLE_EQ(study.results[3].lostLoadMw, 17);
    EXPECT_TRUE(study.results[3].restSolved);
    EXPECT_EQ(study.results[4].outcome, OutageOutcome::Split);

    const std::vector<std::size_t> order = rankBySeverity(study.results);
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 3, 4, 1, 2}));
    const StudyCounts counts = countOutcomes(study.results);
    EXPECT_EQ(counts.splits, 3u);
    EXPECT_EQ(counts.failed, 2u);
    EXPECT_EQ(studySummary(counts),
              "Отключений: 5; без нарушений: 0; с нарушениями: 0; разделение сети: 3; не сошлось: 2");
}

// Node 6 generates 250 MW into node 3's 300 MW; without line 3-6 the two
// circuits 2-3 cannot carry the whole load: a split whose rest has no
// solution.
TEST(StudyOutcome, ASplitWhoseRestDoesNotConvergeIsToldSoAndGivesNoFigures)
{
    const NetworkModel model = test::modelFromText("0102 0 1 115 0 0 0 0 0 0 0\n"
                                                   "0201 0 2 110 10 5 0 0 0 0 0\n"
                                                   "0201 0 3 110 300 50 0 0 0 0 0\n"
                                                   "0201 0 6 110 -250 0 0 0 0 0 0\n"
                                                   "0301 0 1 2 1 4 -50 1 0 0 0\n"
                                                   "0301 0 2 3 6 24 -50 1 0 0 0\n"
                                                   "0301 0 2 3 6 24 -50 1 0 0 0\n"
                                                   "0301 0 3 6 1 4 -50 1 0 0 0\n");
    const StudyBase base(model, defaultLimits(model), preciseOptions());
    ASSERT_TRUE(base.solved());
    const StudyResult study = runStudy(base, {Outage{"3-6", {4}}});
    const OutageResult& r = study.results[0];
    EXPECT_TRUE(r.outcome == OutageOutcome::NotConverged || r.outcome == OutageOutcome::Diverged)
        << outcomeKey(r.outcome);
    EXPECT_EQ(r.lostNodes, (std::vector<int>{3}));
    EXPECT_DOUBLE_EQ(r.lostGenerationMw, 250);
    EXPECT_LT(r.vmin.node, 0);
    EXPECT_LT(r.vmax.node, 0);
    EXPECT_EQ(r.maxLoading.branch, 0);
    EXPECT_TRUE(r.violations.empty());
    EXPECT_EQ(countOutcomes(study.results).failed, 1u);
    const std::string report = contingencyReport(base, study, {});
    EXPECT_THAT(report, HasSubstr("отделены узлы: 6; нагрузка 0.00 МВт, генерация 250.00 МВт"));
    EXPECT_THAT(studyJson(base, study), HasSubstr("\"vmin\": null"));
}

// The largest deviation of a fixed-voltage node from its setting (p.u.) in
// a solution, and where.
double worstFixedVoltage(const NetworkModel& model, const OutageSolution& solution, int& node)
{
    double worst = 0;
    for (int k = 1; k <= model.nodeCount; ++k) {
        if (model.nodeType[k] != 2 || solution.lost[k])
            continue;
        const double off = std::fabs(std::hypot(solution.voltageRe[k], solution.voltageIm[k]) / model.nodeUnom[k] - 1);
        if (off > worst) {
            worst = off;
            node = model.nodeNumber[k];
        }
    }
    return worst;
}

// The base node behind one line, the rest with a generator larger than
// what the base node feeds: without the line the rest goes on, its
// generator taking the balance, as an independent Newton solves it
// (tests/data/study/island-without-base.m by tools/case_newton.py).
TEST(StudyOutcome, AnIslandWithMoreGenerationGoesOnWithItsLargestGenerator)
{
    const NetworkModel model = test::modelFromText("0102 0 1 115 0 0 0 0 0 0 0\n"
                                                   "0201 0 2 110 30 10 0 0 0 0 0\n"
                                                   "0201 0 3 110 -150 0 0 0 112 0 0\n"
                                                   "0201 0 4 110 60 20 0 0 0 0 0\n"
                                                   "0201 0 5 110 50 15 0 0 0 0 0\n"
                                                   "0301 0 1 2 1 4 0 1 0 0 0\n"
                                                   "0301 0 2 3 2 8 0 1 0 0 0\n"
                                                   "0301 0 3 4 2 8 0 1 0 0 0\n"
                                                   "0301 0 4 5 3 12 0 1 0 0 0\n"
                                                   "0301 0 2 5 3 12 0 1 0 0 0\n");
    const StudyBase base(model, defaultLimits(model), preciseOptions());
    ASSERT_TRUE(base.solved());
    OutageWorkspace workspace(base);
    OutageSolution solution;
    const OutageResult r = evaluateOutage(base, Outage{"1-2", {1}}, workspace, &solution);
    ASSERT_EQ(r.outcome, OutageOutcome::Split);
    EXPECT_EQ(r.lostNodes, (std::vector<int>{0}));
    EXPECT_EQ(r.lostLoadMw, 0);
    ASSERT_EQ(r.balanceNode, 2);  // node 3
    const std::string json = test::fileBytes(test::sourcePath("tests/data/study/island-without-base.ref.json"));
    const double vm[] = {0.9936351974128296, 1.018181818181818, 0.9863612565122422, 0.9757282464666268};
    ASSERT_NE(json.find("0.9757282464666268"), std::string::npos);
    for (int k = 1; k <= 4; ++k)
        EXPECT_NEAR(std::hypot(solution.voltageRe[k], solution.voltageIm[k]) / 110.0, vm[k - 1], 1e-6)
            << "node " << model.nodeNumber[k];
    // The generator feeds the island's load and losses.
    EXPECT_GT(solution.calcP[2], 140.0);
    EXPECT_EQ(solution.voltageRe[0], 0.0);
    ASSERT_TRUE(r.violations.empty() || r.violations[0].node != 0);

    const StudyResult study{{Outage{"1-2", {1}}}, {r}, false};
    EXPECT_THAT(contingencyReport(base, study, {}), HasSubstr("базисный узел отделен, баланс принял узел 3"));
    EXPECT_THAT(studyJson(base, study), HasSubstr("\"balance_node\": 3"));
}

// At the default precision an outage is solved as far as its base case: the
// fixed-voltage nodes of IEEE 118 hold their settings as closely as the base
// case holds them, not some 1e-4 p.u. off where Newton's steps from the
// base solution first stop below the precision.
TEST(StudyOutcome, OutagesAreAsAccurateAsTheBaseCase)
{
    const NetworkModel model = test::modelFromFile("samples/ieee118.cdu");
    const StudyBase base(model, defaultLimits(model), StudyOptions{});
    ASSERT_TRUE(base.solved());
    OutageWorkspace workspace(base);
    OutageSolution baseSolution;
    evaluateOutage(base, Outage{"base", {}}, workspace, &baseSolution);
    int node = 0;
    const double ofBase = worstFixedVoltage(model, baseSolution, node);
    double worst = 0;
    std::string where;
    for (const Outage& outage : allBranchOutages(base.branches())) {
        OutageSolution solution;
        const OutageResult r = evaluateOutage(base, outage, workspace, &solution);
        if (r.outcome != OutageOutcome::Solved && r.outcome != OutageOutcome::Split)
            continue;
        const double off = worstFixedVoltage(model, solution, node);
        if (off > worst) {
            worst = off;
            where = outage.label + ", node " + std::to_string(node);
        }
    }
    EXPECT_LT(worst, std::max(2 * ofBase, 1e-6)) << where << "; the base case: " << ofBase;
}

TEST(StudyOutcome, ViolationsAreMeasuredAsTheReportsMeasureCurrentAndVoltage)
{
    NetworkModel model = test::modelFromFile("samples/ieee14.cdu");
    Limits limits = defaultLimits(model);
    const BranchIndex index(model);
    // Branch 1-2 carries about 0.41 kA in the base case; 4-5 less.
    ASSERT_EQ(readCurrentLimits("1 2 0.3\n4 5 5\n", index, limits), "");
    limits.vmin[13] = 0.99 * model.nodeUnom[13];  // node 14 sits at about 1.036 p.u. of 220 kV
    limits.vmax[13] = 1.01 * model.nodeUnom[13];
    const StudyBase base(model, limits, preciseOptions());
    ASSERT_TRUE(base.solved());

    NetworkModel cold = model;
    CalculationSettings settings;
    settings.precision = 1e-6f;
    ASSERT_EQ(solveSparseModel(cold, settings).outcome, SolveOutcome::Converged);
    const BranchFlowOf<double> flow = branchFlowsOf(cold, doubleState(cold), 1);
    const double current = std::hypot(flow.i12Re, flow.i12Im);
    const double u14 = std::hypot(cold.sparseSolution->voltageRe[13], cold.sparseSolution->voltageIm[13]);

    const OutageResult& r = base.baseResult();
    ASSERT_EQ(r.violations.size(), 2u);
    EXPECT_EQ(r.violations[0].kind, ViolationKind::VoltageHigh);
    EXPECT_EQ(r.violations[0].node, 13);
    EXPECT_NEAR(r.violations[0].value, u14, 1e-4);
    EXPECT_NEAR(r.violations[0].excess, 100 * (u14 - 1.01 * model.nodeUnom[13]) / model.nodeUnom[13], 1e-4);
    EXPECT_EQ(r.violations[1].kind, ViolationKind::Overload);
    EXPECT_EQ(r.violations[1].branch, 1);
    EXPECT_NEAR(r.violations[1].value, current, 1e-6);
    EXPECT_NEAR(r.maxLoading.percent, 100 * current / 0.3, 1e-3);
    EXPECT_EQ(r.maxLoading.branch, 1);
    EXPECT_NEAR(r.severity, 100 * current / 0.3 - 100, 1e-3);
    EXPECT_THAT(violationText(base, r.violations[1]), HasSubstr("перегрузка ветви 1-2: I = "));

    // Without 1-2 the other lines from the base node carry more: the worst
    // outage of this list leads the report.
    const StudyResult study = runStudy(base, allBranchOutages(base.branches()));
    const std::vector<std::size_t> order = rankBySeverity(study.results);
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (study.results[order[i]].outcome == OutageOutcome::Solved &&
            study.results[order[i - 1]].outcome == OutageOutcome::Solved) {
            EXPECT_GE(study.results[order[i - 1]].severity, study.results[order[i]].severity);
        }
    }
    const std::string report = contingencyReport(base, study, {"limits.txt", false});
    EXPECT_THAT(report, HasSubstr("Исходный режим: нарушений 2"));
    EXPECT_THAT(report, HasSubstr("по току у 2 ветвей (кА, файл limits.txt)"));
}

// Fixed-voltage nodes on 500 kV records: one held at the class's highest
// voltage (525 kV), one above it (530 kV). Voltages in p.u. and the default
// limits are of the Unom written in each record; a held node is checked at
// its setting, however loosely the precision lets the solve meet it.
TEST(StudyOutcome, FixedVoltagesAreMeasuredAgainstTheirRecordsUnom)
{
    NetworkModel model = test::modelFromText("0102 0 1 515 0 0 0 0 0 0 0\n"
                                             "0201 0 2 500 -200 0 0 0 525 0 0\n"
                                             "0201 0 3 500 -100 0 0 0 530 0 0\n"
                                             "0201 0 4 500 400 150 0 0 0 0 0\n"
                                             "0301 0 1 2 2 30 -300 1 0 0 0\n"
                                             "0301 0 2 4 2 30 -300 1 0 0 0\n"
                                             "0301 0 3 4 2 30 -300 1 0 0 0\n"
                                             "0301 0 1 4 2 30 -300 1 0 0 0\n");
    const Limits limits = defaultLimits(model);
    EXPECT_EQ(limits.vmax[1], 525.0);
    EXPECT_EQ(limits.vmin[2], 450.0);
    const StudyBase base(model, limits, StudyOptions{});
    ASSERT_TRUE(base.solved());
    const OutageResult& r = base.baseResult();
    EXPECT_EQ(r.vmax.node, 2);
    EXPECT_NEAR(r.vmax.pu, 530.0 / 500.0, 1e-3);
    ASSERT_EQ(r.violations.size(), 1u);
    EXPECT_EQ(r.violations[0].kind, ViolationKind::VoltageHigh);
    EXPECT_EQ(r.violations[0].node, 2);
    EXPECT_EQ(r.violations[0].value, 530.0);
    EXPECT_THAT(violationText(base, r.violations[0]), HasSubstr("U = 530.00 кВ (1.060 о.е.) выше предела 525.00 кВ"));

    // With reactive limits a node at its limit holds no voltage: the line
    // charging drives node 2 to Qmin and its own voltage, above 525 kV, counts.
    NetworkModel charged = test::modelFromText("0102 0 1 515 0 0 0 0 0 0 0\n"
                                               "0201 0 2 500 -100 0 0 0 525 -5 5\n"
                                               "0201 0 3 500 200 20 0 0 0 0 0\n"
                                               "0301 0 1 2 2 30 -1500 1 0 0 0\n"
                                               "0301 0 2 3 2 30 -1500 1 0 0 0\n"
                                               "0301 0 1 3 2 30 -1500 1 0 0 0\n");
    StudyOptions limited;
    limited.settings.qLimits = true;
    const StudyBase atLimit(charged, defaultLimits(charged), limited);
    ASSERT_TRUE(atLimit.solved());
    const OutageResult& q = atLimit.baseResult();
    ASSERT_FALSE(q.violations.empty());
    EXPECT_EQ(q.violations[0].node, 1);
    EXPECT_GT(q.violations[0].value, 530.0);
}

// The files of one study of a generated grid with some limits, made with
// the given number of threads.
std::string studyFiles(const StudyBase& base, const std::vector<Outage>& outages, int threads)
{
    tbb::global_control control(tbb::global_control::max_allowed_parallelism, threads);
    const StudyResult study = runStudy(base, outages);
    return contingencyReport(base, study, {}) + studyJson(base, study) + contingenciesCsv(base, study) +
           violationsCsv(base, study);
}

TEST(StudyOutcome, TheFilesAreTheSameWithOneTwoOrFourThreads)
{
    test::GridOptions grid;
    grid.nodes = 400;
    grid.seed = 3;
    const NetworkModel model = test::modelFromText(test::generateGrid(grid).text);
    Limits limits = defaultLimits(model);
    for (int i = 1; i <= model.branchCount; i += 3) {
        limits.kind[i] = BranchLimitKind::Power;
        limits.branchLimit[i] = 60;
    }
    for (int k = 0; k <= model.nodeCount; k += 5)
        limits.vmin[k] = 1.0 * model.nodeUnom[k];
    StudyOptions options;
    const StudyBase base(model, limits, options);
    ASSERT_TRUE(base.solved());
    const std::vector<Outage> outages = allBranchOutages(base.branches());
    const std::string one = studyFiles(base, outages, 1);
    EXPECT_THAT(one, HasSubstr("\"overload\""));
    EXPECT_THAT(one, HasSubstr("\"split\""));
    EXPECT_EQ(studyFiles(base, outages, 2), one);
    EXPECT_EQ(studyFiles(base, outages, 4), one);
}

// A meshed lattice's outages are solved by GMRES on the decoupled factors:
// the same files whatever the number of threads.
TEST(StudyOutcome, AMeshedLatticesOutagesGiveTheSameFilesWithOneTwoOrFourThreads)
{
    const NetworkModel model = test::modelFromText(test::cduText(test::generateLattice(60, 2)));
    const StudyBase base(model, defaultLimits(model), StudyOptions{});
    ASSERT_TRUE(base.solved());
    std::vector<Outage> outages = allBranchOutages(base.branches());
    outages.resize(48);
    const std::string one = studyFiles(base, outages, 1);
    EXPECT_EQ(studyFiles(base, outages, 2), one);
    EXPECT_EQ(studyFiles(base, outages, 4), one);
}

TEST(StudyOutcome, CancelStopsTheStudyAndSaysSo)
{
    test::GridOptions grid;
    grid.nodes = 300;
    const NetworkModel model = test::modelFromText(test::generateGrid(grid).text);
    const StudyBase base(model, defaultLimits(model), StudyOptions{});
    StudyControl control;
    control.cancel = true;
    const StudyResult cancelled = runStudy(base, allBranchOutages(base.branches()), &control);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(control.done.load(), 0u);

    StudyControl counting;
    const StudyResult whole = runStudy(base, allBranchOutages(base.branches()), &counting);
    EXPECT_FALSE(whole.cancelled);
    EXPECT_EQ(counting.done.load(), whole.outages.size());
}

}  // namespace
}  // namespace tarvel
