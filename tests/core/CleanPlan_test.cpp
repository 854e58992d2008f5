#include "check/CleanPlan.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <tuple>

using namespace Check;
using Files::RemoveMode;

namespace {

// The groups as a check records them: each file with its stamp as looked up now.
std::vector<ResultGroup> Found(const std::vector<std::vector<std::string>>& groups)
{
    std::vector<ResultGroup> found;
    for (const std::vector<std::string>& paths : groups) {
        ResultGroup& group = found.emplace_back();
        for (const std::string& path : paths)
            group.files.push_back(LookUpNow(path));
    }
    return found;
}

// Plans groups with the default rule and no protected folder.
CleanPlan PlanFirst(const std::vector<std::vector<std::string>>& groups)
{
    return MakeCleanPlan(Found(groups), {}, {});
}

} // namespace

// "a (1)", "aのコピー", "Copy of a" and "b copy" are marked in the plan's model below.
TEST(LooksLikeCopyName, MarksOfFileManagersAndHands)
{
    const struct {
        const char* path;
        bool copy;
    } rows[] = {
        { "/p/a - コピー.jpg", true },
        { "/p/aコピー.jpg", true },
        { "/p/a - コピー (2).jpg", true },
        { "/p/a(2).jpg", true },
        { "/p/a (999).jpg", true },
        { "/p/copy OF a.jpg", true },
        { "/p/a - Copy.jpg", true },
        { "/p/a_COPY.jpg", true },
        { "/p/a (copy).jpg", true },
        { "/p/a (another copy).jpg", true },
        { "/p/a copy 2.jpg", true },
        { "/p/a (1)", true },
        { "/p/.bashrc (1)", true },
        { "a (1).jpg", true },
        { "/p/copyright.txt", false },
        { "/p/a1.jpg", false },
        { "/p/(1)a.jpg", false },
        { "/p/(1).jpg", false },
        { "/p/a (01).jpg", false },
        { "/p/a (2019).jpg", false },
        { "/p/a ().jpg", false },
        { "/p/a (x1).jpg", false },
        { "/p/copy.jpg", false },
        { "/p/コピー.jpg", false },
        { "/p/Copy of .jpg", false },
        { "/p/photocopy.jpg", false },
        { "/p/a 2.jpg", false },
        { "/p/a.copy", false },
        { "/p (1)/a.jpg", false },
        { "/p/a (1).d/b.jpg", false },
        { "/p/\xff\xfe copy.jpg", true },
        { "/p/\xff" "copy.jpg", false },
    };
    for (const auto& row : rows)
        EXPECT_EQ(LooksLikeCopyName(row.path), row.copy) << row.path;
}

// Subfolders, a trailing "/" and a name that only begins like the folder ("keeper" and
// "keep") are in the plan's model below.
TEST(InFolder, WholeFolderNamesOnly)
{
    EXPECT_TRUE(InFolder("/a/b/c.jpg", "/"));
    EXPECT_TRUE(InFolder("/a/b", "/a/b/"));
    EXPECT_FALSE(InFolder("/a/b/c.jpg", ""));
    EXPECT_FALSE(InFolder("/A/b/c.jpg", "/a"));
    EXPECT_TRUE(InFolder("rel/x", "rel"));
}

