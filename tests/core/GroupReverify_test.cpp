#include "check/GroupReverify.h"

#include "support/BytesRead.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using Check::GroupReverify;
using Check::KeepReason;
using Check::ReverifyOptions;

namespace {

// Rewrites the file in place (same inode), keeping its size.
void Overwrite(const std::string& path, std::size_t at, char byte)
{
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(at));
    io.put(byte);
}

// Writes content under each name; returns the paths in order.
std::vector<std::string> Copies(
    const TempDir& dir, const std::string& content, const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(dir.Write(name, content));
    return paths;
}

// The checked file at index is a copy, goes when deleted, and the kept file still holds content.
void ExpectDeleted(
    GroupReverify& group, std::size_t index, const std::string& kept, const std::string& content)
{
    EXPECT_EQ(group.Verdict(index), KeepReason::None) << group.Path(index);
    EXPECT_TRUE(group.DeleteChecked(index).deleted) << group.Path(index);
    EXPECT_FALSE(Exists(group.Path(index)));
    EXPECT_EQ(Content(kept), content);
}

ReverifyOptions Blocks(std::size_t bytes)
{
    ReverifyOptions o;
    o.blockBytes = bytes;
    return o;
}

} // namespace

// Block sizes that put the changed byte at a block's start, middle and end, plus the default.
class ReverifyBlocks : public testing::TestWithParam<std::size_t> { };

TEST_P(ReverifyBlocks, KeptCopyChangedInItsFirstMiddleOrLastByteKeepsTheCheckedFile)
{
    TempDir dir;
    const std::string content = RandomBytes(1000, 1);
    for (std::size_t at : { std::size_t { 0 }, std::size_t { 500 }, std::size_t { 999 } }) {
        const std::vector<std::string> files = Copies(dir, content, { "kept", "copy", "other" });
        Overwrite(files[0], at, '#');
        GroupReverify group(files, { false, true, true }, Blocks(GetParam()));
        // The two checked copies still equal each other, but neither is kept.
        EXPECT_EQ(group.Verdict(1), KeepReason::Differs) << "byte " << at;
        EXPECT_EQ(group.Verdict(2), KeepReason::Differs) << "byte " << at;
        const Check::DeleteOutcome outcome = group.DeleteChecked(1);
        EXPECT_FALSE(outcome.deleted);
        EXPECT_EQ(outcome.reason, KeepReason::Differs);
        EXPECT_EQ(Content(files[1]), content);
    }
}

TEST_P(ReverifyBlocks, IdenticalGroupDeletesEveryCheckedFileAndKeepsTheFirst)
{
    TempDir dir;
    const std::string content = RandomBytes(4099, 1);
    const std::vector<std::string> files = Copies(dir, content, { "a", "sub/b", "c" });
    GroupReverify group(files, { false, true, true }, Blocks(GetParam()));
    EXPECT_EQ(group.Partners(1), std::vector<std::size_t>({ 0 }));
    ExpectDeleted(group, 2, files[0], content);
    ExpectDeleted(group, 1, files[0], content);
    // The kept file is never touched, even when asked.
    EXPECT_FALSE(group.DeleteChecked(0).deleted);
    EXPECT_TRUE(Exists(files[0]));
}

