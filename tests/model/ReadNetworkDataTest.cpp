#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "tests/model/ReadNetworkDataTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test::cdu;

TEST(ReadNetworkData, ThreeRecordTextIsAccepted)
{
    Reader r;
    ASSERT_TRUE(r.read("0102 0 1 110 0 0 0 0 0 0 0\r\n"
                       "0201 0 2 110 10 5 0 0 0 0 0\r\n"
                       "0301 0 1 2 5 20 -100 0 0 0 0\r\n"));
    const NetworkModel& m = *r.model;
    EXPECT_EQ(m.nodeCount, 1);
    EXPECT_EQ(m.branchCount, 1);
    EXPECT_EQ(m.nodeType[0], 3);
    EXPECT_EQ(m.nodeNumber[0], 1);
    EXPECT_EQ(m.nodeUnom[0], 110.0f);
    EXPECT_EQ(m.nodeType[1], 1);
    EXPECT_EQ(m.nodeNumber[1], 2);
    EXPECT_EQ(m.nodeLoadP[1], 10.0f);
    EXPECT_EQ(m.nodeLoadQ[1], 5.0f);
    EXPECT_EQ(m.branchResistance[1], 5.0f);
    EXPECT_EQ(m.branchReactance[1], 20.0f);
    EXPECT_EQ(m.branchSusceptance[1], static_cast<float>(100.0f * 1e-6));
    EXPECT_EQ(m.branchRatio[1], 1.0f);
    EXPECT_EQ(m.branchConductance[1], 0.0f);
    EXPECT_EQ(m.branchStartIndex[1], 0);
    EXPECT_EQ(m.branchEndIndex[1], 1);
    EXPECT_EQ(m.districtNodeCount[0], 2);
    EXPECT_TRUE(r.exists("network.err"));
    EXPECT_EQ(r.err(), "");
    EXPECT_TRUE(r.sink.messages.empty());
    EXPECT_TRUE(r.sink.warnings.empty());
}

TEST(ReadNetworkData, SampleIeee14IsAccepted)
{
    Reader r;
    ASSERT_TRUE(r.read(test::fileBytes(test::sourcePath("samples/ieee14.cdu"))));
    const NetworkModel& m = *r.model;
    EXPECT_EQ(m.nodeCount, 13);
    EXPECT_EQ(m.branchCount, 20);
    EXPECT_EQ(m.nodeNumber[8], 9);
    EXPECT_FLOAT_EQ(m.nodeShuntB[8], 392.562e-6f);  // written -392.562 µS
    EXPECT_EQ(m.nodeType[1], 2);                    // node 2 holds 229.9 kV
    EXPECT_EQ(m.nodeUnom[1], 229.9f);
    EXPECT_EQ(m.nodeType[3], 1);
    EXPECT_EQ(m.branchRatio[9], 0.969f);  // 4-9
    EXPECT_EQ(m.branchSusceptance[8], 0.0f);
    for (int j = 1; j <= m.branchCount; ++j)
        EXPECT_FALSE(std::signbit(m.branchSusceptance[j])) << j;  // the sample writes no charging as -0
    EXPECT_EQ(m.districtNodeCount[0], 14);
    for (int j = 1; j <= m.branchCount; ++j) {
        EXPECT_EQ(m.nodeNumber[m.branchStartIndex[j]], m.branchStartNode[j]);
        EXPECT_EQ(m.nodeNumber[m.branchEndIndex[j]], m.branchEndNode[j]);
    }
    EXPECT_EQ(r.err(), "");
    EXPECT_TRUE(r.sink.warnings.empty());
}

TEST(ReadNetworkData, FilesThatCannotBeOpened)
{
    {  // no network.cdu: the error file is left alone, the counts too
        Reader r;
        r.model->nodeCount = 7;
        r.model->districtNodeCount[3] = 5;
        test::writeBytes(r.dir / "network.err", "old");
        EXPECT_FALSE(readNetworkData(*r.model, r.dir.path(), r.sink).accepted);
        EXPECT_EQ(r.sink.messages, std::vector<std::string>{"Если нет ошибок в данных то перезапустите расчет."});
        EXPECT_EQ(r.err(), "old");
        EXPECT_EQ(r.model->nodeCount, 7);
        EXPECT_EQ(r.model->districtNodeCount[3], 0);
    }
    {  // network.cdu is a folder
        Reader r;
        std::filesystem::create_directory(r.dir / "network.cdu");
        EXPECT_FALSE(readNetworkData(*r.model, r.dir.path(), r.sink).accepted);
        EXPECT_EQ(r.sink.messages, std::vector<std::string>{"Если нет ошибок в данных то перезапустите расчет."});
    }
    {  // network.err cannot be created: told, and the data are still judged
        Reader r;
        std::filesystem::create_directory(r.dir / "network.err");
        EXPECT_TRUE(r.read(kThreeRecords));
        EXPECT_EQ(r.sink.messages, std::vector<std::string>{"Невозможно открыть файл \"network.err\""});
        Reader bad;
        std::filesystem::create_directory(bad.dir / "network.err");
        EXPECT_FALSE(bad.read(node102(1, 110) + node201(2, 110) + node201(3, 110) + branch(1, 2, 5, 20)));
        EXPECT_EQ(bad.sink.messages, std::vector<std::string>{"Невозможно открыть файл \"network.err\""});
    }
}