// A protected folder protects what lies below it however the path gets there: through a
// link above it or at it, "..", a bind mount of a folder above it, a bind mount of a
// folder inside it; a name that only begins like it ("keeper") is not inside it, and a
// folder that is not there protects its spelling only.
TEST(ProtectedFolders, CountFoldersByIdentityNotBySpelling)
{
    TempDir dir;
    const std::string f = dir.Write("data/keep/sub/f.jpg", "x");
    dir.Write("data/keeper/g.jpg", "x");
    dir.Write("data/other/h.jpg", "x");
    ASSERT_EQ(symlink((dir / "data").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink("keep", (dir / "data/alias").c_str()), 0);
    const struct {
        std::string path;
        bool held;
    } rows[] = {
        { f, true },
        { dir / "link/keep/sub/f.jpg", true },
        { dir / "data/alias/sub/f.jpg", true },
        { dir / "data/other/../keep/f.jpg", true },
        { dir / "data/keeper/g.jpg", false },
        { dir / "link/other/h.jpg", false },
    };
    for (const std::string& keep : { dir / "data/keep/", dir / "link/keep", dir / "data/alias" }) {
        ProtectedFolders protection({ keep });
        for (const auto& row : rows)
            EXPECT_EQ(protection.Holds(row.path), row.held) << keep << " " << row.path;
    }
    ProtectedFolders gone({ dir / "gone" });
    EXPECT_TRUE(gone.Holds(dir / "gone/x.jpg"));
    EXPECT_FALSE(gone.Holds(f));

    EXPECT_CHILD_OK(InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount((dir / "data").c_str(), dir.MakeDir("view").c_str(), nullptr, MS_BIND, nullptr) != 0
            || mount((dir / "data/keep/sub").c_str(), dir.MakeDir("view2").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::string("SKIP: no private bind mounts here");
        std::string failures;
        ProtectedFolders keep({ dir / "data/keep" });
        ProtectedFolders seenThroughTheMount({ dir / "view/keep" });
        ProtectedFolders above({ dir / "data" });
        const auto expect = [&](ProtectedFolders& p, const std::string& path, bool held) {
            if (p.Holds(path) != held)
                failures += path + (held ? " not held\n" : " held\n");
        };
        expect(keep, dir / "view/keep/sub/f.jpg", true);
        expect(keep, dir / "view2/f.jpg", true);
        expect(keep, dir / "view/keeper/g.jpg", false);
        expect(seenThroughTheMount, f, true);
        expect(seenThroughTheMount, dir / "view2/f.jpg", true);
        expect(above, dir / "view2/f.jpg", true);
        expect(above, dir / "view/other/h.jpg", true);
        return failures;
    }));
}

