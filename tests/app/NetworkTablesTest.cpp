// The tables of nodes and branches over a ЦДУ text: what an edited cell
// writes, that the text survives the round trip through the rows, and where
// the reader's findings land.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/CaseImport.h"
#include "app/NetworkTables.h"
#include "interchange/CaseImport.h"
#include "model/NetworkModel.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::app;

namespace {

constexpr int kNumber = static_cast<int>(NodeColumn::Number);
constexpr int kUnom = static_cast<int>(NodeColumn::Unom);
constexpr int kP = static_cast<int>(NodeColumn::P);
constexpr int kQ = static_cast<int>(NodeColumn::Q);

const std::string kSmall =
    "0102 0 1 110 0 0 0 0 0 0 0\n"
    "0201 0 2 110 10 5 0 0 0 0 0\n"
    "0201 0 3   110   20.5 7 0 0 0 0 0   \n"
    "0301 0 3 0 0 -100\n"
    "0301 0 1 2 5 20 -100 0 0 0 0\n"
    "0301 0 2 3 4 16 -80 0 0 0 0\n";

int rowOfNode(const NetworkTables& t, int number, RecordKind kind = RecordKind::Node)
{
    for (int r = 0; r < static_cast<int>(t.nodes.size()); ++r)
        if (t.nodes[r].kind == kind && t.nodes[r].values[1] == number)
            return r;
    return -1;
}

std::string written(const std::string& text, const NetworkTables& t, Table table, std::vector<CellValue> values)
{
    const CellWrite w = writeCells(text, t, table, values);
    EXPECT_TRUE(w.refusals.empty()) << w.refusals.front().message;
    std::string out = text;
    for (const TextEdit& e : w.edits)
        out = applyEdit(out, e);
    return out;
}

// Every text the samples and the imported cases give, as the input pane holds it.
std::vector<std::pair<std::string, std::string>> paneTexts()
{
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto& entry : std::filesystem::directory_iterator(test::sourcePath("samples")))
        if (entry.path().extension() == ".cdu")
            texts.emplace_back(entry.path().filename().string(), cp1251ToUtf8(test::fileBytes(entry.path())));
    for (const char* name : {"case9.m", "case14.m", "case39.m", "case57.m", "ieee14.cdf", "three-levels.m"}) {
        const std::string bytes = test::fileBytes(test::sourcePath(std::string("tests/data/interchange/") + name));
        const CaseReadResult read = readCase(bytes, detectInputFormat(bytes));
        EXPECT_TRUE(read.ok) << name;
        const ImportResult imported = importCase(read.data, {});
        EXPECT_TRUE(imported.ok) << name;
        texts.emplace_back(name, imported.imported.text);
    }
    return texts;
}

}  // namespace

TEST(NetworkTables, EditedCellRewritesOnlyItsFieldOfItsLine)
{
    const NetworkTables t = scanRecords(kSmall);
    ASSERT_EQ(t.nodes.size(), 4u);  // base, two nodes, a shunt
    ASSERT_EQ(t.branches.size(), 2u);
    const int node3 = rowOfNode(t, 3);
    // The odd spacing of the line stays; a decimal comma is written as a point.
    const std::string out = written(kSmall, t, Table::Nodes, {{node3, kP, "21,25"}, {node3, kQ, " 8 "}});
    EXPECT_EQ(out, "0102 0 1 110 0 0 0 0 0 0 0\n"
                   "0201 0 2 110 10 5 0 0 0 0 0\n"
                   "0201 0 3   110   21.25 8 0 0 0 0 0   \n"
                   "0301 0 3 0 0 -100\n"
                   "0301 0 1 2 5 20 -100 0 0 0 0\n"
                   "0301 0 2 3 4 16 -80 0 0 0 0\n");
    // A branch's end and the shunt's susceptance.
    const std::string out2 = written(kSmall, t, Table::Branches, {{1, static_cast<int>(BranchColumn::X), "18.5"}});
    EXPECT_EQ(applyEdit(out2, {}), out2);
    EXPECT_NE(out2.find("0301 0 2 3 4 18.5 -80 0 0 0 0\n"), std::string::npos);
    const int shunt = rowOfNode(t, 3, RecordKind::Shunt);
    EXPECT_NE(written(kSmall, t, Table::Nodes, {{shunt, static_cast<int>(NodeColumn::ShuntB), "-150"}})
                  .find("0301 0 3 0 0 -150\n"),
              std::string::npos);
    // A CR before the line end, as a text loaded with CR LF keeps it, stays.
    const std::string crlf = "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n0301 0 1 2 5 20 0 0 0 0 0\r\n";
    const NetworkTables tc = scanRecords(crlf);
    EXPECT_EQ(written(crlf, tc, Table::Nodes, {{1, kUnom, "220"}}),
              "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 220 10 5 0 0 0 0 0\r\n0301 0 1 2 5 20 0 0 0 0 0\r\n");
}

