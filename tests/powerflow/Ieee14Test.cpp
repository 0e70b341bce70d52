// The IEEE 14-bus network, scaled to 220 kV, against an independent solution.
#include <cmath>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

using tarvel::test::fileBytes;
using tarvel::test::sourcePath;
using tarvel::test::TempDir;

namespace {

// The numbers of "key": value pairs, in file order.
std::vector<double> jsonNumbers(const std::string& json, const std::string& key)
{
    std::vector<double> values;
    const std::regex pair("\"" + key + "\"\\s*:\\s*(-?[0-9.eE+-]+)");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), pair); it != std::sregex_iterator(); ++it)
        values.push_back(std::stod((*it)[1]));
    return values;
}

struct BranchLine {
    int n1, n2;
    double p12, q12, p21, q21, dp;  // as printed: -P12, -Q12, P21, Q21, dP
};

}  // namespace

TEST(Ieee14, MatchesTheReferenceSolution)
{
    std::string bytes;
    ASSERT_TRUE(tarvel::readFileBytes(sourcePath("samples/ieee14.cdu"), bytes));
    const std::string json = fileBytes(sourcePath("tests/data/ieee14.ref.json"));
    ASSERT_FALSE(json.empty());

    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::CollectingSink sink;
    const auto outcome = tarvel::runPowerFlow(*model, dir.path(), tarvel::toCrLf(tarvel::cp1251ToUtf8(bytes)), sink);
    ASSERT_EQ(outcome, tarvel::RunOutcome::Converged);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_LE(model->iterationNumber, 6);

    // Node voltages and angles, straight from the solution.
    const auto numbers = jsonNumbers(json, "number");
    const auto volts = jsonNumbers(json, "V_kV");
    const auto angles = jsonNumbers(json, "angle_deg");
    ASSERT_EQ(numbers.size(), 14u);
    ASSERT_EQ(model->nodeCount, 13);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        int k = 0;
        while (k <= model->nodeCount && model->nodeNumber[k] != static_cast<int>(numbers[i]))
            ++k;
        ASSERT_LE(k, model->nodeCount) << numbers[i];
        const double e = model->voltageRe[k], f = model->voltageIm[k];
        EXPECT_NEAR(std::hypot(e, f), volts[i], 0.02) << "node " << numbers[i];
        EXPECT_NEAR(std::atan2(f, e) * 180 / M_PI, angles[i], 0.02) << "node " << numbers[i];
    }

    // Branch flows as network.rez prints them.
    const std::string rez = tarvel::cp1251ToUtf8(fileBytes(dir / "network.rez"));
    const std::size_t heading = rez.find("       dP\r\n");
    ASSERT_NE(heading, std::string::npos);
    std::istringstream in(rez.substr(heading + 11));
    std::vector<BranchLine> lines;
    std::string line;
    double total = -1;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        BranchLine b{};
        if (fields >> b.n1 >> b.n2 >> b.p12 >> b.q12 >> b.p21 >> b.q21 >> b.dp)
            lines.push_back(b);
        else
            std::istringstream(line) >> total;
    }
    const auto n1 = jsonNumbers(json, "n1"), n2 = jsonNumbers(json, "n2");
    const auto p12 = jsonNumbers(json, "P12_MW"), q12 = jsonNumbers(json, "Q12_Mvar");
    const auto p21 = jsonNumbers(json, "P21_MW"), q21 = jsonNumbers(json, "Q21_Mvar");
    ASSERT_EQ(lines.size(), 20u);
    ASSERT_EQ(n1.size(), 20u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const BranchLine& b = lines[i];
        SCOPED_TRACE("branch " + std::to_string(b.n1) + "-" + std::to_string(b.n2));
        EXPECT_EQ(b.n1, n1[i]);
        EXPECT_EQ(b.n2, n2[i]);
        EXPECT_NEAR(-b.p12, p12[i], 0.05);
        EXPECT_NEAR(-b.q12, q12[i], 0.05);
        EXPECT_NEAR(b.p21, p21[i], 0.05);
        EXPECT_NEAR(b.q21, q21[i], 0.05);
    }
    const auto refTotal = jsonNumbers(json, "total_branch_loss_MW");
    ASSERT_EQ(refTotal.size(), 1u);
    EXPECT_NEAR(total, refTotal[0], 0.05);
}