// The rules as one lexicographic order: a file's score under each rule in turn, list
// order last; the least file that can be looked up is kept.
TEST(MakeCleanPlan, EqualsTheLexicographicModelOnRandomGroups)
{
    TempDir dir;
    struct PoolFile {
        std::string path;
        bool exists;
        bool copyName;
        std::string folder;
        std::uint64_t size = 0;
        std::int64_t mtime = 0;
    };
    const std::vector<std::string> folders { "", "keep/", "keep/sub/", "keeper/", "other/" };
    const struct {
        const char* name;
        bool copy;
    } names[] = { { "a.jpg", false }, { "b.jpg", false }, { "a (1).jpg", true }, { "aのコピー.jpg", true },
        { "Copy of a.jpg", true }, { "bb.jpg", false }, { "b copy.jpg", true }, { "gone.jpg", false } };
    std::mt19937 random(20240611);
    std::vector<PoolFile> pool;
    for (const std::string& folder : folders) {
        for (const auto& name : names) {
            PoolFile file { dir / (folder + name.name), std::string(name.name) != "gone.jpg", name.copy, folder };
            if (file.exists) {
                file.size = random() % 20;
                dir.Write(folder + name.name, std::string(file.size, 'x'));
            } else {
                dir.MakeDir(folder);
            }
            pool.push_back(file);
        }
    }
    // The protected folders as given, and the pool folders they hold.
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> protections {
        { {}, {} },
        { { dir / "keep" }, { "keep/", "keep/sub/" } },
        { { dir / "keep/sub/" }, { "keep/sub/" } },
        { { dir / "other", dir / "keeper/" }, { "other/", "keeper/" } },
        { { dir.Path() }, { "", "keep/", "keep/sub/", "keeper/", "other/" } },
    };

    std::size_t decidedByRules = 0;
    for (int round = 0; round < 60; ++round) {
        // Every file counts once in the totals, in the first group it goes from.
        std::set<std::string> counted;
        for (PoolFile& file : pool) {
            file.mtime = 1000000 + 1000 * static_cast<std::int64_t>(random() % 3);
            if (file.exists)
                SetFileMtime(file.path, file.mtime);
        }
        std::vector<KeepRule> rules { KeepRule::Protected, KeepRule::Newest, KeepRule::Oldest, KeepRule::Shortest,
            KeepRule::NotCopyName, KeepRule::First };
        std::shuffle(rules.begin(), rules.end(), random);
        rules.resize(random() % (rules.size() + 1));
        // Not a structured binding: clang, which clang-tidy runs on, cannot capture one in
        // the lambdas below.
        const auto& protection = protections[random() % protections.size()];
        const auto& protectedFolders = protection.first;
        const auto& protectedPool = protection.second;

        std::vector<std::vector<std::size_t>> picks(40);
        std::vector<std::vector<std::string>> groups;
        for (std::vector<std::size_t>& pick : picks) {
            pick.resize(1 + random() % 6);
            for (std::size_t& p : pick)
                p = random() % pool.size();
            groups.emplace_back();
            for (std::size_t p : pick)
                groups.back().push_back(pool[p].path);
        }
        const CleanPlan plan = MakeCleanPlan(Found(groups), rules, protectedFolders);
        ASSERT_EQ(plan.groups.size(), groups.size());

        std::size_t filesToGo = 0;
        std::uint64_t bytesFreed = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const auto isProtected = [&](std::size_t i) {
                return std::find(protectedPool.begin(), protectedPool.end(), pool[picks[g][i]].folder)
                    != protectedPool.end();
            };
            const auto score = [&](std::size_t i) {
                const PoolFile& f = pool[picks[g][i]];
                std::vector<std::int64_t> s;
                for (KeepRule rule : rules.empty() ? std::vector<KeepRule> { KeepRule::First } : rules) {
                    switch (rule) {
                    case KeepRule::Protected:
                        s.push_back(isProtected(i) ? 0 : 1);
                        break;
                    case KeepRule::Newest:
                        s.push_back(-f.mtime);
                        break;
                    case KeepRule::Oldest:
                        s.push_back(f.mtime);
                        break;
                    case KeepRule::Shortest:
                        s.push_back(static_cast<std::int64_t>(f.path.size()));
                        break;
                    case KeepRule::NotCopyName:
                        s.push_back(f.copyName ? 1 : 0);
                        break;
                    case KeepRule::First:
                        s.push_back(static_cast<std::int64_t>(i));
                        break;
                    }
                }
                return std::make_tuple(s, i);
            };
            std::optional<std::size_t> kept;
            bool allProtected = true;
            for (std::size_t i = 0; i < picks[g].size(); ++i) {
                allProtected = allProtected && isProtected(i);
                if (pool[picks[g][i]].exists && (!kept || score(i) < score(*kept)))
                    kept = i;
            }
            const PlannedGroup& planned = plan.groups[g];
            const std::string context = "round " + std::to_string(round) + " group " + std::to_string(g);
            ASSERT_EQ(planned.files.size(), groups[g].size()) << context;
            for (std::size_t i = 0; i < groups[g].size(); ++i)
                EXPECT_EQ(planned.files[i].path, groups[g][i]) << context;
            EXPECT_EQ(planned.allProtected, allProtected) << context;
            EXPECT_EQ(planned.kept, kept.value_or(0)) << context;
            // A missing file goes or not as far as the plan looked it up (see the test below).
            ASSERT_EQ(planned.remove.size(), picks[g].size()) << context;
            for (std::size_t i = 0; kept && i < picks[g].size(); ++i) {
                if (pool[picks[g][i]].exists) {
                    EXPECT_EQ(planned.remove[i], !isProtected(i) && groups[g][i] != groups[g][*kept]) << context;
                }
            }
            if (!kept) {
                EXPECT_EQ(planned.remove, std::vector<bool>(picks[g].size(), false)) << context;
            }
            std::set<std::string> going;
            for (std::size_t i = 0; i < groups[g].size(); ++i) {
                if (planned.remove[i])
                    going.insert(groups[g][i]);
            }
            const std::uint64_t size = kept ? pool[picks[g][*kept]].size : 0;
            EXPECT_EQ(planned.size, size) << context;
            EXPECT_EQ(planned.bytesFreed, size * going.size()) << context;
            for (const std::string& path : going) {
                if (counted.insert(path).second) {
                    ++filesToGo;
                    bytesFreed += size;
                }
            }
            decidedByRules += kept && *kept != 0 ? 1 : 0;
        }
        EXPECT_EQ(plan.filesToGo, filesToGo);
        EXPECT_EQ(plan.bytesFreed, bytesFreed);
    }
    // The random groups must exercise the rules, not only list order.
    EXPECT_GT(decidedByRules, 300U);
}