TEST(NetworkTables, RowsOfRewrittenLinesReadAgainAsTheWholeTextGivesThem)
{
    NetworkTables t = scanRecords(kSmall);
    const int node3 = rowOfNode(t, 3);
    // A longer figure shifts the fields after it.
    const std::string out = written(kSmall, t, Table::Nodes, {{node3, kP, "1234.5678"}});
    ASSERT_TRUE(rereadLines(t, out, {3}));
    const NetworkTables whole = scanRecords(out);
    for (std::size_t r = 0; r < whole.nodes.size(); ++r) {
        EXPECT_EQ(t.nodes[r].values, whole.nodes[r].values);
        for (std::size_t f = 0; f < whole.nodes[r].fields.size(); ++f) {
            EXPECT_EQ(t.nodes[r].fields[f].begin, whole.nodes[r].fields[f].begin);
            EXPECT_EQ(t.nodes[r].fields[f].end, whole.nodes[r].fields[f].end);
        }
    }
    // New ends, a line of two records, a record cut short: the whole text is to be read.
    NetworkTables b = scanRecords(kSmall);
    EXPECT_FALSE(rereadLines(b, written(kSmall, b, Table::Branches, {{1, static_cast<int>(BranchColumn::End), "1"}}), {6}));
    const std::string two = "0102 0 1 110 0 0 0 0 0 0 0 0201 0 2 110 10 5 0 0 0 0 0\n0301 0 1 2 5 20 0 0 0 0 0\n";
    NetworkTables s2 = scanRecords(two);
    EXPECT_FALSE(rereadLines(s2, two, {1}));
    NetworkTables c = scanRecords(kSmall);
    std::string cut = kSmall;
    cut.replace(cut.find("0201 0 2 110 10 5 0 0 0 0 0"), 27, "0201 0 2 110 10 5 0 0 0 0");
    EXPECT_FALSE(rereadLines(c, cut, {2}));
}

TEST(NetworkTables, RefusesWhatTheReaderWouldMisread)
{
    const NetworkTables t = scanRecords(kSmall);
    const CellWrite w = writeCells(kSmall, t, Table::Nodes,
                                   {{1, kP, "abc"},
                                    {1, kNumber, "5.0"},  // the reader would take 5 and shift the fields
                                    {1, kQ, "1 2"},
                                    {1, static_cast<int>(NodeColumn::District), "3"},
                                    {1, kNumber, "99999999999"},
                                    {1, kUnom, ""}});
    EXPECT_TRUE(w.edits.empty());
    ASSERT_EQ(w.refusals.size(), 6u);
    EXPECT_EQ(w.refusals[0].message, "Текст \"abc\" не является числом");
    EXPECT_EQ(w.refusals[1].message, "Текст \"5.0\" не является целым числом");
    EXPECT_EQ(w.refusals[2].message, "Текст \"1 2\" не является числом");
    // Exponents the reader takes pass.
    EXPECT_TRUE(writeCells(kSmall, t, Table::Nodes, {{1, kP, "1.5e+01"}}).refusals.empty());
}