TEST(ReadNetworkData, TextsWithoutNodesOrBranches)
{
    for (const std::string& text :
         {std::string("Узлы и ветви сети\r\n") + kThreeRecords, std::string(), std::string(5000, ' '),
          node102(1, 110) + branch(1, 2, 5, 20), node102(1, 110) + node201(2, 110),
          node102(1, 110) + node201(2, 110) + shunt(2, 0, 100)}) {
        Reader r;
        test::writeBytes(r.dir / "network.err", "old");
        EXPECT_FALSE(r.read(text));
        EXPECT_EQ(r.sink.messages, std::vector<std::string>{"Совсем нет ветвей или узлов"});
        EXPECT_TRUE(r.exists("network.err"));
        EXPECT_EQ(r.err(), "");
    }
}

TEST(ReadNetworkData, TokenShiftsAndStops)
{
    {  // a node number written 5.0: Unom reads .0 and every later field the one before it
        Reader r;
        EXPECT_FALSE(r.read(node102(1, 110) + "0201 0 5.0 110 10 5 0 0 0 0 0 " + branch(1, 5, 5, 20)));
        const NetworkModel& m = *r.model;
        EXPECT_EQ(m.nodeNumber[1], 5);
        EXPECT_EQ(m.nodeUnom[1], 0.0f);
        EXPECT_EQ(m.nodeLoadP[1], 110.0f);
        EXPECT_EQ(m.nodeLoadQ[1], 10.0f);
        EXPECT_EQ(m.nodeType[1], 1);
        EXPECT_EQ(m.branchCount, 1);
        EXPECT_EQ(r.err(), errLines({"Числовая ошибка 2. U ном. велико или мало"}));
    }
    {  // "20,5": the branch keeps 20 and zeros, later records are lost, the data pass
        Reader r;
        ASSERT_TRUE(r.read(node102(1, 110) + node201(2, 110) + "0301 0 1 2 5 20,5 -100 1.05 0 0 0\r\n" +
                           node201(3, 110)));
        const NetworkModel& m = *r.model;
        EXPECT_EQ(m.nodeCount, 1);
        EXPECT_EQ(m.branchReactance[1], 20.0f);
        EXPECT_EQ(m.branchSusceptance[1], 0.0f);
        EXPECT_EQ(m.branchRatio[1], 1.0f);
        EXPECT_EQ(r.sink.warnings, std::vector<std::string>{"Данные прочитаны не полностью: в строке 3, позиции 16 "
                                                            "текст \",5\" не является числом; дальше данные не читались."});
    }
    {  // a record cut by the end of the text keeps zeros; missing unused fields need no word
        Reader r;
        ASSERT_TRUE(r.read(node102(1, 110) + node201(2, 110) + "0301 0 1 2 5"));
        EXPECT_EQ(r.model->branchReactance[1], 1.01f);
        EXPECT_EQ(r.sink.warnings,
                  std::vector<std::string>{"Данные кончились внутри записи с кодом 301 (строка 3, позиция 1); "
                                           "недостающие значения приняты равными 0."});
        Reader unused;
        ASSERT_TRUE(unused.read(node102(1, 110) + node201(2, 110) + "0301 0 1 2 5 20 -100 1"));
        EXPECT_TRUE(unused.sink.warnings.empty());
    }
    {  // records of other codes are passed over token by token; a real among them stops the reading
        Reader r;
        ASSERT_TRUE(r.read("0001 7 8 9\r\n" + kThreeRecords + "0401 1 2 3.5 " + node201(3, 110)));
        EXPECT_EQ(r.model->nodeCount, 1);
        EXPECT_EQ(r.sink.warnings.size(), 1u);
    }
}

