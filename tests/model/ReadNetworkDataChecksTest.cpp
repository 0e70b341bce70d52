#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "model/TextFile.h"
#include "tests/model/ReadNetworkDataTestSupport.h"

using namespace tarvel;
using namespace tarvel::test::cdu;

TEST(ReadNetworkDataChecks, ValuesAtTheirLimitsPass)
{
    Reader r;
    ASSERT_TRUE(r.read("0102 0 1 110 0 0 0 0 0 0 0\r\n"
                       "0201 0 100000 0.1 0 0 0 0 0 0 0\r\n"
                       "0201 0 3 1500 0 0 0 0 0 0 0\r\n"
                       "0201 0 4 110 0 0 0 0 0.1 0 0\r\n"
                       "0201 0 5 0.05 0 0 0 0 0.11 0 0\r\n"
                       "0201 0 -99 110 0 0 0 0 0 0 0\r\n"
                       "0301 0 1 100000 1 0.5 -99999 0 0 0 0\r\n"
                       "0301 0 100000 3 1 -0.5 0 1.05 0 0 0\r\n"
                       "0301 0 1 3 1 1.001 0 1.05 0 0 0\r\n"
                       "0301 0 3 4 1 999999 0 0.5 0 0 0\r\n"
                       "0301 0 4 5 1 -999999 0 2.0 0 0 0\r\n"
                       "0301 0 5 -99 1 20 0 0.0005 0 0 0\r\n"))
        << r.err();
    const NetworkModel& m = *r.model;
    EXPECT_EQ(m.nodeType[3], 1);  // a fixed voltage of 0.1 is none
    EXPECT_EQ(m.nodeUnom[3], 110.0f);
    EXPECT_EQ(m.nodeType[4], 2);
    EXPECT_EQ(m.nodeUnom[4], 0.11f);
    EXPECT_EQ(m.districtNodeCount[0], 5);  // 1, 3, 4, 5, -99
    EXPECT_EQ(m.districtNodeCount[1], 1);  // 100000
    const std::vector<float> x = {1.01f, 1.01f, 1.001f, 999999.0f, -999999.0f, 20.0f};
    const std::vector<float> kt = {1.0f, 1.05f, 1.05f, 0.5f, 2.0f, 1.0f};
    for (int j = 1; j <= 6; ++j) {
        EXPECT_EQ(m.branchReactance[j], x[j - 1]) << j;
        EXPECT_EQ(m.branchRatio[j], kt[j - 1]) << j;
    }
    EXPECT_EQ(m.branchSusceptance[1], static_cast<float>(99999.0f * 1e-6));

    // The base node's number is not judged; its nominal voltage, the scale
    // of every figure, is judged as every other node's.
    for (const std::string& base : {node102(100001, 110), node102(1, 0.1f), node102(1, 1500)}) {
        Reader b;
        const std::string number = base.substr(7, base.find(' ', 7) - 7);
        EXPECT_TRUE(b.read(base + node201(2, 110) + "0301 0 " + number + " 2 5 20 0 0 0 0 0\r\n")) << base << b.err();
    }
}

TEST(ReadNetworkDataChecks, ABaseVoltageOutOfRangeIsRefusedAsAnyNodes)
{
    for (const char* unom : {"0.05", "1501", "1e21", "1e30", "-230", "0", "-1e38"}) {
        Reader b;
        EXPECT_FALSE(b.read(std::string("0102 0 1 ") + unom + " 0 0 0 0 0 0 0\r\n" + node201(2, 110) +
                            branch(1, 2, 5, 20)))
            << unom;
        EXPECT_EQ(b.err(), utf8ToCp1251("Числовая ошибка 2. U ном. велико или мало: базисный узел 1\r\n")) << unom;
    }
}