TEST_P(ReverifyBlocks, SplitsTheGroupWhereBytesDifferAndMatchesEachCheckedFileToItsOwnKeptCopy)
{
    TempDir dir;
    std::string x = RandomBytes(777, 1);
    std::string y = x;
    y[600] = '!';
    std::string z = x;
    z[10] = '?';
    const std::string keptX = dir.Write("kx", x);
    const std::string keptY = dir.Write("ky", y);
    const std::string copyX = dir.Write("cx", x);
    const std::string copyY = dir.Write("cy", y);
    const std::string lonelyZ = dir.Write("cz1", z);
    const std::string twinZ = dir.Write("cz2", z);
    const std::string shorter = dir.Write("cs", x.substr(0, 776));
    GroupReverify group({ keptX, copyY, keptY, copyX, lonelyZ, twinZ, shorter },
        { false, true, false, true, true, true, true }, Blocks(GetParam()));
    EXPECT_EQ(group.Verdict(1), KeepReason::None);
    EXPECT_EQ(group.Partners(1), std::vector<std::size_t>({ 2 }));
    EXPECT_EQ(group.Verdict(3), KeepReason::None);
    EXPECT_EQ(group.Partners(3), std::vector<std::size_t>({ 0 }));
    EXPECT_EQ(group.Verdict(4), KeepReason::Differs);
    EXPECT_EQ(group.Verdict(5), KeepReason::Differs);
    EXPECT_EQ(group.Verdict(6), KeepReason::Differs);
}

INSTANTIATE_TEST_SUITE_P(Reverify, ReverifyBlocks, testing::Values(1, 3, 256, 0, 256 * 1024));

// A kept copy that differs now is in the block and split tests: the re-read knows no
// earlier state, so one replaced by another file is the same case.
TEST(Reverify, KeptOrCheckedFileGoneOrNoFile)
{
    TempDir dir;
    const std::string kept = dir.Write("kept", "bytes");
    const std::string gone = dir / "gone";
    {
        GroupReverify group({ gone, kept }, { false, true });
        EXPECT_EQ(group.Verdict(1), KeepReason::KeptUnreadable);
        EXPECT_EQ(group.Error(0), Platform::Error::NotFound);
        EXPECT_FALSE(group.DeleteChecked(1).deleted);
        EXPECT_TRUE(Exists(kept));
    }
    const std::string folder = dir.MakeDir("folder");
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    GroupReverify group({ kept, gone, folder, fifo }, { false, true, true, true });
    EXPECT_EQ(group.Verdict(1), KeepReason::Unreadable);
    EXPECT_EQ(group.Error(1), Platform::Error::NotFound);
    EXPECT_EQ(group.Verdict(2), KeepReason::Unreadable);
    EXPECT_EQ(group.Verdict(3), KeepReason::Unreadable);
    for (std::size_t i = 1; i < group.Count(); ++i)
        EXPECT_FALSE(group.DeleteChecked(i).deleted) << group.Path(i);
    EXPECT_TRUE(Exists(folder) && Exists(fifo));
}

TEST(Reverify, EmptyFiles)
{
    TempDir dir;
    const std::string a = dir.Write("a", "");
    const std::string b = dir.Write("b", "");
    const std::string c = dir.Write("c", "not empty");
    GroupReverify group({ a, b, c }, { false, true, true });
    EXPECT_EQ(group.Verdict(1), KeepReason::None);
    EXPECT_EQ(group.Verdict(2), KeepReason::Differs);
    EXPECT_TRUE(group.DeleteChecked(1).deleted);
    EXPECT_FALSE(group.DeleteChecked(2).deleted);
    EXPECT_TRUE(Exists(a) && Exists(c));
}

TEST(Reverify, ReadsToTheEndWhateverSizeTheFileClaims)
{
    // procfs files claim size 0 and still hold bytes.
    const std::string proc = "/proc/sys/kernel/ostype";
    if (Content(proc) != "Linux\n")
        GTEST_SKIP() << "no " << proc;
    TempDir dir;
    const std::string same = dir.Write("same", "Linux\n");
    const std::string empty = dir.Write("empty", "");
    GroupReverify group({ same, proc, empty }, { false, true, true });
    EXPECT_EQ(group.Verdict(1), KeepReason::None);
    EXPECT_EQ(group.Verdict(2), KeepReason::Differs);
    GroupReverify againstEmpty({ empty, proc }, { false, true });
    EXPECT_EQ(againstEmpty.Verdict(1), KeepReason::Differs);
}

