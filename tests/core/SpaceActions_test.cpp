#include "check/Journal.h"
#include "check/SpaceClean.h"
#include "check/Undo.h"
#include "scan/SpaceActions.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace Files;
namespace fs = std::filesystem;

namespace {

FileIdentity IdentityAt(const std::string& path)
{
    Platform::FileStatus status;
    Platform::StatFile(path, status, false);
    return IdentityOf(status);
}

struct stat StatOf(const std::string& path)
{
    struct stat st { };
    lstat(path.c_str(), &st);
    return st;
}

// The free bytes of folder's file system once everything written to it is on disk.
std::uint64_t FreeBytes(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    syncfs(fd);
    struct statvfs vfs { };
    fstatvfs(fd, &vfs);
    close(fd);
    return static_cast<std::uint64_t>(vfs.f_bfree) * vfs.f_frsize;
}

void SetTimes(const std::string& path, std::int64_t atime, std::int64_t mtime, long nanoseconds)
{
    const struct timespec times[2] = { { atime, nanoseconds }, { mtime, nanoseconds + 1 } };
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// "" when path holds content with mode and the modification time SetTimes gave with
// nanoseconds 1, else what differs.
std::string Differences(const std::string& path, const std::string& content, mode_t mode, std::int64_t mtime)
{
    const struct stat st = StatOf(path);
    std::string report;
    // Read in one piece: the test's files are large for a byte-wise read.
    std::string bytes(content.size() + 1, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes != content)
        report += path + ": other bytes; ";
    if ((st.st_mode & 07777) != mode)
        report += path + ": mode " + std::to_string(st.st_mode & 07777) + "; ";
    if (st.st_mtim.tv_sec != mtime || st.st_mtim.tv_nsec != 2)
        report += path + ": mtime " + std::to_string(st.st_mtim.tv_sec) + "; ";
    return report;
}

// A fresh XFS image that shares blocks, made for each test and mounted only inside its
// child; skipped where the machine cannot.
class OnXfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0 || std::system("command -v mkfs.xfs >/dev/null") != 0)
            GTEST_SKIP() << "needs root and mkfs.xfs (xfsprogs)";
        const std::string image = dir / "xfs.img";
        if (std::system(("truncate -s 300M " + image + " && mkfs.xfs -q -m reflink=1 " + image).c_str()) != 0)
            GTEST_SKIP() << "mkfs.xfs failed";
        mount = dir.MakeDir("mnt");
    }
    // Mounts the image on mount in a mount namespace of the calling child's own.
    bool Mount() const
    {
        return unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && MountAgain();
    }
    bool MountAgain() const { return std::system(("mount -o loop " + dir / "xfs.img " + mount).c_str()) == 0; }
    TempDir dir;
    std::string mount;
};

} // namespace

