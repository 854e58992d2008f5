#include "check/CheckRun.h"

#include "support/CheckOracle.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "scan/FileScan.h"

#include <filesystem>
#include <map>
#include <numeric>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using Check::CheckHost;
using Check::EngineOptions;
namespace fs = std::filesystem;

namespace {

using CheckOracle::Group;
using CheckOracle::Outcome;
using CheckOracle::RecordingHost;

// The real run over entries on a fresh host, which must see its contract kept. With
// scanned, the host hands over the look-ups a folder scan took: a path the scan does not
// list (a link, a folder, a FIFO, a missing one) is looked up by the run.
// stamps, when given, receives the stamps the run handed over with the children.
Outcome Fast(const std::vector<std::string>& entries, const EngineOptions& options = {},
    const std::map<std::string, FileScan::ListedFile>* scanned = nullptr,
    std::vector<Platform::FileStamp>* stamps = nullptr, bool inPlace = false)
{
    RecordingHost host(entries);
    if (inPlace) {
        host.inPlace.emplace();
        for (const std::string& path : entries)
            host.inPlace->Add(path);
    }
    for (std::size_t k = 0; scanned && k < entries.size(); ++k) {
        const auto found = scanned->find(entries[k]);
        host.lookedUp.push_back(found == scanned->end() ? FileScan::ListedFile {} : found->second);
    }
    Outcome out = host.Run(options);
    EXPECT_EQ(out.faults, std::vector<std::string> {});
    if (stamps)
        *stamps = host.stamps;
    return out;
}

// Small blocks, few open files and two workers, so that every path of the engine is taken.
EngineOptions Tiny()
{
    EngineOptions tiny;
    tiny.headBytes = 8;
    tiny.wholeFileBytes = 0;
    tiny.chunkBytes = 64;
    tiny.maxOpenFiles = 2;
    tiny.splitBytes = 128;
    tiny.threads = 2;
    return tiny;
}

std::string Flip(std::string s, std::size_t at)
{
    s[at] = static_cast<char>(s[at] ^ 0x5a);
    return s;
}

class CheckRunTest : public ::testing::Test {
protected:
    std::string File(const std::string& name, const std::string& content) { return dir.Write(name, content); }
    TempDir dir;
};

TEST_F(CheckRunTest, SecondRunNumbersFromOneBelowTheEarlierGroups)
{
    const std::string x = RandomBytes(50, 3);
    const std::string a = File("a", x), b = File("b", x), c = File("c", "other"), d = File("d", "other");
    // Times before 1970 and past 2262 (which no count of nanoseconds holds) come back whole.
    SetFileMtime(c, -631152000);
    SetFileMtime(d, 10500000000);
    RecordingHost host({ a, b });
    host.Run();
    host.entries.insert(host.entries.end(), { c, d });
    host.Run();
    EXPECT_EQ(
        host.tree, (std::vector<Group> { { "重複ファイル1", { a, b } }, { "重複ファイル1", { c, d } } }));
    EXPECT_EQ(host.entries, (std::vector<std::string> { a, c }));
    // Each grouped file comes with its stamp, as the run looked it up.
    std::vector<Platform::FileStamp> stamps;
    for (const std::string& path : { a, b, c, d })
        stamps.push_back(Check::LookUpNow(path).stamp);
    EXPECT_EQ(host.stamps, stamps);
    EXPECT_EQ(host.faults, std::vector<std::string> {});
    EXPECT_EQ(host.countText, "2");
    EXPECT_EQ(
        host.log, (std::vector<std::string> { "checking", "idle", "page1", "checking", "idle", "page1" }));
}

// Files change between the look-up and the read: a file that grew is not compared up
// to its old size, and a path that became a link to another member is no copy of it.
TEST_F(CheckRunTest, AFileChangedSinceItsLookUpIsNotGroupedByWhatItWas)
{
    const std::string a = File("a", "alpha"), b = File("b", "alpha"), d = File("d", "bravo");
    const std::string p = File("p", "other"), q = File("q", "other");
    std::vector<std::string> found;
    std::vector<FileScan::ListedFile> listed;
    FileScan::AddFolderFiles(dir.Path(), "*.*", found, &listed);
    std::map<std::string, FileScan::ListedFile> scanned;
    for (std::size_t k = 0; k < found.size(); ++k)
        scanned[found[k]] = listed[k];
    File("d", "alphaX");
    fs::remove(p);
    fs::create_symlink(q, p);
    std::vector<Platform::FileStamp> stamps;
    EXPECT_EQ(Fast({ a, b, d, p, q }, Tiny(), &scanned, &stamps).groups,
        (std::vector<Group> { { "重複ファイル1", { a, b } } }));
    // The stamps are the scan's look-ups, times included.
    EXPECT_EQ(stamps, (std::vector<Platform::FileStamp> { Check::LookUpNow(a).stamp, Check::LookUpNow(b).stamp }));
}

// The random lists hold at most one path that does not open.
TEST_F(CheckRunTest, UnopenablePathIsNoErrorWhenEveryEntryIsThatPath)
{
    const std::string missing = dir / "missing";
    const Outcome out = Fast({ missing, missing, missing });
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(out.log, (std::vector<std::string> { "checking", "idle", "page1" }));
}

TEST_F(CheckRunTest, CancelStopsWithoutMessageOrPageSwitch)
{
    const std::string x = RandomBytes(10, 6);
    const std::string a = File("a", x), b = File("b", x);
    RecordingHost host({ a, b });
    host.onEvents = [](RecordingHost& h) { h.Cancel(); };
    host.Run();
    EXPECT_EQ(host.log, (std::vector<std::string> { "checking", "idle" }));
    EXPECT_EQ(host.events, 1);
    EXPECT_TRUE(host.tree.empty());
    EXPECT_EQ(host.entries.size(), 2u);
    EXPECT_EQ(host.faults, std::vector<std::string> {});
}

TEST_F(CheckRunTest, ProgressRisesOnceFromZeroToFull)
{
    std::vector<std::string> list;
    list.reserve(42);
    for (int k = 0; k < 40; ++k)
        list.push_back(File("f" + std::to_string(k), RandomBytes(2000, k % 7)));
    // A size of its own: settled without a read, it still counts as compared.
    list.push_back(File("lone", RandomBytes(100, 1)));
    // A second name of a listed file is no further file.
    list.push_back(list.front());
    RecordingHost host(list);
    EXPECT_EQ(host.Run().faults, std::vector<std::string> {});
    EXPECT_EQ(host.progressMaxCalls, 1);
    ASSERT_FALSE(host.progress.empty());
    EXPECT_EQ(host.progress.front(), 0);
    EXPECT_EQ(host.progress.back(), host.progressMax);
    EXPECT_TRUE(std::is_sorted(host.progress.begin(), host.progress.end()));
    EXPECT_EQ(host.countText, "9");
    // The count of compared files rises to the number of files, each step reported once.
    ASSERT_FALSE(host.compared.empty());
    EXPECT_TRUE(std::adjacent_find(host.compared.begin(), host.compared.end(), std::greater_equal<>())
        == host.compared.end());
    EXPECT_EQ(host.compared.back(), 41u);
}

// Real files for random lists: sets of copies, same-size files differing in one byte
// at the start, middle or end, empty files, links, and paths that do not open.
class OracleCorpus {
public:
    OracleCorpus()
    {
        const std::string base = RandomBytes(1000, 11);
        const std::string other = RandomBytes(1000, 12);
        const std::string small = RandomBytes(40, 13);
        int n = 0;
        auto add = [&](const std::string& content) {
            paths.push_back(dir.Write("f" + std::to_string(n++), content));
            return paths.back();
        };
        for (int k = 0; k < 3; ++k)
            add(base);
        add(Flip(base, 0));
        add(Flip(base, 0));
        add(Flip(base, 500));
        add(Flip(base, 999));
        add(Flip(base, 999));
        add(Flip(base, 7));
        add(other);
        add(other);
        add(small);
        add(small);
        add(Flip(small, 39));
        add("");
        add("");
        add("z");
        add(RandomBytes(1001, 14));
        const std::string hard = dir / "hard";
        EXPECT_EQ(link(paths[0].c_str(), hard.c_str()), 0);
        paths.push_back(hard);
        const std::string hard2 = dir / "hard2";
        EXPECT_EQ(link(paths[15].c_str(), hard2.c_str()), 0);
        paths.push_back(hard2);
        paths.push_back(dir / "sym");
        fs::create_symlink(paths[1], paths.back());
        paths.push_back(dir / "sym2");
        fs::create_symlink(paths[5], paths.back());
        bad.push_back(dir / "missing");
        bad.push_back(dir.MakeDir("folder"));
        bad.push_back(dir / "fifo");
        EXPECT_EQ(mkfifo(bad.back().c_str(), 0644), 0);
        bad.push_back(dir / "dangling");
        fs::create_symlink(dir / "nowhere", bad.back());
        Scan();
    }

