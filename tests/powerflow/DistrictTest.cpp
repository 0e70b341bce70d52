#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/DistrictAnalysis.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using tarvel::test::cp1251Lines;
using tarvel::test::fileBytes;
using tarvel::test::TempDir;

namespace {

// Builds the network's node and branch tables by hand and feeds each branch
// with the given flows straight into the accumulators.
struct DistrictBench {
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    DistrictAccumulators acc;

    int node(int number, float unom)
    {
        const int k = ++model->nodeCount;
        model->nodeNumber[k] = number;
        model->nodeUnom[k] = unom;
        countNode(*model, number);
        return k;
    }
    void branch(int s, int t, float ratio, double dP, float p12 = 0, float q12 = 0, float p21 = 0, float q21 = 0)
    {
        const int i = ++model->branchCount;
        model->branchStartIndex[i] = s;
        model->branchEndIndex[i] = t;
        model->branchRatio[i] = ratio;
        BranchFlow f;
        f.p12 = p12;
        f.q12 = q12;
        f.p21 = p21;
        f.q21 = q21;
        f.dP = dP;
        accumulateBranch(acc, *model, i, f);
    }
    std::string report()
    {
        TempDir dir;
        TextFileWriter rip(dir / "network.rip");
        writeDistrictReport(acc, *model, rip);
        return fileBytes(dir / "network.rip");
    }
};

}  // namespace

TEST(District, VoltageClassBoundsBelongToTheLowerClass)
{
    EXPECT_EQ(voltageClassOf(0.0f), 0);
    EXPECT_EQ(voltageClassOf(8.0f), 0);
    EXPECT_EQ(voltageClassOf(8.01f), 1);
    EXPECT_EQ(voltageClassOf(10.5f), 1);
    EXPECT_EQ(voltageClassOf(15.0f), 1);
    EXPECT_EQ(voltageClassOf(28.0f), 2);
    EXPECT_EQ(voltageClassOf(140.0f), 4);
    EXPECT_EQ(voltageClassOf(900.0f), 8);
    EXPECT_EQ(voltageClassOf(900.01f), 9);
    EXPECT_EQ(voltageClassOf(1150.0f), 9);
    EXPECT_EQ(voltageClassLabel[voltageClassOf(1150.0f)], 1150);
    EXPECT_EQ(voltageClassLabel[voltageClassOf(8.0f)], 6);
}

TEST(District, TransformerTestUsesTheStoredSinglePrecisionRatio)
{
    EXPECT_FALSE(isTransformer(1.0f));
    EXPECT_FALSE(isTransformer(1.0005f));
    EXPECT_TRUE(isTransformer(1.001f));
    EXPECT_TRUE(isTransformer(0.998f));
    EXPECT_FALSE(isTransformer(0.999f));  // 0.99900001... as a float
    EXPECT_TRUE(isTransformer(11.0f));
    EXPECT_TRUE(isTransformer(0.5f));
}

TEST(District, ReportOfSeveralDistrictsByteForByte)
{
    DistrictBench b;
    b.model->nodeNumber[0] = 1;  // base node, district 0
    b.model->nodeUnom[0] = 8.0f;
    countNode(*b.model, 1);
    const int n50 = b.node(50, 10.5f);
    const int n105 = b.node(105, 115.0f);
    const int n12345 = b.node(12345, 1150.0f);  // 12345 -> 123 -> 12 -> 1
    const int n100000 = b.node(100000, 10.0f);  // district 1 as well
    const int n210 = b.node(210, 220.0f);
    const int n220 = b.node(220, 220.0f);
    const int n300 = b.node(300, 35.0f);  // district 3: nodes, no inner branch

    b.branch(0, n50, 1.0f, 0.123);                  // line, 8 kV -> class 6
    b.branch(n50, 0, 1.0f, 0.25);                   // line, 10.5 kV -> class 10
    b.branch(n105, n12345, 1.0f, 1.25);             // line, 110
    b.branch(n12345, n100000, 0.998f, 0.5);         // transformer
    b.branch(n105, n100000, 1.001f, 0.25);          // transformer
    b.branch(n105, n12345, 0.999f, 0.25);           // a line after all, 110
    b.branch(n12345, n100000, 1.0005f, 2.0);        // line from 1150 kV
    b.branch(n105, n210, 1.0f, 0.5, 10, 4, 9.5f, 3);  // border 1 -> 2
    b.branch(n210, n220, 1.0f, 0.75);               // line, 220
    b.branch(n300, n220, 1.0f, 0.25, 2, 1, 1.75f, 0.5f);  // border 3 -> 2

    EXPECT_EQ(b.acc.districtBranchCount[1], 5);
    EXPECT_EQ(b.acc.transformerCount[1], 2);
    EXPECT_EQ(b.acc.lineCountByClass[1][4], 2);
    // A border branch's loss is in no district: the сальдо of its two ends
    // differ by exactly that loss.
    EXPECT_FLOAT_EQ(b.acc.saldoP[1] + 9.5f, -0.5f);

    EXPECT_EQ(b.report(), cp1251Lines({
        "Район  №     0",
        " Потери в линиях",
        "    6 кВ          0.123",
        " Потери в линиях",
        "   10 кВ          0.250",
        "Район  №     1",
        " Потери в линиях",
        "  110 кВ          1.500",
        " Потери в линиях",
        " 1150 кВ          2.000",
        " Потери в трансформаторах текущего района       0.750",
        "Район  №     2",
        " Потери в линиях",
        "  220 кВ          0.750",
        "",
        "№ района          Сальдо P           Сальдо Q       Сумм. потери в районе",
        "    0                0.00                0.00                0.37",
        "    1              -10.00               -4.00                4.25",
        "    2               11.25                3.50                0.75",
        "    3               -2.00               -1.00                0.00",
        " Суммарные потери в сетях районов                      5.37",
    }));
}

TEST(District, OddInputsStayInsideTheTables)
{
    DistrictBench b;
    b.model->nodeNumber[0] = 200;
    countNode(*b.model, 200);
    const int far1 = b.node(-150, 110.0f);  // a number without district
    const int far2 = b.node(-300, 110.0f);
    const int n205 = b.node(205, 110.0f);
    b.branch(far1, far2, 1.0f, 5.0);                 // both ends outside: counted nowhere
    b.branch(far1, n205, 1.0f, 1.0, 7, 2, 6, 1.5f);  // only district 2 gets its сальдо
    for (int i = 0; i < 20; ++i)                     // more transformers than a list of 13 holds
        b.branch(0, n205, 2.0f, 0.25);

    EXPECT_EQ(b.acc.transformerCount[2], 20);
    const std::string rip = b.report();
    EXPECT_EQ(rip, cp1251Lines({
        "Район  №     2",
        " Потери в трансформаторах текущего района       5.000",
        "",
        "№ района          Сальдо P           Сальдо Q       Сумм. потери в районе",
        "    2                6.00                1.50                5.00",
        " Суммарные потери в сетях районов                      5.00",
    }));
}