TEST(Reverify, SecondNamesOfTheCheckedFileAreNoCopy)
{
    TempDir dir;
    const std::string content = RandomBytes(100, 1);
    const std::string kept = dir.Write("kept", content);
    const std::string hard = dir / "hard";
    ASSERT_EQ(link(kept.c_str(), hard.c_str()), 0);
    {
        // A hard link of the kept file: deleting it would free nothing.
        GroupReverify group({ kept, hard }, { false, true });
        EXPECT_EQ(group.Verdict(1), KeepReason::SameFile);
        EXPECT_FALSE(group.DeleteChecked(1).deleted);
        EXPECT_TRUE(Exists(hard));
    }
    {
        // The kept path is a symbolic link to the checked file: deleting it would lose the bytes.
        const std::string real = dir.Write("real", content);
        const std::string link = dir / "link";
        std::filesystem::create_symlink(real, link);
        GroupReverify group({ link, real }, { false, true });
        EXPECT_EQ(group.Verdict(1), KeepReason::SameFile);
        EXPECT_FALSE(group.DeleteChecked(1).deleted);
        EXPECT_EQ(Content(link), content);
    }
    {
        // The same path twice, once kept and once checked.
        GroupReverify group({ kept, kept }, { false, true });
        EXPECT_EQ(group.Verdict(1), KeepReason::SameFile);
    }
    {
        // The same checked path twice: deleted through one line, it is deleted under both.
        const std::string twice = dir.Write("twice", content);
        GroupReverify group({ kept, twice, twice }, { false, true, true });
        EXPECT_TRUE(group.DeleteChecked(2).deleted);
        EXPECT_TRUE(group.DeleteChecked(1).deleted);
        EXPECT_FALSE(Exists(twice));
    }
    {
        // A hard link beside a true copy: the copy is the partner, and the link is still
        // not deleted.
        const std::string copy = dir.Write("copy", content);
        GroupReverify group({ kept, copy, hard }, { false, true, true });
        EXPECT_EQ(group.Verdict(1), KeepReason::None);
        EXPECT_EQ(group.Verdict(2), KeepReason::SameFile);
    }
}

TEST(Reverify, TheCheckedFileSeenThroughAnOverlayMountIsNoCopy)
{
    // Layers on one file system, and (with xino, which numbers the merged view's inodes
    // anew) the lower and the upper layer on two: the merged file and the lower one are
    // one file, whichever is kept, whether the check's stamps come with them or not.
    TempDir dir;
    const std::string content = RandomBytes(100, 1);
    for (const bool twoFileSystems : { false, true }) {
        EXPECT_CHILD_OK(InChild([&]() -> std::string {
            if (!MountPrivateTmpfs(dir.Path(), "4m"))
                return "SKIP: no private tmpfs";
            for (const char* name : { "lower", "upper", "merged" })
                dir.MakeDir(name);
            if (twoFileSystems
                && (mount("tmpfs", (dir / "lower").c_str(), "tmpfs", 0, "size=1m") != 0
                    || mount("tmpfs", (dir / "upper").c_str(), "tmpfs", 0, "size=1m") != 0))
                return "SKIP: no second tmpfs";
            dir.MakeDir("upper/data");
            dir.MakeDir("upper/work");
            const std::string lower = dir.Write("lower/photo.jpg", content);
            const std::string options = "lowerdir=" + dir / "lower" + ",upperdir=" + dir / "upper/data"
                + ",workdir=" + dir / "upper/work" + (twoFileSystems ? ",xino=on" : "");
            if (mount("overlay", (dir / "merged").c_str(), "overlay", 0, options.c_str()) != 0)
                return "SKIP: cannot mount an overlay";
            const std::string merged = dir / "merged/photo.jpg";
            std::string report;
            for (const bool mergedKept : { true, false }) {
                for (const bool stamped : { false, true }) {
                    const std::vector<std::string> paths
                        = mergedKept ? std::vector { merged, lower } : std::vector { lower, merged };
                    std::vector<Check::FoundFile> found;
                    for (const std::string& path : paths)
                        found.push_back(Check::LookUpNow(path));
                    GroupReverify group = stamped ? GroupReverify(found, { false, true }) : GroupReverify(paths, { false, true });
                    if (group.Verdict(1) != KeepReason::SameFile)
                        report += "not refused as the same file; ";
                    if (group.DeleteChecked(1).deleted)
                        report += "deleted; ";
                }
            }
            if (Content(lower) != content)
                report += "the only copy is gone; ";
            // A true copy beside the overlay is still a copy.
            const std::string copy = dir.Write("upper/copy.jpg", content);
            GroupReverify withCopy({ merged, copy }, { false, true });
            if (withCopy.Verdict(1) != KeepReason::None)
                report += "a true copy was refused; ";
            umount((dir / "merged").c_str());
            return report;
        }));
    }
}