    // Lists the folder as the add-folder command does, keeping its look-ups by path.
    void Scan()
    {
        std::vector<std::string> found;
        std::vector<FileScan::ListedFile> listed;
        FileScan::AddFolderFiles(dir.Path(), "*.*", found, &listed);
        for (std::size_t k = 0; k < found.size(); ++k)
            scanned[found[k]] = listed[k];
    }

    std::vector<std::string> RandomList(std::mt19937& rng) const
    {
        std::vector<std::string> list;
        // Now and then a list longer than the look-ups the run keeps on their way.
        const std::size_t longest = rng() % 8 == 0 ? 40 : 12;
        const std::size_t length = std::uniform_int_distribution<std::size_t>(0, longest)(rng);
        for (std::size_t k = 0; k < length; ++k)
            list.push_back(paths[std::uniform_int_distribution<std::size_t>(0, paths.size() - 1)(rng)]);
        // Most lists open completely, or the first pivot ends every run.
        if (!list.empty() && rng() % 4 == 0) {
            const std::size_t at = std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(rng);
            list[at] = bad[rng() % bad.size()];
        }
        return list;
    }

    // Adds files that are there but do not open once permission bits bind: of a
    // shared size, of a size of their own, and a second name of a readable file's size.
    void AddLocked()
    {
        const std::string base = RandomBytes(1000, 11);
        for (const auto& [name, content] :
            std::vector<std::pair<std::string, std::string>> { { "locked-copy", base },
                { "locked-own-size", RandomBytes(777, 15) }, { "locked-small", RandomBytes(40, 13) } }) {
            locked.push_back(dir.Write(name, content));
            fs::permissions(locked.back(), fs::perms::none);
        }
        fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        Scan();
    }

