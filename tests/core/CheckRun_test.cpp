#include "check/CheckRun.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "scan/FileScan.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <optional>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Check::CheckHost;
using Check::EngineOptions;
namespace fs = std::filesystem;

namespace {

struct Group {
    std::string caption;
    std::vector<std::string> children;
    bool operator==(const Group&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Group& g)
{
    os << g.caption << "{";
    for (const std::string& c : g.children)
        os << " " << fs::path(c).filename().string();
    return os << " }";
}

// The window as the run sees it: a list, a tree, and a record of what was shown.
class FakeHost : public CheckHost {
public:
    explicit FakeHost(std::vector<std::string> entries)
        : entries(std::move(entries))
    {
    }

    std::size_t EntryCount() const override
    {
        OnHostThread();
        return entries.size();
    }
    std::string EntryText(std::size_t index) const override
    {
        OnHostThread();
        EXPECT_LT(index, entries.size());
        return entries.at(index);
    }
    void RemoveEntry(std::size_t index) override
    {
        OnHostThread();
        EXPECT_TRUE(checking);
        ASSERT_LT(index, entries.size());
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    }
    void AddGroup(const std::string& caption) override
    {
        OnHostThread();
        EXPECT_TRUE(checking);
        tree.push_back({ caption, {} });
    }
    void AddChild(const std::string& caption) override
    {
        OnHostThread();
        ASSERT_FALSE(tree.empty());
        tree.back().children.push_back(caption);
    }
    void SetProgressMax(int maximum) override
    {
        OnHostThread();
        progressMax = maximum;
        ++progressMaxCalls;
    }
    void SetProgress(int position) override
    {
        OnHostThread();
        progress.push_back(position);
    }
    void SetCountText(const std::string& text) override
    {
        OnHostThread();
        countText = text;
    }
    void SetComparedFiles(std::size_t files) override
    {
        OnHostThread();
        compared.push_back(files);
    }
    void ProcessEvents() override
    {
        OnHostThread();
        EXPECT_TRUE(checking);
        ++events;
        if (cancelAtEvent > 0 && events >= cancelAtEvent)
            cancelled = true;
    }
    bool CheckCancelled() const override
    {
        OnHostThread();
        return cancelled;
    }
    void ResetCancelled() override
    {
        OnHostThread();
        EXPECT_TRUE(focused) << "the Cancel button takes the focus before the flag is cleared";
        cancelled = false;
    }
    void SetCheckCtrl(bool on) override
    {
        OnHostThread();
        EXPECT_NE(on, checking);
        checking = on;
        log.push_back(on ? "checking" : "idle");
    }
    void FocusCancel() override
    {
        OnHostThread();
        EXPECT_TRUE(checking);
        focused = true;
    }
    void ShowPage(int index) override
    {
        OnHostThread();
        EXPECT_FALSE(checking);
        log.push_back("page" + std::to_string(index));
    }
    void ShowInfo(const std::string& text) override
    {
        OnHostThread();
        log.push_back("info:" + text);
    }

