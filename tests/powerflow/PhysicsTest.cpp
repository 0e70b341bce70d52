#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

std::vector<std::string> fileLines(const std::filesystem::path& path)
{
    const std::string text = cp1251ToUtf8(fileBytes(path));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return lines;
}

std::vector<double> numbers(const std::string& text)
{
    std::istringstream in(text);
    std::vector<double> v;
    double x;
    while (in >> x)
        v.push_back(x);
    return v;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

// network.rez read back: node columns by number, the balance line, the
// branch lines and the total.
struct Results {
    struct NodeRow { double v, angle, p, q, pg, qb; };
    struct BranchRow { int n1, n2; double p12, q12, p21, q21, dP; };
    std::map<int, NodeRow> nodes;
    std::vector<double> balance;
    std::vector<BranchRow> branches;
    double total = NAN;
};

Results readResults(const std::filesystem::path& dir)
{
    const auto lines = fileLines(dir / "network.rez");
    Results r;
    std::size_t i = 2;
    for (; i < lines.size() && !startsWith(lines[i], "---"); ++i) {
        const auto v = numbers(lines[i]);
        if (v.size() == 7)
            r.nodes[static_cast<int>(v[0])] = {v[1], v[2], v[3], v[4], v[5], v[6]};
    }
    for (; i < lines.size(); ++i)
        if (startsWith(lines[i], "Баланс пассивных элементов "))
            r.balance = numbers(lines[i].substr(std::string("Баланс пассивных элементов ").size()));
        else if (startsWith(lines[i], "   N1   N1"))
            break;
    for (++i; i + 1 < lines.size(); ++i) {
        // Node numbers are fixed five-character columns (they may touch).
        const auto v = numbers(lines[i].substr(10));
        if (v.size() == 5)
            r.branches.push_back({std::stoi(lines[i].substr(0, 5)), std::stoi(lines[i].substr(5, 5)), v[0], v[1],
                                  v[2], v[3], v[4]});
    }
    if (i < lines.size())
        r.total = numbers(lines[i]).at(0);
    return r;
}

// network.rip read back: the сальдо rows and the closing total.
struct DistrictRows {
    std::map<int, std::vector<double>> rows;  // district -> сальдо P, сальдо Q, losses
    double total = NAN;
};

DistrictRows readDistricts(const std::filesystem::path& dir)
{
    const auto lines = fileLines(dir / "network.rip");
    DistrictRows d;
    bool table = false;
    for (const auto& line : lines) {
        if (startsWith(line, "№ района")) {
            table = true;
        } else if (startsWith(line, " Суммарные потери в сетях районов ")) {
            d.total = numbers(line.substr(std::string(" Суммарные потери в сетях районов ").size())).at(0);
        } else if (table) {
            const auto v = numbers(line);
            if (v.size() == 4)
                d.rows[static_cast<int>(v[0])] = {v[1], v[2], v[3]};
        }
    }
    return d;
}

NetworkOptions options(int nodes, int extra, int transformers, int fixed, int shunts, uint32_t seed)
{
    NetworkOptions o;
    o.nodes = nodes;
    o.extraBranches = extra;
    o.transformers = transformers;
    o.fixedVoltageNodes = fixed;
    o.shunts = shunts;
    o.districts = 4;
    o.seed = seed;
    return o;
}

// Radial and meshed networks of several sizes, with and without generators,
// shunts and transformers.
std::vector<NetworkOptions> physicsCases()
{
    return {
        options(1, 0, 0, 0, 0, 1),   options(5, 0, 1, 0, 1, 2),  options(14, 4, 3, 1, 2, 3),
        options(30, 0, 5, 2, 3, 4),  options(40, 15, 8, 3, 4, 5), options(99, 50, 6, 3, 4, 7),
        options(60, 20, 12, 0, 6, 8),
    };
}

}  // namespace

