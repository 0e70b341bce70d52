#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/Equations.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/powerflow/SolverTestNetworks.h"
#include "tests/support/TestSupport.h"

using tarvel::RunOutcome;
using tarvel::test::fileBytes;
using tarvel::test::HandNetwork;
using tarvel::test::TempDir;

namespace {

// The lines of a Windows-1251 CR LF file, in UTF-8.
std::vector<std::string> fileLines(const std::filesystem::path& path)
{
    const std::string text = tarvel::cp1251ToUtf8(fileBytes(path));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool hasNonNumber(const std::string& text)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

// Runs the iterations of a hand-made model with the log in a file.
struct Solved {
    tarvel::RunOutcome outcome;
    bool converged;
    std::vector<std::string> log;
    tarvel::CollectingSink sink;
};

Solved solve(tarvel::NetworkModel& model, const tarvel::CalculationSettings& settings = {})
{
    TempDir dir;
    Solved result;
    {
        tarvel::TextFileWriter log(dir / "log");
        result.outcome = tarvel::solveAndLog(model, settings, log, result.sink, ',');
        result.converged = result.outcome == tarvel::RunOutcome::Converged;
    }
    result.log = fileLines(dir / "log");
    return result;
}

// 110 kV: base node and two loads.
HandNetwork loadedNetwork()
{
    HandNetwork net(115.0f);
    const int a = net.node(2, 110.0f, 25.0f, 10.0f);
    const int b = net.node(3, 110.0f, 12.0f, 6.0f);
    net.branch(0, a, 6.0f, 24.0f, 1.5e-4f);
    net.branch(a, b, 8.0f, 30.0f, 1e-4f);
    return net;
}

const char* const kThreeRecords =
    "0102 0 1 110 0 0 0 0 0 0 0\n"
    "0201 0 2 110 10 5 0 0 0 0 0\n"
    "0301 0 1 2 5 20 -100 0 0 0 0\n";

}  // namespace

TEST(PaneText, IsSavedLineByLineWithCrLfInWindows1251)
{
    EXPECT_EQ(tarvel::paneTextToCduBytes(""), "");
    EXPECT_EQ(tarvel::paneTextToCduBytes("0102 0 1"), "0102 0 1\r\n");
    EXPECT_EQ(tarvel::paneTextToCduBytes("a\nb"), "a\r\nb\r\n");
    EXPECT_EQ(tarvel::paneTextToCduBytes("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(tarvel::paneTextToCduBytes("a\rb\n\n"), "a\r\nb\r\n\r\n");  // an empty last line stays
    EXPECT_EQ(tarvel::paneTextToCduBytes("\n"), "\r\n");
    EXPECT_EQ(tarvel::paneTextToCduBytes("узел 5"), "\xF3\xE7\xE5\xEB 5\r\n");
    EXPECT_EQ(tarvel::paneTextToCduBytes("узел\r\n5\r\n"), "\xF3\xE7\xE5\xEB\r\n5\r\n");  // CR LF already
    EXPECT_EQ(tarvel::paneTextToCduBytes("a\r\nb"), "a\r\nb\r\n");
    EXPECT_EQ(tarvel::paneTextToCduBytes("a\r\nb\r"), "a\r\nb\r\n");
}

TEST(NonConvergenceMessage, ShowsFiveSignificantDigitsWithSixDecimals)
{
    EXPECT_EQ(tarvel::formatMessageResidual(0.0234567f, ','), "0,023457");
    EXPECT_EQ(tarvel::formatMessageResidual(1.5f, ','), "1,500000");
    EXPECT_EQ(tarvel::formatMessageResidual(0.0f, ','), "0,000000");
    EXPECT_EQ(tarvel::formatMessageResidual(12.345678f, ','), "12,346000");
    EXPECT_EQ(tarvel::formatMessageResidual(99999.4f, ','), "99999,000000");
    EXPECT_EQ(tarvel::formatMessageResidual(9.999996f, ','), "10,000000");
    EXPECT_EQ(tarvel::formatMessageResidual(0.0000123456f, ','), "0,000012");
    // More than five digits before the separator: exponent form.
    EXPECT_EQ(tarvel::formatMessageResidual(123456.7f, ','), "1,2346e+05");
    EXPECT_EQ(tarvel::formatMessageResidual(99999.7f, ','), "1e+05");
    EXPECT_EQ(tarvel::formatMessageResidual(3e20f, ','), "3e+20");
    EXPECT_EQ(tarvel::formatMessageResidual(0.0234567f, '.'), "0.023457");

    EXPECT_EQ(tarvel::nonConvergenceText(10, 0.0234567f, ','),
              "За данное число итераций сходимость с заданной точностью не обеспечена.\n"
              "Точность на последней 10-ой итерации составляет 0,023457");
}

TEST(Iterations, StopAtOnceWhenTheFlatStartMeetsThePrecision)
{
    // No load and no charging: nothing flows and every mismatch is zero.
    HandNetwork net(110.0f);
    const int a = net.node(2, 110.0f);
    net.branch(0, a, 5.0f, 20.0f);
    const Solved s = solve(*net);
    EXPECT_TRUE(s.converged);
    EXPECT_EQ(net->iterationNumber, 0);
    EXPECT_EQ(net->residual, 0.0f);
    EXPECT_TRUE(s.log.empty());
    EXPECT_TRUE(s.sink.messages.empty());
}

TEST(Iterations, LogEveryIterationUntilThePrecisionIsMet)
{
    HandNetwork net = loadedNetwork();
    const Solved s = solve(*net, {.precision = 1e-4f});
    EXPECT_TRUE(s.converged);
    EXPECT_TRUE(s.sink.messages.empty());
    ASSERT_EQ(static_cast<int>(s.log.size()), net->iterationNumber);
    ASSERT_GE(s.log.size(), 2u);
    const std::regex line(R"((\d+)( *)(\S+))");
    for (std::size_t i = 0; i < s.log.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(s.log[i], match, line)) << s.log[i];
        EXPECT_EQ(match[1], std::to_string(i + 1));
        EXPECT_EQ(match[2].length() + match[3].length(), 12u) << s.log[i];
    }
    EXPECT_EQ(s.log.back(), std::to_string(net->iterationNumber) + tarvel::formatGeneral(net->residual, 12, 3));
    EXPECT_LE(net->residual, 1e-4f);
    // The last residual evaluation left the node powers of the final voltages.
    EXPECT_NEAR(net->calcP[1], -25.0f, 0.01);
}

TEST(Iterations, TellNonConvergenceAtTheLimit)
{
    {
        HandNetwork net = loadedNetwork();
        const Solved s = solve(*net, {.iteraz = 0});
        EXPECT_FALSE(s.converged);
        EXPECT_TRUE(s.log.empty());
        ASSERT_EQ(s.sink.messages.size(), 1u);
        EXPECT_EQ(s.sink.messages[0], tarvel::nonConvergenceText(0, net->residual, ','));
        EXPECT_EQ(net->runMessage, s.sink.messages[0]);
    }
    {
        // A precision that single precision cannot reach.
        HandNetwork net = loadedNetwork();
        const Solved s = solve(*net, {.precision = 1e-30f});
        EXPECT_FALSE(s.converged);
        ASSERT_EQ(s.log.size(), 10u);
        EXPECT_EQ(s.log[0].substr(0, 2), "1 ");
        EXPECT_EQ(s.log[9].substr(0, 3), "10 ");
        EXPECT_EQ(net->iterationNumber, 10);
        ASSERT_EQ(s.sink.messages.size(), 1u);
        EXPECT_NE(s.sink.messages[0].find("\nТочность на последней 10-ой итерации составляет "), std::string::npos);
    }
}

TEST(Iterations, StopOnDivergenceAndKeepTheLastFiniteVoltages)
{
    auto check = [](HandNetwork& net, int divergedAt) {
        const Solved s = solve(*net);
        EXPECT_EQ(s.outcome, tarvel::RunOutcome::Diverged);
        ASSERT_EQ(s.sink.messages.size(), 1u);
        EXPECT_EQ(s.sink.messages[0], tarvel::divergenceText(divergedAt));
        EXPECT_EQ(net->runMessage, s.sink.messages[0]);
        ASSERT_GE(s.log.size(), 2u);
        EXPECT_EQ(s.log[s.log.size() - 2] + "\n" + s.log.back(), s.sink.messages[0]);
        for (const auto& line : s.log)
            EXPECT_FALSE(hasNonNumber(line)) << line;
        for (int k = 0; k <= net->nodeCount; ++k) {
            EXPECT_TRUE(std::isfinite(net->voltageRe[k]) && std::isfinite(net->voltageIm[k])) << k;
        }
    };
    {
        // A load beyond anything the line carries overflows single precision
        // in the first step; the flat start stays.
        HandNetwork net = loadedNetwork();
        net->nodeLoadP[1] = 3e38f;
        check(net, 1);
        EXPECT_EQ(net->iterationNumber, 0);
        EXPECT_EQ(net->voltageRe[1], 110.0f);
        EXPECT_EQ(net->voltageIm[1], 0.0f);
        EXPECT_TRUE(std::isfinite(net->residual));
    }
    {
        // A network fed by a base node of 0 kV: the last pivot is zero.
        HandNetwork net(0.0f);
        const int a = net.node(2, 110.0f, 10.0f, 5.0f);
        net.branch(0, a, 5.0f, 20.0f);
        check(net, 1);
        EXPECT_EQ(net->voltageRe[1], 110.0f);
    }
    {
        // Data that are no number at all fail before the first iteration.
        HandNetwork net = loadedNetwork();
        net->nodeLoadQ[2] = NAN;
        check(net, 0);
        EXPECT_EQ(net->iterationNumber, 0);
    }
}

// The runs below go through the reader of the input text.

TEST(Run, EchoesTheInputAndWritesTheReports)
{
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::CollectingSink sink;
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), kThreeRecords, sink, ','), RunOutcome::Converged);
    EXPECT_TRUE(sink.messages.empty());
    ASSERT_EQ(sink.progress.size(), 1u);
    EXPECT_EQ(sink.progress[0], tarvel::kRunProgressText);
    EXPECT_EQ(model->runMessage, tarvel::kRunProgressText);
    EXPECT_EQ(fileBytes(dir / "network.cdu"), tarvel::paneTextToCduBytes(kThreeRecords));

    const std::string echo =
        "Число узлов n = 1\tЧисло Ветвей m = 1\r\n"
        "     Входные данные для расчета потокораспределения\r\n"
        "           У з л ы    с е т и \r\n"
        " Узел   Тип  Uном        P        Q        g           b \r\n"
        "    1    3    110        0        0        0           0\r\n"
        "    2    1    110       10        5        0           0\r\n"
        "\r\n"
        "               В е т в и    с е т и\r\n"
        "   N1   N2        r         x            b           g       Kt \r\n"
        "    1    2         5        20        0.0001         0        1\r\n"
        "\r\n";
    const std::string out = fileBytes(dir / "network.out");
    ASSERT_EQ(out.substr(0, tarvel::utf8ToCp1251(echo).size()), tarvel::utf8ToCp1251(echo));
    // The log follows the echo, one line per iteration.
    const auto lines = fileLines(dir / "network.out");
    EXPECT_EQ(static_cast<int>(lines.size()), 11 + model->iterationNumber);
    EXPECT_GE(model->iterationNumber, 1);
    EXPECT_LE(model->residual, tarvel::CalculationSettings{}.precision);
    for (const char* report : {"network.rez", "network.tok", "network.rip"})
        EXPECT_FALSE(fileBytes(dir / report).empty()) << report;
}