TEST_F(OnXfs, SharingAndHardLinksFreeTheSpaceKeepEveryPathsBytesAndUndo)
{
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        if (!Mount())
            return "SKIP: cannot mount the image";
        // Past one request of the kernel (16 MiB), ending in a partial block.
        const std::string small = RandomBytes(1 << 20, 2);
        std::string big;
        for (int k = 0; k < 16; ++k)
            big += small;
        big += "tail";
        const std::string keptBig = mount + "/keep/big";
        const std::string keptSmall = mount + "/keep/small";
        const std::string shared = mount + "/copies/big";
        const std::string linked = mount + "/copies/small";
        fs::create_directories(mount + "/keep");
        fs::create_directories(mount + "/copies");
        for (const auto& [path, content] : { std::pair(keptBig, big), std::pair(shared, big),
                 std::pair(keptSmall, small), std::pair(linked, small) }) {
            std::ofstream(path, std::ios::binary) << content;
            chmod(path.c_str(), 0640);
            SetTimes(path, 1500000000, 1600000000, 1);
        }
        SetTimes(keptSmall, 1500000000, 1700000000, 1);
        const struct stat sharedBefore = StatOf(shared);
        const std::uint64_t freeBefore = FreeBytes(mount);

        std::string report;
        const ActionResult share = ShareBlocksWith(shared, IdentityAt(shared), keptBig, IdentityAt(keptBig));
        if (share.outcome != ActionOutcome::Done || share.bytesShared != big.size() || share.bytesFreed != big.size())
            report += std::string("share: ") + ActionOutcomeWord(share.outcome) + "; ";
        // Shared again, the kernel counts every byte, but nothing more is freed.
        const ActionResult again = ShareBlocksWith(shared, IdentityAt(shared), keptBig, IdentityAt(keptBig));
        if (again.outcome != ActionOutcome::Done || again.bytesFreed != 0)
            report += "shared again: " + std::to_string(again.bytesFreed) + " bytes freed; ";
        const FileIdentity keptIdentity = IdentityAt(keptSmall);
        const ActionResult link = ReplaceWithHardLink(linked, IdentityAt(linked), keptSmall, keptIdentity);
        if (link.outcome != ActionOutcome::Done || !link.leftover.empty())
            report += std::string("link: ") + ActionOutcomeWord(link.outcome) + "; ";
        // The blocks of an unlinked file are freed in the background: mounting again
        // waits for that.
        if (std::system(("umount " + mount).c_str()) != 0 || !MountAgain())
            return report + "cannot mount the image again";
        const std::uint64_t gained = FreeBytes(mount) - freeBefore;
        if (gained < big.size() + small.size() - (64 << 10))
            report += "only " + std::to_string(gained) + " bytes freed; ";

        // The shared file is itself still: name, inode, mode and times.
        const struct stat sharedAfter = StatOf(shared);
        if (sharedAfter.st_ino != sharedBefore.st_ino)
            report += "sharing changed the inode; ";
        report += Differences(shared, big, 0640, 1600000000) + Differences(keptBig, big, 0640, 1600000000);
        if (sharedAfter.st_atim.tv_sec != 1500000000)
            report += "sharing changed the access time; ";
        if (StatOf(linked).st_ino != StatOf(keptSmall).st_ino || Content(linked) != small)
            report += "the link does not lead to the kept file; ";
        if (std::distance(fs::directory_iterator(mount + "/copies"), fs::directory_iterator()) != 2)
            report += "a temporary name stayed; ";

        // Undo: the link becomes a file of its own as it was; sharing needs nothing. The
        // second mount may have taken another loop device (tests run side by side), and
        // with it another device number: the records take the one the files have now.
        Platform::FileStatus linkedBefore = link.before;
        FileIdentity keptNow = keptIdentity;
        linkedBefore.device = keptNow.device = static_cast<std::uint64_t>(StatOf(keptSmall).st_dev);
        const std::vector<Check::JournalRecord> records {
            Check::MakeJournalRecord(Check::JournalAction::Reflink, shared, share.before, "", keptBig),
            Check::MakeJournalRecord(Check::JournalAction::HardLink, linked, linkedBefore, "", keptSmall, keptNow),
        };
        for (int round = 0; round < 2; ++round) {
            const Check::UndoResult undone = Check::UndoJournal(records);
            const Check::UndoOutcome expected = round == 0 ? Check::UndoOutcome::Restored : Check::UndoOutcome::AlreadyBack;
            if (undone.files[0].outcome != Check::UndoOutcome::NothingToUndo || undone.files[1].outcome != expected)
                report += std::string("undo ") + std::to_string(round) + ": "
                    + Check::UndoOutcomeWord(undone.files[1].outcome) + "; ";
        }
        if (StatOf(linked).st_ino == StatOf(keptSmall).st_ino)
            report += "undo left the link; ";
        report += Differences(linked, small, 0640, 1600000000) + Differences(keptSmall, small, 0640, 1700000000);
        return report;
    }));
}

