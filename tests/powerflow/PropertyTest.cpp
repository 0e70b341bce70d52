// Physical properties of whole runs over many seeded networks: radial and
// meshed, 2 to 99 nodes, up to ten districts, transformers, generators with
// fixed voltage and shunts. Each property is read back from the reports, as
// the user sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
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

std::vector<std::string> reportLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::istringstream in(cp1251ToUtf8(fileBytes(path)));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<double> numbersIn(const std::string& text)
{
    std::istringstream in(text);
    std::vector<double> v;
    for (double x; in >> x;)
        v.push_back(x);
    return v;
}

// A fixed-width column of a report line.
double column(const std::string& line, std::size_t at, std::size_t width)
{
    return std::stod(line.substr(at, width));
}

struct Rez {
    std::map<int, std::vector<double>> nodes;  // number -> V, angle, P, Q, Pg, Qb
    std::vector<double> balance;                // P, Q, Pg, Qb
    struct Branch {
        int n1, n2;
        double p12, q12, p21, q21, dP;
    };
    std::vector<Branch> branches;
    double total = NAN;
};

// network.rez, read by its fixed columns (a node number may touch the next).
Rez readRez(const std::filesystem::path& dir, int nodes, int branches)
{
    const auto lines = reportLines(dir / "network.rez");
    Rez r;
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(nodes + branches + 9));
    if (lines.size() != static_cast<std::size_t>(nodes + branches + 9))
        return r;
    for (int k = 0; k < nodes; ++k) {
        const std::string& l = lines[2 + k];
        std::vector<double> row;
        for (int c = 0; c < 6; ++c)
            row.push_back(column(l, 5 + 10 * c, 10));
        r.nodes[std::stoi(l.substr(0, 5))] = row;
    }
    const std::string balance = "Баланс пассивных элементов ";
    EXPECT_TRUE(lines[3 + nodes].starts_with(balance));
    r.balance = numbersIn(lines[3 + nodes].substr(balance.size()));
    for (int j = 0; j < branches; ++j) {
        const std::string& l = lines[8 + nodes + j];
        r.branches.push_back({std::stoi(l.substr(0, 5)), std::stoi(l.substr(5, 5)), column(l, 10, 10),
                              column(l, 20, 10), column(l, 30, 10), column(l, 40, 10), column(l, 50, 10)});
    }
    r.total = std::stod(lines.back());
    return r;
}

// network.rip: the сальдо rows by district and the closing total.
struct Rip {
    std::map<int, std::vector<double>> rows;  // district -> saldo P, saldo Q, losses
    double total = NAN;
};

Rip readRip(const std::filesystem::path& dir)
{
    Rip r;
    bool table = false;
    const std::string closing = " Суммарные потери в сетях районов ";
    for (const std::string& l : reportLines(dir / "network.rip")) {
        if (l.starts_with("№ района"))
            table = true;
        else if (l.starts_with(closing))
            r.total = std::stod(l.substr(closing.size()));
        else if (table) {
            const auto v = numbersIn(l);
            if (v.size() == 4)
                r.rows[static_cast<int>(v[0])] = {v[1], v[2], v[3]};
        }
    }
    return r;
}

// Options of one seed: sizes spread over the whole range, a third of the
// networks radial.
NetworkOptions seededOptions(uint32_t seed)
{
    const uint32_t h = seed * 2654435761u;
    NetworkOptions o;
    o.seed = seed;
    o.nodes = seed % 5 == 0 ? 1 + static_cast<int>(h % 4) : 1 + static_cast<int>(h % 99);
    o.extraBranches = seed % 3 == 0 ? 0 : static_cast<int>((h >> 8) % 40);
    o.districts = 1 + static_cast<int>((h >> 12) % 10);
    o.transformers = static_cast<int>((h >> 16) % 9);
    o.fixedVoltageNodes = static_cast<int>((h >> 20) % 4);
    o.shunts = static_cast<int>((h >> 24) % 6);
    return o;
}

constexpr double kPrinted = 0.005;  // half the last printed digit of %.2f

}  // namespace