TEST(Physics, BalanceLineIsTheBranchLossAndEveryLoadIsMet)
{
    auto model = std::make_unique<NetworkModel>();
    for (const NetworkOptions& o : physicsCases()) {
        SCOPED_TRACE("nodes " + std::to_string(o.nodes) + ", seed " + std::to_string(o.seed));
        const GeneratedNetwork net = generateNetwork(o);
        TempDir dir;
        CollectingSink sink;
        // A tight precision, so that what remains is the rounding of the report.
        CalculationSettings settings;
        settings.precision = 1e-3f;
        settings.iteraz = 20;
        ASSERT_EQ(runPowerFlow(*model, settings, dir.path(), net.text, sink), RunOutcome::Converged);
        EXPECT_TRUE(sink.messages.empty());

        const Results r = readResults(dir.path());
        ASSERT_EQ(r.nodes.size(), net.nodes.size());
        ASSERT_EQ(r.branches.size(), net.branches.size());
        ASSERT_EQ(r.balance.size(), 4u);

        // All power that the nodes inject is lost in the branches (the
        // generator writes no shunt conductance, so Pg is 0).
        double lossSum = 0;
        for (const auto& b : r.branches) {
            EXPECT_GE(b.dP, 0);
            EXPECT_NEAR(b.dP, std::fabs(b.p21 + b.p12), 0.011);
            lossSum += b.dP;
        }
        EXPECT_NEAR(r.balance[0], r.total, 0.011);
        EXPECT_NEAR(r.total, lossSum, 0.005 * (r.branches.size() + 1));
        EXPECT_EQ(r.balance[2], 0.0);

        // Each node takes its load; a generator holds its voltage; the base
        // node covers the rest and the losses. The residual is the RMS of the
        // errors (relative where a power is 1 MW or more), so no single error
        // exceeds precision * sqrt(2n); 0.006 covers the printed rounding.
        const double spread = settings.precision * std::sqrt(2.0 * model->nodeCount);
        auto allowed = [spread](double value) { return 0.006 + spread * std::max(1.0, std::fabs(value)); };
        double loadP = 0, shuntQ = 0;
        for (const GeneratedNode& n : net.nodes) {
            const auto& row = r.nodes.at(n.number);
            if (n.type == 3) {
                EXPECT_DOUBLE_EQ(row.v, n.unom);
                EXPECT_EQ(row.angle, 0.0);
                continue;
            }
            loadP += n.p;
            shuntQ += row.qb;
            EXPECT_NEAR(row.p, n.p, allowed(n.p)) << n.number;
            if (n.type == 1) {
                EXPECT_NEAR(row.q, n.q, allowed(n.q)) << n.number;
            } else {
                EXPECT_NEAR(row.v, n.fixedVoltage, 0.006 + spread * n.fixedVoltage) << n.number;
            }
            // A shunt takes U^2 * b (b written with the capacitive sign negative).
            EXPECT_NEAR(row.qb, row.v * row.v * n.shuntB * 1e-6, 0.006 + 1e-3 * std::fabs(row.qb)) << n.number;
        }
        EXPECT_NEAR(-r.nodes.at(net.nodes[0].number).p, loadP + r.total, 0.01 * net.nodes.size());
        EXPECT_NEAR(r.balance[3], shuntQ, 0.006 * net.nodes.size());
    }
}

TEST(Physics, DistrictLossesAndBorderLossesMakeTheTotal)
{
    auto model = std::make_unique<NetworkModel>();
    for (const NetworkOptions& o : physicsCases()) {
        SCOPED_TRACE("nodes " + std::to_string(o.nodes) + ", seed " + std::to_string(o.seed));
        const GeneratedNetwork net = generateNetwork(o);
        TempDir dir;
        CollectingSink sink;
        ASSERT_EQ(runPowerFlow(*model, dir.path(), net.text, sink), RunOutcome::Converged);
        const Results r = readResults(dir.path());
        const DistrictRows d = readDistricts(dir.path());

        double border = 0;
        int borderCount = 0;
        for (const auto& b : r.branches)
            if (districtOf(b.n1) != districtOf(b.n2)) {
                border += b.dP;
                ++borderCount;
            }
        const double rounding = 0.005 * (r.branches.size() + kDistricts + 1);
        EXPECT_NEAR(d.total + border, r.total, rounding);

        // One row per district that has nodes; what enters the districts over
        // their borders is what the border branches lose, with the sign turned.
        std::set<int> withNodes;
        for (const GeneratedNode& n : net.nodes)
            withNodes.insert(districtOf(n.number));
        double saldo = 0, districtSum = 0;
        for (const auto& [district, row] : d.rows) {
            EXPECT_TRUE(withNodes.count(district)) << district;
            saldo += row[0];
            districtSum += row[2];
        }
        EXPECT_EQ(d.rows.size(), withNodes.size());
        EXPECT_NEAR(saldo, -border, 0.005 * (borderCount + kDistricts) + 0.001);
        EXPECT_NEAR(districtSum, d.total, 0.005 * kDistricts + 0.001);
    }
}

TEST(Physics, RepeatedRunsWriteIdenticalReports)
{
    auto model = std::make_unique<NetworkModel>();
    const std::string a = generateNetwork(options(40, 15, 8, 3, 4, 11)).text;
    const std::string b = generateNetwork(options(12, 2, 2, 1, 1, 12)).text;
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), a, sink), RunOutcome::Converged);
    const std::string rip = fileBytes(dir / "network.rip");
    const std::string rez = fileBytes(dir / "network.rez");
    const std::string tok = fileBytes(dir / "network.tok");
    ASSERT_EQ(runPowerFlow(*model, dir.path(), a, sink), RunOutcome::Converged);
    EXPECT_EQ(fileBytes(dir / "network.rip"), rip);
    // Another network in between leaves nothing behind in the next report.
    ASSERT_EQ(runPowerFlow(*model, dir.path(), b, sink), RunOutcome::Converged);
    EXPECT_NE(fileBytes(dir / "network.rip"), rip);
    ASSERT_EQ(runPowerFlow(*model, dir.path(), a, sink), RunOutcome::Converged);
    EXPECT_EQ(fileBytes(dir / "network.rip"), rip);
    EXPECT_EQ(fileBytes(dir / "network.rez"), rez);
    EXPECT_EQ(fileBytes(dir / "network.tok"), tok);
}

