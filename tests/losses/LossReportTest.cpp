#include <gtest/gtest.h>

#include "losses/LossReport.h"
#include "model/TextFile.h"
#include "tests/losses/LossTestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

std::string cp1251(const std::string& utf8)
{
    return utf8ToCp1251(utf8);
}

}  // namespace

TEST(LossReport, WholeReportOfOneBranch)
{
    // Base node 100 feeding node 2; a reactive current that prints as -0.00,
    // and a node number wider than its field.
    LossCase c;
    c.setNetworkFromTok({100, 2}, {{0, 1, 0.5, -0.004, 4.0}});
    ASSERT_TRUE(c.run());
    const std::string expected =
        "  Разделение потерь мощности электрической сети  \r\n"
        "  Входные данные для расчета \r\n"
        "  Число узлов  = 2\tЧисло Ветвей  = 1\r\n"
        "         Токи ветвей \r\n"
        "  Ветвь Нач.   Кон.    Ток Ak   Ток Re    R  \r\n"
        "       100         2      0.50     -0.00      4.00\r\n"
        "       Задающие токи узлов  \r\n"
        "     Узел            ТЗа     ТЗр  \r\n"
        "         2      0.50     -0.00\r\n"
        "       100     -0.50      0.00\r\n"
        "\r\n"
        "              Результаты расчетов  \r\n"
        "\r\n"
        "          Составляющие потерь от нагрузок узлов   \r\n"
        "Ветвь    2   100   dP\r\n"
        "100   2  1.00  0.00   1.00\r\n"
        "\r\n"
        "Ветвь   100-2  Потери  1.00\r\n"
        "Составляющие  dP2=1.00\r\n"
        "\r\n"
        "          Доля транзитных потерь от нагрузок узлов   \r\n"
        "Узлы    2   100\r\n"
        "Потери 1.00  0.00\r\n";
    EXPECT_EQ(c.report(), cp1251(expected));
}

TEST(LossReport, HeaderAndListingOfThreeNodes)
{
    // Positions 1, 2 and the base node labelled 1, 2 and 10; branch 1-2 loses
    // 0.25, shared by 2 and 10 as 0.05 and 0.20.
    auto model = std::make_unique<NetworkModel>();
    auto t = std::make_unique<LossTables>();
    model->nodeCount = 2;
    model->nodeNumber[0] = 10;
    model->nodeNumber[1] = 1;
    model->nodeNumber[2] = 2;
    model->branchStartIndex[1] = 1;
    model->branchEndIndex[1] = 2;
    t->branchLoss[1] = 0.25f;
    t->lossPart[1][2] = 0.05f;
    t->lossPart[1][3] = 0.2f;
    t->lossPart[1][1] = -0.0f;  // a negative zero is zero too
    TempDir dir;
    ASSERT_TRUE(writeLossReport(dir / "losses.rez", *model, *t, 3, 1));
    const std::string rez = fileBytes(dir / "losses.rez");
    EXPECT_NE(rez.find(cp1251("\r\nВетвь    1     2    10   dP\r\n 1   2 -0.00  0.05  0.20   0.25\r\n")),
              std::string::npos);
    EXPECT_NE(rez.find(cp1251("\r\nВетвь    1-2  Потери  0.25\r\nСоставляющие  dP2=0.05 dP10=0.20\r\n")),
              std::string::npos);
    EXPECT_NE(rez.find(cp1251("\r\nУзлы    1     2    10\r\nПотери 0.00  0.05  0.20\r\n")), std::string::npos);
}

TEST(LossReport, NodeNumbersOutsideTheTablePrintAsZero)
{
    // A model left by a rejected run: branch indices out of the node table.
    auto model = std::make_unique<NetworkModel>();
    auto t = std::make_unique<LossTables>();
    model->nodeNumber[0] = 7;
    model->branchStartIndex[1] = -3;
    model->branchEndIndex[1] = 100;
    EXPECT_EQ(lossBranchStartLabel(*model, 1), 0);
    EXPECT_EQ(lossBranchEndLabel(*model, 1), 0);
    EXPECT_EQ(lossNodeLabel(*model, 1, 1), 7);
}