TEST(ReadNetworkDataChecks, ANegativeRatioIsRefusedATinyOneAndANegativeResistanceTold)
{
    Reader r;
    EXPECT_FALSE(r.read(node102(1, 220) + node201(2, 220, 10, 5) + node201(3, 110, 10, 5) + branch(1, 2, 5, 20) +
                        branch(2, 3, 1, 40, 0, -0.978f)));
    EXPECT_EQ(r.err(), utf8ToCp1251("Числовая ошибка 8. Отрицательный коэффициент трансформации -0.978: ветвь 2 3, "
                                    "строка 5\r\n"));
    EXPECT_EQ(r.reading.findings.at(0).recordLine, 5);

    // 0 writes a line, without a word; a ratio below 0.001 is taken as 1 and told.
    EXPECT_TRUE(r.read(node102(1, 220) + node201(2, 220, 10, 5) + node201(3, 220, 10, 5) + branch(1, 2, 5, 20) +
                       branch(2, 3, -2.5f, 40, 0, 0.0005f) + branch(1, 3, 5, 20, 0, 0)))
        << r.err();
    EXPECT_EQ(r.model->branchRatio[2], 1.0f);
    EXPECT_EQ(r.sink.warnings,
              (std::vector<std::string>{"Коэффициент трансформации 0.0005 меньше 0.001 принят равным 1 (ветвь 2 3, "
                                        "строка 5): ветвь рассчитана как линия.",
                                        "Отрицательное активное сопротивление -2.5 Ом: ветвь 2 3, строка 5; "
                                        "проверьте данные."}));
}

TEST(ReadNetworkDataChecks, EveryFindingInItsOrder)
{
    Reader r;
    EXPECT_FALSE(r.read("0102 0 1 110 0 0 0 0 0 0 0\r\n"
                        "0201 0 100001 110 0 0 0 0 0 0 0\r\n"
                        "0201 0 3 0.09 0 0 0 0 0 0 0\r\n"
                        "0201 0 4 1501 0 0 0 0 0 0 0\r\n"
                        "0201 0 6 110 0 0 0 0 0 0 0\r\n"
                        "0201 0 100002 1501 0 0 0 0 0 0 0\r\n"
                        "0201 0 -5 110 0 0 0 0 0 0 0\r\n"
                        "0301 0 3 0 0 -40\r\n"
                        "0301 0 1 100001 5 -1000000 0 0 0 0 0\r\n"
                        "0301 0 100001 3 5 20 0.5 0 0 0 0\r\n"
                        "0301 0 3 4 5 20 -100000 0 0 0 0\r\n"
                        "0301 0 1 3 5 20 0 0.5 0 0 0\r\n"
                        "0301 0 4 1 5 20 0 2.0 0 0 0\r\n"
                        "0301 0 4 100002 5 20 0 0 0 0 0\r\n"
                        "0301 0 4 77 5 20 0 0 0 0 0\r\n"
                        "0301 0 88 99 5 20 0 0 0 0 0\r\n"
                        "0301 0 1 4 5 1e7 0.5 2.0 0 0 0\r\n"));
    EXPECT_EQ(r.err(), errLines({
                           "Ошибка связи 1. Нет ветвей для узла 6",
                           "Ошибка связи 1. Нет ветвей для узла -5",
                           "Ошибка связи 2. Нет узлов для ветви 4\t77",
                           "Ошибка связи 2. Нет узлов для ветви 88\t99",
                           "Числовая ошибка  1. Номер узла > 100000",
                           "Числовая ошибка 2. U ном. велико или мало",
                           "Числовая ошибка 2. U ном. велико или мало",
                           "Числовая ошибка  1. Номер узла > 100000",
                           "Числовая ошибка 2. U ном. велико или мало",
                           "Числовая ошибка 3. Х Ветви > 999999",
                           "Ветвь 1 100001",
                           "Числовая ошибка 4. Неверное значение проводимости",
                           "Ветвь 100001 3",
                           "Числовая ошибка 4. Неверное значение проводимости",
                           "Ветвь 3 4",
                           "Ошибка схемы сети 1. ",
                           "Ветвь 1 3 не может быть трансформатором",
                           "Ошибка схемы сети 1. ",
                           "Ветвь 4 1 не может быть трансформатором",
                           "Числовая ошибка 3. Х Ветви > 999999",
                           "Ветвь 1 4",
                           "Числовая ошибка 4. Неверное значение проводимости",
                           "Ветвь 1 4",
                           "Ошибка схемы сети 1. ",
                           "Ветвь 1 4 не может быть трансформатором",
                       }));
    EXPECT_TRUE(r.sink.messages.empty());

    // The rejected text stays in the model as read: counts, unscaled values, no indices.
    const NetworkModel& m = *r.model;
    EXPECT_EQ(m.nodeCount, 6);
    EXPECT_EQ(m.branchCount, 9);
    EXPECT_EQ(m.branchSusceptance[2], -0.5f);
    EXPECT_EQ(m.branchSusceptance[3], 100000.0f);
    EXPECT_EQ(m.nodeShuntB[2], 40.0f);
    EXPECT_EQ(m.branchEndIndex[1], 0);
    EXPECT_EQ(m.branchStartIndex[2], 0);
}