// Where the reading stopped is told whether the checks then accept the data
// or not; the error list stays what the checks alone write.
TEST(ReadNetworkData, AnEarlyStopIsToldWithLineAndColumnAlsoWhenRefused)
{
    const auto stopAt = [](int line, int column, const std::string& word) {
        return "Данные прочитаны не полностью: в строке " + std::to_string(line) + ", позиции " +
               std::to_string(column) + " текст \"" + word + "\" не является числом; дальше данные не читались.";
    };
    {  // a comma in node 3's load: node 3 is kept, node 4 and the branches after it are lost
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + "\t0201 0 3 110 7,6 0 0 0 0 0 0\r\n" + node201(4, 110) + branch(2, 3, 5, 20) +
                            branch(3, 4, 5, 20)));
        EXPECT_EQ(r.sink.warnings, std::vector<std::string>{stopAt(4, 16, ",6")});
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 1. Нет ветвей для узла 3"}));
    }
    {  // a letter inside a figure of the last line
        Reader r;
        ASSERT_TRUE(r.read(kThreeRecords + "0301 0 1 2 5 123.8l2 0 0 0 0 0"));
        EXPECT_EQ(r.model->branchCount, 2);
        EXPECT_EQ(r.model->branchReactance[2], 123.8f);
        EXPECT_EQ(r.sink.warnings, std::vector<std::string>{stopAt(4, 19, "l2")});
        EXPECT_EQ(r.err(), "");
    }
    {  // a heading of words: nothing is read at all
        Reader r;
        EXPECT_FALSE(r.read(utf8ToCp1251("\r\n  Схема 1\r\n") + kThreeRecords));
        EXPECT_EQ(r.sink.messages, std::vector<std::string>{"Совсем нет ветвей или узлов"});
        EXPECT_EQ(r.sink.warnings, std::vector<std::string>{stopAt(2, 3, "Схема")});
    }
    {  // a record cut short by the end of the text, refused by the checks
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + "  0201 0 3"));
        EXPECT_EQ(r.sink.warnings, std::vector<std::string>{"Данные кончились внутри записи с кодом 201 (строка 4, "
                                                            "позиция 3); недостающие значения приняты равными 0."});
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 1. Нет ветвей для узла 3", "Числовая ошибка 2. U ном. велико или мало"}));
    }
}

TEST(ReadNetworkData, TheStopIsFoundPastTheFirstChunkOfALongFile)
{
    // More than one read chunk of records before the stop, a long line among them.
    std::string text = kThreeRecords + std::string(70000, ' ') + "\r\n";
    for (int k = 0; k < 3000; ++k)
        text += "0401 1 2 3\r\n";
    text += "0401 1 2 3 4x\r\n";
    Reader r;
    ASSERT_TRUE(r.read(text));
    ASSERT_EQ(r.sink.warnings.size(), 1u);
    EXPECT_EQ(r.sink.warnings[0], "Данные прочитаны не полностью: в строке 3005, позиции 13 текст \"x\" не является "
                                  "числом; дальше данные не читались.");
}

TEST(ReadNetworkData, FieldsNotReadAreZeroNotLeftFromAnEarlierRun)
{
    Reader r;
    ASSERT_TRUE(r.read(node102(1, 115, 3, 4) + node201(2, 110, 10, 5) + shunt(2, 0, -50) + branch(1, 2, 5, 20, -100, 1.05f)));
    clearRunTables(*r.model);
    ASSERT_TRUE(r.read(node102(1, 110) + "0301 0 1 2 5 20 -100 1 0 0 0 0201 0 2 110"));
    const NetworkModel& m = *r.model;
    EXPECT_EQ(m.nodeCount, 1);
    EXPECT_EQ(m.nodeUnom[1], 110.0f);
    EXPECT_EQ(m.nodeLoadP[1], 0.0f);
    EXPECT_EQ(m.nodeLoadQ[1], 0.0f);
    EXPECT_EQ(m.nodeShuntB[1], 0.0f);
    EXPECT_EQ(m.nodeType[1], 1);

    // Without a base-node record slot 0 holds zeros, not the base node of the run before.
    ASSERT_TRUE(r.read(node102(1, 115, 3, 4) + node201(2, 110) + branch(1, 2, 5, 20)));
    ASSERT_TRUE(r.read(node201(2, 110) + branch(0, 2, 5, 20)));
    EXPECT_EQ(m.nodeType[0], 0);
    EXPECT_EQ(m.nodeNumber[0], 0);
    EXPECT_EQ(m.nodeUnom[0], 0.0f);
    EXPECT_EQ(m.nodeLoadP[0], 0.0f);
    EXPECT_EQ(m.branchStartIndex[1], 0);
    EXPECT_EQ(m.branchEndIndex[1], 1);
}

