// Hostile and degenerate inputs through the whole chain: the power-flow run,
// its reports and the loss allocation on the branch currents it leaves.
// Whatever the input, the chain must end with a definite outcome and must not
// show "nan" or "inf" in a report unless the run told the user that its
// iteration diverged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "losses/LossAllocation.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

const char* const kReports[] = {"network.out", "network.rez", "network.rip", "network.tok"};
const std::string kLossRefused = "Расчет разделения потерь невозможен";

bool showsNonNumber(std::string bytes)
{
    std::transform(bytes.begin(), bytes.end(), bytes.begin(), [](unsigned char c) { return std::tolower(c); });
    return bytes.find("nan") != std::string::npos || bytes.find("inf") != std::string::npos;
}

struct Chain {
    RunOutcome outcome = RunOutcome::InputNotSaved;
    CollectingSink sink;      // messages and warnings of the run
    bool diverged = false;
    bool allocated = false;   // the loss allocation wrote its report
    CollectingSink lossSink;  // messages of the loss allocation
};

// Checks what must hold for the loss allocation on whatever the folder holds.
void checkAllocation(NetworkModel& model, const TempDir& dir, Chain& c)
{
    std::filesystem::remove(dir / "losses.rez");
    c.lossSink = CollectingSink{};
    c.allocated = allocateLosses(model, dir.path(), c.lossSink) == LossOutcome::Written;
    if (c.allocated) {
        const std::string rez = fileBytes(dir / "losses.rez");
        EXPECT_FALSE(rez.empty());
        EXPECT_FALSE(showsNonNumber(rez)) << cp1251ToUtf8(rez);
    } else {
        ASSERT_FALSE(c.lossSink.messages.empty());
        EXPECT_NE(c.lossSink.messages.back().find(kLossRefused), std::string::npos) << c.lossSink.messages.back();
        EXPECT_FALSE(std::filesystem::exists(dir / "losses.rez"));
    }
}

// Runs the power flow on a pane text and, when it completed, the loss
// allocation, checking what must hold whatever the input.
Chain runChain(NetworkModel& model, const TempDir& dir, std::string_view text)
{
    Chain c;
    for (const char* name : kReports)
        std::filesystem::remove(dir / name);
    c.outcome = runPowerFlow(model, dir.path(), text, c.sink);
    c.diverged = c.outcome == RunOutcome::Diverged;

    switch (c.outcome) {
    case RunOutcome::Rejected:
        EXPECT_FALSE(c.sink.messages.empty());
        if (!c.sink.messages.empty()) {
            EXPECT_EQ(c.sink.messages.back(), "Расчет невозможен!");
        }
        EXPECT_FALSE(std::filesystem::exists(dir / "network.out"));
        return c;
    case RunOutcome::Converged:
        EXPECT_TRUE(c.sink.messages.empty()) << c.sink.messages.front();
        break;
    case RunOutcome::NotConverged:
    case RunOutcome::Diverged:
        EXPECT_EQ(c.sink.messages.size(), 1u);
        break;
    default:
        ADD_FAILURE() << "no definite outcome: " << static_cast<int>(c.outcome);
        return c;
    }
    for (const char* name : kReports) {
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
        if (!c.diverged) {
            EXPECT_FALSE(showsNonNumber(fileBytes(dir / name))) << name << "\n" << cp1251ToUtf8(fileBytes(dir / name));
        }
    }
    // Every branch the run accepted has its line of currents.
    const std::string tok = fileBytes(dir / "network.tok");
    EXPECT_EQ(std::count(tok.begin(), tok.end(), '\n'), model.branchCount);
    checkAllocation(model, dir, c);
    return c;
}

using Record = std::vector<std::string>;

std::string text(const std::vector<Record>& records)
{
    std::string t;
    for (const Record& r : records) {
        for (std::size_t f = 0; f < r.size(); ++f)
            t += (f ? " " : "") + r[f];
        t += "\r\n";
    }
    return t;
}

// A 110 kV network with a load node, a generator node that holds 10.5 kV
// behind a transformer, a shunt, and a line with charging.
std::vector<Record> smallNetwork()
{
    return {
        {"0102", "0", "1", "115", "0", "0", "0", "0", "0", "0", "0"},
        {"0201", "0", "2", "110", "20", "8", "0", "0", "0", "0", "0"},
        {"0201", "0", "3", "10", "-5", "0", "0", "0", "10.5", "0", "0"},
        {"0301", "0", "2", "0", "0", "-150"},
        {"0301", "0", "1", "2", "4", "16", "-120", "0", "0", "0", "0"},
        {"0301", "0", "2", "3", "0.05", "1.2", "0", "10.5", "0", "0", "0"},
    };
}