TEST(ReadNetworkDataChecks, NetworksLargerThanTheTables)
{
    auto chain = [](int nodes) {
        std::string text = node102(1, 110);
        for (int k = 2; k <= nodes + 1; ++k)
            text += node201(k, 110) + branch(k - 1, k, 5, 20);
        return text;
    };
    auto parallel = [](int branches) {
        std::string text = node102(1, 110) + node201(2, 110);
        for (int j = 0; j < branches; ++j)
            text += branch(1, 2, 5, 20);
        return text;
    };
    {
        Reader r;
        EXPECT_TRUE(r.read(chain(99)));
        EXPECT_EQ(r.model->nodeCount, 99);
        EXPECT_TRUE(r.read(parallel(149)));
        EXPECT_EQ(r.model->branchCount, 149);
    }
    {
        // Beyond the classic tables the tables grow; a shunt finds its node
        // in the grown part.
        Reader r;
        EXPECT_TRUE(r.read(chain(160) + shunt(150, 0, 10)));
        EXPECT_EQ(r.model->nodeCount, 160);
        EXPECT_EQ(r.model->branchCount, 160);
        EXPECT_EQ(r.model->nodeNumber[149], 150);
        EXPECT_FLOAT_EQ(r.model->nodeShuntB[149], -10e-6f);
        EXPECT_EQ(r.model->branchStartIndex[160], 159);
        EXPECT_EQ(r.model->branchEndIndex[160], 160);
        EXPECT_TRUE(r.read(parallel(150)));
        EXPECT_EQ(r.model->branchCount, 150);
    }
    {
        // One record past what the reader stores refuses the whole text, and
        // nothing past the stored counts is kept.
        Reader r;
        EXPECT_FALSE(r.read(chain(tarvel::kMaxNodeRecords + 1)));
        EXPECT_EQ(r.err(), errLines({"Ошибка данных. Число узлов больше 200000: 200001"}));
        EXPECT_EQ(r.model->nodeCount, tarvel::kMaxNodeRecords);
        EXPECT_EQ(r.model->branchCount, tarvel::kMaxNodeRecords + 1);
        EXPECT_EQ(r.model->nodeType[0], 3);
        EXPECT_LE(r.model->nodeNumber.size(), static_cast<std::size_t>(tarvel::kMaxNodeRecords) * 2 + 2);
    }
    {
        Reader r;
        EXPECT_FALSE(r.read(parallel(tarvel::kMaxBranchRecords + 1) + node201(3, 110)));
        EXPECT_EQ(r.err(), errLines({"Ошибка данных. Число ветвей больше 1000000: 1000001"}));
        EXPECT_EQ(r.model->branchCount, tarvel::kMaxBranchRecords);
        EXPECT_EQ(r.model->nodeCount, 2);
    }
}