TEST(MakeCleanPlan, NewestAndOldestOrderEveryTimeAFileSystemHolds)
{
    // 1600 and 2300 lie beyond nanoseconds in 64 bits; a memory file system keeps them.
    const TempDir shm("/dev/shm");
    const std::vector<std::string> files { shm.Write("1970", "x"), shm.Write("2300", "x"), shm.Write("1600", "x"),
        shm.Write("1700", "x") };
    SetFileMtime(files[0], 0);
    SetFileMtime(files[1], 10413792000);
    SetFileMtime(files[2], -11676096000);
    SetFileMtime(files[3], -8520336000);
    EXPECT_EQ(MakeCleanPlan(Found({ files }), { KeepRule::Newest }, {}).groups[0].kept, 1U);
    EXPECT_EQ(MakeCleanPlan(Found({ files }), { KeepRule::Oldest }, {}).groups[0].kept, 2U);
}

TEST(MakeCleanPlan, AMissingFileIsNeverKeptAndStaysWhenTheRereadFindsItGone)
{
    TempDir dir;
    const std::string a = dir.Write("a.jpg", "photo");
    const std::string b = dir.Write("b.jpg", "photo");
    const std::string gone = dir / "gone.jpg";
    SetFileMtime(a, 1000000);
    SetFileMtime(b, 2000000);
    // Looked up as the first in list order, and found missing.
    CleanPlan plan = PlanFirst({ { gone, a, b } });
    EXPECT_EQ(plan.groups[0].kept, 1U);
    EXPECT_EQ(plan.groups[0].remove, (std::vector<bool> { false, false, true }));
    EXPECT_EQ(plan.groups[0].size, 5U);
    // Looked up for its time.
    plan = MakeCleanPlan(Found({ { a, gone, b } }), { KeepRule::Newest }, {});
    EXPECT_EQ(plan.groups[0].kept, 2U);
    EXPECT_EQ(plan.groups[0].remove, (std::vector<bool> { true, false, false }));
    plan = PlanFirst({ { gone, dir / "also-gone.jpg" } });
    EXPECT_EQ(plan.groups[0].remove, (std::vector<bool> { false, false }));
    EXPECT_EQ(plan.filesToGo, 0U);
    // Never looked up: planned to go, and kept by the re-read.
    plan = PlanFirst({ { a, gone } });
    EXPECT_EQ(plan.groups[0].remove, (std::vector<bool> { false, true }));
    const RemovalReport result = CarryOutPlan(plan, {}, RemoveMode::Delete);
    ASSERT_EQ(result.files.size(), 1U);
    EXPECT_FALSE(result.files[0].removed);
    EXPECT_EQ(result.files[0].reason, KeepReason::Unreadable);
    EXPECT_EQ(result.files[0].error, Platform::Error::NotFound);
    EXPECT_EQ(Content(a), "photo");
}

TEST(CarryOutPlan, AFileReachedTwiceCountsOnce)
{
    // The same folder given twice lists b twice in its group; two checks of one file put
    // it in two groups.
    TempDir dir;
    const std::string a = dir.Write("a", "12345");
    const std::string b = dir.Write("b", "12345");
    const CleanPlan twice = PlanFirst({ { a, b, b }, { a, b } });
    EXPECT_EQ(twice.groups[0].bytesFreed, 5U);
    EXPECT_EQ(twice.filesToGo, 1U);
    EXPECT_EQ(twice.bytesFreed, 5U);
    const PlanTotals second = TotalsOf(twice, { false, true });
    EXPECT_EQ(std::make_tuple(second.groups, second.files, second.bytes), std::make_tuple(1U, 1U, 5ULL));
    const RemovalReport result = CarryOutPlan(twice, {}, RemoveMode::Delete);
    EXPECT_EQ(result.files.size(), 3U);
    EXPECT_EQ(std::make_tuple(result.removed, result.bytesFreed, result.trashed, result.stayed),
        std::make_tuple(1U, 5ULL, 0U, 0U));
    EXPECT_FALSE(Exists(b));

    // Kept under both lines, it stays once.
    const std::string c = dir.Write("c", "12345");
    dir.Write("a", "54321");
    const RemovalReport kept = CarryOutPlan(PlanFirst({ { a, c, c } }), {}, RemoveMode::Delete);
    EXPECT_EQ(std::make_tuple(kept.removed, kept.stayed), std::make_tuple(0U, 1U));
}

