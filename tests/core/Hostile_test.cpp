// Hostile input through the core: unreadable, vanishing and changing files, odd names,
// paths near and past PATH_MAX, huge folders, link loops, FIFOs, sockets and devices,
// and 5 GiB sparse files. Every case checks the result or the message, that nothing
// hangs, and that no file of the fixture was lost or altered.
#include "check/CheckRun.h"
#include "check/CleanPlan.h"
#include "scan/CandidatePaths.h"
#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "scan/Platform.h"

#include "support/BytesRead.h"
#include "support/HostileFixture.h"
#include "support/CheckOracle.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <csignal>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace FileScan;
using namespace Files;
using CheckOracle::EngineCheck;
using CheckOracle::Outcome;
using CheckOracle::PairwiseCheck;
using namespace Hostile;

namespace {

// Collects the failures of checks made in a child process.
class Report {
public:
    template <typename A, typename B> void Eq(const A& actual, const B& expected, const std::string& what)
    {
        if (!(actual == expected)) {
            m_text += what + ": got " + ::testing::PrintToString(actual) + ", expected "
                + ::testing::PrintToString(expected) + "\n";
        }
    }
    void True(bool condition, const std::string& what)
    {
        if (!condition)
            m_text += what + "\n";
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// True when every entry of before is still accounted for after a run: in the list or
// as a removed duplicate (a child after the first) in the tree.
bool EntriesConserved(const std::vector<std::string>& before, const Outcome& after)
{
    std::multiset<std::string> seen(after.list.begin(), after.list.end());
    for (const auto& group : after.groups) {
        if (group.children.empty())
            return false;
        seen.insert(group.children.begin() + 1, group.children.end());
    }
    return seen == std::multiset<std::string>(before.begin(), before.end());
}

} // namespace

// ---------------------------------------------------------------------------------------
// Files the user may not read.

TEST(HostileUnreadable, CheckNamesTheFileScanSkipsTheFolderAndNothingChanges)
{
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "same bytes");
    const std::string b = fx.Write("b.jpg", "same bytes");
    const std::string secret = fx.Write("secret.jpg", "same bytes");
    const std::string hiddenDir = fx.MakeDir("locked");
    fx.Write("locked/inner.jpg", "inner");
    const std::string roDir = fx.MakeDir("readonly");
    const std::string kept = fx.Write("readonly/kept.jpg", "kept");
    chmod(secret.c_str(), 0);
    chmod(hiddenDir.c_str(), 0);
    chmod(roDir.c_str(), 0555);
    const auto before = fx.Manifest();