TEST(Reverify, LargeGroupsWorkWithinTheOpenFileLimit)
{
    TempDir dir;
    EXPECT_CHILD_OK(InChild(
        [&]() -> std::string {
            const rlimit limit { 1024, 1024 };
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
                return "SKIP: cannot set the open file limit";
            std::string report;
            for (const std::size_t count : { 1500, 20000 }) {
                std::vector<std::string> paths;
                std::vector<bool> checked;
                for (std::size_t i = 0; i < count; ++i) {
                    paths.push_back(
                        dir.Write("g" + std::to_string(count) + "/" + std::to_string(i), "same bytes"));
                    checked.push_back(i > 0);
                }
                GroupReverify group(paths, checked);
                std::size_t deleted = 0;
                for (std::size_t i = 1; i < count; ++i)
                    deleted += group.DeleteChecked(i).deleted ? 1 : 0;
                if (deleted != count - 1 || !Exists(paths[0]))
                    report += std::to_string(count) + ": deleted " + std::to_string(deleted) + "; ";
            }
            // Short of descriptors from the start: files are read in rounds, or the
            // re-read ends with nothing decided, never a file taken for unreadable.
            std::vector<std::string> paths;
            paths.reserve(40);
            for (int i = 0; i < 40; ++i)
                paths.push_back(dir.Write("few/" + std::to_string(i), "bytes"));
            std::vector<bool> keepFirst(paths.size(), true);
            keepFirst[0] = false;
            std::vector<int> spent;
            for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;)
                spent.push_back(fd);
            for (int spare = 0; spare < 2; ++spare) {
                close(spent.back());
                spent.pop_back();
            }
            GroupReverify rounds(paths, keepFirst);
            for (std::size_t i = 1; i < paths.size(); ++i) {
                if (rounds.Verdict(i) != KeepReason::None)
                    report += "two spare descriptors: file " + std::to_string(i) + " kept; ";
            }
            spent.push_back(open("/dev/null", O_RDONLY));
            spent.push_back(open("/dev/null", O_RDONLY));
            std::string text = "(no error)";
            try {
                GroupReverify none(paths, keepFirst);
            } catch (const Files::FileError& error) {
                // The descriptors go back first: the sanitizers' checks of the call below
                // need some of their own.
                for (int fd : spent)
                    close(fd);
                spent.clear();
                text = error.what();
            }
            for (int fd : spent)
                close(fd);
            if (text != "Too many open files")
                report += "no spare descriptor gave: " + text + "; ";
            return report;
        },
        300));
}

TEST(Reverify, CheckedSymbolicLinkIsRemovedNotItsTarget)
{
    TempDir dir;
    const std::string content = RandomBytes(100, 1);
    const std::string kept = dir.Write("kept", content);
    const std::string target = dir.Write("elsewhere/target", content);
    const std::string link = dir / "link";
    std::filesystem::create_symlink(target, link);
    GroupReverify group({ kept, link }, { false, true });
    ExpectDeleted(group, 1, kept, content);
    EXPECT_EQ(Content(target), content);
}

