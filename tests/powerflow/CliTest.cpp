#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

using tarvel::test::fileBytes;
using tarvel::test::TempDir;
using tarvel::test::writeBytes;

namespace {

using CliResult = tarvel::test::ProgramRun;

// Runs tarvel-cli with the given arguments in the folder dir.
CliResult runCli(const std::filesystem::path& dir, const std::string& args)
{
#ifdef TARVEL_CLI_PATH
    return tarvel::test::runInFolder(TARVEL_CLI_PATH, dir, args);
#else
    (void)dir;
    (void)args;
    return {};
#endif
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string oneLine(std::string message)
{
    for (char& c : message)
        if (c == '\n')
            c = ' ';
    return message + "\n";
}

const char* const kThreeRecords =
    "0102 0 1 110 0 0 0 0 0 0 0\n"
    "0201 0 2 110 10 5 0 0 0 0 0\n"
    "0301 0 1 2 5 20 -100 0 0 0 0\n";

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef TARVEL_CLI_PATH
        GTEST_SKIP() << "tarvel-cli is not built";
#endif
        writeBytes(dir / "net.cdu", kThreeRecords);
    }
    TempDir dir;
};

}  // namespace

TEST_F(Cli, RefusesBadUsage)
{
    for (const char* args : {"", "--precision 0 net.cdu", "--precision -1 net.cdu", "--precision abc net.cdu",
                             "--precision nan net.cdu", "--precision inf net.cdu", "--precision 1e-60 net.cdu",
                             "--iterations -1 net.cdu", "--iterations 2.5 net.cdu", "--iterations x net.cdu",
                             "net.cdu --iterations", "--bogus net.cdu", "net.cdu other.cdu", "--precision=0,01 net.cdu",
                             "--start case2 net.cdu", "--start net.cdu"}) {
        const CliResult r = runCli(dir.path(), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(contains(r.err, "Использование: tarvel-cli")) << args << "\n" << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "network.cdu")) << args;
    }
    // A refused precision is told for what it is: a positive one beyond the
    // single-precision range is never called "not positive".
    for (const auto& [args, problem] : {std::pair{"--precision 1e-60 net.cdu", "точность слишком мала: 1e-60"},
                                        std::pair{"--precision 1e60 net.cdu", "точность слишком велика: 1e60"},
                                        std::pair{"--precision -1 net.cdu", "точность должна быть положительным числом: -1"}})
        EXPECT_TRUE(contains(runCli(dir.path(), args).err, problem)) << args;
    CliResult r = runCli(dir.path(), "missing.cdu");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Невозможно прочитать файл \"missing.cdu\": файл не найден\n");
    r = runCli(dir.path(), "--workdir net.cdu/nowhere net.cdu");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "net.cdu/nowhere")) << r.err;

    r = runCli(dir.path(), "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty());
    for (const char* option : {"--precision", "--iterations", "--losses", "--workdir", "Код завершения"})
        EXPECT_TRUE(contains(r.out, option)) << option;
}

TEST_F(Cli, RunsInTheWorkFolderAsTheWindowWould)
{
    std::filesystem::create_directory(dir / "work");
    const CliResult r = runCli(dir.path(), "--workdir=work --precision 0.001 net.cdu");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(r.out.empty());
    // The LF-only file reaches network.cdu with CR LF, as the input pane saves it.
    EXPECT_EQ(fileBytes(dir / "work" / "network.cdu"), tarvel::paneTextToCduBytes(kThreeRecords));
    for (const char* report : {"network.out", "network.rez", "network.tok", "network.rip"})
        EXPECT_TRUE(std::filesystem::exists(dir / "work" / report)) << report;
    EXPECT_FALSE(std::filesystem::exists(dir / "network.out"));
}

TEST_F(Cli, TellsNonConvergenceDivergenceAndRejectionOnStandardError)
{
    CliResult r = runCli(dir.path(), "--iterations 0 net.cdu");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "За данное число итераций сходимость с заданной точностью не обеспечена. "
                                "Точность на последней 0-ой итерации составляет 0,"))
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "network.rez"));

    r = runCli(dir.path(), "--precision 1e-30 net.cdu");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "Точность на последней 10-ой итерации составляет ")) << r.err;

    writeBytes(dir / "nobase.cdu", "0201 0 2 110 10 5 0 0 0 0 0\r\n0301 0 0 2 5 20 0 0 0 0 0\r\n");
    r = runCli(dir.path(), "nobase.cdu");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, oneLine(tarvel::divergenceText(1)));

    // Node 3 has no branch: the error list follows the message, in UTF-8.
    writeBytes(dir / "bad.cdu", std::string(kThreeRecords) + "0201 0 3 110 1 1 0 0 0 0 0\n");
    r = runCli(dir.path(), "bad.cdu");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Расчет невозможен!\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "Ошибка связи 1. Нет ветвей для узла 3\n")) << r.err;
    EXPECT_FALSE(contains(r.err, "\r"));

    // A comma stops the reading in node 3's record: the refusal names the
    // node, and the line before it says where the reading stopped.
    writeBytes(dir / "comma.cdu", std::string(kThreeRecords) + "0201 0 3 110 7,6 0 0 0 0 0 0\n0301 0 2 3 5 20 0 0 0 0 0\n");
    r = runCli(dir.path(), "comma.cdu");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Данные прочитаны не полностью: в строке 4, позиции 15 текст \",6\" не является числом; дальше "
                     "данные не читались.\nРасчет невозможен!\nОшибка связи 1. Нет ветвей для узла 3\n");
    EXPECT_EQ(fileBytes(dir / "network.err"), tarvel::utf8ToCp1251("Ошибка связи 1. Нет ветвей для узла 3\r\n"));

    std::filesystem::remove(dir / "network.out");
    std::filesystem::create_directory(dir / "network.out");
    r = runCli(dir.path(), "net.cdu");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Файл \"network.out\" (рабочий файл) не может быть создан: это папка\n");
}