    EXPECT_CHILD_OK(InChildAsUser([&] {
        if (access(secret.c_str(), R_OK) == 0)
            return std::string("SKIP: permission bits do not bind here");
        Report r;
        // Listing needs no read permission on the file; a folder that cannot be
        // listed contributes nothing and raises nothing, and is named when asked for.
        std::vector<std::string> listed;
        std::vector<UnreadFolder> unread;
        AddFolderTreeFiles(fx.Path(), "*.jpg", listed, nullptr, &unread);
        r.Eq(Sorted(listed), Sorted({ a, b, secret, kept }), "tree scan");
        r.True(unread.size() == 1 && unread[0].path == hiddenDir
                && unread[0].error == Platform::Error::AccessDenied,
            "the locked folder is not named alone");
        std::vector<std::string> folders;
        unread.clear();
        ListSubFolders(hiddenDir, folders, &unread);
        AddFolderFiles(hiddenDir, "*.*", listed, nullptr, &unread);
        r.True(unread.size() == 2 && unread[1].path == hiddenDir, "the locked folder given is not named");

        // The check meets secret as b, after a and b are grouped.
        r.Eq(ErrorOf([&] { SameFileContent(secret, a); }), OpenErrorText(secret), "secret as a");
        const std::vector<std::string> entries { a, secret, b };
        const Outcome engine = EngineCheck(entries);
        r.Eq(engine, PairwiseCheck(entries), "check with an unreadable file");
        r.Eq(engine.error, OpenErrorText(secret), "check error text");

        // Single-file commands in a folder that refuses changes: a message, nothing lost.
        r.Eq(ErrorOf([&] { RenameFile(kept, roDir + "/renamed.jpg"); }), std::string("File access denied"),
            "rename in a read-only folder");
        const Platform::Status removed = RemoveFileNow(kept);
        r.Eq(removed.error, Platform::Error::AccessDenied, "delete in a read-only folder");
        r.Eq(removed.code, EACCES, "errno of the delete in a read-only folder");
        r.Eq(ErrorOf([&] { MoveFileToFolder(kept, fx.Path()); }), std::string("File access denied"),
            "move out of a read-only folder");
        r.True(ErrorOf([&] { MoveFileToFolder(a, roDir); }) != "(no error)", "move into a read-only folder");
        return r.Text();
    }));
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

TEST(HostileUnreadable, UnreadableSourceOfACrossDeviceMoveStaysWhereItIs)
{
    Fixture fx;
    const TempDir shm("/dev/shm");
    if (!OnDifferentFileSystems(fx.Path(), shm.Path()))
        GTEST_SKIP() << "no second file system at /dev/shm";
    const std::string& target = shm.Path();
    const std::string secret = fx.Write("secret.jpg", "private");
    chmod(secret.c_str(), 0);
    const auto before = fx.Manifest();

    EXPECT_CHILD_OK(InChildAsUser([&] {
        Report r;
        r.Eq(ErrorOf([&] { MoveFileToFolder(secret, target); }), OpenErrorText(secret), "move error");
        r.True(!Platform::Exists(target + "/secret.jpg"), "no partial target is left");
        return r.Text();
    }));
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// Files that vanish or change between listing, checking and deleting. (Changed before
// the run, they are what the oracle's random lists hold: other bytes, missing paths.)

TEST(HostileChanging, FilesChangingWhileTheCheckRunsNeverCrashOrLoseEntries)
{
    // The window processes events during the run; whatever the user does to the files
    // meanwhile, the run ends with a result or a message, and the list and the tree
    // still account for every entry.
    for (int variant = 0; variant < 4; ++variant) {
        Fixture fx;
        const std::vector<std::string> entries = WriteChangingSet(fx);
        const auto untouched = [&] { return UntouchedPartOfChangingSet(fx); };
        const auto before = untouched();
        EXPECT_CHILD_OK(InChild([&] {
            CheckOracle::RecordingHost host(entries);
            host.onEvents = [&](CheckOracle::RecordingHost& h) {
                const std::size_t call = h.events;
                const std::string& victim = entries[call % 6];
                if (variant == 0)
                    unlink(victim.c_str());
                else if (variant == 1)
                    std::ofstream(victim, std::ios::binary | std::ios::app) << "x";
                else if ((variant == 2 && truncate(victim.c_str(), 0) != 0) || call == 3)
                    h.Cancel();
            };
            const Outcome out = host.Run();
            Report r;
            r.True(EntriesConserved(entries, out), "entries not conserved");
            r.True(!host.checking, "checking state left on");
            r.True(out.faults.empty(), "host contract broken: " + (out.faults.empty() ? "" : out.faults[0]));
            if (!out.error.empty()) {
                bool namesEntry = false;
                for (const std::string& e : entries)
                    namesEntry = namesEntry || out.error == OpenErrorText(e);
                r.True(namesEntry, "error names no entry: " + out.error);
            }
            for (const auto& group : out.groups)
                r.True(std::find(out.list.begin(), out.list.end(), group.children[0]) != out.list.end(),
                    "first member of " + group.caption + " left the list");
            return r.Text();
        }));
        EXPECT_EQ(ManifestDiff(before, untouched()), "") << "variant " << variant;
    }
}

TEST(HostileChanging, SingleFileCommandsOnFilesThatChangedSinceTheCheck)
{
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "copy");
    const std::string b = fx.Write("b.jpg", "copy");
    const std::string other = fx.MakeDir("other");

    // b vanished: rename and move report it, delete is silent, a stays.
    ASSERT_EQ(unlink(b.c_str()), 0);
    EXPECT_EQ(ErrorOf([&] { RenameFile(b, fx / "b2.jpg"); }), "File not found");
    EXPECT_EQ(ErrorOf([&] { MoveFileToFolder(b, other); }), OpenErrorText(b));
    EXPECT_EQ(RemoveFileNow(b), Platform::Error::NotFound);

    // b came back as a folder: delete refuses it and the folder stays with its file.
    fx.Write("b.jpg/inside.jpg", "inside");
    EXPECT_NE(RemoveFileNow(b), Platform::Error::None);
    EXPECT_TRUE(Platform::IsFile(b + "/inside.jpg"));
    EXPECT_EQ(ErrorOf([&] { MoveFileToFolder(b, other); }), OpenErrorText(b));
    std::filesystem::remove_all(b);

    // b came back as a link to a: deleting b removes the link only.
    ASSERT_EQ(symlink(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(RemoveFileNow(b), Platform::Error::None);
    EXPECT_TRUE(Platform::IsFile(a));

    // A move target that appeared after the check is never replaced.
    fx.Write("other/a.jpg", "someone else's");
    const auto before = fx.Manifest();
    EXPECT_EQ(MoveFileToFolder(a, other), FileOpResult::TargetExists);
    // The folder of the target vanished.
    EXPECT_EQ(ErrorOf([&] { RenameFile(a, fx / "gone/a.jpg"); }), "File not found");
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// A folder scan stopped (SIGSTOP) as soon as it has read the first names of the top
// folder, while tree/vic and every file of the top folder are replaced by links into a
// folder outside: nothing outside may be listed. A run where the scan opened vic before
// it was stopped proves nothing, and is made again.
TEST(HostileChanging, FoldersAndFilesReplacedByLinksMidScanBringNothingFromOutside)
{
    // A memory file system lists the newest name first: vic, made last, is read before
    // the scan is stopped.
    Fixture fx(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string());
    const std::string tree = fx.MakeDir("tree");
    fx.Write("outside/precious.conf", "precious");
    const FileId outsideFile = IdentifyFile(fx / "outside/precious.conf");
    // Names enough for several reads of the folder, so that the scan is still reading
    // it when stopped.
    std::vector<std::string> files;
    for (int k = 0; k < 3000; ++k)
        files.push_back(fx.Write("tree/f" + std::to_string(k) + ".conf", "precious"));
    fx.Write("tree/vic/own.conf", "own");

    for (int attempt = 0;; ++attempt) {
        if (attempt == 5)
            GTEST_SKIP() << "the scan opened vic before it could be stopped, every time";
        const int notes = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(notes, 0);
        const int treeRead = inotify_add_watch(notes, tree.c_str(), IN_ACCESS);
        const int vicOpened = inotify_add_watch(notes, (tree + "/vic").c_str(), IN_OPEN);
        ASSERT_TRUE(treeRead >= 0 && vicOpened >= 0);
        bool late = false;
        const std::string report = InChild(
            [&] {
                std::vector<std::string> out;
                std::vector<ListedFile> listed;
                AddFolderTreeFiles(tree, "*.*", out, &listed);
                std::size_t outside = 0;
                bool throughVic = false;
                for (std::size_t k = 0; k < out.size(); ++k) {
                    outside += listed[k].id == outsideFile ? 1 : 0;
                    throughVic = throughVic || out[k] == tree + "/vic/precious.conf";
                }
                return outside == 0 ? std::string()
                                    : std::to_string(outside) + " files listed from outside"
                        + (throughVic ? ", one through vic" : "");
            },
            60,
            [&](pid_t scan) {
                // Waits for the first read of the top folder, then stops the scan.
                alignas(inotify_event) char events[4096];
                for (bool read = false; !read;) {
                    const ssize_t got = ::read(notes, events, sizeof events);
                    for (ssize_t at = 0; at < got;) {
                        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                        read = read || e->wd == treeRead;
                        late = late || e->wd == vicOpened;
                        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                    }
                    if (got <= 0)
                        return;
                }
                kill(scan, SIGSTOP);
                int status = 0;
                waitpid(scan, &status, WUNTRACED);
                fcntl(notes, F_SETFL, O_NONBLOCK);
                for (ssize_t got; (got = ::read(notes, events, sizeof events)) > 0;) {
                    for (ssize_t at = 0; at < got;) {
                        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                        late = late || e->wd == vicOpened;
                        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                    }
                }
                std::filesystem::rename(tree + "/vic", fx / "vic-away");
                std::filesystem::create_symlink("../outside", tree + "/vic");
                for (const std::string& file : files) {
                    std::filesystem::remove(file);
                    std::filesystem::create_symlink("../outside/precious.conf", file);
                }
                kill(scan, SIGCONT);
            });
        close(notes);
        EXPECT_EQ(report, "");
        if (!late || !report.empty())
            break;
        // Back as it was, vic last, for the next attempt.
        for (const std::string& file : files) {
            std::filesystem::remove(file);
            fx.Write(file.substr(fx.Path().size() + 1), "precious");
        }
        std::filesystem::remove(tree + "/vic");
        std::filesystem::rename(fx / "vic-away", tree + "/vic");
    }
    EXPECT_EQ(Content(fx / "outside/precious.conf"), "precious");
}

TEST(HostileChanging, AFolderSwappedForALinkAfterTheCheckCostsNoFileElsewhere)
{
    // The check groups tree/precious.conf and tree/vic/precious.conf; then tree/vic
    // becomes a link to a folder outside that holds the same name and bytes. The clean
    // that follows finds another file at the path and keeps everything.
    Fixture fx;
    fx.Write("tree/precious.conf", "secret");
    fx.Write("tree/vic/precious.conf", "secret");
    fx.Write("outside/precious.conf", "secret");
    std::vector<std::string> listed;
    AddFolderTreeFiles(fx / "tree", "*.*", listed);
    CheckOracle::RecordingHost host(listed);
    const Outcome checked = host.Run();
    ASSERT_EQ(checked.groups.size(), 1U);
    std::vector<Check::ResultGroup> found(1);
    for (std::size_t k = 0; k < checked.groups[0].children.size(); ++k)
        found[0].files.push_back({ checked.groups[0].children[k], host.stamps[k] });
    std::filesystem::rename(fx / "tree/vic", fx / "vic.away");
    std::filesystem::create_directory_symlink(fx / "outside", fx / "tree/vic");
    const auto before = fx.Manifest();
    for (const Files::RemoveMode mode : { Files::RemoveMode::Delete, Files::RemoveMode::Trash }) {
        EXPECT_CHILD_OK(InChild([&]() -> std::string {
            setenv("XDG_DATA_HOME", (fx / "data").c_str(), 1);
            const Check::RemovalReport result = Check::CarryOutPlan(Check::MakeCleanPlan(found, {}, {}), {}, mode);
            return result.removed == 0 && result.files.size() == 1
                    && result.files[0].reason == Check::KeepReason::Changed
                ? ""
                : "a file went";
        }));
    }
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// Names: invalid UTF-8, control characters, blanks, quotes, Japanese, shell metacharacters.

TEST(HostileNames, OddNamesAreScannedCheckedRenamedAndMovedAsTheirBytes)
{
    Fixture fx;
    const std::vector<std::string> names {
        "\xff\xfe invalid.jpg",
        "\xe5\x86\x99\xe7\x9c\x9f \xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab.jpg",
        "line\nbreak.jpg",
        "carriage\rreturn.jpg",
        "tab\there.jpg",
        "  blanks around  .jpg",
        "it's \"quoted\".jpg",
        "back\\slash.jpg",
        "-rf *?[].jpg",
        "$(echo no) `id`.jpg",
        "semi;colon.jpg",
        "\x81\x5c sjis.jpg",
        "\xed\xa0\x80 surrogate.jpg",
        "trailing dot..jpg",
        "\xe2\x80\xae\x67\x70\x6a.exe.jpg",
    };
    std::vector<std::string> paths;
    for (std::size_t k = 0; k < names.size(); ++k)
        paths.push_back(fx.Write(names[k], "content " + std::to_string(k / 2)));
    // The same names once more inside a folder whose own name is not UTF-8.
    const std::string odd = fx.MakeDir("\xc3\x28 odd\nfolder");
    for (std::size_t k = 0; k < 3; ++k)
        paths.push_back(fx.Write("\xc3\x28 odd\nfolder/" + names[k], "content " + std::to_string(k / 2)));
    const auto before = fx.Manifest();

    std::vector<std::string> listed;
    AddFolderTreeFiles(fx.Path(), "*.jpg", listed);
    EXPECT_EQ(Sorted(listed), Sorted(paths));
    std::vector<std::string> subFolders;
    ListSubFolders(fx.Path(), subFolders);
    EXPECT_EQ(subFolders, (std::vector<std::string> { odd }));

    const Outcome engine = EngineCheck(paths);
    EXPECT_EQ(engine, PairwiseCheck(paths));
    EXPECT_EQ(engine.error, "");
    EXPECT_EQ(engine.groups.size(), 7U) << engine;
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");

    // A vanished odd name appears byte for byte in the message.
    const std::string ghost = fx / "\xff ghost\n.jpg";
    EXPECT_EQ(ErrorOf([&] { SameFileContent(paths[0], ghost); }), "ファイル " + ghost + " は開けません");

    // Rename to an odd name and back, move into the odd folder and back: same bytes.
    const std::string renamed = fx / "\x80\n\"'renamed'\".jpg";
    ASSERT_EQ(RenameFile(paths[1], renamed), FileOpResult::Done);
    ASSERT_EQ(RenameFile(renamed, paths[1]), FileOpResult::Done);
    ASSERT_EQ(MoveFileToFolder(paths[2], odd + "/"), FileOpResult::TargetExists);
    const std::string movedTo = MoveTarget(paths[4], odd);
    ASSERT_EQ(MoveFileToFolder(paths[4], odd), FileOpResult::Done);
    ASSERT_EQ(MoveFileToFolder(movedTo, fx.Path()), FileOpResult::Done);
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// Paths of 4,000 bytes, and past PATH_MAX.

TEST(HostileLongPaths, PathsOfFourThousandBytesWorkAndLongerOnesGiveAMessage)
{
    Fixture fx;
    const std::string leaf = "deep.jpg";
    const std::string deepDir = DeepFolder(fx, "d", 4000, leaf.size());
    const std::string deep = deepDir + "/" + leaf;
    ASSERT_EQ(deep.size(), 4000U);
    WriteDeep(fx, deepDir, leaf, "deep content");
    const std::string top = fx.Write("top.jpg", "deep content");
    // And a folder chain that ends past PATH_MAX, holding a copy too.
    const std::string tooDeepDir = DeepFolder(fx, "e", 4300, leaf.size());
    WriteDeep(fx, tooDeepDir, leaf, "deep content");
    const std::string tooDeep = tooDeepDir + "/" + leaf;
    const auto before = fx.Manifest();

    std::vector<std::string> listed;
    std::vector<UnreadFolder> unread;
    AddFolderTreeFiles(fx.Path(), "*.jpg", listed, nullptr, &unread);
    EXPECT_EQ(Sorted(listed), Sorted({ top, deep })) << "the file past PATH_MAX cannot be reached by path";
    ASSERT_EQ(unread.size(), 1U);
    EXPECT_EQ(unread[0].error, Platform::Error::InvalidName);
    EXPECT_TRUE(tooDeepDir.rfind(unread[0].path, 0) == 0 && unread[0].path.size() >= PATH_MAX);

    Outcome engine = EngineCheck({ top, deep });
    EXPECT_EQ(engine, PairwiseCheck({ top, deep }));
    ASSERT_EQ(engine.groups.size(), 1U);
    EXPECT_EQ(engine.groups[0].children, (std::vector<std::string> { top, deep }));

    engine = EngineCheck({ top, tooDeep, deep });
    EXPECT_EQ(engine, PairwiseCheck({ top, tooDeep, deep }));
    EXPECT_EQ(engine.error, OpenErrorText(tooDeep));

    // Rename within the deep folder (same length) and back; move up and back down.
    const std::string renamed = deepDir + "/peed.jpg";
    ASSERT_EQ(RenameFile(deep, renamed), FileOpResult::Done);
    ASSERT_EQ(RenameFile(renamed, deep), FileOpResult::Done);
    const std::string sub = fx.MakeDir("up");
    ASSERT_EQ(MoveFileToFolder(deep, sub), FileOpResult::Done);
    ASSERT_EQ(MoveFileToFolder(sub + "/" + leaf, deepDir), FileOpResult::Done);
    // Into a folder whose joined path would pass PATH_MAX: a message, nothing moved.
    EXPECT_EQ(ErrorOf([&] { MoveFileToFolder(top, tooDeepDir); }), "Invalid filename");
    EXPECT_EQ(ErrorOf([&] { RenameFile(top, tooDeepDir + "/x.jpg"); }), "Invalid filename");
    EXPECT_NE(RemoveFileNow(tooDeep), Platform::Error::None);
    std::filesystem::remove(sub);
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// A folder of 100,000 entries.

TEST(HostileLargeFolder, HundredThousandEntriesAreScannedAndChecked)
{
    // In memory when the machine has a tmpfs there: creating 100,000 files on disk
    // takes several times longer.
    Fixture fx(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string());
    const std::string big = fx.MakeDir("big");
    const int dirFd = open(big.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    constexpr int kCount = 100000;
    std::vector<std::string> expected;
    std::map<std::string, std::string> content;
    expected.reserve(kCount);
    for (int k = 0; k < kCount; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "f%06d.%s", k, k % 2 ? "jpg" : "dat");
        const int f = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(f, 0) << name;
        // A few files carry bytes, so that two groups come out.
        if (k % 10007 == 0) {
            ASSERT_EQ(write(f, "payload", 7), 7);
            content[big + "/" + name] = "payload";
        }
        close(f);
        expected.push_back(big + "/" + name);
    }
    close(dirFd);
    // A subfolder at the end of the enumeration is still walked.
    fx.Write("big/zsub/inner.jpg", "inner");

    std::vector<std::string> all;
    AddFolderFiles(big, "*.*", all);
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kCount));
    std::vector<std::string> sortedAll = all;
    std::sort(sortedAll.begin(), sortedAll.end());
    EXPECT_TRUE(sortedAll == expected);

    std::vector<std::string> jpgs;
    AddFolderTreeFiles(fx.Path(), "*.jpg", jpgs);
    EXPECT_EQ(jpgs.size(), static_cast<std::size_t>(kCount / 2 + 1));
    std::vector<std::string> subFolders;
    ListSubFolders(fx.Path(), subFolders);
    EXPECT_EQ(subFolders, (std::vector<std::string> { big, big + "/zsub" }));

    // The pairwise run over the files in their listed order, modelled in memory.
    const auto truth = [&](const std::string& x, const std::string& y) {
        const auto cx = content.find(x);
        const auto cy = content.find(y);
        return (cx == content.end() ? "" : cx->second) == (cy == content.end() ? "" : cy->second);
    };
    const auto before = fx.Manifest();
    const Outcome engine = EngineCheck(all);
    const Outcome model = PairwiseCheck(all, truth);
    EXPECT_EQ(engine.error, "");
    EXPECT_EQ(engine.list, model.list);
    ASSERT_EQ(engine.groups.size(), 2U);
    EXPECT_TRUE(engine.groups == model.groups);
    EXPECT_EQ(
        engine.groups[0].children.size() + engine.groups[1].children.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// Symbolic link loops and second names of one file.

TEST(HostileLinks, LinkLoopsEndTheScanAndSecondNamesAreNeverTheirOwnDuplicates)
{
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "only copy");
    const std::string sub = fx.MakeDir("sub");
    const std::string b = fx.Write("sub/b.jpg", "other");
    ASSERT_EQ(symlink(".", (fx / "here").c_str()), 0);
    ASSERT_EQ(symlink("..", (fx / "sub/up").c_str()), 0);
    ASSERT_EQ(symlink("self.jpg", (fx / "self.jpg").c_str()), 0);
    ASSERT_EQ(symlink("pong.jpg", (fx / "ping.jpg").c_str()), 0);
    ASSERT_EQ(symlink("ping.jpg", (fx / "pong.jpg").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.jpg", (fx / "dangling.jpg").c_str()), 0);
    ASSERT_EQ(symlink("a.jpg", (fx / "soft.jpg").c_str()), 0);
    ASSERT_EQ(link(a.c_str(), (fx / "hard.jpg").c_str()), 0);
    const auto before = fx.Manifest();

    EXPECT_CHILD_OK(InChild(
        [&] {
            Report r;
            std::vector<std::string> folders;
            ListSubFolders(fx.Path(), folders);
            r.Eq(Sorted(folders), Sorted({ sub }), "subfolders");
            std::vector<std::string> listed;
            AddFolderTreeFiles(fx.Path(), "*.jpg", listed);
            r.Eq(Sorted(listed), Sorted({ a, b, fx / "hard.jpg" }), "tree scan");

            for (const char* loop : { "self.jpg", "ping.jpg", "dangling.jpg" })
                r.Eq(ErrorOf([&] { SameFileContent(a, fx / loop); }), OpenErrorText(fx / loop), loop);
            // A second name of a's file is refused, so the only copy is never offered for deletion.
            for (const char* alias : { "soft.jpg", "hard.jpg", "here/a.jpg", "sub/up/a.jpg" }) {
                r.Eq(ErrorOf([&] { SameFileContent(a, fx / alias); }), OpenErrorText(fx / alias), alias);
                const std::vector<std::string> entries { a, fx / alias };
                const Outcome engine = EngineCheck(entries);
                r.Eq(engine, PairwiseCheck(entries), std::string("check with ") + alias);
                r.True(engine.groups.empty(), std::string("a grouped with its own second name ") + alias);
            }
            const std::vector<std::string> entries { b, fx / "self.jpg", a, fx / "ping.jpg" };
            r.Eq(EngineCheck(entries), PairwiseCheck(entries), "check with link loops");
            return r.Text();
        },
        30));
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// FIFOs, sockets and devices: scanned folders skip them, a check refuses them at once.

TEST(HostileSpecialFiles, FifosSocketsAndDevicesNeverBlockTheScanOrTheCheck)
{
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "same");
    const std::string b = fx.Write("b.jpg", "same");
    const std::string fifo = fx / "pipe.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string fifoWithWriter = fx / "fed.jpg";
    ASSERT_EQ(mkfifo(fifoWithWriter.c_str(), 0644), 0);
    const std::string sock = fx / "socket.jpg";
    const int s = Hostile::BoundSocket(sock);
    ASSERT_GE(s, 0);
    ASSERT_EQ(symlink("pipe.jpg", (fx / "to-pipe.jpg").c_str()), 0);
    const std::string sub = fx.MakeDir("sub");
    ASSERT_EQ(mkfifo((sub + "/inner.jpg").c_str(), 0644), 0);
    const auto before = fx.Manifest();

    EXPECT_CHILD_OK(InChild(
        [&] {
            // A writer keeps one FIFO open and full, so a reader that blocked would not notice.
            const int w = open(fifoWithWriter.c_str(), O_RDWR | O_NONBLOCK);
            if (w >= 0 && write(w, "xxxx", 4) != 4)
                return std::string("cannot feed the FIFO");
            Report r;
            std::vector<std::string> listed;
            AddFolderTreeFiles(fx.Path(), "*.jpg", listed);
            r.Eq(Sorted(listed), Sorted({ a, b }), "tree scan");
            listed.clear();
            AddFolderFiles(fx.Path(), "", listed);
            r.Eq(Sorted(listed), Sorted({ a, b }), "folder scan, every file");

            std::vector<std::string> specials { fifo, fifoWithWriter, sock, fx / "to-pipe.jpg" };
            // Devices, where the machine has them as devices.
            for (const char* device : { "/dev/zero", "/dev/null", "/dev/full", "/dev/tty" }) {
                struct stat ds { };
                if (lstat(device, &ds) == 0 && S_ISCHR(ds.st_mode))
                    specials.emplace_back(device);
            }
            // The check meets each special file as b.
            for (const std::string& special : specials) {
                r.Eq(
                    ErrorOf([&] { SameFileContent(special, a); }), OpenErrorText(special), special + " as a");
                const std::vector<std::string> entries { a, special, b };
                const Outcome engine = EngineCheck(entries);
                r.Eq(engine, PairwiseCheck(entries), "check with " + special);
                r.Eq(engine.error, OpenErrorText(special), "check error with " + special);
            }
            // A special file is never moved or renamed over, nor deleted in its place.
            r.True(ErrorOf([&] { MoveFileToFolder(fifo, sub); }) == OpenErrorText(fifo), "move of a FIFO");
            if (w >= 0)
                close(w);
            return r.Text();
        },
        30));
    close(s);
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}

// ---------------------------------------------------------------------------------------
// Sparse files of 5 GiB that differ only in their last byte.

TEST(HostileSparse, FiveGibibyteFilesDifferingInTheLastByteAreToldApart)
{
    Fixture fx;
    constexpr std::uint64_t kSize = 5ULL << 30;
    const std::string a = MakeSparse(fx, "a.img", kSize, 'a');
    const std::string b = MakeSparse(fx, "b.img", kSize, 'b');
    const std::string c = MakeSparse(fx, "c.img", kSize, 'a');
    struct stat st { };
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    if (static_cast<std::uint64_t>(st.st_blocks) * 512 > (1ULL << 20))
        GTEST_SKIP() << "the file system does not keep holes";
    const auto before = fx.Manifest();

    EXPECT_CHILD_OK(InChild(
        [&] {
            Report r;
            std::uint64_t start = BytesRead();
            r.Eq(SameFileContent(a, b), false, "a and b");
            r.Eq(SameFileContent(a, c), true, "a and c");
            r.True(BytesRead() - start < (64ULL << 20), "the comparison read the holes");

            const std::vector<std::string> entries { a, b, c };
            start = BytesRead();
            const Outcome engine = EngineCheck(entries);
            const std::uint64_t engineRead = BytesRead() - start;
            r.Eq(engine, PairwiseCheck(entries), "check");
            r.Eq(engine.list, std::vector<std::string> { a, b }, "list after the check");
            r.True(engineRead < (64ULL << 20),
                "the check read " + std::to_string(engineRead >> 20) + " MiB of holes");
            return r.Text();
        },
        120));
    EXPECT_EQ(ManifestDiff(before, fx.Manifest()), "");
}