TEST(Property, RunsOfManySeededNetworksKeepTheirBalances)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    int radial = 0, large = 0, withTransformer = 0;
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        const NetworkOptions o = seededOptions(seed);
        const GeneratedNetwork net = generateNetwork(o);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", nodes " + std::to_string(o.nodes) + ", extra " +
                     std::to_string(o.extraBranches));
        CollectingSink sink;
        CalculationSettings settings;
        settings.precision = 1e-3f;
        settings.iteraz = 20;
        ASSERT_EQ(runPowerFlow(*model, settings, dir.path(), net.text, sink), RunOutcome::Converged);
        const int nodes = static_cast<int>(net.nodes.size());
        const int branches = static_cast<int>(net.branches.size());
        radial += branches == nodes - 1;
        withTransformer += std::any_of(net.branches.begin(), net.branches.end(),
                                       [](const GeneratedBranch& b) { return b.ratio != 1.0; });
        large += nodes >= 60;
        const Rez r = readRez(dir.path(), nodes, branches);
        ASSERT_EQ(r.branches.size(), static_cast<std::size_t>(branches));
        ASSERT_EQ(r.balance.size(), 4u);

        // What the nodes take from the network is lost in the branches: the
        // balance line, the total line and the sum of the branch lines agree.
        double lossSum = 0;
        for (const auto& b : r.branches)
            lossSum += b.dP;
        EXPECT_NEAR(r.total, lossSum, kPrinted * (branches + 1));
        EXPECT_NEAR(r.balance[0], r.total, kPrinted * (branches + nodes + 2));
        EXPECT_GE(r.total, 0.0);

        // Loads are met and generators hold their voltages, within what the
        // residual allows (an RMS over 2n equations, relative from 1 MW up).
        const double spread = settings.precision * std::sqrt(2.0 * (nodes - 1));
        double loads = 0;
        for (const GeneratedNode& node : net.nodes) {
            const std::vector<double>& row = r.nodes.at(node.number);
            if (node.type == 3)
                continue;
            loads += node.p;
            EXPECT_NEAR(row[2], node.p, kPrinted + spread * std::max(1.0, std::fabs(node.p))) << node.number;
            if (node.type == 1)
                EXPECT_NEAR(row[3], node.q, kPrinted + spread * std::max(1.0, std::fabs(node.q))) << node.number;
            else
                EXPECT_NEAR(row[0], node.fixedVoltage, kPrinted + spread * node.fixedVoltage) << node.number;
        }
        // The base node supplies the loads and the losses.
        EXPECT_NEAR(-r.nodes.at(net.nodes[0].number)[2], loads + r.total, 2 * kPrinted * (nodes + branches));

        // District losses plus the losses of the border branches make the
        // total; what enters the districts over their borders is what the
        // border branches lose, with the sign turned.
        const Rip rip = readRip(dir.path());
        double border = 0;
        int borderCount = 0;
        for (const auto& b : r.branches)
            if (districtOf(b.n1) != districtOf(b.n2)) {
                border += b.dP;
                ++borderCount;
            }
        double saldoP = 0, districtSum = 0;
        for (const auto& [d, row] : rip.rows) {
            saldoP += row[0];
            districtSum += row[2];
        }
        EXPECT_NEAR(rip.total + border, r.total, kPrinted * (branches + kDistricts + 1));
        EXPECT_NEAR(districtSum, rip.total, kPrinted * (kDistricts + 1));
        EXPECT_NEAR(saldoP, -border, kPrinted * (2 * borderCount + kDistricts + 1));

        // One line of currents per branch, with the branch's resistance.
        const auto tok = reportLines(dir / "network.tok");
        ASSERT_EQ(tok.size(), static_cast<std::size_t>(branches));
        for (int j = 0; j < branches; ++j)
            EXPECT_NEAR(column(tok[j], 30, 15), model->branchResistance[j + 1], 5e-4) << j + 1;
    }
    // The sweep covers what it claims to.
    EXPECT_GE(radial, 100);
    EXPECT_GE(large, 80);
    EXPECT_GE(withTransformer, 250);
}

// A figure in a field that the run does not read changes no working file but
// the copy of the text itself: flags, the reals marked unused, reactive
// limits (crossed ones among them) of nodes without limits, a branch's reals
// after Kt, in every form the format allows. (The full model reads the first
// real after Kt as the phase angle: the exact method's networks only.)
TEST(Property, FiguresInUnreadFieldsChangeNoReport)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir plainDir, figuresDir;
    int crossed = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const GeneratedNetwork net = generateNetwork(seededOptions(seed));
        const std::string figures = cduTextWithUnusedFigures(net, seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        {
            const CalculationSettings settings;
            CollectingSink plainSink, figuresSink;
            const RunOutcome plain = runPowerFlow(*model, settings, plainDir.path(), net.text, plainSink);
            const RunOutcome withFigures = runPowerFlow(*model, settings, figuresDir.path(), figures, figuresSink);
            ASSERT_EQ(plain, RunOutcome::Converged);
            ASSERT_EQ(withFigures, plain) << fileBytes(figuresDir.path() / "network.err");
            EXPECT_EQ(figuresSink.messages, plainSink.messages);
            for (const char* name : {"network.err", "network.out", "network.rez", "network.tok", "network.rip"})
                EXPECT_EQ(fileBytes(figuresDir.path() / name), fileBytes(plainDir.path() / name)) << name;
        }
        // A load node's limits the wrong way round are among the figures often enough.
        std::istringstream lines(figures);
        for (std::string line; std::getline(lines, line);) {
            const std::vector<double> v = numbersIn(line);
            crossed += v.size() == 11 && v[0] == 201 && v[8] == 0 && v[9] > v[10];
        }
    }
    EXPECT_GE(crossed, 20);
}