TEST_F(OnXfs, AFileChangedOrUnequalSinceTheCheckIsLeftAloneByEveryAction)
{
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        if (!Mount())
            return "SKIP: cannot mount the image";
        std::string report;
        const auto expect = [&](const char* what, const ActionResult& result, ActionOutcome outcome) {
            if (result.outcome != outcome)
                report += std::string(what) + ": " + ActionOutcomeWord(result.outcome) + "; ";
        };
        const std::string kept = mount + "/kept";
        std::ofstream(kept) << "same bytes";
        const FileIdentity keptIdentity = IdentityAt(kept);
        // Recorded as a copy, then written to: same size, another time.
        const auto changed = [&](const std::string& name) {
            const std::string path = mount + "/" + name;
            std::ofstream(path) << "same bytes";
            SetTimes(path, 1, 1, 0);
            const FileIdentity identity = IdentityAt(path);
            std::ofstream(path) << "SAME BYTES";
            return std::pair(path, identity);
        };
        const auto [c1, i1] = changed("c1");
        expect("share changed", ShareBlocksWith(c1, i1, kept, keptIdentity), ActionOutcome::Changed);
        const auto [c2, i2] = changed("c2");
        expect("link changed", ReplaceWithHardLink(c2, i2, kept, keptIdentity), ActionOutcome::Changed);
        const auto [c3, i3] = changed("c3");
        expect("move changed", MoveAside(c3, i3, mount + "/aside"), ActionOutcome::Changed);
        const auto [c4, i4] = changed("c4");
        expect("trash changed", TrashFile(c4, i4), ActionOutcome::Changed);
        for (const std::string& path : { c1, c2, c3, c4 }) {
            if (Content(path) != "SAME BYTES")
                report += path + " was touched; ";
        }

        // Unequal bytes under an unchanged identity (a group that was wrong): the kernel
        // refuses to share, the link compares first.
        const std::string other = mount + "/other";
        std::ofstream(other) << "else bytes";
        expect("share differs", ShareBlocksWith(other, IdentityAt(other), kept, keptIdentity), ActionOutcome::Differs);
        expect("link differs", ReplaceWithHardLink(other, IdentityAt(other), kept, keptIdentity), ActionOutcome::Differs);
        if (Content(other) != "else bytes" || StatOf(other).st_nlink != 1)
            report += "the unequal file was touched; ";

        // The kept file changed since the check.
        const std::string copy = mount + "/copy";
        std::ofstream(copy) << "same bytes";
        SetTimes(kept, 2, 2, 0);
        expect("share kept changed", ShareBlocksWith(copy, IdentityAt(copy), kept, keptIdentity), ActionOutcome::KeptChanged);
        expect("link kept changed", ReplaceWithHardLink(copy, IdentityAt(copy), kept, keptIdentity),
            ActionOutcome::KeptChanged);
        if (std::distance(fs::directory_iterator(mount), fs::directory_iterator()) != 7)
            report += "a temporary name stayed; ";
        return report;
    }));
}

TEST_F(OnXfs, AFailureRightBeforeTheSwapLeavesTheFileAsItWas)
{
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        if (!Mount())
            return "SKIP: cannot mount the image";
        if (!DropFileCapabilities())
            return "SKIP: cannot drop capabilities";
        const std::string folder = mount + "/f";
        fs::create_directories(folder);
        const std::string kept = mount + "/kept";
        const std::string copy = folder + "/copy";
        std::ofstream(kept) << "bytes";
        std::ofstream(copy) << "bytes";
        const ino_t inode = StatOf(copy).st_ino;
        std::string report;
        // The folder turns read-only between the link and the swap.
        const ActionResult locked = ReplaceWithHardLink(
            copy, IdentityAt(copy), kept, IdentityAt(kept), [&] { chmod(folder.c_str(), 0555); });
        if (locked.outcome != ActionOutcome::Failed || locked.error != Platform::Error::AccessDenied)
            report += std::string("read-only folder: ") + ActionOutcomeWord(locked.outcome) + "; ";
        if (StatOf(copy).st_ino != inode || Content(copy) != "bytes")
            report += "the file changed; ";
        // The temporary link, which cannot go either, is named and is the kept file.
        if (locked.leftover.empty() || StatOf(locked.leftover).st_ino != StatOf(kept).st_ino)
            report += "no leftover named: " + locked.leftover + "; ";
        chmod(folder.c_str(), 0755);
        fs::remove(locked.leftover);

        // Written to between the link and the swap: the link goes again.
        const ActionResult written = ReplaceWithHardLink(copy, IdentityAt(copy), kept, IdentityAt(kept),
            [&] { std::ofstream(copy, std::ios::app) << "!"; });
        if (written.outcome != ActionOutcome::Changed || Content(copy) != "bytes!" || StatOf(copy).st_ino != inode)
            report += "a file written before the swap was replaced; ";
        if (std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1)
            report += "the temporary link stayed; ";
        return report;
    }));
}