TEST(ReadNetworkData, Shunts)
{
    Reader r;
    ASSERT_TRUE(r.read(node102(1, 110) + shunt(5, 0, 40) + shunt(1, 0, 60) + node201(5, 110) + node201(6, 110) +
                       shunt(6, 0, 30) + shunt(5, 7, 100) + shunt(6, 0, 20) + node201(7, 110) + shunt(7, 0, 0) + branch(1, 5, 5, 20) +
                       branch(5, 6, 5, 20) + branch(6, 7, 5, 20)));
    const NetworkModel& m = *r.model;
    EXPECT_EQ(m.nodeCount, 3);
    EXPECT_EQ(m.branchCount, 3);  // shunts are no branches
    EXPECT_EQ(m.nodeShuntB[0], 0.0f);  // at the base node: ignored
    EXPECT_EQ(m.nodeShuntB[1], static_cast<float>(-100.0f * 1e-6));  // the one before node 5 was ignored
    EXPECT_EQ(m.nodeShuntB[2], static_cast<float>(-20.0f * 1e-6));   // a later shunt replaces an earlier one
    EXPECT_EQ(m.nodeShuntB[3], 0.0f);
    // The sign is changed as it stands: a susceptance written 0 is kept as -0.
    EXPECT_TRUE(std::signbit(m.nodeShuntB[3]));
    EXPECT_TRUE(std::signbit(m.branchSusceptance[1]));
    for (int k = 0; k <= 3; ++k)
        EXPECT_EQ(m.nodeShuntG[k], 0.0f);  // conductance is not applied

    // A node named only by a shunt has no branch.
    Reader alone;
    EXPECT_FALSE(alone.read(kThreeRecords + node201(8, 110) + shunt(8, 0, 100)));
    EXPECT_EQ(alone.err(), errLines({"Ошибка связи 1. Нет ветвей для узла 8"}));
}

TEST(ReadNetworkData, RepeatedNodeRecords)
{
    {  // two base-node records: the second is kept, both are counted
        Reader r;
        ASSERT_TRUE(r.read(node102(150, 220) + node102(1, 110) + node201(2, 110) + branch(1, 2, 5, 20)));
        EXPECT_EQ(r.model->nodeNumber[0], 1);
        EXPECT_EQ(r.model->nodeUnom[0], 110.0f);
        EXPECT_EQ(r.model->districtNodeCount[1], 1);
        EXPECT_EQ(r.model->districtNodeCount[0], 2);
    }
    {  // two records of node 2: both stored, the branches go to the later slot; the
       // earlier one, without load, stays at its nominal voltage and is only warned of
        Reader r;
        EXPECT_TRUE(r.read(node102(1, 110) + node201(2, 110) + node201(3, 110) + node201(2, 110) + branch(1, 2, 5, 20) +
                           branch(2, 3, 5, 20)));
        EXPECT_EQ(r.model->nodeCount, 3);
        EXPECT_EQ(r.err(), "");
        EXPECT_EQ(r.model->branchEndIndex[1], 3);
        EXPECT_EQ(r.model->branchStartIndex[2], 3);
        EXPECT_EQ(r.model->branchEndIndex[2], 2);
        ASSERT_EQ(r.sink.warnings.size(), 1u);
        EXPECT_EQ(r.sink.warnings[0], "Номер узла 2 задан несколько раз; ветви присоединены к последней записи узла.");
    }
    {  // the same with a load at the earlier record: its equation cannot be met
        Reader r;
        EXPECT_FALSE(r.read(node102(1, 110) + node201(2, 110, 5, 1) + node201(3, 110) + node201(2, 110) +
                            branch(1, 2, 5, 20) + branch(2, 3, 5, 20)));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 4. Номер узла повторяется: 2",
                                     "Ошибка связи 3. Узлы не связаны с базовым узлом: 2"}));
        EXPECT_EQ(r.model->branchStartIndex[1], 0);  // indices are set only for accepted data
        EXPECT_EQ(r.model->branchEndIndex[1], 0);
    }
    {  // a shunt at a repeated number goes to the first of its records, which the branches
       // do not reach: that record carries a shunt without a branch and is refused
        Reader r;
        EXPECT_FALSE(r.read(node102(1, 110) + node201(2, 110) + node201(3, 110) + node201(2, 110) + shunt(2, 0, 100) +
                            branch(1, 2, 5, 20) + branch(2, 3, 5, 20)));
        EXPECT_EQ(r.model->nodeShuntB[1], -100.0f);
        EXPECT_EQ(r.model->nodeShuntB[3], 0.0f);
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 4. Номер узла повторяется: 2",
                                     "Ошибка связи 3. Узлы не связаны с базовым узлом: 2"}));
    }
    {  // a node that repeats the base node's number cuts the base node off
        Reader r;
        EXPECT_FALSE(r.read(node102(1, 110) + node201(2, 110) + node201(1, 110) + node201(1, 110) + branch(1, 2, 5, 20)));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 4. Номер узла повторяется: 1",
                                     "Ошибка связи 3. Узлы не связаны с базовым узлом: 2 1"}));
    }
}

