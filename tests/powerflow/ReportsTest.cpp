#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/BranchFlows.h"
#include "powerflow/Reports.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using tarvel::test::cp1251Lines;
using tarvel::test::fileBytes;
using tarvel::test::TempDir;

namespace {

void setNode(NetworkModel& m, int k, int number, float e, float f, float p, float q)
{
    m.nodeNumber[k] = number;
    m.voltageRe[k] = e;
    m.voltageIm[k] = f;
    m.nodeUnom[k] = std::sqrt(e * e + f * f);
    m.calcP[k] = p;
    m.calcQ[k] = q;
}

void setBranch(NetworkModel& m, int i, int s, int t, float g, float b, float K, float r)
{
    m.branchStartNode[i] = m.nodeNumber[s];
    m.branchEndNode[i] = m.nodeNumber[t];
    m.branchStartIndex[i] = s;
    m.branchEndIndex[i] = t;
    m.seriesG[i] = g;
    m.seriesB[i] = b;
    m.branchRatio[i] = K;
    m.branchResistance[i] = r;
}

// A solved three-node network whose figures are exact in binary: base node 1
// at 112 kV feeds node 2 at 96 kV over a line with y = 1/16 - j/8 (I = 1 - 2j
// kA, 16 MW lost); node 2 has a shunt and feeds node 30 over a transformer
// with K = 12, whose end is at 8 - 6j kV (|U| = 10 kV, I21 = 3 + 1.5j, 9 MW
// lost). calcP/calcQ are the injections that these voltages give.
std::unique_ptr<NetworkModel> solvedThreeNodes()
{
    auto m = std::make_unique<NetworkModel>();
    m->nodeCount = 2;
    m->branchCount = 2;
    setNode(*m, 0, 1, 112, 0, 112, 224);
    setNode(*m, 1, 2, 96, 0, -71.5392f, -204.9216f);
    setNode(*m, 2, 30, 8, -6, -15, 30);
    m->nodeShuntG[1] = 0.00005f;
    m->nodeShuntB[1] = 0.0001f;
    setBranch(*m, 1, 0, 1, 0.0625f, -0.125f, 1.0f, 3.2f);
    setBranch(*m, 2, 1, 2, 0.25f, -0.5f, 12.0f, 0.8f);
    m->districtNodeCount[0] = 3;
    return m;
}

const std::vector<std::string> kRezHead = {
    "\t          Результаты расчета по узлам",
    "    N        V         dV         P         Q        Pg       Qb",
};
const std::vector<std::string> kRezBranchHeading = {
    "                         + потребление, - генерация ",
    " ",
    "                   Результаты расчета по ветвям",
    "   N1   N1       P12       Q12       P21       Q21       dP",
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> threeNodeSection()
{
    return kRezHead +
           std::vector<std::string>{
               "    1    112.00      0.00   -112.00   -224.00      0.00     -0.00",
               "    2     96.00      0.00     71.54    204.92      0.46     -0.92",
               "   30     10.00    -36.87     15.00    -30.00      0.00     -0.00",
               "---------------------------------------------------",
               "Баланс пассивных элементов      25.46     49.08      0.46     -0.92",
           } +
           kRezBranchHeading;
}

std::string failureText(const std::string& first)
{
    return first + " Проверьте, не ограничены ли ваши права, или имеется ли свободное место в директории программы.\n"
                   "Попробуйте перезапустить расчет потокораспределения";
}

}  // namespace

TEST(Reports, SolvedNetworkLayoutByteForByte)
{
    auto m = solvedThreeNodes();
    TempDir dir;
    CollectingSink sink;
    writeReports(*m, dir.path(), sink);
    EXPECT_TRUE(sink.messages.empty());

    // The base node's generation is negative, the sending ends' flows too;
    // a node without shunt shows -0.00 in Qb, as -(e^2+f^2)*0 prints.
    const auto rez = threeNodeSection() + std::vector<std::string>{
        "    1    2   -112.00   -224.00     96.00    192.00     16.00",
        "    2   30    -24.00     12.00     15.00    -30.00      9.00",
        "                                                       25.00",
    };
    EXPECT_EQ(fileBytes(dir / "network.rez"), cp1251Lines(rez));

    // Indices, not numbers: the branch from the base node starts at 0.
    EXPECT_EQ(fileBytes(dir / "network.tok"), cp1251Lines({
        "    0    1    1.0000   -2.0000          3.200",
        "    1    2    0.2500    0.1250          0.800",
    }));

    EXPECT_EQ(fileBytes(dir / "network.rip"), cp1251Lines({
        "Район  №     0",
        " Потери в линиях",
        "  110 кВ         16.000",
        " Потери в трансформаторах текущего района       9.000",
        "",
        "№ района          Сальдо P           Сальдо Q       Сумм. потери в районе",
        "    0                0.00                0.00               25.00",
        " Суммарные потери в сетях районов                     25.00",
    }));

    // A second report of the same state gives the same files: nothing is
    // carried over from the first.
    const std::string rip = fileBytes(dir / "network.rip");
    const std::string rezBytes = fileBytes(dir / "network.rez");
    writeReports(*m, dir.path(), sink);
    EXPECT_EQ(fileBytes(dir / "network.rip"), rip);
    EXPECT_EQ(fileBytes(dir / "network.rez"), rezBytes);
}

TEST(Reports, FlatStartWithChargingOnly)
{
    // Two nodes at 110 kV, angle 0, one line with 200 uS of charging: no
    // current through the series element, each end sees 1.21 Mvar of charging.
    auto m = std::make_unique<NetworkModel>();
    m->nodeCount = 1;
    m->branchCount = 1;
    setNode(*m, 0, 1, 110, 0, 0, -1.21f);
    setNode(*m, 1, 2, 110, 0, 0, -1.21f);
    setBranch(*m, 1, 0, 1, 0.0117647f, -0.0470588f, 1.0f, 5.0f);
    m->branchSusceptance[1] = 0.0002f;
    m->districtNodeCount[0] = 2;

    TempDir dir;
    CollectingSink sink;
    writeReports(*m, dir.path(), sink);
    const auto rez = kRezHead + std::vector<std::string>{
        "    1    110.00      0.00     -0.00      1.21      0.00     -0.00",
        "    2    110.00      0.00     -0.00      1.21      0.00     -0.00",
        "---------------------------------------------------",
        "Баланс пассивных элементов       0.00     -2.42      0.00      0.00",
    } + kRezBranchHeading + std::vector<std::string>{
        "    1    2     -0.00      1.21      0.00      1.21      0.00",
        "                                                        0.00",
    };
    EXPECT_EQ(fileBytes(dir / "network.rez"), cp1251Lines(rez));
    EXPECT_EQ(fileBytes(dir / "network.tok"), cp1251Lines({"    0    1    0.0000    0.0000          5.000"}));
}

TEST(BranchFlows, TransformerCurrentsOnBothSides)
{
    // K = 11 from a 110 kV node to a 10 kV node: the series element sits on
    // the 10 kV side, I12 = y(Us/121 - Ut/11) and I21 = y(Us/11 - Ut).
    auto m = std::make_unique<NetworkModel>();
    m->voltageRe[3] = 110.0f;
    m->voltageIm[3] = -4.0f;
    m->voltageRe[7] = 9.6f;
    m->voltageIm[7] = -1.1f;
    m->branchStartIndex[5] = 3;
    m->branchEndIndex[5] = 7;
    m->branchRatio[5] = 11.0f;
    m->seriesG[5] = 0.2f;
    m->seriesB[5] = -1.4f;
    m->branchSusceptance[5] = 0.001f;  // shunt halves enter the powers only
    const BranchFlow f = branchFlows(*m, 5);

    const std::complex<double> y(0.2, -1.4), us(110, -4), ut(9.6, -1.1);
    const std::complex<double> i12 = y * (us / 121.0 - ut / 11.0);
    const std::complex<double> i21 = y * (us / 11.0 - ut);
    EXPECT_NEAR(f.i12Re, i12.real(), 1e-4);
    EXPECT_NEAR(f.i12Im, i12.imag(), 1e-4);
    EXPECT_NEAR(f.i21Re, i21.real(), 1e-4);
    EXPECT_NEAR(f.i21Im, i21.imag(), 1e-4);
    EXPECT_NEAR(std::abs(i21), 11 * std::abs(i12), 1e-4);

    const std::complex<double> s12 = us * std::conj(i12), s21 = ut * std::conj(i21);
    EXPECT_NEAR(f.p12, s12.real(), 1e-3);
    EXPECT_NEAR(f.q12, s12.imag() - 0.0005 * std::norm(us), 1e-3);
    EXPECT_NEAR(f.p21, s21.real(), 1e-3);
    EXPECT_NEAR(f.q21, s21.imag() + 0.0005 * std::norm(ut), 1e-3);
    // The ideal transformer takes no power: all of P12 - P21 is the series loss.
    EXPECT_NEAR(f.dP, std::norm(i21) * (0.2 / std::norm(y)), 1e-3);
}

TEST(BranchFlows, LossIsPositiveWhenTheEndTakesMoreThanTheStartGives)
{
    // A negative series conductance (as an unconverged or odd network may
    // give) makes P21 exceed P12; the loss column still shows the amount.
    auto m = std::make_unique<NetworkModel>();
    setNode(*m, 0, 1, 112, 0, 0, 0);
    setNode(*m, 1, 2, 96, 0, 0, 0);
    setBranch(*m, 1, 0, 1, -0.0625f, -0.125f, 1.0f, 1.0f);
    const BranchFlow f = branchFlows(*m, 1);
    EXPECT_FLOAT_EQ(f.p12, -112.0f);
    EXPECT_FLOAT_EQ(f.p21, -96.0f);
    EXPECT_DOUBLE_EQ(f.dP, 16.0);

    m->nodeCount = 1;
    m->branchCount = 1;
    TempDir dir;
    CollectingSink sink;
    writeReports(*m, dir.path(), sink);
    const std::string rez = fileBytes(dir / "network.rez");
    EXPECT_NE(rez.find("    1    2    112.00   -224.00    -96.00    192.00     16.00\r\n"), std::string::npos) << rez;
}

TEST(Reports, FilesThatCannotBeCreated)
{
    auto m = solvedThreeNodes();
    {
        // network.tok blocked: the results stop after the branch heading, the
        // district file stays empty.
        TempDir dir;
        std::filesystem::create_directory(dir / "network.tok");
        CollectingSink sink;
        writeReports(*m, dir.path(), sink);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], failureText("Невозможно открыть файл network.tok."));
        EXPECT_EQ(fileBytes(dir / "network.rez"), cp1251Lines(threeNodeSection()));
        EXPECT_TRUE(std::filesystem::exists(dir / "network.rip"));
        EXPECT_EQ(std::filesystem::file_size(dir / "network.rip"), 0u);
    }
    {
        // network.rip blocked: network.rez is created empty, nothing else.
        TempDir dir;
        std::filesystem::create_directory(dir / "network.rip");
        CollectingSink sink;
        writeReports(*m, dir.path(), sink);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], failureText("Невозможно открыть файл network.rip."));
        EXPECT_TRUE(std::filesystem::exists(dir / "network.rez"));
        EXPECT_EQ(std::filesystem::file_size(dir / "network.rez"), 0u);
        EXPECT_FALSE(std::filesystem::exists(dir / "network.tok"));
    }
    {
        // network.rez blocked: nothing is written at all.
        TempDir dir;
        std::filesystem::create_directory(dir / "network.rez");
        CollectingSink sink;
        writeReports(*m, dir.path(), sink);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], failureText("Невозможно открыть файл для хранения результатов."));
        EXPECT_FALSE(std::filesystem::exists(dir / "network.rip"));
        EXPECT_FALSE(std::filesystem::exists(dir / "network.tok"));
    }
}

TEST(Reports, DivergedOrDegenerateValuesDoNotStopTheReport)
{
    auto m = solvedThreeNodes();
    m->voltageRe[1] = std::nanf("");
    m->voltageIm[2] = INFINITY;
    m->calcP[2] = -INFINITY;
    // A node at zero voltage (a base node that no record described) has angle 0.
    m->voltageRe[0] = 0;
    m->voltageIm[0] = 0;
    TempDir dir;
    CollectingSink sink;
    writeReports(*m, dir.path(), sink);
    EXPECT_TRUE(sink.messages.empty());
    const std::string rez = fileBytes(dir / "network.rez");
    EXPECT_NE(rez.find("    1      0.00      0.00"), std::string::npos) << rez;
    EXPECT_NE(rez.find("nan"), std::string::npos);
    EXPECT_NE(rez.find("inf"), std::string::npos);
    EXPECT_EQ(std::count(rez.begin(), rez.end(), '\n'), 14);
    EXPECT_FALSE(fileBytes(dir / "network.rip").empty());
}
