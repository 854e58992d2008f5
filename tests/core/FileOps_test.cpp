#include "scan/FileOps.h"
#include "scan/Platform.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Files;
namespace fs = std::filesystem;

namespace {

// The second file system for cross-device moves: tmpfs, while the temp folder is on disk.
const std::string kShm = "/dev/shm";

// A folder on disk and one on tmpfs; skipped where they share a file system.
class MoveAcrossFileSystems : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!OnDifferentFileSystems(disk.Path(), shm.Path()))
            GTEST_SKIP() << "temp folder and /dev/shm share a file system";
    }
    TempDir disk;
    TempDir shm { kShm };
};

} // namespace

TEST(RenameFile, RenamesAndRefusesEveryTakenTarget)
{
    TempDir dir;
    const std::string a = dir.Write("a.jpg", "alpha");
    EXPECT_EQ(RenameFile(a, dir / "b.jpg"), FileOpResult::Done);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(Content(dir / "b.jpg"), "alpha");

    // A file, a folder and a dangling link all hold the name.
    dir.Write("c.jpg", "gamma");
    fs::create_directory(dir / "sub.jpg");
    fs::create_symlink(dir / "nowhere", dir / "link.jpg");
    for (const char* taken : { "c.jpg", "sub.jpg", "link.jpg" }) {
        EXPECT_EQ(RenameFile(dir / "b.jpg", dir / taken), FileOpResult::TargetExists) << taken;
        EXPECT_EQ(Content(dir / "b.jpg"), "alpha");
    }
    // A file as the target's folder; a missing or read-only folder is in the hostile-input tests.
    EXPECT_EQ(ErrorOf([&] { RenameFile(dir / "b.jpg", dir / "c.jpg/inside"); }), "Invalid filename");
    EXPECT_EQ(Content(dir / "b.jpg"), "alpha");
    EXPECT_EQ(Content(dir / "c.jpg"), "gamma");
    EXPECT_TRUE(fs::is_directory(dir / "sub.jpg"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.jpg"));
}

TEST(RenameFile, TheRenameItselfRefusesATargetThatAppearedAfterTheCheck)
{
    // What RenameFile relies on once its own check has passed: the target created in
    // between must make the call fail, not be replaced.
    TempDir dir;
    const std::string from = dir.Write("x.jpg", "mine");
    const std::string to = dir.Write("y.jpg", "theirs");
    EXPECT_EQ(Platform::RenameNoReplace(from, to), Platform::Error::Exists);
    EXPECT_EQ(Content(from), "mine");
    EXPECT_EQ(Content(to), "theirs");
}

TEST(RenameInFolder, ChangesTheNameOnlyAndRefusesAnythingElse)
{
    TempDir dir;
    const std::string a = dir.Write("p/a.jpg", "alpha");
    fs::create_directory(dir / "p/sub");
    const std::string tooLong(Platform::MaxNameBytes(dir.Path()) + 1, 'n');
    for (const std::string& name : { std::string("sub/a.jpg"), std::string("../a.jpg"), std::string(""),
             std::string("."), std::string(".."), std::string("a\0b", 3), tooLong }) {
        EXPECT_EQ(ErrorOf([&] { RenameInFolder(a, name); }), "Invalid filename") << name;
        EXPECT_EQ(Content(a), "alpha");
    }
    EXPECT_TRUE(fs::is_empty(dir / "p/sub"));
    EXPECT_EQ(RenameInFolder(a, std::string(Platform::MaxNameBytes(dir.Path()), 'm')), FileOpResult::Done);
    EXPECT_FALSE(fs::exists(a));
}

TEST(MoveFileToFolder, RenamesOnOneFileSystem)
{
    TempDir dir;
    const std::string a = dir.Write("p/a.jpg", "alpha");
    struct stat before { };
    stat(a.c_str(), &before);
    fs::create_directory(dir / "keep");

    EXPECT_EQ(MoveFileToFolder(a, dir / "keep/"), FileOpResult::Done);
    EXPECT_FALSE(fs::exists(a));
    struct stat after { };
    ASSERT_EQ(stat((dir / "keep/a.jpg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "a rename, not a copy";
    EXPECT_EQ(Content(dir / "keep/a.jpg"), "alpha");
}

// On one file system, in the hostile-input tests.
TEST(MoveFileToFolder, RefusesATakenNameAcrossFileSystems)
{
    TempDir dir;
    const std::string a = dir.Write("p/a.jpg", "alpha");
    TempDir shm(kShm);
    shm.Write("a.jpg", "on tmpfs");
    EXPECT_EQ(MoveFileToFolder(a, shm.Path()), FileOpResult::TargetExists);
    EXPECT_EQ(Content(a), "alpha");
    EXPECT_EQ(Content(shm / "a.jpg"), "on tmpfs");
}

TEST_F(MoveAcrossFileSystems, CopiesAcrossFileSystemsAndDeletesTheSourceLast)
{
    // Several copy blocks and a partial last one, both ways; a private file stays
    // private and keeps its times.
    const std::string content = RandomBytes((3 << 20) + 12345, 7);
    const std::string a = disk.Write("a.bin", content);
    chmod(a.c_str(), 0600);
    const struct timespec times[2] = { { 1000000000, 123456789 }, { 1200000000, 987654321 } };
    utimensat(AT_FDCWD, a.c_str(), times, 0);
    EXPECT_EQ(MoveFileToFolder(a, shm.Path()), FileOpResult::Done);
    EXPECT_FALSE(fs::exists(a));
    struct stat moved { };
    ASSERT_EQ(stat((shm / "a.bin").c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mode & 07777, 0600U);
    EXPECT_EQ(moved.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(moved.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(moved.st_atim.tv_sec, times[0].tv_sec);
    EXPECT_EQ(Content(shm / "a.bin"), content);

    EXPECT_EQ(MoveFileToFolder(shm / "a.bin", disk.Path()), FileOpResult::Done);
    EXPECT_FALSE(fs::exists(shm / "a.bin"));
    EXPECT_EQ(Content(a), content);

    const std::string empty = disk.Write("empty.txt", "");
    EXPECT_EQ(MoveFileToFolder(empty, shm.Path()), FileOpResult::Done);
    EXPECT_TRUE(fs::exists(shm / "empty.txt"));
    EXPECT_EQ(fs::file_size(shm / "empty.txt"), 0U);
    EXPECT_FALSE(fs::exists(empty));
}

TEST_F(MoveAcrossFileSystems, MovesASparseFileBeyond4GiBAcrossFileSystems)
{
    // Marks around the 2 GiB and 4 GiB limits; the rest is holes, which stay holes.
    const std::uint64_t size = (std::uint64_t { 5 } << 30) + 3;
    const std::vector<std::pair<std::uint64_t, std::string>> marks = {
        { 0, "head" },
        { (std::uint64_t { 1 } << 31) - 2, "across2G" },
        { (std::uint64_t { 1 } << 32) + 4093, "across4G" },
        { size - 4, "tail" },
    };
    const std::string source = shm / "big.img";
    {
        const int fd = open(source.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
        for (const auto& [offset, text] : marks)
            ASSERT_EQ(pwrite(fd, text.data(), text.size(), static_cast<off_t>(offset)),
                static_cast<ssize_t>(text.size()));
        close(fd);
    }

    ASSERT_EQ(MoveFileToFolder(source, disk.Path()), FileOpResult::Done);
    EXPECT_FALSE(fs::exists(source));
    const std::string target = disk / "big.img";
    struct stat st { };
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), size);
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, std::uint64_t { 64 } << 20);
    const int fd = open(target.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (const auto& [offset, text] : marks) {
        // The mark and the zero byte before it.
        const std::uint64_t from = offset == 0 ? 0 : offset - 1;
        std::string got(offset - from + text.size(), '?');
        ASSERT_EQ(
            pread(fd, got.data(), got.size(), static_cast<off_t>(from)), static_cast<ssize_t>(got.size()));
        EXPECT_EQ(got, std::string(offset - from, '\0') + text) << offset;
    }
    close(fd);
}

// Sources that do not open, also across file systems, are in the hostile-input tests.
TEST_F(MoveAcrossFileSystems, ReportsATargetThatCannotBeCreated)
{
    const std::string plain = disk.Write("plain.jpg", "beta");
    const std::string locked = shm / "locked";
    fs::create_directory(locked);
    chmod(locked.c_str(), 0555);
    EXPECT_CHILD_OK(InChildAsUser([&]() -> std::string {
        const std::string text = ErrorOf([&] { MoveFileToFolder(plain, locked); });
        return text == CreateErrorText(locked + "/plain.jpg") ? "" : "read-only folder gave: " + text;
    }));
    EXPECT_EQ(Content(plain), "beta");
}

TEST(MoveFileToFolder, IntoAFullFileSystemKeepsTheSourceAndLeavesNoPartialTarget)
{
    TempDir disk;
    const std::string content = RandomBytes(3 << 20, 11);
    const std::string source = disk.Write("big.bin", content);
    const std::string small = disk / "small";
    fs::create_directory(small);
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        // A 1 MiB tmpfs visible to this child only.
        if (!MountPrivateTmpfs(small, "1m"))
            return "SKIP: no private tmpfs";
        std::string report;
        const std::string text = ErrorOf([&] { MoveFileToFolder(source, small); });
        if (text != kWriteStreamError)
            report += "got: " + text + "; ";
        if (fs::exists(small + "/big.bin"))
            report += "partial target left; ";
        if (Content(source) != content)
            report += "source changed; ";
        umount(small.c_str());
        return report;
    }));
    EXPECT_EQ(Content(source), content);
}

TEST_F(MoveAcrossFileSystems, ReportsASourceThatCannotBeDeletedAfterTheCopy)
{
    const std::string source = disk.Write("ro/a.jpg", "alpha");
    chmod((disk / "ro").c_str(), 0555);
    EXPECT_CHILD_OK(InChildAsUser([&]() -> std::string {
        const std::string text = ErrorOf([&] { MoveFileToFolder(source, shm.Path()); });
        const std::string expected = "ファイル " + source + " を " + shm / "a.jpg"
            + " にコピーしましたが、元のファイルを削除できません: File access denied";
        return text == expected ? "" : "got: " + text;
    }));
    EXPECT_EQ(Content(source), "alpha");
    EXPECT_EQ(Content(shm / "a.jpg"), "alpha");
}

namespace {

// Moves source into folder in a child, stops the child as soon as the target exists,
// runs change while it stands still, and returns the move's error text.
std::string MoveChangedOnTheWay(
    const std::string& source, const std::string& folder, const std::function<std::string()>& change)
{
    const std::string target = MoveTarget(source, folder);
    std::string report;
    const std::string text = InChild([&] { return ErrorOf([&] { MoveFileToFolder(source, folder); }); }, 60,
        [&](pid_t pid) {
            // Polled without a pause: copying the source takes far longer than one look-up.
            struct stat st { };
            while (lstat(target.c_str(), &st) != 0) {
                if (waitpid(pid, nullptr, WNOHANG) == pid) {
                    report = "the move ended before its target was seen; ";
                    return;
                }
            }
            kill(pid, SIGSTOP);
            waitpid(pid, nullptr, WUNTRACED);
            report = change();
            kill(pid, SIGCONT);
        });
    return report + text;
}

} // namespace

TEST_F(MoveAcrossFileSystems, ASourceChangedDuringTheCopyStaysAndTheTargetGoes)
{
    const std::string content = RandomBytes(64 << 20, 3);
    const std::string source = disk / "log.txt";
    const std::string target = shm / "log.txt";
    const std::string expected = ChangedDuringMoveText(source);

    // A log file appended to; the target is private meanwhile, whatever the source allows.
    disk.Write("log.txt", content);
    chmod(source.c_str(), 0644);
    EXPECT_EQ(MoveChangedOnTheWay(source, shm.Path(),
                  [&]() -> std::string {
                      struct stat st { };
                      stat(target.c_str(), &st);
                      std::ofstream(source, std::ios::binary | std::ios::app) << "tail";
                      return (st.st_mode & 077) == 0 ? "" : "target readable by others while copied; ";
                  }),
        expected);
    EXPECT_EQ(Content(source), content + "tail");
    EXPECT_FALSE(fs::exists(target));

    // A new version saved over the path by an editor (written aside, renamed over it).
    disk.Write("log.txt", content);
    EXPECT_EQ(MoveChangedOnTheWay(source, shm.Path(),
                  [&]() -> std::string {
                      disk.Write("log.txt.new", "new version");
                      fs::rename(disk / "log.txt.new", source);
                      return "";
                  }),
        expected);
    EXPECT_EQ(Content(source), "new version");
    EXPECT_FALSE(fs::exists(target));
}

TEST(RemoveFileBy, TrashKeepsTheFileRestorableAndALinkGoesAsTheLink)
{
    TempDir dir;
    const std::string a = dir.Write("p/a.jpg", "alpha");
    const std::string target = dir.Write("p/target.jpg", "target");
    const std::string link = dir / "p/link.jpg";
    fs::create_symlink(target, link);
    fs::create_directory(dir / "p/folder");
    TempDir shm(kShm);
    const std::string onTmpfs = shm.Write("t.jpg", "tmpfs");
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        // The trash lives under XDG_DATA_HOME; set before the first look at it.
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        std::string report;
        if (!RemoveFileBy(a, RemoveMode::Trash).Ok() || fs::exists(a))
            report += "a not trashed; ";
        if (Content(dir / "data/Trash/files/a.jpg") != "alpha")
            report += "a not under Trash/files; ";
        if (Content(dir / "data/Trash/info/a.jpg.trashinfo").find("Path=" + a) == std::string::npos)
            report += "no trashinfo with the original path; ";
        if (!RemoveFileBy(link, RemoveMode::Trash).Ok() || !fs::is_symlink(dir / "data/Trash/files/link.jpg"))
            report += "the link was not trashed as a link; ";
        if (Content(target) != "target")
            report += "the link's target changed; ";
        if (RemoveFileBy(dir / "p/folder", RemoveMode::Trash).Ok() || !fs::is_directory(dir / "p/folder"))
            report += "a folder was trashed; ";
        if (RemoveFileBy(dir / "p/missing.jpg", RemoveMode::Trash) != Platform::Error::NotFound)
            report += "a missing file gave no NotFound; ";
        const Platform::Status tmpfs = RemoveFileBy(onTmpfs, RemoveMode::Trash);
        if (tmpfs != Platform::Error::NoTrash || Content(onTmpfs) != "tmpfs")
            report += "a file on a volume without trash gave " + SystemErrorText(tmpfs) + "; ";
        return report;
    }));
}

TEST(RemoveFileBy, AFileFoundEarlierGoesOnlyWhileItsPathLeadsToIt)
{
    // Found, then its folder swapped for a link to a folder that holds the same name
    // and bytes: neither removal nor move touches the file there. Unchanged, a link to
    // the file found goes as the link.
    TempDir dir;
    const std::string path = dir.Write("v/a.jpg", "alpha");
    const std::string elsewhere = dir.Write("outside/a.jpg", "alpha");
    const std::string keep = dir.MakeDir("keep");
    const std::string link = dir / "link.jpg";
    fs::create_symlink(elsewhere, link);
    Platform::FileInfo info;
    ASSERT_TRUE(Platform::Stat(path, info).Ok());
    const Platform::FileStamp found = Platform::StampOf(info);
    ASSERT_TRUE(Platform::Stat(elsewhere, info).Ok());
    const Platform::FileStamp linked = Platform::StampOf(info);
    fs::rename(dir / "v", dir / "v.away");
    fs::create_directory_symlink(dir / "outside", dir / "v");
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        std::string report;
        for (const RemoveMode mode : { RemoveMode::Delete, RemoveMode::Trash }) {
            if (RemoveFileBy(path, mode, found) != Platform::Error::Changed)
                report += "a removal did not see the swap; ";
        }
        if (MoveFileToFolder(path, keep, &found) != FileOpResult::Changed)
            report += "the move did not see the swap; ";
        if (Content(elsewhere) != "alpha" || Content(dir / "v.away/a.jpg") != "alpha" || fs::exists(keep + "/a.jpg"))
            report += "a file was touched; ";
        if (RemoveFileBy(dir / "gone.jpg", RemoveMode::Delete, found) != Platform::Error::NotFound)
            report += "nothing there gave no NotFound; ";
        if (!RemoveFileBy(link, RemoveMode::Delete, linked).Ok() || fs::is_symlink(link) || Content(elsewhere) != "alpha")
            report += "the link did not go as the link; ";
        return report;
    }));
}

TEST(PadNumber, PadsTo0Through16DigitsOnly)
{
    const struct {
        std::int64_t number;
        int digits;
        const char* text;
    } rows[] = {
        { 7, 4, "0007" },
        { 7, 0, "7" },
        { 7, 17, "7" },
        { 7, -1, "7" },
        { 7, 16, "0000000000000007" },
        { 12345, 3, "12345" },
        { 0, 0, "0" },
        { 0, 3, "000" },
        { 3000000000, 4, "3000000000" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(PadNumber(row.number, row.digits), row.text) << row.number << " " << row.digits;
}