std::string star(int nodes, int parallel = 1)
{
    std::string t = "0102 0 1 115 0 0 0 0 0 0 0\r\n";
    for (int k = 2; k <= nodes + 1; ++k)
        t += "0201 0 " + std::to_string(k) + " 110 0.5 0.2 0 0 0 0 0\r\n";
    for (int k = 2; k <= nodes + 1; ++k)
        for (int p = 0; p < parallel; ++p)
            t += "0301 0 1 " + std::to_string(k) + " 2 8 0 0 0 0 0\r\n";
    return t;
}

std::string errText(const TempDir& dir)
{
    return cp1251ToUtf8(fileBytes(dir / "network.err"));
}

}  // namespace

TEST(HostileInput, SeedNetworksAndSamplesRunThroughTheWholeChain)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    std::map<RunOutcome, int> outcomes;
    int allocated = 0, files = 0;
    for (const char* folder : {"tests/data/fuzz-seeds", "samples"}) {
        std::vector<std::filesystem::path> paths;
        for (const auto& entry : std::filesystem::directory_iterator(sourcePath(folder)))
            paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        for (const auto& path : paths) {
            SCOPED_TRACE(path.filename().string());
            // Loaded as the window loads a file: Windows-1251 into the pane.
            const Chain c = runChain(*model, dir, cp1251ToUtf8(fileBytes(path)));
            ++outcomes[c.outcome];
            allocated += c.allocated;
            ++files;
        }
    }
    // The corpus holds accepted, rejected and non-converging networks.
    EXPECT_GE(files, 20);
    EXPECT_GE(outcomes[RunOutcome::Converged], 10);
    EXPECT_GE(outcomes[RunOutcome::Rejected], 5);
    EXPECT_GE(outcomes[RunOutcome::NotConverged], 1);
    EXPECT_GE(allocated, 5);
}

TEST(HostileInput, ExtremeAndLimitValuesInEveryField)
{
    // Every field of every record, in turn, at the limits the reader checks,
    // beyond them, huge, tiny, overflowing, and not a number at all.
    const std::vector<std::string> values = {
        "0",      "-0",     "1e30",       "-1e30",       "1e-30",       "-1e-30",  "1e38",    "1e39",
        "-1e39",  "0.1",    "0.09",       "1500",        "1501",        "1.001",   "1.0009",  "999999",
        "-1000000", "-99999", "-100000",  "100000",      "100001",      "-99",     "-100",    "2147483647",
        "-99999999999", "1,5", "e",
    };
    const std::vector<Record> network = smallNetwork();
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    std::map<RunOutcome, int> outcomes;
    for (std::size_t r = 0; r < network.size(); ++r)
        for (std::size_t f = 1; f < network[r].size(); ++f)
            for (const std::string& v : values) {
                std::vector<Record> changed = network;
                changed[r][f] = v;
                SCOPED_TRACE("record " + std::to_string(r + 1) + ", field " + std::to_string(f) + " = " + v);
                ++outcomes[runChain(*model, dir, text(changed)).outcome];
            }
    EXPECT_GT(outcomes[RunOutcome::Converged], 100);
    EXPECT_GT(outcomes[RunOutcome::Rejected], 100);
    EXPECT_GT(outcomes[RunOutcome::NotConverged], 0);

    // Every real field huge, or tiny, at once.
    for (const char* v : {"1e30", "-1e30", "1e-30", "1e38"}) {
        std::vector<Record> changed = network;
        for (Record& rec : changed)
            for (std::size_t f = 1; f < rec.size(); ++f)
                if (!(f <= 2 || (rec[0] == "0301" && f <= 3)))
                    rec[f] = v;
        SCOPED_TRACE(std::string("every real field ") + v);
        runChain(*model, dir, text(changed));
    }
}

