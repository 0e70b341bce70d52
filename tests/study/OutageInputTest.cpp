// What a study reads: outage lists, MATPOWER contingency tables and limits
// files, with the message for each kind of bad line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "study/Limits.h"
#include "study/Outage.h"
#include "tests/study/StudySupport.h"

namespace tarvel {
namespace {

using ::testing::HasSubstr;

// Five nodes; 2-3 has two parallel lines, one written 3-2.
const char* const kNetwork =
    "0102 0 1 115 0 0 0 0 0 0 0\n"
    "0201 0 2 110 10 5 0 0 0 0 0\n"
    "0201 0 3 110 10 5 0 0 0 0 0\n"
    "0201 0 4 110 10 5 0 0 0 0 0\n"
    "0201 0 5 110 5 2 0 0 0 0 0\n"
    "0301 0 1 2 2 8 -50 1 0 0 0\n"
    "0301 0 2 3 3 10 -50 1 0 0 0\n"
    "0301 0 3 2 3 10 -50 1 0 0 0\n"
    "0301 0 1 4 2 8 -50 1 0 0 0\n"
    "0301 0 4 3 3 10 -50 1 0 0 0\n"
    "0301 0 4 5 3 10 -50 1 0 0 0\n";

class OutageInput : public ::testing::Test {
protected:
    NetworkModel model = test::modelFromText(kNetwork);
    BranchIndex index{model};
};

TEST_F(OutageInput, ParallelBranchesAreCountedPerPairInInputOrderEitherWayRound)
{
    EXPECT_EQ(index.find(2, 3, 1), 2);
    EXPECT_EQ(index.find(3, 2, 2), 3);
    EXPECT_EQ(index.find(2, 3, 3), 0);
    EXPECT_EQ(index.find(1, 3, 1), 0);
    const std::vector<Outage> all = allBranchOutages(index);
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0].label, "1-2");
    EXPECT_EQ(all[1].label, "2-3/1");
    EXPECT_EQ(all[2].label, "3-2/2");
    EXPECT_EQ(all[2].branches, std::vector<int>{3});
}

TEST_F(OutageInput, AListTakesPairsPlacesSeveralBranchesAndComments)
{
    const OutageList list = readOutageList("# double circuit first\r\n"
                                           "2 3 1 ; 3 2 2   # both circuits\r\n"
                                           "\r\n"
                                           "4\t5\r\n"
                                           "1 2",
                                           index);
    ASSERT_TRUE(list.ok) << list.error;
    ASSERT_EQ(list.outages.size(), 3u);
    EXPECT_EQ(list.outages[0].branches, (std::vector<int>{2, 3}));
    EXPECT_EQ(list.outages[0].label, "2 3 1 ; 3 2 2");
    EXPECT_EQ(list.outages[1].branches, std::vector<int>{6});
    EXPECT_EQ(list.outages[2].branches, std::vector<int>{1});
}

TEST_F(OutageInput, ABadListIsRefusedWithItsLine)
{
    const auto error = [&](const std::string& text) {
        const OutageList list = readOutageList(text, index);
        EXPECT_FALSE(list.ok);
        EXPECT_TRUE(list.outages.empty());
        return list.error;
    };
    EXPECT_EQ(error("1 2\n# fine\n2 5\n"), "Строка 3 списка отключений: ветви 2 5 в сети нет");
    EXPECT_EQ(error("2 3 3\n"), "Строка 1 списка отключений: ветви 2 3 3 в сети нет");
    EXPECT_THAT(error("1 2\n1 x\n"), HasSubstr("Строка 2 списка отключений: ветвь задается номерами узлов"));
    EXPECT_THAT(error("1 2 0\n"), HasSubstr("Строка 1 списка отключений: ветвь задается"));
    EXPECT_THAT(error("1 2 1 7\n"), HasSubstr("\"1 2 1 7\""));
    EXPECT_THAT(error("1 2;\n"), HasSubstr("Строка 1"));
    EXPECT_EQ(error("1 2; 2 1\n"), "Строка 1 списка отключений: ветвь 2 1 названа дважды");
    EXPECT_EQ(error("# nothing\n\n   \n"), "Список отключений пуст: в нем нет ни одной ветви");
    EXPECT_EQ(error(""), "Список отключений пуст: в нем нет ни одной ветви");
}

