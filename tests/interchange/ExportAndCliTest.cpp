// The results' CSV files read back in both spreadsheet conventions, and the
// command-line tool's import: --convert, exit codes, nothing half-written.
#include <sys/wait.h>

#include <charconv>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interchange/ResultsExport.h"
#include "tests/interchange/InterchangeTestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

std::vector<std::vector<std::string>> csvRows(const std::string& text, char separator)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << "lines end with CR LF";
        line.pop_back();
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, separator))
            fields.push_back(cell);
        rows.push_back(fields);
    }
    return rows;
}

// The shortest text that reads back as the float.
std::string shortestFloatText(float value)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

double decimalCommaNumber(std::string text)
{
    for (char& c : text)
        if (c == ',')
            c = '.';
    return std::stod(text);
}

using CliResult = tarvel::test::ProgramRun;

CliResult runCli(const std::filesystem::path& dir, const std::string& args)
{
    return tarvel::test::runInFolder(TARVEL_CLI_PATH, dir, args);
}

}  // namespace

TEST(ResultsCsv, DecimalCommaConventionReadsBackAsTheResults)
{
    const Imported imported = importFile("tests/data/interchange/three-levels.m");
    const auto s = solve(imported.conversion.text);
    ASSERT_EQ(s->outcome, RunOutcome::Converged);
    const CsvConvention comma = csvConventionFor(',');
    EXPECT_EQ(comma.separator, ';');
    EXPECT_EQ(csvConventionFor('.').separator, ',');
    // Spreadsheets of a decimal-comma locale read UTF-8 only with the mark.
    const std::string kMark = "\xEF\xBB\xBF";
    std::string nodesText = nodesCsv(s->results, comma);
    ASSERT_TRUE(nodesText.starts_with(kMark));
    EXPECT_TRUE(branchesCsv(s->results, comma).starts_with(kMark));
    EXPECT_FALSE(nodesCsv(s->results, csvConventionFor('.')).starts_with(kMark));
    nodesText.erase(0, kMark.size());
    // The exact method's figures are floats: each reads back as its float.
    ASSERT_TRUE(s->results.singlePrecision);

    const auto nodes = csvRows(nodesText, ';');
    ASSERT_EQ(nodes.size(), s->results.nodes.size() + 1);
    EXPECT_EQ(nodes[0], (std::vector<std::string>{"N", "Район", "Uном (кВ)", "U (кВ)", "dV (%)", "Угол (град)",
                                                  "P (МВт)", "Q (Мвар)", "Pg (МВт)", "Qb (Мвар)"}));
    for (std::size_t k = 0; k < s->results.nodes.size(); ++k) {
        const NodeResult& n = s->results.nodes[k];
        ASSERT_EQ(nodes[k + 1].size(), 10u);
        EXPECT_EQ(std::stoi(nodes[k + 1][0]), n.number);
        EXPECT_EQ(static_cast<float>(decimalCommaNumber(nodes[k + 1][3])), static_cast<float>(n.u));
        EXPECT_EQ(static_cast<float>(decimalCommaNumber(nodes[k + 1][5])), static_cast<float>(n.angle));
        EXPECT_EQ(static_cast<float>(decimalCommaNumber(nodes[k + 1][9])), static_cast<float>(n.qb));
    }
    std::string branchesText = branchesCsv(s->results, comma);
    const auto branches = csvRows(branchesText.erase(0, kMark.size()), ';');
    ASSERT_EQ(branches.size(), s->results.branches.size() + 1);
    for (std::size_t j = 0; j < s->results.branches.size(); ++j) {
        const BranchResult& b = s->results.branches[j];
        ASSERT_EQ(branches[j + 1].size(), 9u);
        EXPECT_EQ(static_cast<float>(decimalCommaNumber(branches[j + 1][2])), static_cast<float>(b.p12));
        EXPECT_EQ(static_cast<float>(decimalCommaNumber(branches[j + 1][7])), static_cast<float>(b.current));
        EXPECT_EQ(branches[j + 1][8], b.transformer ? "1" : "0");
    }
}

// IEEE 14 by the exact method: the figures of the files are the shortest
// texts of their floats (the base node's 233.2 kV, the precision 0.01), a
// zero is never "-0", and a fixed-voltage node's deviation is measured from
// the Unom of its record, not from the voltage it holds.
TEST(ResultsCsv, SinglePrecisionFiguresInTheirShortestForm)
{
    const auto s = solve(cp1251ToUtf8(fileBytes(sourcePath("samples/ieee14.cdu"))));
    ASSERT_EQ(s->outcome, RunOutcome::Converged);
    const auto nodes = csvRows(nodesCsv(s->results, csvConventionFor('.')), ',');
    ASSERT_EQ(nodes.size(), 15u);
    EXPECT_EQ(nodes[1][2], "233.2");
    EXPECT_EQ(nodes[2][2], "220") << "node 2 holds 229.9 kV; its record says 220";
    EXPECT_GT(std::stod(nodes[2][4]), 4.4);
    EXPECT_LT(std::stod(nodes[2][4]), 4.6);
    for (const auto& file : {nodes, csvRows(branchesCsv(s->results, csvConventionFor('.')), ',')}) {
        for (std::size_t row = 1; row < file.size(); ++row) {
            for (const std::string& field : file[row]) {
                EXPECT_NE(field, "-0");
                const float value = std::stof(field);
                EXPECT_EQ(field, shortestFloatText(value));
            }
        }
    }
    const std::string json = resultsJson(CalculationSettings{}, s->results, {true, 3, 0.001f});
    EXPECT_NE(json.find("\"precision\": 0.01,"), std::string::npos) << json.substr(0, 200);
    EXPECT_NE(json.find("\"residual\": 0.001}"), std::string::npos) << json.substr(0, 200);
    EXPECT_NE(json.find("\"unom\": 233.2,"), std::string::npos);
    EXPECT_EQ(json.find("-0,"), std::string::npos);
    EXPECT_EQ(json.find("-0}"), std::string::npos);
}