TEST_F(Cli, AllocatesLossesOnRequest)
{
    CliResult r = runCli(dir.path(), "--losses net.cdu");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fileBytes(dir / "losses.rez").empty());

    // 31 nodes with the base node: the power flow runs, the allocation refuses.
    std::string text = "0102 0 1 110 0 0 0 0 0 0 0\n";
    for (int k = 2; k <= 31; ++k)
        text += "0201 0 " + std::to_string(k) + " 110 1 0.5 0 0 0 0 0\n";
    for (int k = 2; k <= 31; ++k)
        text += "0301 0 " + std::to_string(k - 1) + " " + std::to_string(k) + " 0.5 2 0 0 0 0 0\n";
    writeBytes(dir / "big.cdu", text);
    std::filesystem::remove(dir / "losses.rez");
    r = runCli(dir.path(), "--losses big.cdu");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Число узлов >30")) << r.err;
    EXPECT_TRUE(contains(fileBytes(dir / "network.rez"), "   31 "));
    EXPECT_FALSE(std::filesystem::exists(dir / "losses.rez"));
}

TEST_F(Cli, LossReportThatCannotBeCreatedIsToldInRussian)
{
    std::filesystem::create_directory(dir / "losses.rez");
    const CliResult r = runCli(dir.path(), "--losses net.cdu");
    EXPECT_EQ(r.status, 2);
    // Weighed with the other outputs before anything is computed.
    EXPECT_EQ(r.err, "Файл \"losses.rez\" (рабочий файл) не может быть создан: это папка\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "network.rez"));
}

TEST_F(Cli, ChoosesTheMethod)
{
    EXPECT_EQ(runCli(dir.path(), "--method dense net.cdu").status, 2);
    const std::string sparseLine = tarvel::utf8ToCp1251(tarvel::sparseMethodLine(1));
    const CliResult full = runCli(dir.path(), "--method=sparse net.cdu");
    EXPECT_EQ(full.status, 0) << full.err;
    EXPECT_TRUE(contains(fileBytes(dir / "network.out"), sparseLine));
    const CliResult automatic = runCli(dir.path(), "--method auto net.cdu");
    EXPECT_EQ(automatic.status, 0);
    EXPECT_FALSE(contains(fileBytes(dir / "network.out"), sparseLine));
}

TEST_F(Cli, WarnsOfAnUnbelievableVoltageAndStillExitsConverged)
{
    // A long line ending at a large capacitor: the full model converges to
    // about twice the node's nominal voltage.
    writeBytes(dir / "net.cdu", std::string(kThreeRecords) + "0201 0 3 110 0 0 0 0 0 0 0\n"
                                                               "0301 0 2 3 1 100 0 0 0 0 0\n"
                                                               "0301 0 3 0 0 -5000\n");
    const CliResult r = runCli(dir.path(), "--method sparse --json out.json net.cdu");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string warning = "Напряжение вне пределов 0,7-1,3 Uном в узлах: 3 - ";
    EXPECT_TRUE(contains(r.err, warning)) << r.err;
    EXPECT_TRUE(contains(tarvel::cp1251ToUtf8(fileBytes(dir / "network.out")), warning));
    EXPECT_TRUE(contains(fileBytes(dir / "out.json"), "\"warnings\": [\"" + warning));
}

TEST_F(Cli, TheIterationLimitIsBoundedAndAFullModelThatNoLongerNearsStops)
{
    for (const char* args : {"--iterations 1001 net.cdu", "--iterations 1000000000 net.cdu",
                             "--iterations 99999999999999999999 net.cdu"}) {
        const CliResult r = runCli(dir.path(), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(contains(r.err, "число итераций не может быть больше 1000")) << r.err;
    }
    std::filesystem::copy_file(tarvel::test::sourcePath("samples/ieee14.cdu"), dir / "ieee14.cdu");
    // A precision below the round-off of the figures: the residual stops
    // falling after a few steps, and the full model says so long before the
    // limit.
    const CliResult r = runCli(dir.path(), "--method sparse --precision 1e-30 --iterations 1000 ieee14.cdu");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(contains(r.err, "Невязка не уменьшилась вдвое за 25 итераций: расчет остановлен на")) << r.err;
    const std::string out = fileBytes(dir / "network.out");
    EXPECT_LT(std::count(out.begin(), out.end(), '\n'), 200);
    EXPECT_TRUE(contains(tarvel::cp1251ToUtf8(out), "расчет остановлен на"));
    // The exact method keeps its own loop: every iteration asked for is made.
    const CliResult exact = runCli(dir.path(), "--precision 1e-30 --iterations 300 ieee14.cdu");
    EXPECT_EQ(exact.status, 3) << exact.err;
    EXPECT_TRUE(contains(exact.err, "Точность на последней 300-ой итерации")) << exact.err;
}