TEST(SpaceActions, ShareBlocksIsNotSupportedOnExt4OrTmpfsAndALinkNeedsTheKeptFilesAttributes)
{
    TempDir disk;
    TempDir shm("/dev/shm");
    for (const TempDir* dir : { &disk, &shm }) {
        const std::string kept = dir->Write("kept", "bytes");
        const std::string copy = dir->Write("copy", "bytes");
        const ActionResult result = ShareBlocksWith(copy, IdentityAt(copy), kept, IdentityAt(kept));
        EXPECT_EQ(result.outcome, ActionOutcome::NotSupported) << dir->Path() << " " << result.error.code;
        EXPECT_EQ(Content(copy), "bytes");
    }
    // Across file systems neither sharing nor a link can be.
    const std::string kept = disk / "kept";
    const std::string elsewhere = shm / "copy";
    EXPECT_EQ(ReplaceWithHardLink(elsewhere, IdentityAt(elsewhere), kept, IdentityAt(kept)).outcome,
        ActionOutcome::OtherFileSystem);

    const std::string copy = disk / "copy";
    chmod(copy.c_str(), 0600);
    EXPECT_EQ(ReplaceWithHardLink(copy, IdentityAt(copy), kept, IdentityAt(kept)).outcome, ActionOutcome::AttributesDiffer);
    chmod(copy.c_str(), StatOf(kept).st_mode & 07777);
    ASSERT_EQ(setxattr(copy.c_str(), "user.note", "x", 1, 0), 0);
    EXPECT_EQ(ReplaceWithHardLink(copy, IdentityAt(copy), kept, IdentityAt(kept)).outcome, ActionOutcome::AttributesDiffer);
    ASSERT_EQ(removexattr(copy.c_str(), "user.note"), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(copy.c_str(), 65534, static_cast<gid_t>(-1)), 0);
        EXPECT_EQ(ReplaceWithHardLink(copy, IdentityAt(copy), kept, IdentityAt(kept)).outcome,
            ActionOutcome::AttributesDiffer);
    }
    EXPECT_EQ(StatOf(copy).st_nlink, 1U);
    EXPECT_EQ(Content(copy), "bytes");
}

TEST(SpaceActions, UndoPutsBackTrashedMovedAndLinkedFilesAndNeverReplacesOne)
{
    TempDir dir;
    TempDir shm("/dev/shm");
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        const std::string kept = dir.Write("kept.jpg", "photo");
        chmod(kept.c_str(), 0640);
        std::vector<std::string> paths;
        for (const char* name : { "a/trashed.jpg", "b/trashed.jpg", "a/moved.jpg", "a/far.jpg", "b/linked.jpg" }) {
            paths.push_back(dir.Write(name, "photo"));
            chmod(paths.back().c_str(), 0640);
            SetTimes(paths.back(), 1000, 2000, 1);
        }
        // Extended attributes the link kept and undo gives back.
        for (const std::string& path : { kept, paths[4] })
            setxattr(path.c_str(), "user.note", "n", 1, 0);
        std::string report;
        std::vector<Check::JournalRecord> records;
        const auto note = [&](Check::JournalAction action, const std::string& path, const ActionResult& result) {
            if (result.outcome != ActionOutcome::Done)
                report += path + ": " + ActionOutcomeWord(result.outcome) + " " + result.message + "; ";
            records.push_back(Check::MakeJournalRecord(action, path, result.before, result.went, kept, IdentityAt(kept)));
        };
        // Two trashed files of one name, each found as its own entry.
        note(Check::JournalAction::Trash, paths[0], TrashFile(paths[0], IdentityAt(paths[0])));
        note(Check::JournalAction::Trash, paths[1], TrashFile(paths[1], IdentityAt(paths[1])));
        note(Check::JournalAction::Move, paths[2], MoveAside(paths[2], IdentityAt(paths[2]), dir / "aside"));
        note(Check::JournalAction::Move, paths[3], MoveAside(paths[3], IdentityAt(paths[3]), shm.Path()));
        note(Check::JournalAction::HardLink, paths[4],
            ReplaceWithHardLink(paths[4], IdentityAt(paths[4]), kept, IdentityAt(kept)));
        if (records[0].went == records[1].went || !fs::exists(records[1].went))
            report += "trash entries: " + records[0].went + " " + records[1].went + "; ";
        if (records[2].went != dir / "aside" + paths[2] || records[3].went != shm.Path() + paths[3])
            report += "moved to " + records[2].went + " and " + records[3].went + "; ";
        // The folder on the way is gone too: undo makes it again.
        fs::remove_all(dir / "a");

        // Through a journal file, as undo reads it.
        Check::Journal journal;
        if (!journal.CreateIn(dir / "state").Ok())
            return report + "no journal";
        for (const Check::JournalRecord& record : records)
            journal.Append(record);
        journal.Close();
        Check::JournalContents contents;
        Check::ReadJournal(journal.Path(), contents);
        if (contents.records.size() != records.size())
            return report + "journal read back " + std::to_string(contents.records.size()) + " records";
        for (int round = 0; round < 2; ++round) {
            for (const Check::UndoneFile& file : Check::UndoJournal(contents.records).files) {
                const auto expected = round == 0 ? Check::UndoOutcome::Restored : Check::UndoOutcome::AlreadyBack;
                if (file.outcome != expected)
                    report += file.path + ": " + Check::UndoOutcomeWord(file.outcome) + "; ";
            }
        }
        for (const std::string& path : paths)
            report += Differences(path, "photo", 0640, 2000);
        char value[8] = {};
        if (StatOf(paths[4]).st_ino == StatOf(kept).st_ino || getxattr(paths[4].c_str(), "user.note", value, sizeof value) != 1)
            report += "still linked, or without its extended attribute; ";
        if (!fs::is_empty(dir / "data/Trash/info") || !fs::is_empty(dir / "data/Trash/files"))
            report += "the trash kept entries; ";

        // A file at the path now stays, and so does the trashed one.
        const ActionResult again = TrashFile(paths[0], IdentityAt(paths[0]));
        dir.Write("a/trashed.jpg", "newer");
        const Check::UndoneFile refused = Check::UndoRecord(
            Check::MakeJournalRecord(Check::JournalAction::Trash, paths[0], again.before, again.went));
        if (refused.outcome != Check::UndoOutcome::Occupied || Content(paths[0]) != "newer"
            || Content(again.went) != "photo")
            report += std::string("over a new file: ") + Check::UndoOutcomeWord(refused.outcome) + "; ";
        return report;
    }));
}