TEST(CarryOutPlan, DeletesTheFilesToGoOfTheIncludedGroupsOnly)
{
    TempDir dir;
    std::vector<std::vector<std::string>> groups;
    for (const char* name : { "g0", "g1", "g2" })
        groups.push_back({ dir.Write(std::string(name) + "/a", name), dir.Write(std::string(name) + "/b", name),
            dir.Write(std::string(name) + "/c", name) });
    for (const std::vector<std::string>& group : groups) {
        for (const std::string& path : group)
            SetFileMtime(path, 1000000);
    }
    SetFileMtime(groups[0][1], 2000000);
    const CleanPlan plan = MakeCleanPlan(Found(groups), { KeepRule::Newest }, { dir / "g2/c" });
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    const RemovalReport result = CarryOutPlan(plan, { true, false, true }, RemoveMode::Delete,
        [&](std::size_t done, std::size_t total) {
            calls.emplace_back(done, total);
            return true;
        });
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(calls, (std::vector<std::pair<std::size_t, std::size_t>> { { 0, 2 }, { 1, 2 }, { 2, 2 } }));
    ASSERT_EQ(result.files.size(), 3U);
    EXPECT_EQ(result.removed, 3U);
    EXPECT_EQ(result.bytesFreed, 6U);
    const std::vector<std::pair<std::size_t, std::size_t>> expected { { 0, 0 }, { 0, 2 }, { 2, 1 } };
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const RemovedFile& file = result.files[k];
        EXPECT_EQ(std::make_pair(file.group, file.index), expected[k]);
        EXPECT_EQ(file.path, groups[file.group][file.index]);
        EXPECT_TRUE(file.removed);
        EXPECT_EQ(file.reason, KeepReason::None);
        EXPECT_FALSE(Exists(file.path));
    }
    for (const std::string& path : { groups[0][1], groups[1][0], groups[1][1], groups[1][2], groups[2][0], groups[2][2] })
        EXPECT_TRUE(Exists(path)) << path;
}

TEST(CarryOutPlan, ChangesSinceTheCheckNeverCostTheLastCopyOrAFileElsewhere)
{
    // A file to go must be the very file the check found; its folder swapped for a link
    // to a folder holding the same name and bytes leads to another file.
    const struct {
        const char* change;
        KeepReason reason;
    } rows[] = {
        { "kept edited", KeepReason::Differs },
        { "kept gone", KeepReason::KeptUnreadable },
        { "kept folder swapped", KeepReason::KeptChanged },
        { "copy edited", KeepReason::Changed },
        { "copy touched", KeepReason::Changed },
        { "copy folder swapped", KeepReason::Changed },
    };
    for (const RemoveMode mode : { RemoveMode::Delete, RemoveMode::Trash }) {
        for (const auto& row : rows) {
            TempDir dir;
            const std::string kept = dir.Write("k/kept.jpg", "photo");
            const std::string copy = dir.Write("c/copy.jpg", "photo");
            const std::string outsideKept = dir.Write("outside/kept.jpg", "photo");
            const std::string outsideCopy = dir.Write("outside/copy.jpg", "photo");
            const CleanPlan plan = PlanFirst({ { kept, copy } });
            ASSERT_EQ(plan.filesToGo, 1U);
            const std::string change = row.change;
            if (change == "kept edited") {
                dir.Write("k/kept.jpg", "phot0");
            } else if (change == "kept gone") {
                std::filesystem::remove(kept);
            } else if (change == "copy edited") {
                dir.Write("c/copy.jpg", "PHOTO");
            } else if (change == "copy touched") {
                SetFileMtime(copy, 1000000);
            } else {
                const std::string folder = dir / (change == "kept folder swapped" ? "k" : "c");
                std::filesystem::rename(folder, folder + ".away");
                std::filesystem::create_directory_symlink(dir / "outside", folder);
            }
            EXPECT_CHILD_OK(InChild([&]() -> std::string {
                // The trash lives under XDG_DATA_HOME; set before the first look at it.
                setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
                const RemovalReport result = CarryOutPlan(plan, {}, mode);
                return result.files.size() == 1 && !result.files[0].removed && result.files[0].reason == row.reason
                        && result.removed == 0
                    ? ""
                    : std::string(row.change) + ": removed or kept for another reason";
            }));
            EXPECT_TRUE(Exists(copy)) << row.change;
            EXPECT_EQ(Content(outsideCopy), "photo") << row.change;
            EXPECT_EQ(Content(outsideKept), "photo") << row.change;
        }
    }
}