TEST_F(OutageInput, ATableGroupsBranchRowsByLabelAndRefusesOtherChanges)
{
    // The case's rows 1..4: row 3 was out of service and left out of the network.
    const CaseBranchMap map{"case_five", {1, 2, 0, 4}};
    const char* header = "function chgtab = contab_five\n%% comment\ndefine_constants;\nchgtab = [\n";
    const OutageList list = readContingencyTable(std::string(header) +
                                                     "\t7\t0\tCT_TBRCH\t2\tBR_STATUS\tCT_REP\t0;\n"
                                                     "\t5\t0.1\tCT_TBRCH\t1\tBR_STATUS\tCT_REP\t0; % first\n"
                                                     "\t7\t0\t3\t4\t11\t1\t0;\n"
                                                     "];\n",
                                                 map);
    ASSERT_TRUE(list.ok) << list.error;
    ASSERT_EQ(list.outages.size(), 2u);
    EXPECT_EQ(list.outages[0].label, "7");
    EXPECT_EQ(list.outages[0].branches, (std::vector<int>{2, 4}));
    EXPECT_EQ(list.outages[1].label, "5");
    EXPECT_EQ(list.outages[1].branches, std::vector<int>{1});

    const auto error = [&](const std::string& rows, const CaseBranchMap& m) {
        const OutageList bad = readContingencyTable(std::string(header) + rows + "];\n", m);
        EXPECT_FALSE(bad.ok);
        return bad.error;
    };
    EXPECT_THAT(error("1 0 CT_TBRCH 1 BR_STATUS CT_REP 0;\n1 0 CT_TBUS 2 PD CT_REL 1.1;\n", map),
                HasSubstr("Строка 6 таблицы отключений: рассчитываются только отключения ветвей"));
    EXPECT_THAT(error("1 0 CT_TBRCH 1 BR_X CT_REP 0.5;\n", map), HasSubstr("Строка 5 таблицы"));
    EXPECT_THAT(error("1 0 CT_TBRCH 9 BR_STATUS CT_REP 0;\n", map),
                HasSubstr("Строка 5 таблицы отключений: ветви 9 в случае нет (в нем 4 ветвей)"));
    EXPECT_THAT(error("1 0 CT_TBRCH 3 BR_STATUS CT_REP 0;\n", map), HasSubstr("выведена из работы"));
    EXPECT_THAT(error("1 0 CT_TBRCH 1;\n", map), HasSubstr("7 чисел"));
    EXPECT_THAT(error("1 0 CT_TBRCH 1 BR_STATUS CT_REP 0;\n", CaseBranchMap{"case_other", {1, 2, 0, 4}}),
                HasSubstr("составлена для случая five, а рассчитывается случай case_other"));
    EXPECT_THAT(error("", map), HasSubstr("пуста"));
}

TEST_F(OutageInput, VoltageLimitsFollowTheClassOfTheNominalVoltage)
{
    EXPECT_DOUBLE_EQ(highestOperatingVoltage(110), 126);
    EXPECT_DOUBLE_EQ(highestOperatingVoltage(6), 7.2);
    EXPECT_DOUBLE_EQ(highestOperatingVoltage(35), 40.5);
    EXPECT_DOUBLE_EQ(highestOperatingVoltage(750), 787);
    EXPECT_DOUBLE_EQ(highestOperatingVoltage(1150), 1200);
    EXPECT_DOUBLE_EQ(highestOperatingVoltage(115), 126.5);
    const Limits limits = defaultLimits(model);
    EXPECT_DOUBLE_EQ(limits.vmin[0], 0.9 * 115);
    EXPECT_DOUBLE_EQ(limits.vmax[0], 126.5);
    EXPECT_DOUBLE_EQ(limits.vmin[1], 99);
    EXPECT_DOUBLE_EQ(limits.vmax[1], 126);
    EXPECT_EQ(limits.kind[1], BranchLimitKind::None);
}

