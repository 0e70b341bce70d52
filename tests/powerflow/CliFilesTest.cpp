// No file lost or wrong while tarvel-cli says it succeeded: a full disk, a
// kill in the middle of the reports, two runs in one folder, links, and
// outputs that are inputs or cannot be created.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/AsideFile.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using tarvel::RunOutcome;
using tarvel::test::fileBytes;
using tarvel::test::sourcePath;
using tarvel::test::TempDir;
using tarvel::test::writeBytes;

namespace {

const char* const kWorkingFiles[] = {"network.cdu", "network.err", "network.out",
                                     "network.rez", "network.rip", "network.tok"};

using FileSetBytes = std::map<std::string, std::string>;

FileSetBytes workingFiles(const std::filesystem::path& dir)
{
    FileSetBytes files;
    for (const char* name : kWorkingFiles)
        files[name] = std::filesystem::exists(dir / name) ? fileBytes(dir / name) : "<none>";
    return files;
}

// Names in the folder that are neither working files nor the given ones.
std::vector<std::string> strayNames(const std::filesystem::path& dir)
{
    std::vector<std::string> stray;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        bool known = name.ends_with(".cdu") || name == "cli.stdout" || name == "cli.stderr";
        for (const char* working : kWorkingFiles)
            known = known || name == working;
        if (!known)
            stray.push_back(name);
    }
    return stray;
}

class CollectingSink : public tarvel::MessageSink {
public:
    void showMessage(const std::string& text) override { messages += text + "\n"; }
    void warning(const std::string& text) override { messages += text + "\n"; }
    std::string messages;
};

#ifdef TARVEL_CLI_PATH
tarvel::test::ProgramRun runCli(const std::filesystem::path& dir, const std::string& args)
{
    return tarvel::test::runInFolder(TARVEL_CLI_PATH, dir, args);
}

// tarvel-cli started in the background on input with workDir, its messages
// thrown away; its process id.
pid_t startCli(const std::filesystem::path& workDir, const std::filesystem::path& input)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string program = TARVEL_CLI_PATH, option = "--workdir", dir = workDir.string(), file = input.string();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(option.c_str()),
                    const_cast<char*>(dir.c_str()), const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int exitStatus(pid_t pid)
{
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

class CliFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef TARVEL_CLI_PATH
        GTEST_SKIP() << "tarvel-cli is not built";
#endif
    }
    TempDir dir;
};

// A grid whose reports take long enough to write for a kill to land in them.
std::string gridText(int nodes, uint32_t seed)
{
    tarvel::test::GridOptions options;
    options.nodes = nodes;
    options.seed = seed;
    return tarvel::test::generateGrid(options).text;
}

}  // namespace

#ifdef TARVEL_CLI_PATH