TEST(ResultsCsv, AFailedWriteLeavesTheEarlierPairAlone)
{
    TempDir dir;
    const auto s = solve(importFile("tests/data/interchange/case9.m").conversion.text);
    std::filesystem::path failed;
    ASSERT_TRUE(writeResultsCsv(s->results, dir / "r", csvConventionFor('.'), failed));
    const std::string before = fileBytes(dir / "r-nodes.csv");
    std::filesystem::remove(dir / "r-branches.csv");
    std::filesystem::create_directory(dir / "r-branches.csv");  // the branches file cannot be written
    EXPECT_FALSE(writeResultsCsv(s->results, dir / "r", csvConventionFor(','), failed));
    EXPECT_EQ(failed, dir / "r-branches.csv");
    EXPECT_EQ(fileBytes(dir / "r-nodes.csv"), before);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2) << "no temporary is left";
}

TEST(CliImport, ConvertWritesWindowsCyrillicTextWithCrLfAndStops)
{
    TempDir dir;
    const CliResult r = runCli(dir.path(), "--convert out.cdu '" + sourcePath("tests/data/interchange/case14.m").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Импорт MATPOWER: узлов 14, ветвей 20"), std::string::npos) << r.err;
    const Imported imported = importFile("tests/data/interchange/case14.m");
    EXPECT_EQ(fileBytes(dir / "out.cdu"), utf8ToCp1251(toCrLf(imported.conversion.text)));
    EXPECT_FALSE(std::filesystem::exists(dir / "network.cdu")) << "no calculation after --convert";
}

// The check of small loads uses the precision the exact method is given:
// case14's largest load (94.2 MW) is below a hundred precisions of 1. The
// full model, an import's own, goes on to the accuracy of the data.
TEST(CliImport, SmallLoadsAreJudgedAgainstTheGivenPrecision)
{
    TempDir dir;
    const std::string input = " '" + sourcePath("tests/data/interchange/case14.m").string() + "'";
    EXPECT_EQ(runCli(dir.path(), "--precision 1 --convert out.cdu" + input).err.find("Нагрузки узлов"),
              std::string::npos);
    const CliResult coarse = runCli(dir.path(), "--method exact --precision 1 --convert out.cdu" + input);
    EXPECT_NE(coarse.err.find("(наибольшая 94,2 МВт или Мвар при точности 1): задайте точность 0,01 или меньше"),
              std::string::npos)
        << coarse.err;
    EXPECT_EQ(runCli(dir.path(), "--convert out.cdu" + input).err.find("Нагрузки узлов"), std::string::npos);
}

TEST(CliImport, ACaseRunsByItsContentAndABadOneExitsWithTwo)
{
    TempDir dir;
    writeBytes(dir / "case.txt", fileBytes(sourcePath("tests/data/interchange/ieee14.cdf")));
    CliResult r = runCli(dir.path(), "--base-kv 110 case.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(cp1251ToUtf8(fileBytes(dir / "network.cdu")).find("0201 0 2 110 "), std::string::npos);

    std::string cut = fileBytes(sourcePath("tests/data/interchange/case9.m"));
    writeBytes(dir / "cut.m", cut.substr(0, cut.find("mpc.branch") + 40));
    r = runCli(dir.path(), "--convert out.cdu cut.m");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Импорт невозможен: Файл обрывается: таблица mpc.branch, начатая в строке"), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.cdu"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.cdu.part"));

    EXPECT_EQ(runCli(dir.path(), "--base-kv 0 case.txt").status, 2);
    writeBytes(dir / "net.cdu", fileBytes(sourcePath("samples/ieee14.cdu")));
    EXPECT_EQ(runCli(dir.path(), "--convert out.cdu net.cdu").status, 2) << "ЦДУ text is no case to convert";
}

// A case whose cable level was written on a raised base voltage gives its
// results in --json and --csv in the case's own kV.
TEST(CliImport, ResultsOfARaisedLevelAreGivenInTheCasesVoltages)
{
    TempDir dir;
    const CliResult r = runCli(dir.path(), "--json r.json --csv r '" +
                                               sourcePath("tests/data/interchange/short-cables.m").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string json = fileBytes(dir / "r.json");
    const auto numbers = jsonNumbers(json, "number"), unom = jsonNumbers(json, "unom");
    ASSERT_EQ(numbers.size(), 5u);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] == 3) {
            EXPECT_NEAR(unom[i], 6.6, 1e-9);
        }
    }
    const auto rows = csvRows(fileBytes(dir / "r-nodes.csv"), ',');
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[3][0], "3");
    EXPECT_NEAR(std::stod(rows[3][2]), 6.6, 1e-9);
}