TEST(Run, EchoesAShuntAndRunsAFlatStartWithoutIterations)
{
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::CollectingSink sink;
    // No load and no charging: the flat start is the solution.
    const char* text =
        "0102 0 1 110 0 0 0 0 0 0 0\r\n"
        "0201 0 5 110 0 0 0 0 0 0 0\r\n"
        "0301 0 5 0 0 100\r\n"
        "0301 0 1 5 5 20 0 0 0 0 0\r\n";
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), text, sink, ','), RunOutcome::Converged);
    EXPECT_TRUE(sink.messages.empty());
    const auto lines = fileLines(dir / "network.out");
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[5], "    5    1    110        0        0        0     -0.0001");
    // The shunt is a reactor: the flat start is off by its 1.21 Mvar, which
    // is above the precision, so one iteration is needed after all.
    EXPECT_EQ(model->iterationNumber, 1);

    // Without the shunt there is nothing to iterate.
    const char* flat =
        "0102 0 1 110 0 0 0 0 0 0 0\r\n"
        "0201 0 5 110 0 0 0 0 0 0 0\r\n"
        "0301 0 1 5 5 20 0 0 0 0 0\r\n";
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), flat, sink, ','), RunOutcome::Converged);
    EXPECT_EQ(model->iterationNumber, 0);
    const auto flatLines = fileLines(dir / "network.out");
    ASSERT_EQ(flatLines.size(), 11u);
    // An input susceptance of 0 changes its sign like any other and is echoed
    // as %g writes a negative zero.
    EXPECT_EQ(flatLines[9], "    1    5         5        20            -0         0        1");
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_NE(fileBytes(dir / "network.rez").find("    5    110.00      0.00"), std::string::npos);
}