TEST_F(CliFiles, AFullDiskFailsTheRunAndKeepsTheEarlierSet)
{
    const std::filesystem::path disk = dir / "disk";
    std::filesystem::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=100k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (the injected failure of the run test covers it)";
    const std::shared_ptr<void> unmount(nullptr, [&disk](void*) { ::umount(disk.c_str()); });

    auto r = runCli(dir.path(), "--workdir disk '" + sourcePath("samples/ieee14.cdu").string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const FileSetBytes earlier = workingFiles(disk);
    // IEEE 300's files are some 140 kB.
    r = runCli(dir.path(), "--workdir disk '" + sourcePath("samples/ieee300.cdu").string() + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("не записан в папку \"disk\": нет места на диске"), std::string::npos) << r.err;
    EXPECT_EQ(workingFiles(disk), earlier);
    EXPECT_TRUE(strayNames(disk).empty());
}

TEST_F(CliFiles, AReportThatCannotBeCreatedExitsTwoBeforeAnythingIsWritten)
{
    for (const char* report : {"network.rez", "network.rip", "network.tok", "network.err"}) {
        const std::filesystem::path work = dir / report;
        std::filesystem::create_directories(work / report);
        const auto r = runCli(dir.path(), std::string("--workdir '") + report + "' '" +
                                              sourcePath("samples/ieee14.cdu").string() + "'");
        EXPECT_EQ(r.status, 2) << report;
        EXPECT_NE(r.err.find("не может быть создан: это папка"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(work / "network.cdu")) << report;
    }
}

TEST_F(CliFiles, AKillWhileWritingLeavesOneWholeSet)
{
    writeBytes(dir / "first.cdu", gridText(20000, 1));
    writeBytes(dir / "second.cdu", gridText(20000, 2));
    const std::filesystem::path work = dir / "work";
    std::filesystem::create_directory(work);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(exitStatus(startCli(work, dir / "second.cdu")), 0);
    const auto whole = std::chrono::steady_clock::now() - started;
    const FileSetBytes second = workingFiles(work);
    ASSERT_EQ(exitStatus(startCli(work, dir / "first.cdu")), 0);
    const FileSetBytes first = workingFiles(work);

    // Killed at points spread over a whole run, most of them late, where the
    // reports are written: every working file is one run's whole file, and
    // the folder one run's whole set unless the kill fell into the renames
    // that put the set in place (a few system calls; on a loaded machine a
    // preempted moment there).
    int wholeSets = 0;
    for (const double share : {0.3, 0.6, 0.75, 0.85, 0.9, 0.95, 1.0}) {
        const pid_t pid = startCli(work, dir / "second.cdu");
        std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(whole * share));
        ::kill(pid, SIGKILL);
        exitStatus(pid);
        const FileSetBytes now = workingFiles(work);
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(bytes == first.at(name) || bytes == second.at(name))
                << name << " cut by a kill at " << share << " of a run";
        wholeSets += now == first || now == second;
        // The next run takes over the dead run's lock and clears its temporaries.
        ASSERT_EQ(exitStatus(startCli(work, dir / "first.cdu")), 0) << share;
        EXPECT_EQ(workingFiles(work), first);
        EXPECT_TRUE(strayNames(work).empty()) << strayNames(work).front();
    }
    EXPECT_GE(wholeSets, 3);
}

TEST_F(CliFiles, ASecondRunInABusyFolderIsRefused)
{
    writeBytes(dir / "grid.cdu", gridText(30000, 3));
    const std::filesystem::path work = dir / "work";
    std::filesystem::create_directory(work);
    const pid_t first = startCli(work, dir / "grid.cdu");
    while (!std::filesystem::exists(work / ".tarvel.lock"))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto second = runCli(dir.path(), "--workdir work '" + sourcePath("samples/ieee14.cdu").string() + "'");
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find("занята"), std::string::npos) << second.err;
    EXPECT_EQ(exitStatus(first), 0);
    EXPECT_GT(fileBytes(work / "network.cdu").size(), 1000000u) << "the first run's network.cdu";
    EXPECT_FALSE(std::filesystem::exists(work / ".tarvel.lock")) << "released at the end";
}

TEST_F(CliFiles, AnOutputThatIsAnInputOrAnotherOutputIsRefused)
{
    std::filesystem::copy_file(sourcePath("tests/data/interchange/case9.m"), dir / "mycase.m");
    std::filesystem::copy_file(sourcePath("samples/ieee14.cdu"), dir / "net.cdu");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(dir / "net.cdu", dir / "link.json");
    writeBytes(dir / "day-steps.csv", "step,scale\n1,1\n");
    const std::string caseBytes = fileBytes(dir / "mycase.m");
    const std::string netBytes = fileBytes(dir / "net.cdu");
    for (const char* args : {"--convert mycase.m mycase.m", "--convert ./sub/../mycase.m mycase.m",
                             "--json net.cdu net.cdu", "--json link.json net.cdu", "--json sub/../net.cdu net.cdu",
                             "--csv net net.cdu --json net-nodes.csv",
                             "--contingencies all --json x.json --study-json x.json net.cdu",
                             "--profile day-steps.csv --study-csv day net.cdu", "--diagram network.out.svg --json network.out.svg net.cdu"}) {
        const auto r = runCli(dir.path(), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("совпадает с"), std::string::npos) << args << "\n" << r.err;
        EXPECT_EQ(fileBytes(dir / "mycase.m"), caseBytes) << args;
        EXPECT_EQ(fileBytes(dir / "net.cdu"), netBytes) << args;
        EXPECT_FALSE(std::filesystem::exists(dir / "network.cdu")) << args;
    }
    // The working folder's own network.cdu is read whole before it is written again.
    std::filesystem::copy_file(dir / "net.cdu", dir / "network.cdu");
    EXPECT_EQ(runCli(dir.path(), "network.cdu").status, 0);
}

