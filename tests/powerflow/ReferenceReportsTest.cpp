// Whole runs against report files written by a second, independent model of
// the calculation (data/reference_model.py), which rounds every operation to
// single precision in the order the program keeps. An unconverged run whose
// residual wanders for ten iterations magnifies any change of rounding or
// order (d = r^2 + x^2 in double, a sum taken in another order, /K where /K^2
// belongs) into different figures of every report.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using tarvel::test::fileBytes;
using tarvel::test::sourcePath;
using tarvel::test::TempDir;

namespace {

struct ReferenceRun {
    TempDir dir;
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    RunOutcome outcome;

    explicit ReferenceRun(const std::string& input)
    {
        std::string bytes;
        EXPECT_TRUE(readFileBytes(sourcePath(input), bytes)) << input;
        outcome = runPowerFlow(*model, dir.path(), toCrLf(cp1251ToUtf8(bytes)), sink);
    }

    void expectReports(const std::string& expectedPrefix)
    {
        for (const char* ext : {"rez", "tok", "rip"}) {
            const std::string expected = fileBytes(sourcePath(expectedPrefix + "." + ext));
            ASSERT_FALSE(expected.empty()) << expectedPrefix << "." << ext;
            EXPECT_EQ(cp1251ToUtf8(fileBytes(dir / (std::string("network.") + ext))), cp1251ToUtf8(expected))
                << "network." << ext;
        }
    }
};

}  // namespace

TEST(ReferenceReports, Ieee14NetworkByteForByte)
{
    ReferenceRun run("samples/ieee14.cdu");
    ASSERT_EQ(run.outcome, RunOutcome::Converged);
    EXPECT_EQ(run.model->iterationNumber, 3);
    EXPECT_EQ(run.model->residual, 0.00011831741f);
    run.expectReports("tests/powerflow/data/ieee14");
}

TEST(ReferenceReports, UnconvergedRunOfTransformersShuntsAndDistrictsByteForByte)
{
    // Seven districts, transformers inside and across them, two shunts and
    // three nodes holding their voltage: ten iterations end near 0.16.
    ReferenceRun run("tests/powerflow/data/unconverged.cdu");
    ASSERT_EQ(run.outcome, RunOutcome::NotConverged);
    EXPECT_EQ(run.model->iterationNumber, 10);
    EXPECT_EQ(run.model->residual, 0.157574758f);
    ASSERT_EQ(run.sink.messages.size(), 1u);
    EXPECT_EQ(run.sink.messages[0], nonConvergenceText(10, 0.157574758f, ','));

    const std::string out = fileBytes(run.dir / "network.out");
    const std::string log = "1        3.45\r\n2       0.763\r\n3       0.213\r\n4       0.205\r\n5       0.213\r\n"
                            "6       0.202\r\n7       0.223\r\n8       0.187\r\n9       0.288\r\n10       0.158\r\n";
    ASSERT_GE(out.size(), log.size());
    EXPECT_EQ(out.substr(out.size() - log.size()), log);

    run.expectReports("tests/powerflow/data/unconverged");
}