TEST(CarryOutPlan, CancelStopsBeforeTheNextGroupOrBatchOfFiles)
{
    TempDir dir;
    std::vector<std::vector<std::string>> groups;
    for (const char* name : { "g0", "g1", "g2" })
        groups.push_back({ dir.Write(std::string(name) + "/a", name), dir.Write(std::string(name) + "/b", name) });
    std::vector<std::size_t> seen;
    RemovalReport result = CarryOutPlan(PlanFirst(groups), {}, RemoveMode::Delete, [&](std::size_t done, std::size_t) {
        seen.push_back(done);
        return done < 1;
    });
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(seen, (std::vector<std::size_t> { 0, 1 }));
    ASSERT_EQ(result.files.size(), 1U);
    EXPECT_FALSE(Exists(groups[0][1]));
    EXPECT_TRUE(Exists(groups[1][1]));
    EXPECT_TRUE(Exists(groups[2][1]));

    // Within a large group the question comes again every 64 files.
    std::vector<std::string> large;
    large.reserve(130);
    for (int i = 0; i < 130; ++i)
        large.push_back(dir.Write("large/" + std::to_string(i), "same"));
    int calls = 0;
    result = CarryOutPlan(PlanFirst({ large }), {}, RemoveMode::Delete, [&](std::size_t, std::size_t) {
        return ++calls < 2;
    });
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.removed, 64U);
    EXPECT_EQ(result.files.size(), 64U);
    EXPECT_TRUE(Exists(large[0]));
    EXPECT_TRUE(Exists(large[65]));
}

TEST(CarryOutPlan, TrashesRestorablyAndDeletesWhatHasNoTrashOnlyWhenAsked)
{
    TempDir dir;
    TempDir shm("/dev/shm");
    const std::string kept = dir.Write("p/a.jpg", "alpha");
    const std::string copy = dir.Write("q/b.jpg", "alpha");
    const std::string onTmpfs = shm.Write("c.jpg", "alpha");
    const CleanPlan plan = PlanFirst({ { kept, copy, onTmpfs } });
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        // The trash lives under XDG_DATA_HOME; set before the first look at it.
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        std::string report;
        RemovalReport result = CarryOutPlan(plan, {}, RemoveMode::Trash);
        if (result.files.size() != 2 || result.removed != 1 || result.bytesFreed != 5)
            return "unexpected result of the trash run";
        if (!result.files[0].removed || Exists(copy) || Content(dir / "data/Trash/files/b.jpg") != "alpha")
            report += "b not under Trash/files; ";
        if (result.files[1].removed || result.files[1].reason != KeepReason::NoTrash || Content(onTmpfs) != "alpha")
            report += "the file without a trash did not stay with NoTrash; ";
        RetryPermanently(plan, result);
        if (!result.files[1].removed || result.files[1].reason != KeepReason::None || Exists(onTmpfs))
            report += "the retry did not delete the file without a trash; ";
        if (result.removed != 2 || result.bytesFreed != 10 || Content(kept) != "alpha")
            report += "wrong totals after the retry or the kept file touched; ";
        return report;
    }));
}