TEST(NetworkTables, RowsHoldWhatTheReaderStoresAndEveryTextSurvivesTheRoundTrip)
{
    for (const auto& [name, text] : paneTexts()) {
        SCOPED_TRACE(name);
        const NetworkTables t = scanRecords(text);
        // The same records and figures as the reader's tables, slot by slot.
        NetworkModel model;
        clearRunTables(model);
        CollectingSink sink;
        const NetworkReading reading = readNetworkText(model, paneTextToCduBytes(text), sink);
        ASSERT_EQ(static_cast<int>(t.nodeRowOfSlot.size()) - 1, model.nodeCount);
        ASSERT_EQ(static_cast<int>(t.branchRowOfSlot.size()) - 1, model.branchCount);
        for (int k = 0; k <= model.nodeCount; ++k) {
            const TableRecord& r = t.nodes[t.nodeRowOfSlot[k]];
            EXPECT_EQ(r.line, reading.nodeLines[k]);
            EXPECT_EQ(r.values[1], model.nodeNumber[k]);
            EXPECT_EQ(static_cast<float>(r.values[2]), model.nodeRecordUnom[k]);
            EXPECT_EQ(static_cast<float>(r.values[3]), model.nodeLoadP[k]);
        }
        for (int j = 1; j <= model.branchCount; ++j) {
            const TableRecord& r = t.branches[t.branchRowOfSlot[j]];
            EXPECT_EQ(r.line, reading.branchLines[j]);
            EXPECT_EQ(r.values[1], model.branchStartNode[j]);
            EXPECT_EQ(r.values[2], model.branchEndNode[j]);
            EXPECT_EQ(static_cast<float>(r.values[3]), model.branchResistance[j]);
        }
        // Every field written back as the grid shows it leaves the text as it was.
        std::vector<CellValue> nodes, branches;
        const std::vector<std::string_view> lines = [&] {
            std::vector<std::string_view> l;
            std::size_t s = 0;
            for (std::size_t e; (e = text.find('\n', s)) != std::string::npos; s = e + 1)
                l.push_back(std::string_view(text).substr(s, e - s));
            l.push_back(std::string_view(text).substr(s));
            return l;
        }();
        auto fieldText = [&](const FieldPlace& p) {
            return std::string(lines[p.line - 1].substr(p.begin, p.end - p.begin));
        };
        for (int r = 0; r < static_cast<int>(t.nodes.size()); ++r)
            for (int c = 0; c < static_cast<int>(NodeColumn::Count); ++c)
                if (const auto f = nodeField(t.nodes[r].kind, static_cast<NodeColumn>(c)))
                    nodes.push_back({r, c, fieldText(t.nodes[r].fields[*f])});
        for (int r = 0; r < static_cast<int>(t.branches.size()); ++r)
            for (int c = 0; c < static_cast<int>(BranchColumn::Count); ++c)
                if (const auto f = branchField(static_cast<BranchColumn>(c)))
                    branches.push_back({r, c, fieldText(t.branches[r].fields[*f])});
        std::string out = written(text, t, Table::Nodes, nodes);
        EXPECT_EQ(out, text);
        out = written(out, t, Table::Branches, branches);
        EXPECT_EQ(out, text);
    }
}