    TempDir dir;
    std::vector<std::string> paths;
    std::vector<std::string> bad;
    std::vector<std::string> locked;
    std::map<std::string, FileScan::ListedFile> scanned;
};

std::string Shown(const std::vector<std::string>& list)
{
    std::string shown;
    for (const std::string& p : list)
        shown += fs::path(p).filename().string() + " ";
    return shown;
}

void ExpectSameOutcome(const std::vector<std::string>& list, const EngineOptions& options, const char* name,
    const std::map<std::string, FileScan::ListedFile>* scanned = nullptr, bool inPlace = false)
{
    const Outcome want = CheckOracle::PairwiseCheck(list);
    const Outcome got = Fast(list, options, scanned, nullptr, inPlace);
    const std::string shown = Shown(list);
    EXPECT_EQ(got.groups, want.groups) << name << ": " << shown;
    EXPECT_EQ(got.list, want.list) << name << ": " << shown;
    EXPECT_EQ(got.error, want.error) << name << ": " << shown;
    EXPECT_EQ(got.log, want.log) << name << ": " << shown;
}

TEST(CheckRunOracle, RandomListsGiveThePairwiseRunsResults)
{
    const OracleCorpus corpus;
    std::mt19937 rng(20240601);
    EngineOptions single;
    single.threads = 1;
    for (int round = 0; round < 1000 && !HasFailure(); ++round) {
        const std::vector<std::string> list = corpus.RandomList(rng);
        ExpectSameOutcome(list, {}, "default");
        ExpectSameOutcome(list, Tiny(), "tiny blocks");
        ExpectSameOutcome(list, {}, "scanned", &corpus.scanned);
        // Each path once, its store read in place, as tessarin-cli offers one folder's.
        std::vector<std::string> distinct;
        for (const std::string& path : list) {
            if (std::find(distinct.begin(), distinct.end(), path) == distinct.end())
                distinct.push_back(path);
        }
        ExpectSameOutcome(distinct, Tiny(), "paths in place", &corpus.scanned, true);
        if (round % 4 == 0)
            ExpectSameOutcome(list, single, "one worker");
    }
}

// Files that stat finds but that do not open are only found out when opened: the
// first of each size is opened when compared, and the run must still fail exactly
// where the pairwise run does.
TEST(CheckRunOracle, UnreadableFilesFailTheRunWhereThePairwiseRunFails)
{
    OracleCorpus corpus;
    corpus.AddLocked();
    // No time limit: the sanitizer build on a loaded machine is slow here.
    const std::string report = InChildAsUser([&] {
        std::ostringstream out;
        std::mt19937 rng(77);
        int mismatches = 0;
        int failures = 0;
        for (int round = 0; round < 300 && mismatches < 3; ++round) {
            std::vector<std::string> list = corpus.RandomList(rng);
            if (list.empty())
                continue;
            list[rng() % list.size()] = corpus.locked[rng() % corpus.locked.size()];
            const Outcome want = CheckOracle::PairwiseCheck(list);
            failures += want.error.empty() ? 0 : 1;
            for (const EngineOptions& options : { EngineOptions {}, Tiny() }) {
                const Outcome got = Fast(list, options, options.threads == 0 ? &corpus.scanned : nullptr);
                if (got.groups != want.groups || got.list != want.list || got.error != want.error) {
                    ++mismatches;
                    out << "differs for " << Shown(list) << ": " << got.error << " instead of "
                        << want.error << "\n";
                }
            }
        }
        if (failures == 0)
            out << "no list failed: the locked files opened\n";
        return out.str();
    }, 0);
    EXPECT_EQ(report, "");
}

} // namespace