TEST(Reverify, ChangesAfterTheReadAreCaughtRightBeforeEachDeletion)
{
    TempDir dir;
    const std::string content = RandomBytes(500, 1);
    const std::vector<std::string> files = Copies(dir, content, { "kept", "spare", "a", "b", "c" });
    const std::string &kept = files[0], &spare = files[1], &a = files[2], &b = files[3], &c = files[4];
    {
        GroupReverify group({ kept, a, b }, { false, true, true });
        ASSERT_EQ(group.Verdict(1), KeepReason::None);
        ASSERT_EQ(group.Verdict(2), KeepReason::None);
        // The checked file grows; then the kept one is replaced by another file.
        std::ofstream(a, std::ios::app) << "more";
        EXPECT_EQ(group.DeleteChecked(1).reason, KeepReason::Changed);
        std::filesystem::remove(kept);
        dir.Write("kept", content);
        const Check::DeleteOutcome outcome = group.DeleteChecked(2);
        EXPECT_FALSE(outcome.deleted);
        EXPECT_EQ(outcome.reason, KeepReason::KeptChanged);
        EXPECT_TRUE(Exists(a) && Exists(b));
    }
    {
        // With two kept copies, one that changed leaves the other to rely on.
        GroupReverify group({ kept, spare, c }, { false, false, true });
        std::filesystem::remove(kept);
        ExpectDeleted(group, 2, spare, content);
    }
}

TEST(Reverify, GroupLargerThanTheOpenFilesReopensBetweenBlocks)
{
    TempDir dir;
    const std::string content = RandomBytes(1500, 1);
    std::vector<std::string> paths;
    std::vector<bool> checked;
    for (int i = 0; i < 7; ++i) {
        std::string bytes = content;
        if (i == 4)
            bytes[1400] = '#';
        paths.push_back(dir.Write("f" + std::to_string(i), bytes));
        checked.push_back(i > 0);
    }
    ReverifyOptions options;
    options.blockBytes = 100;
    options.maxOpenFiles = 2;
    GroupReverify group(paths, checked, options);
    for (std::size_t i = 1; i < paths.size(); ++i)
        EXPECT_EQ(group.Verdict(i), i == 4 ? KeepReason::Differs : KeepReason::None) << i;
}

TEST(Reverify, EveryFileIsReadOnce)
{
    TempDir dir;
    const std::string content = RandomBytes(1 << 20, 1);
    std::string late = content;
    late[(1 << 20) - 1] = '#';
    std::vector<std::string> paths = Copies(dir, content, { "a", "b", "d" });
    paths.insert(paths.begin() + 2, dir.Write("c", late));
    const std::uint64_t before = BytesRead();
    GroupReverify group(paths, { false, true, true, true });
    const std::uint64_t read = BytesRead() - before;
    EXPECT_EQ(group.Verdict(1), KeepReason::None);
    EXPECT_EQ(group.Verdict(2), KeepReason::Differs);
    EXPECT_LE(read, 4u * (1 << 20) + 4096);
    EXPECT_GE(read, 4u * (1 << 20));
}

TEST(Reverify, SharedHolesAreSkippedUnread)
{
    TempDir dir;
    constexpr std::uint64_t kSize = 1ULL << 30;
    const std::string a = MakeSparse(dir, "a", kSize, 'x');
    const std::string b = MakeSparse(dir, "b", kSize, 'x');
    const std::string c = MakeSparse(dir, "c", kSize, 'y');
    {
        const int fd = open(a.c_str(), O_RDONLY);
        const off_t data = lseek(fd, 0, SEEK_DATA);
        close(fd);
        if (data <= 0)
            GTEST_SKIP() << "the file system does not report holes";
    }
    const std::uint64_t before = BytesRead();
    GroupReverify group({ a, b, c }, { false, true, true });
    EXPECT_EQ(group.Verdict(1), KeepReason::None);
    EXPECT_EQ(group.Verdict(2), KeepReason::Differs);
    EXPECT_LT(BytesRead() - before, 64u << 20);
}