TEST(HostileInput, ZeroImpedancesAndTheReactanceClamp)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    // r = 0 and x = 0 everywhere: every reactance becomes 1.01 Ohm.
    Chain c = runChain(*model, dir,
                       "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n0201 0 3 110 5 2 0 0 0 0 0\r\n"
                       "0301 0 1 2 0 0 0 0 0 0 0\r\n0301 0 2 3 0 -0 0 0 0 0 0\r\n0301 0 1 3 0 1.0009 0 0 0 0 0\r\n");
    ASSERT_EQ(c.outcome, RunOutcome::Converged);
    for (int j = 1; j <= 3; ++j)
        EXPECT_EQ(model->branchReactance[j], 1.01f) << j;
    EXPECT_TRUE(c.allocated);  // pure reactances lose nothing
    EXPECT_NE(cp1251ToUtf8(fileBytes(dir / "losses.rez")).find("Потери  0.00"), std::string::npos);

    // x just at the clamp stays; a negative reactance (a series capacitor) too.
    c = runChain(*model, dir,
                 "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n"
                 "0301 0 1 2 1 1.001 0 0 0 0 0\r\n0301 0 1 2 1 -1.001 0 0 0 0 0\r\n");
    EXPECT_NE(c.outcome, RunOutcome::Rejected);
    EXPECT_EQ(model->branchReactance[1], 1.001f);
    EXPECT_EQ(model->branchReactance[2], -1.001f);
}

TEST(HostileInput, FiguresBeyondSinglePrecisionAreToldAsDivergence)
{
    // A base node of 1e21 kV, whose square and power are beyond a float, is
    // refused as any node's voltage beyond 1500 kV; never a report of inf.
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    for (const char* base : {"1e21", "1e30", "-230"}) {
        const Chain refused = runChain(*model, dir,
                                       std::string("0102 0 1 ") + base + " 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n"
                                       "0301 0 1 2 5020 -100 0 0 0 0 0\r\n");
        EXPECT_EQ(refused.outcome, RunOutcome::Rejected) << base;
        EXPECT_FALSE(std::filesystem::exists(dir / "network.rez")) << base;
    }
    // At the most a node may have the figures stay within a float.
    const Chain c = runChain(*model, dir,
                             "0102 0 1 1500 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n"
                             "0301 0 1 2 5020 -100 0 0 0 0 0\r\n");
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
    const std::string rez = fileBytes(dir / "network.rez");
    EXPECT_EQ(rez.find("inf"), std::string::npos);
    EXPECT_EQ(rez.find("nan"), std::string::npos);
}

TEST(HostileInput, TableLimitsThroughTheWholeChain)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    // 99 nodes are calculated; the loss allocation refuses them.
    Chain c = runChain(*model, dir, star(99));
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
    EXPECT_FALSE(c.allocated);
    EXPECT_EQ(c.lossSink.messages, std::vector<std::string>{kLossTooManyNodesText});
    // 100 go to the sparse method, which says so after the echo.
    c = runChain(*model, dir, star(100));
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
    EXPECT_EQ(model->nodeCount, 100);
    EXPECT_NE(cp1251ToUtf8(fileBytes(dir / "network.out")).find(sparseMethodLine(100)), std::string::npos);
    EXPECT_EQ(c.lossSink.messages, std::vector<std::string>{kLossTooManyNodesText});

    // 29 nodes and the base node are allocated, 30 and the base node not.
    c = runChain(*model, dir, star(29));
    EXPECT_TRUE(c.allocated);
    c = runChain(*model, dir, star(30));
    EXPECT_FALSE(c.allocated);

    // 149 branches: 149 parallel lines share the load equally; 150 go to the
    // sparse method, and the loss allocation refuses them.
    std::string parallel = "0102 0 1 115 0 0 0 0 0 0 0\r\n0201 0 2 110 30 10 0 0 0 0 0\r\n";
    for (int j = 0; j < 149; ++j)
        parallel += "0301 0 1 2 3 12 -10 0 0 0 0\r\n";
    c = runChain(*model, dir, parallel);
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
    ASSERT_TRUE(c.allocated);
    EXPECT_EQ(model->branchCount, 149);
    const std::string exactOut = fileBytes(dir / "network.out");
    c = runChain(*model, dir, parallel + "0301 0 1 2 3 12 -10 0 0 0 0\r\n");
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
    EXPECT_EQ(model->branchCount, 150);
    EXPECT_FALSE(c.allocated);
    EXPECT_EQ(c.lossSink.messages, std::vector<std::string>{kLossTooManyBranchesText});
    EXPECT_EQ(exactOut.find(utf8ToCp1251(sparseMethodLine(1))), std::string::npos);
}