// A window that falls behind takes several steps as one: the merged step must leave the
// list, the groups and the figures as the steps one after another do.
TEST(MergeSteps, TwoStepsTakenAsOneLeaveWhatBothLeave)
{
    std::mt19937 rng(31);
    const auto pickDescending = [&](std::size_t size) {
        std::vector<std::size_t> picked;
        for (std::size_t k = size; k-- > 0;) {
            if (rng() % 3 == 0)
                picked.push_back(k);
        }
        return picked;
    };
    const auto apply = [](std::vector<int> list, const std::vector<std::size_t>& removed) {
        for (const std::size_t index : removed)
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
        return list;
    };
    for (int round = 0; round < 500 && !HasFailure(); ++round) {
        std::vector<int> list(rng() % 40);
        std::iota(list.begin(), list.end(), 0);
        Check::CheckStep first;
        first.removed = pickDescending(list.size());
        first.groups.push_back({ 1, {} });
        first.progress = 10;
        first.entriesLeft = list.size() - first.removed.size();
        const std::vector<int> between = apply(list, first.removed);
        Check::CheckStep second;
        second.removed = pickDescending(between.size());
        second.groups.push_back({ 2, {} });
        if (round % 2 == 0)
            second.entriesLeft = between.size() - second.removed.size();
        const std::vector<int> want = apply(between, second.removed);

        Check::MergeSteps(first, std::move(second));
        EXPECT_TRUE(std::adjacent_find(first.removed.begin(), first.removed.end(), std::less_equal<>())
            == first.removed.end());
        EXPECT_EQ(apply(list, first.removed), want);
        ASSERT_EQ(first.groups.size(), 2u);
        EXPECT_EQ(first.groups[1].number, 2);
        EXPECT_EQ(first.progress, 10);
        EXPECT_EQ(first.entriesLeft, round % 2 == 0 ? want.size() : between.size());
    }
}