TEST(Physics, SampleNetworksConvergeWithTheDefaultSettings)
{
    auto model = std::make_unique<NetworkModel>();
    for (const char* sample : {"samples/districts.cdu", "samples/ieee14.cdu"}) {
        SCOPED_TRACE(sample);
        std::string text;
        ASSERT_TRUE(readTextFile(sourcePath(sample), text));
        TempDir dir;
        CollectingSink sink;
        *model = NetworkModel{};
        EXPECT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Converged);
        EXPECT_TRUE(sink.messages.empty());
    }
    // The district sample shows several districts, classes and transformers.
    TempDir dir;
    CollectingSink sink;
    std::string text;
    readTextFile(sourcePath("samples/districts.cdu"), text);
    ASSERT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Converged);
    const std::string rip = cp1251ToUtf8(fileBytes(dir / "network.rip"));
    EXPECT_GE(readDistricts(dir.path()).rows.size(), 3u);
    EXPECT_NE(rip.find("Потери в трансформаторах"), std::string::npos);
    EXPECT_NE(rip.find("   35 кВ"), std::string::npos);
    EXPECT_NE(rip.find("  220 кВ"), std::string::npos);
}

TEST(NetworkGenerator, SeededNetworksStayWithinTheTablesAndTheReaderRules)
{
    EXPECT_EQ(generateNetwork(options(30, 10, 4, 2, 2, 5)).text, generateNetwork(options(30, 10, 4, 2, 2, 5)).text);
    EXPECT_NE(generateNetwork(options(30, 10, 4, 2, 2, 5)).text, generateNetwork(options(30, 10, 4, 2, 2, 6)).text);

    for (const NetworkOptions& o : {options(1, 9, 5, 3, 3, 1), options(99, 500, 40, 99, 99, 2), options(2, 0, 1, 0, 0, 3),
                                    options(50, 20, 10, 2, 5, 4)}) {
        NetworkOptions wide = o;
        wide.districts = 10;
        const GeneratedNetwork net = generateNetwork(wide);
        SCOPED_TRACE("nodes " + std::to_string(o.nodes));
        const int n = static_cast<int>(net.nodes.size()) - 1;
        EXPECT_EQ(n, std::clamp(o.nodes, 1, 99));
        EXPECT_EQ(static_cast<int>(net.branches.size()), std::min(149, n + o.extraBranches));

        std::set<int> numbers;
        for (const auto& node : net.nodes) {
            EXPECT_TRUE(numbers.insert(node.number).second) << node.number;
            EXPECT_GE(node.number, 1);
            EXPECT_LE(node.number, 100000);
        }
        for (const auto& b : net.branches) {
            EXPECT_TRUE(numbers.count(b.from) && numbers.count(b.to));
            EXPECT_NE(b.from, b.to);
            EXPECT_GE(std::fabs(b.x), 1.001);
            if (b.ratio != 1.0) {
                EXPECT_GE(std::fabs(b.ratio - 1.0), 0.1);
                EXPECT_NE(b.from, net.nodes[0].number);
                EXPECT_NE(b.to, net.nodes[0].number);
            }
        }
        // Only CR LF line ends, and only ASCII.
        for (std::size_t i = 0; i < net.text.size(); ++i) {
            EXPECT_LT(static_cast<unsigned char>(net.text[i]), 0x80);
            if (net.text[i] == '\n') {
                EXPECT_TRUE(i > 0 && net.text[i - 1] == '\r');
            }
        }
    }
}

TEST(NetworkGenerator, DefaultSettingsConverge)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    int runs = 0;
    for (int nodes : {2, 9, 25, 60, 99})
        for (int transformers : {0, 2, 7})
            for (int extra : {0, 12, 50})
                for (uint32_t seed = 1; seed <= 3; ++seed) {
                    NetworkOptions o = options(nodes, extra, transformers, static_cast<int>(seed) - 1,
                                               static_cast<int>(seed), seed * 31 + nodes);
                    o.districts = static_cast<int>(seed * 3);
                    CollectingSink sink;
                    *model = NetworkModel{};
                    EXPECT_EQ(runPowerFlow(*model, dir.path(), generateNetwork(o).text, sink), RunOutcome::Converged)
                        << "nodes " << nodes << ", transformers " << transformers << ", extra " << extra
                        << ", seed " << o.seed;
                    ++runs;
                }
    EXPECT_EQ(runs, 135);
}