TEST_F(OutageInput, ALimitsFileSetsCurrentsAndABadLineLeavesEveryLimitAsItWas)
{
    Limits limits = defaultLimits(model);
    applyRatings(limits, {0, 50, 0, 0, 0, 0, 0});
    EXPECT_EQ(limits.kind[1], BranchLimitKind::Power);
    EXPECT_EQ(readCurrentLimits("# N1 N2 [K] Imax\n3 2 2 0.25\n4 5 0,3\n1 2 1.5e-1 # kA\n", index, limits), "");
    EXPECT_EQ(limits.kind[3], BranchLimitKind::Current);
    EXPECT_DOUBLE_EQ(limits.branchLimit[3], 0.25);
    EXPECT_DOUBLE_EQ(limits.branchLimit[6], 0.3);
    EXPECT_EQ(limits.kind[1], BranchLimitKind::Current);
    EXPECT_DOUBLE_EQ(limits.branchLimit[1], 0.15);

    const Limits before = limits;
    EXPECT_EQ(readCurrentLimits("4 5 0.4\n1 2 -0.2\n", index, limits),
              "Строка 2 файла пределов: предел тока должен быть положительным числом (кА): \"-0.2\"");
    EXPECT_EQ(readCurrentLimits("1 2 много\n", index, limits),
              "Строка 1 файла пределов: предел тока должен быть положительным числом (кА): \"много\"");
    EXPECT_THAT(readCurrentLimits("1 2 0\n", index, limits), HasSubstr("положительным числом"));
    EXPECT_EQ(readCurrentLimits("1 3 0.2\n", index, limits), "Строка 1 файла пределов: ветви 1 3 в сети нет");
    EXPECT_THAT(readCurrentLimits("1 2\n", index, limits), HasSubstr("ожидается \"N1 N2 Imax\""));
    EXPECT_EQ(limits.branchLimit, before.branchLimit);
}

TEST_F(OutageInput, ALimitBelowAnAmpereOrGivenTwiceIsRefusedWithItsLine)
{
    Limits limits = defaultLimits(model);
    const Limits before = limits;
    EXPECT_EQ(readCurrentLimits("4 5 0.4\n1 2 1e-320\n", index, limits),
              "Строка 2 файла пределов: предел тока меньше 0.001 кА (1 А): \"1e-320\"");
    EXPECT_EQ(readCurrentLimits("1 2 0.0009\n", index, limits),
              "Строка 1 файла пределов: предел тока меньше 0.001 кА (1 А): \"0.0009\"");
    EXPECT_EQ(readCurrentLimits("4 5 0.4\n# again\n5 4 0.5\n", index, limits),
              "Строка 3 файла пределов: предел ветви 5 4 уже задан в строке 1");
    EXPECT_EQ(readCurrentLimits("2 3 0.2\n3 2 2 0.3\n2 3 1 0.4\n", index, limits),
              "Строка 3 файла пределов: предел ветви 2 3 1 уже задан в строке 1");
    EXPECT_EQ(limits.branchLimit, before.branchLimit);
    EXPECT_EQ(readCurrentLimits("1 2 0.001\n", index, limits), "");
}

// One rule for every reader of a study's files: a UTF-8 byte-order mark is
// dropped, and a lone CR ends a line as LF and CR LF do.
TEST_F(OutageInput, EveryReaderTakesAByteOrderMarkAndEveryLineEnd)
{
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        const std::string list = userFileText("\xEF\xBB\xBF" "1 2" + end + "4 5" + end);
        const OutageList outages = readOutageList(list, index);
        ASSERT_TRUE(outages.ok) << outages.error;
        ASSERT_EQ(outages.outages.size(), 2u);
        EXPECT_EQ(outages.outages[0].label, "1 2");

        Limits limits = defaultLimits(model);
        EXPECT_EQ(readCurrentLimits(userFileText("\xEF\xBB\xBF" "1 2 0.2" + end + "4 5 0.3" + end), index, limits), "");
        EXPECT_DOUBLE_EQ(limits.branchLimit[1], 0.2);
        EXPECT_DOUBLE_EQ(limits.branchLimit[6], 0.3);
    }
    EXPECT_EQ(textLines("a\rb\r\nc\nd"), (std::vector<std::string_view>{"a", "b", "c", "d"}));
    EXPECT_TRUE(textLines("\xEF\xBB\xBF").empty());
    // UTF-8 Cyrillic in a comment stays readable, as Windows-1251 does.
    EXPECT_EQ(userFileText("# линия\n"), "# линия\n");
    EXPECT_EQ(userFileText(utf8ToCp1251("# линия\n")), "# линия\n");
}

}  // namespace
}  // namespace tarvel