TEST(Run, StopsOnRejectedDataAndOnFilesThatCannotBeCreated)
{
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    {
        tarvel::CollectingSink sink;
        EXPECT_EQ(tarvel::runPowerFlow(*model, dir.path(), "Сеть 110 кВ\n", sink, ','), RunOutcome::Rejected);
        ASSERT_FALSE(sink.messages.empty());
        EXPECT_EQ(sink.messages.back(), "Расчет невозможен!");
        EXPECT_EQ(sink.progress.size(), 1u);
        EXPECT_FALSE(std::filesystem::exists(dir / "network.out"));
    }
    {
        // A folder where network.out should be.
        std::filesystem::create_directory(dir / "network.out");
        tarvel::CollectingSink sink;
        EXPECT_EQ(tarvel::runPowerFlow(*model, dir.path(), kThreeRecords, sink, ','), RunOutcome::OutNotCreatable);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], "Невозможно открыть(создать) файл \"network.out\"");
        EXPECT_FALSE(std::filesystem::exists(dir / "network.rez"));
        EXPECT_EQ(model->runMessage, tarvel::kRunProgressText);
    }
    {
        tarvel::CollectingSink sink;
        EXPECT_EQ(tarvel::runPowerFlow(*model, dir / "missing", kThreeRecords, sink, ','), RunOutcome::InputNotSaved);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_TRUE(sink.progress.empty());
    }
}

TEST(Run, TellsADivergingNetworkAndWritesNoNonNumbers)
{
    // Without a base-node record slot 0 keeps 0 kV: the iteration cannot move.
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::CollectingSink sink;
    const char* text =
        "0201 0 2 110 10 5 0 0 0 0 0\n"
        "0301 0 0 2 5 20 0 0 0 0 0\n";
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), text, sink, ','), RunOutcome::Diverged);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], tarvel::divergenceText(1));
    for (const char* file : {"network.out", "network.rez", "network.tok", "network.rip"}) {
        EXPECT_TRUE(std::filesystem::exists(dir / file)) << file;
        EXPECT_FALSE(hasNonNumber(fileBytes(dir / file))) << file;
    }
}