TEST(SpaceActions, MoveAsideKeepsTheFullPathAndNeverReplaces)
{
    TempDir dir;
    const std::string file = dir.Write("p/a.jpg", "alpha");
    const std::string cwd = fs::current_path();
    fs::current_path(dir.Path());
    EXPECT_EQ(AsidePath("p/./x/../a.jpg", "/aside/"), "/aside" + dir.Path() + "/p/a.jpg");
    fs::current_path(cwd);
    EXPECT_EQ(AsidePath("/home/me/a.jpg", "/"), "/home/me/a.jpg");

    dir.Write("aside" + file, "taken");
    const ActionResult taken = MoveAside(file, IdentityAt(file), dir / "aside");
    EXPECT_EQ(taken.outcome, ActionOutcome::TargetTaken);
    EXPECT_EQ(Content(file), "alpha");
    EXPECT_EQ(Content(dir / "aside" + file), "taken");
}

TEST(SpaceActions, UndoingALinkOnAFullVolumeKeepsTheLink)
{
    TempDir dir;
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        if (!MountPrivateTmpfs(dir.Path(), "1m"))
            return "SKIP: cannot mount a private tmpfs";
        const std::string content = RandomBytes(300 << 10, 3);
        const std::string kept = dir.Write("kept", content);
        const std::string copy = dir.Write("copy", content);
        const FileIdentity keptIdentity = IdentityAt(kept);
        const ActionResult linked = ReplaceWithHardLink(copy, IdentityAt(copy), kept, keptIdentity);
        dir.Write("filler", RandomBytes(700 << 10, 4));
        const Check::UndoneFile undone = Check::UndoRecord(
            Check::MakeJournalRecord(Check::JournalAction::HardLink, copy, linked.before, "", kept, keptIdentity));
        std::string report;
        if (linked.outcome != ActionOutcome::Done || undone.outcome != Check::UndoOutcome::Failed
            || undone.error != Platform::Error::DiskFull)
            report += std::string("undo on a full volume: ") + Check::UndoOutcomeWord(undone.outcome) + "; ";
        if (StatOf(copy).st_ino != StatOf(kept).st_ino || Content(copy) != content)
            report += "the link changed; ";
        if (std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()) != 3)
            report += "a partial copy stayed; ";
        return report;
    }));
}