    std::vector<std::string> entries;
    std::vector<Group> tree;
    std::vector<std::string> log;
    std::vector<int> progress;
    std::vector<std::size_t> compared;
    std::string countText;
    int progressMax = -1;
    int progressMaxCalls = 0;
    int events = 0;
    int cancelAtEvent = 0;
    bool cancelled = true;
    bool checking = false;
    bool focused = false;

private:
    void OnHostThread() const
    {
        EXPECT_EQ(std::this_thread::get_id(), m_thread) << "host called from a worker";
    }
    std::thread::id m_thread = std::this_thread::get_id();
};

// The check run as first written down: every pivot against every entry from the
// bottom up, one SameFileContent per pair of different path strings.
void LiteralRunCheck(CheckHost& host)
{
    if (host.EntryCount() < 2) {
        host.ShowInfo("比較するファイルがありません");
        return;
    }
    host.SetCheckCtrl(true);
    try {
        host.FocusCancel();
        host.ResetCancelled();
        host.SetProgress(0);
        int groupCounter = 0;
        for (std::size_t i = 0; i + 1 <= host.EntryCount(); ++i) {
            host.SetProgressMax(static_cast<int>(host.EntryCount() - 1));
            bool open = false;
            const std::size_t count = host.EntryCount();
            for (std::size_t j = count; j-- > 0;) {
                host.ProcessEvents();
                if (host.CheckCancelled()) {
                    host.SetCheckCtrl(false);
                    return;
                }
                if (host.EntryText(i) == host.EntryText(j))
                    continue;
                if (FileScan::SameFileContent(host.EntryText(i), host.EntryText(j))) {
                    if (!open) {
                        host.AddGroup("重複ファイル" + std::to_string(++groupCounter));
                        host.AddChild(host.EntryText(i));
                        open = true;
                    }
                    host.AddChild(host.EntryText(j));
                    host.RemoveEntry(j);
                }
                host.SetCountText(std::to_string(host.EntryCount()));
            }
            host.SetProgress(static_cast<int>(i + 1));
        }
    } catch (...) {
        host.SetCheckCtrl(false);
        throw;
    }
    host.SetCheckCtrl(false);
    host.ShowPage(1);
}

// What a run leaves behind.
struct Outcome {
    std::vector<Group> tree;
    std::vector<std::string> entries;
    std::vector<std::string> log;
    std::optional<std::string> error;
};

template <class RunFn>
Outcome RunOn(const std::vector<std::string>& entries, RunFn run, FakeHost** seen = nullptr)
{
    static thread_local std::unique_ptr<FakeHost> last;
    last = std::make_unique<FakeHost>(entries);
    Outcome out;
    try {
        run(*last);
    } catch (const FileScan::FileError& e) {
        out.error = e.what();
    }
    EXPECT_FALSE(last->checking);
    out.tree = last->tree;
    out.entries = last->entries;
    out.log = last->log;
    if (seen)
        *seen = last.get();
    return out;
}

Outcome Fast(
    const std::vector<std::string>& entries, const EngineOptions& options = {}, FakeHost** seen = nullptr)
{
    return RunOn(
        entries, [&](CheckHost& h) { Check::RunCheck(h, options); }, seen);
}

Outcome Literal(const std::vector<std::string>& entries)
{
    return RunOn(entries, [](CheckHost& h) { LiteralRunCheck(h); });
}

std::string Content(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
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

TEST_F(CheckRunTest, FewerThanTwoEntriesShowOnlyTheInformationBox)
{
    const std::string a = File("a", "x");
    for (const std::vector<std::string>& list :
        { std::vector<std::string> {}, std::vector<std::string> { a } }) {
        FakeHost* host = nullptr;
        const Outcome out = Fast(list, {}, &host);
        EXPECT_EQ(out.log, std::vector<std::string> { "info:比較するファイルがありません" });
        EXPECT_EQ(out.entries, list);
        EXPECT_TRUE(out.tree.empty());
        EXPECT_FALSE(host->focused);
        EXPECT_EQ(host->events, 0);
        EXPECT_TRUE(host->progress.empty());
    }
}

TEST_F(CheckRunTest, GroupsTheNamedExamplesAsThePairwiseRunDoes)
{
    const std::string x = Content(300, 1);
    const std::string y = Content(300, 2);
    const std::string a = File("A", x), b = File("B", y), c = File("C", x), d = File("D", x);

    Outcome out = Fast({ a, b, c });
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { a, c } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { a, b }));
    EXPECT_EQ(out.log, (std::vector<std::string> { "checking", "idle", "page1" }));

    // Children after the first come from the bottom of the list up.
    const std::string b2 = File("B2", x), c2 = File("C2", y);
    out = Fast({ a, b2, c2, d });
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { a, d, b2 } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { a, c2 }));

    // Two sets {A, C} and {B, D} numbered in pivot order.
    const std::string d2 = File("D2", y);
    out = Fast({ a, b, c, d2 });
    EXPECT_EQ(
        out.tree, (std::vector<Group> { { "重複ファイル1", { a, c } }, { "重複ファイル2", { b, d2 } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { a, b }));

    out = Fast({ a, a });
    EXPECT_TRUE(out.tree.empty());
    EXPECT_EQ(out.entries, (std::vector<std::string> { a, a }));
    EXPECT_EQ(out.log, (std::vector<std::string> { "checking", "idle", "page1" }));

    const std::string q = File("Q", x), p = File("P", x);
    out = Fast({ q, p, p });
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { q, p, p } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { q }));
    out = Fast({ p, p, q });
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { p, q } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { p, p }));
}

TEST_F(CheckRunTest, SecondRunNumbersFromOneBelowTheEarlierGroups)
{
    const std::string x = Content(50, 3);
    const std::string a = File("a", x), b = File("b", x), c = File("c", "other"), d = File("d", "other");
    FakeHost host({ a, b });
    Check::RunCheck(host);
    host.entries.insert(host.entries.end(), { c, d });
    Check::RunCheck(host);
    EXPECT_EQ(
        host.tree, (std::vector<Group> { { "重複ファイル1", { a, b } }, { "重複ファイル1", { c, d } } }));
    EXPECT_EQ(host.entries, (std::vector<std::string> { a, c }));
    EXPECT_EQ(host.countText, "2");
    EXPECT_EQ(
        host.log, (std::vector<std::string> { "checking", "idle", "page1", "checking", "idle", "page1" }));
}