TEST(HostileInput, IslandsRepeatedNumbersAndBranchesToThemselves)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    const std::string base = "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n0301 0 1 2 5 20 0 0 0 0 0\r\n";

    // Three nodes joined among themselves but not to the base node.
    Chain c = runChain(*model, dir,
                       base + "0201 0 3 110 1 1 0 0 0 0 0\r\n0201 0 4 110 1 1 0 0 0 0 0\r\n"
                              "0201 0 5 110 1 1 0 0 0 0 0\r\n0301 0 3 4 1 4 0 0 0 0 0\r\n"
                              "0301 0 4 5 1 4 0 0 0 0 0\r\n0301 0 5 3 1 4 0 0 0 0 0\r\n");
    EXPECT_EQ(c.outcome, RunOutcome::Rejected);
    EXPECT_EQ(errText(dir), "Ошибка связи 3. Узлы не связаны с базовым узлом: 3 4 5\r\n");

    // A loaded node whose only branch names a number that a later record
    // repeats: the branch goes to the later record, the load is cut off.
    c = runChain(*model, dir,
                 base + "0201 0 7 110 3 1 0 0 0 0 0\r\n0201 0 7 110 0 0 0 0 0 0 0\r\n0301 0 2 7 1 4 0 0 0 0 0\r\n");
    EXPECT_EQ(c.outcome, RunOutcome::Rejected);
    EXPECT_EQ(errText(dir), "Ошибка связи 4. Номер узла повторяется: 7\r\n"
                            "Ошибка связи 3. Узлы не связаны с базовым узлом: 7\r\n");

    // A line from a node to itself carries nothing; a transformer from a node
    // to itself draws a current round its own loop.
    c = runChain(*model, dir, base + "0301 0 2 2 1 4 -50 0 0 0 0\r\n");
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
    EXPECT_EQ(c.sink.warnings.size(), 1u);
    EXPECT_TRUE(c.allocated);
    c = runChain(*model, dir, base + "0301 0 2 2 1 40 0 1.2 0 0 0\r\n");
    EXPECT_NE(c.outcome, RunOutcome::Rejected);

    // Branches pointing towards the base node, round a loop.
    c = runChain(*model, dir,
                 base + "0201 0 3 110 4 2 0 0 0 0 0\r\n0201 0 4 110 4 2 0 0 0 0 0\r\n"
                        "0301 0 3 2 2 8 0 0 0 0 0\r\n0301 0 4 3 2 8 0 0 0 0 0\r\n0301 0 2 4 2 8 0 0 0 0 0\r\n"
                        "0301 0 4 1 2 8 0 0 0 0 0\r\n");
    EXPECT_EQ(c.outcome, RunOutcome::Converged);
}

TEST(HostileInput, TextsThatAreHardlyText)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    const std::string network = text(smallNetwork());
    std::string noLineEnds = network;
    std::replace(noLineEnds.begin(), noLineEnds.end(), '\r', ' ');
    std::replace(noLineEnds.begin(), noLineEnds.end(), '\n', ' ');
    std::string megabyteLine;
    while (megabyteLine.size() < (1u << 20))
        megabyteLine += "7 77 777 ";

    struct Case {
        std::string name;
        std::string text;
        RunOutcome outcome;
    };
    const std::vector<Case> cases = {
        {"empty", "", RunOutcome::Rejected},
        {"one 1 MB line of unknown codes, then the network", megabyteLine + "\r\n" + network, RunOutcome::Converged},
        {"one 1 MB line of digits", std::string(1 << 20, '7'), RunOutcome::Rejected},
        {"the network on one line", noLineEnds, RunOutcome::Converged},
        {"NUL bytes within", std::string("0102 0 1 115\0 0 0 0 0 0 0 0\r\n", 29) + network, RunOutcome::Rejected},
        {"NUL bytes after", network + std::string(100, '\0'), RunOutcome::Converged},
        {"only 0201 codes", [] {
             std::string t;
             for (int k = 0; k < 500; ++k)
                 t += "0201 ";
             return t;
         }(),
         RunOutcome::Rejected},
        {"only 0301 codes", "0301 0301 0301 0301 0301 0301", RunOutcome::Rejected},
        {"lone CR line ends", [&] {
             std::string t = network;
             t.erase(std::remove(t.begin(), t.end(), '\n'), t.end());
             return t;
         }(),
         RunOutcome::Converged},
        {"Cyrillic heading", "Схема сети 110 кВ\r\n" + network, RunOutcome::Rejected},
        {"bytes that are no UTF-8", "\xff\xfe\x80" + network, RunOutcome::Rejected},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(runChain(*model, dir, k.text).outcome, k.outcome);
    }
}

