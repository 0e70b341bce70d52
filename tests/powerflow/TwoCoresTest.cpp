// A network beyond the exact method's limits has its echo formatted on a
// second core and its reports on all cores: every file must come out as the
// same work done in turn would write it, whatever the number of threads.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include "model/MessageSink.h"
#include "model/TextFile.h"
#include "powerflow/InputEcho.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/Reports.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

const std::vector<std::string> kReportFiles = {"network.rez", "network.tok", "network.rip"};

struct Written {
    std::vector<std::string> messages;
    std::vector<std::string> files;  // kReportFiles' bytes, "absent" for none
};

Written reportsOn(NetworkModel& model, ReportCores cores, bool blockCurrents)
{
    TempDir dir;
    if (blockCurrents)
        std::filesystem::create_directory(dir / "network.tok");
    CollectingSink sink;
    writeReports(model, dir.path(), sink, cores);
    Written w;
    w.messages = sink.messages;
    for (const std::string& name : kReportFiles)
        w.files.push_back(std::filesystem::is_regular_file(dir / name) ? fileBytes(dir / name) : "absent");
    return w;
}

std::unique_ptr<NetworkModel> solvedGrid(int nodes, const std::filesystem::path& workDir)
{
    GridOptions o;
    o.nodes = nodes;
    o.seed = 5;
    const GeneratedNetwork net = generateGrid(o);
    auto model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    EXPECT_EQ(runPowerFlow(*model, workDir, net.text, sink), RunOutcome::Converged);
    EXPECT_TRUE(sink.messages.empty());
    return model;
}

}  // namespace

TEST(TwoCores, ALargeRunWritesTheEchoBeforeTheLogAndTheReportsAsInTurn)
{
    TempDir dir;
    auto model = solvedGrid(1500, dir.path());
    ASSERT_TRUE(model->needsSparseMethod());

    // network.out: the echo of the tables as the reader left them, the
    // method's line, then one log line per iteration.
    TempDir echoDir;
    {
        TextFileWriter echo(echoDir / "echo");
        writeInputEcho(*model, echo);
        echo << sparseMethodLine(model->nodeCount);
        echo.endLine();
    }
    const std::string expectedEcho = fileBytes(echoDir / "echo");
    const std::string out = fileBytes(dir / "network.out");
    ASSERT_GT(out.size(), expectedEcho.size());
    ASSERT_EQ(out.substr(0, expectedEcho.size()), expectedEcho);
    const std::string log = out.substr(expectedEcho.size());
    ASSERT_GE(model->iterationNumber, 2);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(lines, static_cast<std::size_t>(model->iterationNumber));
    EXPECT_EQ(log.substr(0, 2), "1 ");

    // The run's reports are those written in turn, byte for byte.
    const Written inTurn = reportsOn(*model, ReportCores::One, false);
    for (std::size_t i = 0; i < kReportFiles.size(); ++i)
        EXPECT_EQ(fileBytes(dir / kReportFiles[i]), inTurn.files[i]) << kReportFiles[i];
    EXPECT_GT(inTurn.files[0].size(), std::size_t{1} << 17);  // beyond the writer's buffer
    EXPECT_EQ(reportsOn(*model, ReportCores::All, false).files, inTurn.files);
}

TEST(TwoCores, ReportsAndFailuresAreTheSameAsInTurnAtEverySize)
{
    for (const int nodes : {20, 98, 400}) {
        TempDir dir;
        auto model = solvedGrid(nodes, dir.path());
        for (const bool blocked : {false, true}) {
            const Written one = reportsOn(*model, ReportCores::One, blocked);
            const Written two = reportsOn(*model, ReportCores::All, blocked);
            EXPECT_EQ(two.files, one.files) << nodes << " nodes, network.tok blocked: " << blocked;
            EXPECT_EQ(two.messages, one.messages) << nodes;
            EXPECT_EQ(one.messages.size(), blocked ? 1u : 0u);
        }
    }
}

// Enough branches for the reports to be formatted in more than one window of
// parts, on one, two and three threads.
TEST(TwoCores, ReportsOfALargeGridAreTheSameOnAnyNumberOfThreads)
{
    TempDir dir;
    auto model = solvedGrid(24000, dir.path());
    ASSERT_GT(model->branchCount, 33000);
    const Written inTurn = reportsOn(*model, ReportCores::One, false);
    for (const std::size_t threads : {1, 2, 3}) {
        const tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        const Written all = reportsOn(*model, ReportCores::All, false);
        EXPECT_EQ(all.files, inTurn.files) << threads << " threads";
        EXPECT_TRUE(all.messages.empty());
    }
    for (std::size_t i = 0; i < kReportFiles.size(); ++i)
        EXPECT_EQ(fileBytes(dir / kReportFiles[i]), inTurn.files[i]) << kReportFiles[i];
}

// The reports of an earlier, larger run in the folder are replaced whole.
TEST(TwoCores, ALargeRunReplacesTheReportsOfAnEarlierRun)
{
    TempDir fresh;
    auto model = solvedGrid(1500, fresh.path());
    TempDir used;
    for (const std::string& name : kReportFiles)
        writeBytes(used / name, std::string(fileBytes(fresh / name).size() + 100000, 'x'));
    solvedGrid(1500, used.path());
    for (const std::string& name : kReportFiles)
        EXPECT_EQ(fileBytes(used / name), fileBytes(fresh / name)) << name;
}