TEST(NetworkTables, ReaderFindingsLandOnTheirCells)
{
    auto findingAt = [](const std::vector<CellFinding>& findings, int row, int column) -> std::string {
        for (const CellFinding& f : findings)
            if (f.row == row && f.column == column)
                return f.text;
        return "";
    };
    {
        // Unom out of range on node 3, a fixed voltage out of range on node 2, a branch to no node.
        const std::string text = "0102 0 1 110 0 0 0 0 0 0 0\n"
                                 "0201 0 2 110 10 5 0 0 2000 0 0\n"
                                 "0201 0 3 0.05 20 7 0 0 0 0 0\n"
                                 "0301 0 1 2 5 20 -100 0 0 0 0\n"
                                 "0301 0 2 3 4 16 -80 0 0 0 0\n"
                                 "0301 0 3 7 4 16 -80 0 0 0 0\n";
        const NetworkTables t = readTables(text, CalculationSettings{});
        EXPECT_FALSE(t.accepted);
        EXPECT_EQ(findingAt(t.nodeFindings, 2, kUnom), "Числовая ошибка 2. U ном. велико или мало");
        EXPECT_EQ(findingAt(t.nodeFindings, 1, static_cast<int>(NodeColumn::FixedVoltage)),
                  "Числовая ошибка 2. U ном. велико или мало");
        EXPECT_EQ(findingAt(t.nodeFindings, 1, kUnom), "");
        EXPECT_EQ(findingAt(t.branchFindings, 2, static_cast<int>(BranchColumn::End)),
                  "Ошибка связи 2. Нет узлов для ветви 3\t7");
        EXPECT_EQ(findingAt(t.branchFindings, 1, static_cast<int>(BranchColumn::End)), "");
    }
    {
        // Two parallel branches: the second one's susceptance is wrong, and only its cell is marked.
        const std::string text = "0102 0 1 110 0 0 0 0 0 0 0\n"
                                 "0201 0 2 110 10 5 0 0 115 5 -2\n"
                                 "0301 0 1 2 5 20 -100 0 0 0 0\n"
                                 "0301 0 1 2 5 20 100 0 0 0 0\n";
        CalculationSettings withLimits;
        withLimits.qLimits = true;
        const NetworkTables t = readTables(text, withLimits);
        EXPECT_EQ(t.circuits, (std::vector<int>{1, 2}));
        EXPECT_EQ(findingAt(t.branchFindings, 0, static_cast<int>(BranchColumn::B)), "");
        EXPECT_EQ(findingAt(t.branchFindings, 1, static_cast<int>(BranchColumn::B)),
                  "Числовая ошибка 4. Неверное значение проводимости\nВетвь 1 2");
        EXPECT_NE(findingAt(t.nodeFindings, 1, static_cast<int>(NodeColumn::Qmin)).find("Qmin больше Qmax"),
                  std::string::npos);
        // Without the limits the reader leaves them unread.
        EXPECT_EQ(findingAt(readTables(text, CalculationSettings{}).nodeFindings, 1, static_cast<int>(NodeColumn::Qmin)),
                  "");
    }
    {
        // A decimal comma stops the reading: the reader's warning sits at that very cell.
        const std::string text = "0102 0 1 110 0 0 0 0 0 0 0\n"
                                 "0201 0 2 110 10,5 5 0 0 0 0 0\n"
                                 "0301 0 1 2 5 20 -100 0 0 0 0\n";
        const NetworkTables t = readTables(text, CalculationSettings{});
        ASSERT_EQ(t.nodes.size(), 2u);
        EXPECT_TRUE(t.branches.empty());
        EXPECT_EQ(findingAt(t.nodeFindings, 1, kQ),
                  "Данные прочитаны не полностью: в строке 2, позиции 16 текст \",5\" не является числом; "
                  "дальше данные не читались.");
        // The word keeps its place, so that the grid can mend it.
        const std::string mended = written(text, t, Table::Nodes, {{1, kQ, "5"}});
        EXPECT_EQ(mended.substr(27, 29), "0201 0 2 110 10 5 5 0 0 0 0 0");
    }
}

