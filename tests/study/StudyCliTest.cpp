// tarvel-cli --contingencies: the files, the summary line and the exit
// status; bad input told with its line, exit 2 and no study file written.
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "tests/support/TestSupport.h"

namespace tarvel {
namespace {

using ::testing::HasSubstr;
using test::fileBytes;
using test::TempDir;
using test::writeBytes;

using CliResult = test::ProgramRun;

CliResult runCli(const std::filesystem::path& dir, const std::string& args)
{
    return test::runInFolder(TARVEL_CLI_PATH, dir, args);
}

std::string source(const std::string& relative)
{
    return "'" + test::sourcePath(relative).string() + "'";
}

TEST(StudyCli, AllBranchesOfIeee118WriteTheReportAndTellTheSplits)
{
    TempDir dir;
    const CliResult r = runCli(dir.path(), "--contingencies all --limits " + source("samples/ieee118-limits.txt") +
                                               " --study-json s.json "
                                           "--study-csv s " + source("samples/ieee118.cdu"));
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Отключений: 186; без нарушений: "));
    EXPECT_EQ(r.out, "Отключений: 186; без нарушений: 172; с нарушениями: 5; разделение сети: 9; не сошлось: 0\n");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    const std::string rez = fileBytes(dir / "contingency.rez");
    EXPECT_EQ(rez.find('\n'), rez.find("\r\n") + 1);
    const std::string text = cp1251ToUtf8(rez);
    EXPECT_THAT(text, HasSubstr("Анализ отключений ветвей (N-1)"));
    EXPECT_THAT(text, HasSubstr("отделены узлы: 116; нагрузка 184.00 МВт"));
    EXPECT_THAT(text, HasSubstr("по току у 3 ветвей (кА, файл ieee118-limits.txt)"));
    EXPECT_THAT(text, HasSubstr("    10  68-69                 решено              9      0.9430     76      1.0500     25        117.1  49-69\r\n"
                                "        перегрузка ветви 47-69: I = 0.158 кА, предел 0.140 кА (113.2 %)\r\n"));
    EXPECT_THAT(fileBytes(dir / "s.json"), HasSubstr("\"outcome\": \"split\""));
    EXPECT_THAT(fileBytes(dir / "s-contingencies.csv"), HasSubstr("68-116"));
    EXPECT_THAT(fileBytes(dir / "s-violations.csv"), HasSubstr(",overload,"));
}

TEST(StudyCli, TheSameFilesWithOneTwoAndFourThreads)
{
    TempDir dir;
    std::string files[3];
    const int threads[3] = {1, 2, 4};
    for (int t = 0; t < 3; ++t) {
        const CliResult r = runCli(dir.path(), "--contingencies all --threads " + std::to_string(threads[t]) +
                                                   " --study-json s.json --study-csv s " + source("samples/ieee300.cdu"));
        ASSERT_TRUE(r.status == 0 || r.status == 4) << r.err;
        files[t] = fileBytes(dir / "contingency.rez") + fileBytes(dir / "s.json") +
                   fileBytes(dir / "s-contingencies.csv") + fileBytes(dir / "s-violations.csv");
    }
    EXPECT_EQ(files[1], files[0]);
    EXPECT_EQ(files[2], files[0]);
}

TEST(StudyCli, AMatpowerContingencyTableTakesTheCaseRatings)
{
    TempDir dir;
    const CliResult r = runCli(dir.path(), "--contingencies " + source("tests/data/study/contab_ACTIVSg200.m") +
                                               " --study-json s.json " + source("tests/data/series/case_ACTIVSg200.m"));
    EXPECT_TRUE(r.status == 0 || r.status == 4) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Отключений: 245;"));
    EXPECT_THAT(cp1251ToUtf8(fileBytes(dir / "contingency.rez")), HasSubstr("по мощности у"));
    EXPECT_THAT(fileBytes(dir / "s.json"), HasSubstr("\"label\": \"245\""));
}

TEST(StudyCli, BadInputIsToldWithItsLineEndsWithTwoAndWritesNoStudyFile)
{
    TempDir dir;
    writeBytes(dir / "unknown.txt", "1 2\n2 99\n");
    writeBytes(dir / "malformed.txt", "1 2\n\n3 x 1\n");
    writeBytes(dir / "empty.txt", "# nothing here\n");
    writeBytes(dir / "list.txt", "1 2\n");
    writeBytes(dir / "negative.txt", "1 2 0.5\n1 5 -1\n");
    writeBytes(dir / "word.txt", "1 2 много\n");
    const std::string ieee14 = source("samples/ieee14.cdu");
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"--contingencies unknown.txt", "Строка 2 списка отключений: ветви 2 99 в сети нет"},
        {"--contingencies malformed.txt", "Строка 3 списка отключений: ветвь задается номерами узлов"},
        {"--contingencies empty.txt", "Список отключений пуст"},
        {"--contingencies list.txt --limits negative.txt", "Строка 2 файла пределов: предел тока должен быть"},
        {"--contingencies list.txt --limits word.txt", "Строка 1 файла пределов"},
        {"--contingencies " + source("tests/data/study/contab_ACTIVSg500.m") + " --study-json s.json",
         "только к случаю MATPOWER"},
        {"--contingencies missing.txt", "Невозможно прочитать файл \"missing.txt\""},
    };
    for (const auto& c : cases) {
        const CliResult r = runCli(dir.path(), c.args + " --study-json s.json --study-csv s " + ieee14);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
        EXPECT_FALSE(std::filesystem::exists(dir / "contingency.rez")) << c.args;
        EXPECT_FALSE(std::filesystem::exists(dir / "s.json")) << c.args;
        EXPECT_FALSE(std::filesystem::exists(dir / "s-contingencies.csv")) << c.args;
        EXPECT_TRUE(std::filesystem::exists(dir / "network.rez")) << c.args;  // the base case ran as always
    }
    const CliResult other = runCli(dir.path(), "--contingencies " + source("tests/data/study/contab_ACTIVSg500.m") + " " +
                                                   source("tests/data/series/case_ACTIVSg200.m"));
    EXPECT_EQ(other.status, 2);
    EXPECT_THAT(other.err, HasSubstr("составлена для случая ACTIVSg500"));
    EXPECT_FALSE(std::filesystem::exists(dir / "contingency.rez"));

    const CliResult usage = runCli(dir.path(), "--limits negative.txt " + ieee14);
    EXPECT_EQ(usage.status, 2);
    EXPECT_THAT(usage.err, HasSubstr("только вместе с --contingencies или --profile"));
    EXPECT_EQ(runCli(dir.path(), "--contingencies all --threads 0 " + ieee14).status, 2);
    // With a profile, a wrong profile is told before the study.
    const CliResult both = runCli(dir.path(), "--contingencies all --profile list.txt " + ieee14);
    EXPECT_EQ(both.status, 2);
    EXPECT_THAT(both.err, HasSubstr("График нагрузки"));
}

TEST(StudyCli, EverySecureOutageEndsWithZero)
{
    TempDir dir;
    writeBytes(dir / "list.txt", "1 2\n2 3\n");
    const CliResult r = runCli(dir.path(), "--contingencies list.txt " + source("samples/ieee14.cdu"));
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(r.out, "Отключений: 2; без нарушений: 2; с нарушениями: 0; разделение сети: 0; не сошлось: 0\n");
}

}  // namespace
}  // namespace tarvel