TEST_F(CheckRunTest, FileThatNoLongerOpensEndsTheRunWithPartialResults)
{
    const std::string x = Content(64, 4);
    const std::string a = File("a.jpg", x), b = File("b.jpg", "bb"), gone = File("gone.jpg", "g"),
                      d = File("d.jpg", x);
    fs::remove(gone);
    const Outcome out = Fast({ a, b, gone, d });
    ASSERT_TRUE(out.error);
    EXPECT_EQ(*out.error, "ファイル " + gone + " は開けません");
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { a, d } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { a, b, gone }));
    EXPECT_EQ(out.log, (std::vector<std::string> { "checking", "idle" }));
}

TEST_F(CheckRunTest, SecondNameOfTheSameFileFailsOnlyWhenItMeetsThePivotsOwnFile)
{
    const std::string x = Content(80, 5);
    const std::string a = File("A", x), c = File("C", x);
    const std::string b = dir / "B";
    ASSERT_EQ(link(c.c_str(), b.c_str()), 0);
    // The pivot A matches both names of C; they are never compared with each other.
    Outcome out = Fast({ a, b, c });
    EXPECT_FALSE(out.error);
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { a, c, b } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { a }));

    out = Fast({ b, c, a });
    ASSERT_TRUE(out.error);
    EXPECT_EQ(*out.error, "ファイル " + c + " は開けません");
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { b, a } } }));
    EXPECT_EQ(out.entries, (std::vector<std::string> { b, c }));

    const std::string s = dir / "S";
    fs::create_symlink(a, s);
    out = Fast({ s, b, a });
    ASSERT_TRUE(out.error);
    EXPECT_EQ(*out.error, "ファイル " + a + " は開けません");
}

TEST_F(CheckRunTest, UnopenablePivotFailsNamingItselfUnlessEveryEntryIsItsPath)
{
    const std::string a = File("a", "same"), b = File("b", "same");
    const std::string missing = dir / "missing";
    Outcome out = Fast({ missing, a, b });
    ASSERT_TRUE(out.error);
    EXPECT_EQ(*out.error, "ファイル " + missing + " は開けません");
    EXPECT_TRUE(out.tree.empty());

    out = Fast({ missing, missing, missing });
    EXPECT_FALSE(out.error);
    EXPECT_EQ(out.log, (std::vector<std::string> { "checking", "idle", "page1" }));

    const std::string folder = dir.MakeDir("folder");
    out = Fast({ a, folder, b });
    ASSERT_TRUE(out.error);
    EXPECT_EQ(*out.error, "ファイル " + folder + " は開けません");
    EXPECT_EQ(out.tree, (std::vector<Group> { { "重複ファイル1", { a, b } } }));
}

TEST_F(CheckRunTest, CancelStopsWithoutMessageOrPageSwitch)
{
    const std::string x = Content(10, 6);
    const std::string a = File("a", x), b = File("b", x);
    FakeHost host({ a, b });
    host.cancelAtEvent = 1;
    Check::RunCheck(host);
    EXPECT_EQ(host.log, (std::vector<std::string> { "checking", "idle" }));
    EXPECT_EQ(host.events, 1);
    EXPECT_TRUE(host.tree.empty());
    EXPECT_EQ(host.entries.size(), 2u);
}

TEST_F(CheckRunTest, ProgressRisesOnceFromZeroToFull)
{
    std::vector<std::string> list;
    for (int k = 0; k < 40; ++k)
        list.push_back(File("f" + std::to_string(k), Content(2000, k % 7)));
    // A size of its own: settled without a read, it still counts as compared.
    list.push_back(File("lone", Content(100, 1)));
    // A second name of a listed file is no further file.
    list.push_back(list.front());
    FakeHost* host = nullptr;
    Fast(list, {}, &host);
    EXPECT_EQ(host->progressMaxCalls, 1);
    ASSERT_FALSE(host->progress.empty());
    EXPECT_EQ(host->progress.front(), 0);
    EXPECT_EQ(host->progress.back(), host->progressMax);
    EXPECT_TRUE(std::is_sorted(host->progress.begin(), host->progress.end()));
    EXPECT_EQ(host->countText, "9");
    // The count of compared files rises to the number of files, each step reported once.
    ASSERT_FALSE(host->compared.empty());
    EXPECT_TRUE(std::adjacent_find(host->compared.begin(), host->compared.end(), std::greater_equal<>())
        == host->compared.end());
    EXPECT_EQ(host->compared.back(), 41u);
}

TEST_F(CheckRunTest, ManyCopiesOfOneFileFormOneGroupInListOrder)
{
    const std::string x = Content(3000, 7);
    std::vector<std::string> list;
    for (int k = 0; k < 1500; ++k)
        list.push_back(File("copy" + std::to_string(k), x));
    const Outcome out = Fast(list);
    ASSERT_EQ(out.tree.size(), 1u);
    std::vector<std::string> expected { list[0] };
    expected.insert(expected.end(), list.rbegin(), list.rend() - 1);
    EXPECT_EQ(out.tree[0].children, expected);
    EXPECT_EQ(out.entries, std::vector<std::string> { list[0] });
}