TEST(HostileInput, DeepAndManifoldPathsOfTheLossAllocation)
{
    // 29 nodes in a chain below the base node, every link a double line, and
    // a line across every third link: the load currents are traced along
    // many paths and down beyond ten links.
    std::string t = "0102 0 1 10.5 0 0 0 0 0 0 0\r\n";
    for (int k = 2; k <= 30; ++k)
        t += "0201 0 " + std::to_string(k) + " 10 0.05 0.02 0 0 0 0 0\r\n";
    for (int k = 2; k <= 30; ++k) {
        const std::string link = "0301 0 " + std::to_string(k - 1) + " " + std::to_string(k);
        t += link + " 0.2 0.4 0 0 0 0 0\r\n" + link + " 0.2 0.4 0 0 0 0 0\r\n";
        if (k % 3 == 0)
            t += "0301 0 " + std::to_string(k - 2) + " " + std::to_string(k) + " 0.5 1 0 0 0 0 0\r\n";
    }
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    auto tables = std::make_unique<LossTables>();
    const Chain c = runChain(*model, dir, t);
    ASSERT_EQ(c.outcome, RunOutcome::Converged);
    ASSERT_TRUE(c.allocated);
    EXPECT_EQ(model->branchCount, 68);
    CollectingSink sink;
    ASSERT_EQ(allocateLosses(*model, dir.path(), sink, *tables), LossOutcome::Written);
    // The two lines of the last link share its node's load equally, and
    // their components add up to their losses.
    const int last = model->branchCount;
    for (int b = last - 1; b <= last; ++b) {
        float total = 0.0f;
        for (int j = 1; j <= model->nodeCount + 1; ++j)
            total = total + tables->lossPart[b][j];
        EXPECT_NEAR(total, tables->branchLoss[b], 1e-3f * tables->branchLoss[b] + 1e-9f) << b;
    }
}

TEST(HostileInput, BranchCurrentsTamperedBetweenTheRunAndTheAllocation)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    Chain c = runChain(*model, dir, text(smallNetwork()));
    ASSERT_EQ(c.outcome, RunOutcome::Converged);
    ASSERT_TRUE(c.allocated);
    const std::string tok = fileBytes(dir / "network.tok");
    const std::size_t firstEnd = tok.find('\n') + 1;

    std::string megabyteLine(1 << 20, '9');
    const std::vector<std::pair<std::string, std::string>> tampered = {
        {"empty", ""},
        {"first line only", tok.substr(0, firstEnd)},
        {"lines in another order", tok.substr(firstEnd) + tok.substr(0, firstEnd)},
        {"an extra line", tok + tok.substr(0, firstEnd)},
        {"positions out of range", "    0   99    1.0000    1.0000          1.000\r\n   -1    1    1.0 1.0 1.0\r\n" +
                                       tok.substr(firstEnd)},
        {"huge currents", "    0    1 1e30 1e30 1\r\n    1    2 1e19 -1e19 1e19\r\n    1    1 3e38 0 1\r\n"},
        {"not numbers", "    0    1 nan inf 1\r\n    1    2 -inf 0 nan\r\n    1    1 0 0 0\r\n"},
        {"a megabyte of digits", megabyteLine},
        {"NUL bytes", std::string(64, '\0') + tok},
        {"commas", "0 1 0,5 0,1 4\r\n1 2 0,1 0 1\r\n1 1 0 0 0\r\n"},
        {"another network's currents", "0 1 1 1 1\r\n1 2 1 1 1\r\n2 3 1 1 1\r\n3 4 1 1 1\r\n4 5 1 1 1\r\n"},
    };
    for (const auto& [name, bytes] : tampered) {
        SCOPED_TRACE(name);
        writeBytes(dir / "network.tok", bytes);
        checkAllocation(*model, dir, c);
    }
    // network.tok gone: the currents of the last allocation are used again.
    std::filesystem::remove(dir / "network.tok");
    checkAllocation(*model, dir, c);
    EXPECT_EQ(c.lossSink.warnings, std::vector<std::string>{kLossTokNotOpenedText});

    // A later run whose data were rejected leaves its counts in the model;
    // the allocation then works on them and on the last currents.
    c = runChain(*model, dir, star(40) + "0201 0 500 110 0 0 0 0 0 0 0\r\n");
    ASSERT_EQ(c.outcome, RunOutcome::Rejected);
    writeBytes(dir / "network.tok", tok);
    checkAllocation(*model, dir, c);
    EXPECT_EQ(c.lossSink.messages, std::vector<std::string>{kLossTooManyNodesText});
    c = runChain(*model, dir, star(5) + "0301 0 1 9 1 1 0 0 0 0 0\r\n");
    ASSERT_EQ(c.outcome, RunOutcome::Rejected);
    writeBytes(dir / "network.tok", tok);
    checkAllocation(*model, dir, c);
    EXPECT_TRUE(c.allocated);
    EXPECT_EQ(c.lossSink.messages, std::vector<std::string>{kLossTokDamagedText});
}