TEST(SpaceClean, EachStepIsJournaledAtOnceAndCountsTheSpaceItGaveBack)
{
    TempDir dir;
    const auto found = [](const std::string& path) {
        Platform::FileInfo info;
        Platform::Stat(path, info);
        return Check::FoundFile { path, Platform::StampOf(info) };
    };
    const Check::FoundFile kept = found(dir.Write("kept", "twelve bytes"));
    const Check::FoundFile single = found(dir.Write("single", "twelve bytes"));
    const Check::FoundFile named = found(dir.Write("named", "twelve bytes"));
    // A file with a second name outside the clean keeps its blocks when linked.
    ASSERT_EQ(link(named.path.c_str(), (dir / "other name").c_str()), 0);
    const Check::FoundFile moved = found(dir.Write("sub/moved", "twelve bytes"));
    ASSERT_EQ(link(kept.path.c_str(), (dir / "kept again").c_str()), 0);
    const Check::FoundFile keptAgain = found(dir / "kept again");
    Check::Journal journal;
    ASSERT_TRUE(journal.Create(dir / "journal.jsonl").Ok());
    const std::string aside = dir / "aside";
    const auto act = [&](Check::JournalAction action, const Check::FoundFile& going, const Check::FoundFile& keep) {
        return Check::ActOnFile(action, going, keep, aside, &journal);
    };

    Check::SpaceStep step = act(Check::JournalAction::HardLink, single, kept);
    EXPECT_EQ(step.result.outcome, ActionOutcome::Done);
    EXPECT_EQ(step.bytesFreed, 12U);
    step = act(Check::JournalAction::HardLink, named, kept);
    EXPECT_EQ(step.result.outcome, ActionOutcome::Done);
    EXPECT_EQ(step.bytesFreed, 0U);
    // A second name of the kept file never goes aside; nor does a file whose kept file
    // changed.
    EXPECT_EQ(act(Check::JournalAction::Move, keptAgain, kept).result.outcome, ActionOutcome::SameFile);
    Check::FoundFile keptThen = kept;
    keptThen.stamp.size = 11;
    EXPECT_EQ(act(Check::JournalAction::Move, moved, keptThen).result.outcome, ActionOutcome::KeptChanged);
    step = act(Check::JournalAction::Move, moved, kept);
    EXPECT_EQ(step.result.outcome, ActionOutcome::Done);
    EXPECT_EQ(step.bytesFreed, 0U);
    EXPECT_EQ(Content(AsidePath(moved.path, aside)), "twelve bytes");
    // Removals belong to the removal flow: nothing happens here.
    EXPECT_EQ(act(Check::JournalAction::Trash, keptAgain, kept).result.outcome, ActionOutcome::Failed);
    EXPECT_TRUE(fs::exists(keptAgain.path));

    // The records are in the file before Close.
    Check::JournalContents contents;
    ASSERT_TRUE(Check::ReadJournal(journal.Path(), contents).Ok());
    ASSERT_EQ(contents.records.size(), 3U);
    EXPECT_EQ(contents.records[0].path, single.path);
    EXPECT_EQ(contents.records[1].action, Check::JournalAction::HardLink);
    EXPECT_EQ(contents.records[2].action, Check::JournalAction::Move);
    EXPECT_EQ(contents.records[2].went, AsidePath(moved.path, aside));
    EXPECT_EQ(contents.records[2].keptIdentity, IdentityOf(kept.stamp));
    journal.Close();

    // A removal's record: the trash entry is looked up.
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        const Check::FoundFile trashed = found(dir.Write("trashed", "twelve bytes"));
        if (!Platform::MoveToTrash(trashed.path).Ok())
            return "SKIP: no trash here";
        const Check::JournalRecord record
            = Check::RemovalRecord(Check::JournalAction::Trash, trashed, nullptr, kept);
        if (record.went.empty() || Content(record.went) != "twelve bytes" || record.identity != IdentityOf(trashed.stamp))
            return "trash entry: " + record.went;
        return Check::UndoRecord(record).outcome == Check::UndoOutcome::Restored ? "" : "not restored";
    }));
}