TEST_F(CliFiles, AnOutputThatCannotBeCreatedIsToldBeforeTheRun)
{
    std::filesystem::copy_file(sourcePath("samples/ieee14.cdu"), dir / "net.cdu");
    const auto started = std::chrono::steady_clock::now();
    const auto r = runCli(dir.path(), "--contingencies all --study-csv /nonexistent/dir/s net.cdu");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Файл \"/nonexistent/dir/s-contingencies.csv\" (--study-csv) не может быть создан: папка "
                     "\"/nonexistent/dir\" не найдена\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "network.cdu"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(CliFiles, LinksInTheWorkingFolderAreReplacedNotWrittenThrough)
{
    std::filesystem::copy_file(sourcePath("samples/ieee14.cdu"), dir / "net.cdu");
    writeBytes(dir / "victim", "not a report");
    std::filesystem::create_symlink(dir / "victim", dir / "network.rez");
    std::filesystem::create_symlink(dir / "victim", dir / "network.out");
    EXPECT_EQ(runCli(dir.path(), "net.cdu").status, 0);
    EXPECT_EQ(fileBytes(dir / "victim"), "not a report");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "network.rez"));
    EXPECT_NE(fileBytes(dir / "network.rez").size(), 0u);
}

TEST_F(CliFiles, AMissingWorkingFolderIsCreated)
{
    const auto r = runCli(dir.path(), "--workdir run/deeper '" + sourcePath("samples/ieee14.cdu").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "run/deeper/network.rez"));
}

#endif

// The run itself, as the window calls it: the disk fills while the reports
// are written.
TEST(RunFiles, AFullDiskLeavesTheEarlierSetAndIsTold)
{
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    CollectingSink sink;
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), fileBytes(sourcePath("samples/ieee14.cdu")), sink),
              RunOutcome::Converged);
    const FileSetBytes earlier = workingFiles(dir.path());
    for (const std::size_t room : {0, 1000, 30000, 60000, 120000}) {
        tarvel::seam::failWritesAfter(room);
        CollectingSink full;
        const RunOutcome outcome =
            tarvel::runPowerFlow(*model, dir.path(), tarvel::cp1251ToUtf8(fileBytes(sourcePath("samples/ieee300.cdu"))), full);
        tarvel::seam::failWritesAfter(std::nullopt);
        EXPECT_TRUE(outcome == RunOutcome::FilesNotWritten || outcome == RunOutcome::InputNotSaved) << room;
        EXPECT_EQ(workingFiles(dir.path()), earlier) << room;
        EXPECT_TRUE(strayNames(dir.path()).empty()) << room;
        if (outcome == RunOutcome::FilesNotWritten)
            EXPECT_NE(full.messages.find("нет места на диске. Файлы прежнего расчета оставлены без изменений."),
                      std::string::npos)
                << full.messages;
    }
}

TEST(RunFiles, ARefusedNetworkTakesTheEarlierReportsAway)
{
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    CollectingSink sink;
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), fileBytes(sourcePath("samples/ieee14.cdu")), sink),
              RunOutcome::Converged);
    writeBytes(dir / "losses.rez", "the earlier network's loss allocation");
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(),
                                   "0102 0 1 110 0 0 0 0 0 0 0\n0201 0 2 110 10 5 0 0 0 0 0\n"
                                   "0201 0 3 110 7 0 0 0 0 0 0\n0301 0 1 2 5 20 -100 0 0 0 0\n",
                                   sink),
              RunOutcome::Rejected);
    for (const char* report : {"network.out", "network.rez", "network.rip", "network.tok", "losses.rez"})
        EXPECT_FALSE(std::filesystem::exists(dir / report)) << report;
    EXPECT_NE(fileBytes(dir / "network.err").size(), 0u);
}
