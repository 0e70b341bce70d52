// Load profiles and scenario tables: what is read, what is refused (with the
// line), and how the multipliers reach the nodes.
#include <gtest/gtest.h>

#include "interchange/CaseImport.h"
#include "series/LoadProfile.h"
#include "series/ScenarioTable.h"
#include "tests/series/SeriesTestSupport.h"
#include "tests/support/TestSupport.h"

namespace tarvel {
namespace {

TEST(LoadProfileReader, ReadsBothSeparatorsCommentsAndEitherStepName)
{
    const ProfileReadResult comma = readLoadProfile("\xEF\xBB\xBF# a day\nstep,d1,n101,a3\n1,0.5,1.25,2\n"
                                                    "# a pause\n\n2, 1 ,0,1e-1\r\n");
    ASSERT_TRUE(comma.ok) << comma.error;
    ASSERT_EQ(comma.profile.columns.size(), 3u);
    EXPECT_EQ(comma.profile.columns[0].kind, ProfileColumnKind::District);
    EXPECT_EQ(comma.profile.columns[1].kind, ProfileColumnKind::Node);
    EXPECT_EQ(comma.profile.columns[1].key, 101);
    EXPECT_EQ(comma.profile.columns[2].kind, ProfileColumnKind::Area);
    EXPECT_EQ(comma.profile.steps, (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(comma.profile.multiplier(0, 1), 1.25);
    EXPECT_EQ(comma.profile.multiplier(1, 2), 0.1);

    // ";" between fields: the decimal mark may be a comma, as a Russian spreadsheet writes it.
    const ProfileReadResult semicolon = readLoadProfile("hour;d0\n0;0,75\n1;1.5\n");
    ASSERT_TRUE(semicolon.ok) << semicolon.error;
    EXPECT_EQ(semicolon.profile.steps, (std::vector<int64_t>{0, 1}));
    EXPECT_EQ(semicolon.profile.multiplier(0, 0), 0.75);
    EXPECT_EQ(semicolon.profile.multiplier(1, 0), 1.5);
}

TEST(LoadProfileReader, TakesLinesEndedByALoneCr)
{
    const ProfileReadResult r = readLoadProfile("\xEF\xBB\xBFstep,d1\r1,0.5\r2,0.75\r");
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.profile.steps.size(), 2u);
}

TEST(ScenarioTable, AnEmptyTableSaysItIsEmptyWithOrWithoutItsConstants)
{
    for (const char* text : {"function chgtab = week\n% CT_ constants\nchgtab = [\n];\n",
                              "function chgtab = week\nchgtab = [\n];\n"}) {
        ASSERT_TRUE(looksLikeScenarioTable(text)) << text;
        EXPECT_EQ(readScenarioTable(text).error, "Таблица сценариев пуста") << text;
    }
    EXPECT_FALSE(looksLikeScenarioTable("step,d1\n1,0.5\n"));
}

TEST(LoadProfileReader, RefusesBadInputNamingTheLine)
{
    struct Case {
        const char* text;
        const char* expected;  // part of the message
    };
    const Case cases[] = {
        {"step,d1\n1,1\n2,1\n2,1\n", "строка 4: шаг 2 повторяется (он уже задан в строке 3)"},
        {"step,d1\n1,1\n3,1\n", "строка 3: пропущен шаг 2"},
        {"step,d1\n# c\n1,-0.5\n", "строка 3: столбец \"d1\": отрицательный множитель -0.5"},
        {"step,d1,d2\n1,1,\n", "строка 2: столбец \"d2\": пустой множитель"},
        {"step,d1\n1,abc\n", "строка 2: столбец \"d1\": множитель не число: \"abc\""},
        {"step,d1\n1,nan\n", "множитель не число"},
        {"step,d1\n1,1,1\n", "строка 2: 3 полей вместо 2"},
        {"step,x1\n1,1\n", "строка 1: неизвестный столбец \"x1\""},
        {"step,d10\n1,1\n", "неизвестный столбец \"d10\""},
        {"step,d1,d1\n1,1,1\n", "столбец \"d1\" повторяется"},
        {"time,d1\n1,1\n", "строка 1: первый столбец заголовка должен называться step или hour"},
        {"step,d1\n1.5,1\n", "номер шага должен быть целым числом"},
        {"step,d1\n", "нет ни одного шага"},
        {"# only a comment\n", "нет строки заголовка"},
    };
    for (const Case& c : cases) {
        const ProfileReadResult r = readLoadProfile(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_NE(r.error.find(c.expected), std::string::npos) << c.text << "\n -> " << r.error;
    }
}

TEST(LoadProfileBinding, ScalesLoadNodesByTheMostSpecificColumn)
{
    const NetworkModel model = test::readCdu(test::sourceText("samples/districts.cdu"));
    // District 1 at 0.5, node 101 (district 1) at 2, district 3 at 3: node 300
    // of district 3 holds a fixed voltage and keeps its figures.
    const ProfileReadResult read = readLoadProfile("step,d1,n101,d3\n1,0.5,2,3\n");
    ASSERT_TRUE(read.ok) << read.error;
    ProfileBinding binding;
    std::string error;
    ASSERT_TRUE(bindProfile(read.profile, model, {}, binding, error)) << error;
    StepLoads loads;
    computeStepLoads(read.profile, binding, model, 0, loads);
    for (int k = 0; k <= model.nodeCount; ++k) {
        const int number = model.nodeNumber[k];
        double m = 1;
        if (model.nodeType[k] == 1) {
            if (number == 101)
                m = 2;
            else if (districtOf(number) == 1)
                m = 0.5;
            else if (districtOf(number) == 3)
                m = 3;
        }
        EXPECT_EQ(loads.p[k], m * model.nodeLoadP[k]) << "node " << number;
        EXPECT_EQ(loads.q[k], m * model.nodeLoadQ[k]) << "node " << number;
    }
}

TEST(LoadProfileBinding, RefusesColumnsTheNetworkDoesNotHave)
{
    const NetworkModel model = test::readCdu(test::sourceText("samples/districts.cdu"));
    const struct {
        const char* header;
        const char* expected;
    } cases[] = {
        {"step,d7\n1,1\n", "нет узлов нагрузки района 7"},
        {"step,n999\n1,1\n", "нет узла нагрузки 999"},
        {"step,n300\n1,1\n", "нет узла нагрузки 300"},  // a fixed-voltage node
        {"step,a1\n1,1\n", "области есть только у случаев MATPOWER"},
    };
    for (const auto& c : cases) {
        const ProfileReadResult read = readLoadProfile(c.header);
        ASSERT_TRUE(read.ok) << read.error;
        ProfileBinding binding;
        std::string error;
        EXPECT_FALSE(bindProfile(read.profile, model, {}, binding, error)) << c.header;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(ScenarioTable, ReadsAWeekOfThePublicAreaLoads)
{
    const ScenarioReadResult read = readScenarioTable(test::sourceText("tests/data/series/scenarios_ACTIVSg200-week.m"));
    ASSERT_TRUE(read.ok) << read.error;
    const LoadProfile& p = read.table.profile;
    ASSERT_EQ(p.columns.size(), 6u);
    EXPECT_EQ(p.columns[0].key, 2);
    EXPECT_EQ(p.columns[5].key, 7);
    EXPECT_EQ(p.stepCount(), 168);
    EXPECT_EQ(p.steps.front(), 1);
    EXPECT_EQ(p.steps.back(), 168);
    EXPECT_EQ(p.multiplier(0, 0), 412.8);
    EXPECT_EQ(p.multiplier(167, 5), 350.4);
    EXPECT_TRUE(read.table.replaced[0]);

    // CT_REP totals become multipliers of the case's area load; CT_REL stays one.
    NodeAreas areas;
    areas.buses = {{10, 2, 0, 100}, {11, 2, 0, 300}, {12, 3, 0, 50}, {13, 4, 0, 10}, {14, 5, 0, 10}, {15, 6, 0, 10},
                   {16, 7, 0, 10}};
    LoadProfile profile;
    std::string error;
    ASSERT_TRUE(scenarioProfile(read.table, areas, profile, error)) << error;
    EXPECT_DOUBLE_EQ(profile.multiplier(0, 0), 412.8 / 400);
    EXPECT_DOUBLE_EQ(profile.multiplier(0, 1), 144.2 / 50);
}

TEST(ScenarioTable, RefusesOtherChangesAndBrokenLabelsNamingTheLine)
{
    const std::string head = "function chgtab = s\n%% table\nchgtab = [\n";
    const struct {
        std::string rows;
        const char* expected;
    } cases[] = {
        {"\t1 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP 10;\n\t1 0 CT_TBRCH 5 BR_STATUS CT_REP 0;\n];\n",
         "строка 5: изменение CT_TBRCH BR_STATUS CT_REP не поддерживается"},
        {"\t1 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_ADD 10;\n];\n", "строка 4: изменение"},
        {"\t1 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP 10;\n\t3 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP 10;\n];\n",
         "строка 5: пропущена метка 2"},
        {"\t1 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP 10;\n\t2 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP 10;\n"
         "\t1 0 CT_TAREALOAD 3 CT_LOAD_ALL_P CT_REP 10;\n];\n",
         "строка 6: метка 1 повторяется"},
        {"\t1 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP -1;\n];\n", "строка 4: отрицательное значение"},
        {"\t1 0 CT_TAREALOAD 2 CT_LOAD_ALL_P CT_REP 10;\n", "не закрыта"},
    };
    for (const auto& c : cases) {
        const ScenarioReadResult r = readScenarioTable(head + c.rows);
        EXPECT_FALSE(r.ok) << c.rows;
        EXPECT_NE(r.error.find(c.expected), std::string::npos) << c.rows << "\n -> " << r.error;
    }
}

TEST(ScenarioTable, AreasNumberedByZoneAreFound)
{
    // The public table numbers its areas 2..7 by the buses' zone column.
    LoadProfile profile;
    profile.columns = {{ProfileColumnKind::Area, 2, "a2"}, {ProfileColumnKind::Area, 3, "a3"}};
    NodeAreas areas;
    areas.buses = {{1, 1, 2, 10}, {2, 1, 3, 10}};
    EXPECT_TRUE(chooseAreaNumbering(profile, areas));
    EXPECT_TRUE(areas.byZone);
    areas.buses = {{1, 2, 5, 10}, {2, 3, 5, 10}};
    EXPECT_FALSE(chooseAreaNumbering(profile, areas));
    EXPECT_FALSE(areas.byZone);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(ScenarioTable, ImportKeepsEveryBusAreaAndZoneForTheCaseTables)
{
    const CaseReadResult read = readCase(test::fileBytes(test::sourcePath("tests/data/series/case_ACTIVSg200.m")),
                                         InputFormat::Matpower);
    ASSERT_TRUE(read.ok) << read.error;
    const CduConversion conversion = convertCase(read.data);
    ASSERT_TRUE(conversion.ok) << conversion.error;
    ASSERT_EQ(static_cast<int>(conversion.busAreas.size()), conversion.nodes);
    double total = 0;
    for (const CduConversion::BusArea& b : conversion.busAreas) {
        EXPECT_EQ(b.area, 1);
        EXPECT_GE(b.zone, 2);
        EXPECT_LE(b.zone, 7);
        total += b.pd;
    }
    double casePd = 0;
    for (const CaseBus& b : read.data.buses)
        casePd += b.pd;
    EXPECT_NEAR(total, casePd, 1e-9);

    // The public week numbers its areas by zone: they are found there.
    const ScenarioReadResult week = readScenarioTable(test::sourceText("tests/data/series/scenarios_ACTIVSg200-week.m"));
    ASSERT_TRUE(week.ok);
    NodeAreas areas;
    for (const CduConversion::BusArea& b : conversion.busAreas)
        areas.buses.push_back({b.node, b.area, b.zone, b.pd});
    EXPECT_TRUE(chooseAreaNumbering(week.table.profile, areas));
}

}  // namespace
}  // namespace tarvel
