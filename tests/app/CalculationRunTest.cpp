// One calculation as both front ends take it: the files, the outcome, the
// figures and the diagram's data agree with each other and with the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/CalculationRun.h"
#include "model/TextFile.h"
#include "tests/support/TestSupport.h"

namespace tarvel::app {
namespace {

std::string sampleText(const char* name)
{
    return cp1251ToUtf8(test::fileBytes(test::sourcePath(std::string("samples/") + name)));
}

// The pane's text as an editor leaves it: LF line ends, no end on the last line.
std::string paneText(std::string text)
{
    std::string pane;
    for (char c : text)
        if (c != '\r')
            pane += c;
    while (!pane.empty() && pane.back() == '\n')
        pane.pop_back();
    return pane;
}

TEST(CalculationRun, AnAcceptedRunGivesItsFilesFiguresAndDiagram)
{
    test::TempDir dir;
    auto calculation = std::make_unique<Calculation>();
    CollectingSink sink;
    const std::string text = sampleText("ieee14.cdu");
    const std::string pane = paneText(text);
    const CalculationResult run = runCalculation(*calculation, dir.path(), {pane}, sink);
    ASSERT_EQ(run.outcome, RunOutcome::Converged);
    EXPECT_TRUE(run.solved());
    EXPECT_EQ(run.files.results, dir.path() / "network.rez");
    // The pane's lines go to network.cdu once converted, each ended by CR LF.
    EXPECT_EQ(cp1251ToUtf8(test::fileBytes(run.files.input)), toCrLf(pane) + "\r\n");
    for (const auto& file : {run.files.input, run.files.errors, run.files.echo, run.files.results})
        EXPECT_TRUE(std::filesystem::exists(file)) << file;

    ASSERT_TRUE(run.results.has_value());
    const NetworkModel& model = calculation->model;
    ASSERT_EQ(run.results->nodes.size(), static_cast<std::size_t>(model.nodeCount) + 1);
    ASSERT_TRUE(run.diagram.has_value());
    EXPECT_TRUE(run.diagram->results.has_value());
    EXPECT_TRUE(run.diagram->findings.empty());
    EXPECT_EQ(run.diagram->topology.nodeNumbers.size(), run.results->nodes.size());

    // A level raised by an import comes back in the case's own kV.
    const int32_t raised = model.nodeNumber[3];
    CalculationRequest request{pane};
    request.raisedBases = {{raised, 2.0}};
    request.wantDiagram = false;
    const CalculationResult again = runCalculation(*calculation, dir.path(), request, sink);
    ASSERT_TRUE(again.results.has_value());
    EXPECT_FALSE(again.diagram.has_value());
    EXPECT_DOUBLE_EQ(again.results->nodes[3].u * 2.0, run.results->nodes[3].u);
    EXPECT_DOUBLE_EQ(again.results->nodes[4].u, run.results->nodes[4].u);
}

TEST(CalculationRun, ARefusedTextGivesTheFindingsToTheDiagramAndNoFigures)
{
    test::TempDir dir;
    auto calculation = std::make_unique<Calculation>();
    CollectingSink sink;
    const CalculationResult run = runCalculation(*calculation, dir.path(),
                                                 {"0102 0 1 110 0 0 0 0 0 0 0\n"
                                                  "0201 0 2 110 10 5 0 0 0 0 0\n"
                                                  "0201 0 3 110 1 1 0 0 0 0 0\n"
                                                  "0301 0 1 2 5 20 0 1 0 0 0\n"},
                                                 sink);
    EXPECT_EQ(run.outcome, RunOutcome::Rejected);
    EXPECT_FALSE(run.solved());
    EXPECT_FALSE(run.results.has_value());
    ASSERT_TRUE(run.diagram.has_value());
    EXPECT_FALSE(run.diagram->results.has_value());
    ASSERT_EQ(run.diagram->findings.size(), 1u);
    EXPECT_EQ(run.diagram->findings[0].nodes, std::vector<int32_t>{3});
    EXPECT_EQ(cp1251ToUtf8(test::fileBytes(run.files.errors)), run.diagram->findings[0].text + "\r\n");

    // A folder where nothing can be written: no reading, no diagram.
    const CalculationResult nowhere =
        runCalculation(*calculation, dir.path() / "missing", {"0102 0 1 110 0 0 0 0 0 0 0\n"}, sink);
    EXPECT_EQ(nowhere.outcome, RunOutcome::InputNotSaved);
    EXPECT_FALSE(nowhere.diagram.has_value());
}

}  // namespace
}  // namespace tarvel::app