TEST(ReadNetworkDataChecks, NumbersOutOfRange)
{
    {  // digits beyond the 32-bit range saturate: the node number is too large
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + "0201 0 99999999999 110 0 0 0 0 0 0 0\r\n"
                                            "0301 0 2 99999999999 5 20 0 0 0 0 0\r\n"));
        EXPECT_EQ(r.model->nodeNumber[2], 2147483647);
        EXPECT_EQ(r.err(), errLines({"Числовая ошибка  1. Номер узла > 100000"}));
    }
    {  // ... and an end written 4294967296 does not wrap round to 0, which would make a shunt
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + "0301 0 2 4294967296 5 20 0 0 0 0 0\r\n"));
        EXPECT_EQ(r.model->branchCount, 2);
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 2. Нет узлов для ветви 2\t2147483647"}));
    }
    {  // numbers below -99 have no district: refused after the other findings
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + node201(-100, 110) + branch(2, -100, 5, 20) + node201(7, 110)));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 1. Нет ветвей для узла 7", "Числовая ошибка 5. Номер узла < -99: -100"}));
        EXPECT_EQ(r.model->districtNodeCount[0], 3);
        Reader base;
        EXPECT_FALSE(base.read(node102(-2147483647 - 1, 110) + node201(2, 110) + branch(-2147483647 - 1, 2, 5, 20)));
        EXPECT_EQ(base.err(), errLines({"Числовая ошибка 5. Номер узла < -99: -2147483648"}));
    }
}

TEST(ReadNetworkDataChecks, ValuesThatOverflowAFloat)
{
    Reader r;
    EXPECT_FALSE(r.read("0102 0 1 1e39 0 0 0 0 0 0 0\r\n"
                        "0201 0 2 110 1e39 0 0 0 0 0 0\r\n"
                        "0201 0 3 1e39 0 0 0 0 0 0 0\r\n"
                        "0201 0 4 110 0 -1e39 0 0 0 0 0\r\n"
                        "0201 0 5 110 0 0 0 0 1e40 0 0\r\n"
                        "0201 0 6 110 0 0 0 0 0 0 0\r\n"
                        "0301 0 6 0 0 1e39\r\n"
                        "0301 0 1 2 5 1e39 0 0 0 0 0\r\n"
                        "0301 0 2 3 5 20 -1e39 0 0 0 0\r\n"
                        "0301 0 3 4 -1e39 20 0 0 0 0 0\r\n"
                        "0301 0 4 5 5 20 0 1e39 0 0 0\r\n"
                        "0301 0 1 5 5 20 0 1e39 0 0 0\r\n"
                        "0301 0 5 6 5 20 0 -1e39 0 1e39 0\r\n"));
    EXPECT_EQ(r.err(), errLines({
                           "Числовая ошибка 2. U ном. велико или мало",  // node 3
                           "Числовая ошибка 2. U ном. велико или мало",  // node 5, fixed voltage
                           "Числовая ошибка 8. Отрицательный коэффициент трансформации -1e+39: ветвь 5 6, "
                           "строка 13",
                           "Числовая ошибка 3. Х Ветви > 999999",
                           "Ветвь 1 2",
                           "Числовая ошибка 4. Неверное значение проводимости",
                           "Ветвь 2 3",
                           "Ошибка схемы сети 1. ",
                           "Ветвь 1 5 не может быть трансформатором",
                           "Числовая ошибка 6. Недопустимое значение в записи узла 1",
                           "Числовая ошибка 6. Недопустимое значение в записи узла 2",
                           "Числовая ошибка 6. Недопустимое значение в записи узла 4",
                           "Числовая ошибка 6. Недопустимое значение в записи узла 6",
                           "Числовая ошибка 6. Недопустимое значение в записи ветви 3 4",
                           "Числовая ошибка 6. Недопустимое значение в записи ветви 4 5",
                       }));
}