TEST(NetworkTables, PasteOfAThousandRowsIsOneEditPerLine)
{
    test::GridOptions options;
    options.nodes = 3000;
    const std::string text = test::cduText(test::generateGrid(options));
    const NetworkTables t = scanRecords(text);
    std::vector<int> rows;
    for (int r = 0; r < static_cast<int>(t.nodes.size()) && rows.size() < 1000; ++r)
        if (t.nodes[r].kind == RecordKind::Node)
            rows.push_back(r);
    ASSERT_EQ(rows.size(), 1000u);
    std::string block;
    for (int k = 0; k < 1000; ++k)
        block += std::to_string(k) + ",5\t" + std::to_string(k % 7) + "\r\n";  // as a spreadsheet copies it
    const std::vector<CellValue> values = pastedValues(block, rows, {kP, kQ});
    ASSERT_EQ(values.size(), 2000u);
    const CellWrite w = writeCells(text, t, Table::Nodes, values);
    EXPECT_TRUE(w.refusals.empty());
    EXPECT_EQ(w.edits.size(), 1000u);
    std::string out = text;
    for (const TextEdit& e : w.edits)
        out = applyEdit(out, e);
    const NetworkTables after = scanRecords(out);
    ASSERT_EQ(after.nodes.size(), t.nodes.size());
    for (int k = 0; k < 1000; ++k) {
        EXPECT_EQ(after.nodes[rows[k]].values[3], k + 0.5);
        EXPECT_EQ(after.nodes[rows[k]].values[4], k % 7);
        EXPECT_EQ(after.nodes[rows[k]].values[1], t.nodes[rows[k]].values[1]);
    }
}

TEST(NetworkTables, RowsAddedAndRemovedAsRecords)
{
    NetworkTables t = scanRecords(kSmall);
    // A node after the last node, numbered beyond the others, its line a copy of the last.
    std::string out = applyEdit(kSmall, appendRecord(kSmall, t, Table::Nodes));
    EXPECT_TRUE(out.starts_with("0102 0 1 110 0 0 0 0 0 0 0\n"
                                "0201 0 2 110 10 5 0 0 0 0 0\n"
                                "0201 0 3   110   20.5 7 0 0 0 0 0   \n"
                                "0201 0 4   110   20.5 7 0 0 0 0 0   \n"
                                "0301 0 3 0 0 -100\n"));
    EXPECT_EQ(scanRecords(out).nodes.size(), 5u);
    out = applyEdit(kSmall, appendRecord(kSmall, t, Table::Branches));
    EXPECT_TRUE(out.ends_with("0301 0 2 3 4 16 -80 0 0 0 0\n0301 0 2 3 4 16 -80 0 0 0 0\n"));
    // Removing a node and the shunt takes their lines away, nothing else.
    std::string removed = kSmall;
    for (const TextEdit& e : removeRecords(kSmall, t, Table::Nodes, {1, rowOfNode(t, 3, RecordKind::Shunt)}))
        removed = applyEdit(removed, e);
    EXPECT_EQ(removed, "0102 0 1 110 0 0 0 0 0 0 0\n"
                       "0201 0 3   110   20.5 7 0 0 0 0 0   \n"
                       "0301 0 1 2 5 20 -100 0 0 0 0\n"
                       "0301 0 2 3 4 16 -80 0 0 0 0\n");
    // Records that share a line lose only their own figures.
    const std::string shared = "0102 0 1 110 0 0 0 0 0 0 0 0201 0 2 110 10 5 0 0 0 0 0\n"
                               "0301 0 1 2 5 20 -100 0 0 0 0 0301 0 1 2 6 21 -100 0 0 0 0\n";
    t = scanRecords(shared);
    removed = shared;
    for (const TextEdit& e : removeRecords(shared, t, Table::Branches, {0}))
        removed = applyEdit(removed, e);
    EXPECT_EQ(removed, "0102 0 1 110 0 0 0 0 0 0 0 0201 0 2 110 10 5 0 0 0 0 0\n"
                       " 0301 0 1 2 6 21 -100 0 0 0 0\n");
    EXPECT_EQ(scaledFigure(47.8, 1.1), "52.58");
}
