// Files written aside and renamed into place: a full disk, a link planted at
// a name, two writers of one file and a killed writer's temporary.
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include "model/AsideFile.h"
#include "model/TextFile.h"
#include "tests/support/TestSupport.h"

using tarvel::AsideFile;
using tarvel::FileSet;
using tarvel::TextFileWriter;
using tarvel::test::fileBytes;
using tarvel::test::TempDir;
using tarvel::test::writeBytes;

namespace {

// Names in the folder besides those given.
int entriesIn(const std::filesystem::path& dir)
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++count;
    return count;
}

// Writes through the seam's full disk that lets `room` bytes through.
struct FullDisk {
    explicit FullDisk(std::size_t room) { tarvel::seam::failWritesAfter(room); }
    ~FullDisk() { tarvel::seam::failWritesAfter(std::nullopt); }
};

}  // namespace

TEST(AsideFile, FullDiskKeepsTheEarlierFileAndSaysSo)
{
    TempDir dir;
    writeBytes(dir / "network.rez", "earlier complete report\r\n");
    {
        const FullDisk disk(70000);
        TextFileWriter rez;
        ASSERT_TRUE(rez.open(dir / "network.rez"));
        for (int i = 0; i < 20000; ++i) {
            rez << "строка отчета";
            rez.endLine();
        }
        EXPECT_FALSE(rez.close());
        EXPECT_EQ(rez.error(), ENOSPC);
    }
    EXPECT_EQ(fileBytes(dir / "network.rez"), "earlier complete report\r\n");
    EXPECT_EQ(entriesIn(dir.path()), 1) << "the temporary is removed";
}

TEST(AsideFile, ASetPutsNothingInPlaceWhenOneFileFails)
{
    TempDir dir;
    writeBytes(dir / "a", "old a");
    writeBytes(dir / "b", "old b");
    {
        FileSet set;
        TextFileWriter a;
        a.open(dir / "a", &set);
        a << "new a";
        EXPECT_TRUE(a.close());
        const FullDisk disk(3);
        TextFileWriter b;
        b.open(dir / "b", &set);
        b << "new b";
        EXPECT_FALSE(b.close());
        EXPECT_TRUE(set.failed());
        EXPECT_EQ(set.failedTarget(), dir / "b");
        EXPECT_FALSE(set.commit());
    }
    EXPECT_EQ(fileBytes(dir / "a"), "old a");
    EXPECT_EQ(fileBytes(dir / "b"), "old b");
    EXPECT_EQ(entriesIn(dir.path()), 2);

    FileSet set;
    for (const char* name : {"a", "b"}) {
        TextFileWriter w;
        ASSERT_TRUE(w.open(dir / name, &set));
        w << "new";
        EXPECT_TRUE(w.close());
        EXPECT_EQ(fileBytes(dir / name), "old " + std::string(name)) << "not before the set is committed";
    }
    EXPECT_TRUE(set.commit());
    EXPECT_EQ(fileBytes(dir / "a"), "new");
    EXPECT_EQ(fileBytes(dir / "b"), "new");
}

TEST(AsideFile, LinksAreReplacedNeverFollowed)
{
    TempDir dir;
    writeBytes(dir / "victim", "someone else's file");
    // A link at the output's name and one at the old fixed temporary name.
    std::filesystem::create_symlink(dir / "victim", dir / "r.json");
    std::filesystem::create_symlink(dir / "victim", dir / "out.json.part");
    EXPECT_TRUE(tarvel::replaceFileSafely(dir / "r.json", "{}\n"));
    EXPECT_TRUE(tarvel::replaceFileSafely(dir / "out.json", "[]\n"));
    EXPECT_EQ(fileBytes(dir / "victim"), "someone else's file");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "r.json"));
    EXPECT_EQ(fileBytes(dir / "r.json"), "{}\n");
    EXPECT_EQ(fileBytes(dir / "out.json"), "[]\n");
}

TEST(AsideFile, TwoWritersOfOneFileKeepApartAndAFolderIsRefused)
{
    TempDir dir;
    AsideFile first, second;
    ASSERT_TRUE(first.create(dir / "s.json"));
    ASSERT_TRUE(second.create(dir / "s.json"));
    EXPECT_TRUE(first.write("first"));
    EXPECT_TRUE(second.write("second"));
    EXPECT_TRUE(first.commit());
    EXPECT_EQ(fileBytes(dir / "s.json"), "first");
    EXPECT_TRUE(second.commit());
    EXPECT_EQ(fileBytes(dir / "s.json"), "second");

    std::filesystem::create_directory(dir / "network.rez");
    AsideFile report;
    EXPECT_FALSE(report.create(dir / "network.rez"));
    EXPECT_EQ(report.error(), EISDIR);
    EXPECT_EQ(tarvel::fileErrorText(report.error()), "это папка");
}

TEST(AsideFile, AKilledWritersTemporaryIsRemovedALivingOnesStays)
{
    TempDir dir;
    const std::filesystem::path dead = dir / ".r.json.Ab3dE9.part";
    writeBytes(dead, "half");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
    std::filesystem::last_write_time(dead, old);
    writeBytes(dir / "r.json.part", "left by an older build");

    AsideFile living;
    ASSERT_TRUE(living.create(dir / "r.json"));
    ASSERT_TRUE(living.write("being written"));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path() != dead && entry.path().filename().string().starts_with(".r.json."))
            std::filesystem::last_write_time(entry.path(), old);

    tarvel::removeStaleTemporaries(dir / "r.json");
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_FALSE(std::filesystem::exists(dir / "r.json.part"));
    EXPECT_EQ(entriesIn(dir.path()), 1) << "the living writer's temporary stays";
    EXPECT_TRUE(living.commit());
    EXPECT_EQ(fileBytes(dir / "r.json"), "being written");
}

TEST(AsideFile, AnUnreadableFileIsToldWhy)
{
    TempDir dir;
    std::string bytes;
    int error = 0;
    EXPECT_FALSE(tarvel::readFileBytes(dir / "missing.cdu", bytes, &error));
    EXPECT_EQ(tarvel::unreadableFileText("missing.cdu", error), "Невозможно прочитать файл \"missing.cdu\": файл не найден");
    std::filesystem::create_directory(dir / "folder.cdu");
    EXPECT_FALSE(tarvel::readFileBytes(dir / "folder.cdu", bytes, &error));
    EXPECT_EQ(tarvel::unreadableFileText("folder.cdu", error),
              "Невозможно прочитать файл \"folder.cdu\": это папка, а не файл");
}