TEST(ReadNetworkDataChecks, HostileTextsEndInBoundedTime)
{
    std::mt19937 random(1251);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    const std::vector<std::string> texts = {
        std::string(1000, '\0'),
        std::string("0102\0 0 1 110", 13),
        garbage,
        std::string(1 << 20, '7'),                          // one endless integer
        "0201 0 2 1." + std::string(1 << 20, '5') + "e",    // one endless real
        std::string(1 << 20, '\n') + "\x1A",
        std::string(1 << 19, ' ') + std::string(1 << 19, '-'),
    };
    for (const std::string& text : texts) {
        Reader r;
        EXPECT_FALSE(r.read(text));
        EXPECT_EQ(r.sink.messages, std::vector<std::string>{"Совсем нет ветвей или узлов"});
        EXPECT_EQ(r.err(), "");
    }

    // 100 MB of records of an unknown code on one line, then a network. Only an
    // optimised build without sanitizers is timed, and the others read 10 MB.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    constexpr std::size_t kSize = 100'000'000;
    constexpr double kSeconds = 5.0;
#else
    constexpr std::size_t kSize = 10'000'000;
    constexpr double kSeconds = 1e9;
#endif
    std::string text;
    text.reserve(kSize + 100 + kThreeRecords.size());
    while (text.size() < kSize)
        text += "7 77 777 7777 -7 ";
    text += kThreeRecords;
    Reader r;
    test::writeBytes(r.dir / "network.cdu", text);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(readNetworkData(*r.model, r.dir.path(), r.sink).accepted);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kSeconds);
    EXPECT_EQ(r.model->branchCount, 1);
}

// The two reals after the fixed voltage are the reactive limits of the node.
// Where the run holds fixed-voltage nodes within their limits, a minimum above
// the maximum at such a node is refused after every other finding, with the
// line of its record; a load node's limits are never read. Without the limits
// the two fields are read and left alone, as every unused figure is: a text
// accepted before is not refused for them.
TEST(ReadNetworkDataChecks, ReactiveLimitsOfANode)
{
    {
        Reader r;
        EXPECT_TRUE(r.read(kThreeRecords + "0201 0 3 110 0 0 0 0 115 -20 50\r\n0301 0 2 3 5 20 0 0 0 0 0\r\n"));
        EXPECT_EQ(r.model->nodeQmin[2], -20.0f);
        EXPECT_EQ(r.model->nodeQmax[2], 50.0f);
        EXPECT_TRUE(r.model->hasQLimits(2));
        EXPECT_FALSE(r.model->hasQLimits(1));
        EXPECT_EQ(r.err(), "");
    }
    const std::string crossed = kThreeRecords + "\r\n0201 0 3 110 0 0 0 0 115 50 -20\r\n" + node201(7, 110) +
                                "0201 0 4 110 0 0 0 0 0 5 4.5\r\n0301 0 2 3 5 20 0 0 0 0 0\r\n" + branch(3, 4, 5, 20);
    {
        Reader r;
        r.model->qLimits = true;
        EXPECT_FALSE(r.read(crossed));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 1. Нет ветвей для узла 7",
                                     "Числовая ошибка 7. Qmin больше Qmax в записи узла 3 (строка 5): 50 > -20"}));
    }
    {
        Reader r;
        EXPECT_FALSE(r.read(crossed));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 1. Нет ветвей для узла 7"}));
    }
    {
        Reader r;
        EXPECT_TRUE(r.read(kThreeRecords + "0201 0 3 110 0 0 0 0 115 50 -20\r\n0301 0 2 3 5 20 0 0 0 0 0\r\n"));
        EXPECT_EQ(r.err(), "");
        EXPECT_TRUE(r.sink.messages.empty());
    }
    {  // the text ends before the limits: none, and nothing to warn about
        Reader r;
        EXPECT_TRUE(r.read(kThreeRecords + "0301 0 2 3 5 20 0 0 0 0 0\r\n0201 0 3 110 0 0 0 0 115"));
        EXPECT_EQ(r.model->nodeType[2], 2);
        EXPECT_FALSE(r.model->hasQLimits(2));
        EXPECT_TRUE(r.sink.warnings.empty());
    }
}