TEST(ReadNetworkData, NodesNotConnectedToTheBaseNode)
{
    {
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + node201(3, 110) + node201(4, 110) + branch(3, 4, 5, 20)));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 3. Узлы не связаны с базовым узлом: 3 4"}));
    }
    {  // long lists are wrapped, ten numbers a line
        std::string text = kThreeRecords;
        for (int k = 10; k < 22; ++k)
            text += node201(k, 110) + branch(k, k + 1, 5, 20);
        text += node201(22, 110);
        Reader r;
        EXPECT_FALSE(r.read(text));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 3. Узлы не связаны с базовым узлом: 10 11 12 13 14 15 16 17 18 19",
                                     " 20 21 22"}));
    }
    {  // without a base-node record and without a branch to node 0 nothing is reachable
        Reader r;
        EXPECT_FALSE(r.read(node201(1, 110) + node201(2, 110) + branch(1, 2, 5, 20)));
        EXPECT_EQ(r.err(), errLines({"Ошибка связи 3. Узлы не связаны с базовым узлом: 1 2"}));
    }
    {  // the connection is not judged while the checks of the data find errors
        Reader r;
        EXPECT_FALSE(r.read(kThreeRecords + node201(3, 110) + node201(4, 0.09f) + branch(3, 4, 5, 20)));
        EXPECT_EQ(r.err(), errLines({"Числовая ошибка 2. U ном. велико или мало"}));
    }
}

TEST(ReadNetworkData, BranchFromANodeToItself)
{
    Reader r;
    ASSERT_TRUE(r.read(kThreeRecords + branch(2, 2, 1, 10) + branch(2, 2, 1, 10)));
    EXPECT_EQ(r.model->branchStartIndex[2], 1);
    EXPECT_EQ(r.model->branchEndIndex[2], 1);
    const std::string warning = "Ветвь 2 2 соединяет узел сам с собой; проверьте данные.";
    EXPECT_EQ(r.sink.warnings, (std::vector<std::string>{warning, warning}));
    EXPECT_TRUE(r.sink.messages.empty());

    Reader rejected;
    EXPECT_FALSE(rejected.read(kThreeRecords + branch(2, 2, 1, 10) + node201(9, 110)));
    EXPECT_TRUE(rejected.sink.warnings.empty());
}

// The reader's entry for bytes in memory gives what reading network.cdu
// gives (model, findings, record lines, messages) and writes no file: an
// accepted network, one refused by its checks, one cut short by a bad field.
TEST(ReadNetworkData, TextInMemoryReadsAsTheFile)
{
    const std::string texts[] = {
        kThreeRecords,
        kThreeRecords + node201(3, 110, 1, 1) + branch(3, 7, 1, 2),
        kThreeRecords + "0301 0 2 1 5,5 20 0 0 0 0 0\r\n",
    };
    for (const std::string& text : texts) {
        Reader file;
        const bool accepted = file.read(text);
        EXPECT_EQ(accepted, &text != &texts[1]);
        EXPECT_EQ(file.reading.findings.empty(), &text != &texts[1]);
        EXPECT_EQ(file.sink.warnings.empty(), &text != &texts[2]);
        Reader memory;
        clearRunTables(*memory.model);
        memory.reading = readNetworkText(*memory.model, text, memory.sink);
        EXPECT_EQ(memory.reading.accepted, accepted) << text;
        EXPECT_EQ(memory.model->nodeCount, file.model->nodeCount) << text;
        EXPECT_EQ(memory.model->branchCount, file.model->branchCount) << text;
        ASSERT_EQ(memory.reading.findings.size(), file.reading.findings.size()) << text;
        for (std::size_t i = 0; i < file.reading.findings.size(); ++i) {
            EXPECT_EQ(memory.reading.findings[i].text, file.reading.findings[i].text);
            EXPECT_EQ(memory.reading.findings[i].recordLine, file.reading.findings[i].recordLine);
        }
        EXPECT_EQ(memory.reading.branchLines, file.reading.branchLines) << text;
        EXPECT_EQ(memory.sink.messages, file.sink.messages) << text;
        EXPECT_EQ(memory.sink.warnings, file.sink.warnings) << text;
        EXPECT_TRUE(std::filesystem::is_empty(memory.dir.path())) << text;
    }
}