// Real files for random lists: sets of copies, same-size files differing in one byte
// at the start, middle or end, empty files, links, and paths that do not open.
class OracleCorpus {
public:
    OracleCorpus()
    {
        const std::string base = Content(1000, 11);
        const std::string other = Content(1000, 12);
        const std::string small = Content(40, 13);
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
        add(Content(1001, 14));
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
    }

    std::vector<std::string> RandomList(std::mt19937& rng) const
    {
        std::vector<std::string> list;
        const std::size_t length = std::uniform_int_distribution<std::size_t>(0, 12)(rng);
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
        const std::string base = Content(1000, 11);
        for (const auto& [name, content] :
            std::vector<std::pair<std::string, std::string>> { { "locked-copy", base },
                { "locked-own-size", Content(777, 15) }, { "locked-small", Content(40, 13) } }) {
            locked.push_back(dir.Write(name, content));
            fs::permissions(locked.back(), fs::perms::none);
        }
        fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }

    TempDir dir;
    std::vector<std::string> paths;
    std::vector<std::string> bad;
    std::vector<std::string> locked;
};

std::string Shown(const std::vector<std::string>& list)
{
    std::string shown;
    for (const std::string& p : list)
        shown += fs::path(p).filename().string() + " ";
    return shown;
}

// Runs body in a child process without those capabilities; returns its report.
std::string WithoutFileCapabilities(const std::function<std::string()>& body)
{
    // No time limit: the sanitizer build on a loaded machine is slow here.
    return InChild([&] { return DropFileCapabilities() ? body() : std::string("cannot drop capabilities"); }, 0);
}

void ExpectSameOutcome(const std::vector<std::string>& list, const EngineOptions& options, const char* name)
{
    const Outcome want = Literal(list);
    const Outcome got = Fast(list, options);
    const std::string shown = Shown(list);
    EXPECT_EQ(got.tree, want.tree) << name << ": " << shown;
    EXPECT_EQ(got.entries, want.entries) << name << ": " << shown;
    EXPECT_EQ(got.error, want.error) << name << ": " << shown;
    EXPECT_EQ(got.log, want.log) << name << ": " << shown;
}

TEST(CheckRunOracle, RandomListsGiveThePairwiseRunsResults)
{
    const OracleCorpus corpus;
    std::mt19937 rng(20240601);
    EngineOptions tiny;
    tiny.headBytes = 8;
    tiny.wholeFileBytes = 0;
    tiny.chunkBytes = 64;
    tiny.maxOpenFiles = 2;
    tiny.splitBytes = 128;
    tiny.threads = 2;
    EngineOptions single;
    single.threads = 1;
    int compared = 0;
    for (int round = 0; round < 1000 && !HasFailure(); ++round) {
        const std::vector<std::string> list = corpus.RandomList(rng);
        ExpectSameOutcome(list, {}, "default");
        ExpectSameOutcome(list, tiny, "tiny blocks");
        if (round % 4 == 0)
            ExpectSameOutcome(list, single, "one worker");
        ++compared;
    }
    EXPECT_EQ(compared, 1000);
}

// Files that stat finds but that do not open are only found out when opened: the
// first of each size is opened when compared, and the run must still fail exactly
// where the pairwise run does.
TEST(CheckRunOracle, UnreadableFilesFailTheRunWhereThePairwiseRunFails)
{
    OracleCorpus corpus;
    corpus.AddLocked();
    const std::string report = WithoutFileCapabilities([&] {
        std::ostringstream out;
        std::mt19937 rng(77);
        EngineOptions tiny;
        tiny.headBytes = 8;
        tiny.wholeFileBytes = 0;
        tiny.chunkBytes = 64;
        tiny.maxOpenFiles = 2;
        tiny.threads = 2;
        int mismatches = 0;
        int failures = 0;
        for (int round = 0; round < 300 && mismatches < 3; ++round) {
            std::vector<std::string> list = corpus.RandomList(rng);
            if (list.empty())
                continue;
            list[rng() % list.size()] = corpus.locked[rng() % corpus.locked.size()];
            const Outcome want = Literal(list);
            failures += want.error ? 1 : 0;
            for (const EngineOptions& options : { EngineOptions {}, tiny }) {
                const Outcome got = Fast(list, options);
                if (got.tree != want.tree || got.entries != want.entries || got.error != want.error) {
                    ++mismatches;
                    out << "differs for " << Shown(list) << ": " << got.error.value_or("-") << " instead of "
                        << want.error.value_or("-") << "\n";
                }
            }
        }
        if (failures == 0)
            out << "no list failed: the locked files opened\n";
        return out.str();
    });
    EXPECT_EQ(report, "");
}

} // namespace