// What the reader hands on besides network.err: each finding with what it
// names, and network.err made of exactly those findings.
TEST(ReadNetworkDataChecks, FindingsNameTheirElementsAndMakeTheErrorList)
{
    Reader r;
    std::string text = "0102 0 1 110 0 0 0 0 0 0 0\r\n"
                       "0201 0 2 110 10 5 0 0 0 0 0\r\n"
                       "0201 0 3 110 1 1 0 0 0 0 0\r\n";
    for (int number = 10; number <= 21; ++number)  // twelve nodes hanging apart
        text += node201(number, 110);
    text += "0301 0 1 2 5 2000000 0 1 0 0 0\r\n"
            "0301 0 2 7 5 20 0 1 0 0 0\r\n";
    for (int number = 10; number < 21; ++number)
        text += "0301 0 " + std::to_string(number) + " " + std::to_string(number + 1) + " 1 2 0 0 0 0 0\r\n";
    EXPECT_FALSE(r.read(text));
    const std::vector<Finding>& f = r.reading.findings;
    ASSERT_EQ(f.size(), 3u) << r.err();
    EXPECT_EQ(f[0].kind, FindingKind::NodeWithoutBranches);
    EXPECT_EQ(f[0].nodes, std::vector<int32_t>{3});
    EXPECT_EQ(f[1].kind, FindingKind::BranchWithoutNodes);
    EXPECT_EQ(f[1].branch, (std::pair<int32_t, int32_t>{2, 7}));
    EXPECT_EQ(f[2].kind, FindingKind::Reactance);
    EXPECT_EQ(f[2].branch, (std::pair<int32_t, int32_t>{1, 2}));
    std::string lines;
    for (const Finding& finding : f)
        for (const std::string& line : findingLines(finding))
            lines += utf8ToCp1251(line) + "\r\n";
    EXPECT_EQ(r.err(), lines);

    // Once every branch names its nodes, the nodes apart come as one list,
    // ten numbers to a line.
    std::string joined = text;
    joined.replace(joined.find("0301 0 2 7 5 20"), 15, "0301 0 2 3 5 20");
    joined.replace(joined.find("2000000"), 7, "20");
    EXPECT_FALSE(r.read(joined));
    ASSERT_EQ(r.reading.findings.size(), 1u) << r.err();
    EXPECT_EQ(r.reading.findings[0].kind, FindingKind::NotJoinedToBase);
    EXPECT_EQ(r.reading.findings[0].nodes.size(), 12u);
    EXPECT_EQ(r.err(), utf8ToCp1251("Ошибка связи 3. Узлы не связаны с базовым узлом: 10 11 12 13 14 15 16 17 18 19\r\n"
                                    " 20 21\r\n"));
}

TEST(ReadNetworkDataChecks, RecordLinesFollowTheRecordsThatWereStored)
{
    Reader r;
    // A shunt record (N2 = 0, no branch), a second base node record, which
    // the reader keeps, and an empty line.
    ASSERT_TRUE(r.read("0102 0 1 110 0 0 0 0 0 0 0\r\n"
                       "0201 0 2 110 10 5 0 0 0 0 0\r\n"
                       "0301 0 2 0 0 50 0 0 0 0 0\r\n"
                       "0301 0 1 2 5 20 0 1 0 0 0\r\n"
                       "0102 0 1 115 0 0 0 0 0 0 0\r\n"
                       "\r\n"
                       "0201 0 3 110 1 1 0 0 0 0 0\r\n"
                       "0301 0 2 3 5 20 0 1 0 0 0\r\n"))
        << r.err();
    EXPECT_EQ(r.reading.nodeLines, (std::vector<int32_t>{5, 2, 7}));
    EXPECT_EQ(r.reading.branchLines, (std::vector<int32_t>{0, 4, 8}));
}