TEST(Journal, RecordsReadBackExactlyAndListNewestFirst)
{
    Check::JournalRecord record;
    record.action = Check::JournalAction::Move;
    record.path = std::string("/t/a\xE9\n\"b\\.jpg");
    record.identity = { 18446744073709551615ULL, 42, 7, { -86400, 999999999 } };
    record.accessed = { 1, 2 };
    record.permissions = 04755;
    record.owner = 1000;
    record.group = 100;
    record.kept = "/t/写真.jpg";
    record.keptIdentity = { 3, 4, 7, { 32503680000, 0 } };
    record.went = "/aside/t/a\xE9\n\"b\\.jpg";
    record.time = "2024-05-01T00:30:00Z";
    const std::string line = Check::JournalLine(record);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const std::optional<Check::JournalRecord> back = Check::ParseJournalLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->path, record.path);
    EXPECT_EQ(back->went, record.went);
    EXPECT_EQ(back->kept, record.kept);
    EXPECT_EQ(back->identity, record.identity);
    EXPECT_EQ(back->keptIdentity, record.keptIdentity);
    EXPECT_EQ(back->accessed, record.accessed);
    EXPECT_EQ(back->permissions, record.permissions);
    EXPECT_EQ(back->owner, record.owner);
    EXPECT_EQ(back->group, record.group);
    EXPECT_EQ(back->action, record.action);
    for (const std::string& bad : { line.substr(0, line.size() - 9), std::string("{}"), std::string("garbage") })
        EXPECT_FALSE(Check::ParseJournalLine(bad)) << bad;

    TempDir dir;
    dir.Write("old.jsonl", line + "\n" + line + "\n");
    record.time = "2025-01-01T00:00:00Z";
    record.action = Check::JournalAction::HardLink;
    dir.Write("new.jsonl", Check::JournalLine(record) + "\n{\"cut short\n");
    dir.Write("notes.txt", line + "\n");
    const std::vector<Check::JournalSummary> listed = Check::ListJournals(dir.Path());
    ASSERT_EQ(listed.size(), 2U);
    EXPECT_EQ(listed[0].path, dir / "new.jsonl");
    EXPECT_EQ(listed[0].actions, "hardlink");
    EXPECT_EQ(listed[0].count, 1U);
    EXPECT_EQ(listed[1].time, "2024-05-01T00:30:00Z");
    EXPECT_EQ(listed[1].count, 2U);
    Check::JournalContents contents;
    ASSERT_TRUE(Check::ReadJournal(dir / "new.jsonl", contents).Ok());
    EXPECT_EQ(contents.badLines, 1U);
    // First records of one second: the names tell which journal was made last, also
    // when it was named a second later than the other.
    for (const char* name : { "s/clean-20250101-000000-9.jsonl", "s/clean-20250101-000000-10.jsonl",
             "s/clean-20250101-000001.jsonl", "s/clean-20250101-000000.jsonl" })
        dir.Write(name, Check::JournalLine(record) + "\n");
    const std::vector<Check::JournalSummary> oneSecond = Check::ListJournals(dir / "s");
    ASSERT_EQ(oneSecond.size(), 4U);
    EXPECT_EQ(oneSecond[0].path, dir / "s/clean-20250101-000001.jsonl");
    EXPECT_EQ(oneSecond[1].path, dir / "s/clean-20250101-000000-10.jsonl");
    EXPECT_EQ(oneSecond[3].path, dir / "s/clean-20250101-000000.jsonl");

    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        if (Check::DefaultJournalFolder() != dir / "state/tessarin")
            return "XDG_STATE_HOME: " + Check::DefaultJournalFolder();
        setenv("XDG_STATE_HOME", "relative", 1);
        setenv("HOME", dir.Path().c_str(), 1);
        if (Check::DefaultJournalFolder() != dir / ".local/state/tessarin")
            return "default: " + Check::DefaultJournalFolder();
        Check::Journal first;
        Check::Journal second;
        if (!first.CreateIn(Check::DefaultJournalFolder()).Ok() || !second.CreateIn(Check::DefaultJournalFolder()).Ok()
            || first.Path() == second.Path())
            return "two journals of one second: " + first.Path() + " " + second.Path();
        // Listed newest first, also within one second (same time in both records).
        first.Append(record);
        second.Append(record);
        const std::vector<Check::JournalSummary> both = Check::ListJournals(Check::DefaultJournalFolder());
        if (both.size() != 2 || both[0].path != second.Path())
            return "the second journal of one second is not listed first";
        return (StatOf(first.Path()).st_mode & 0777) == 0600 ? "" : "the journal is readable by others";
    }));
}
