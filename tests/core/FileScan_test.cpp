#include "scan/FileScan.h"
#include "scan/CandidatePaths.h"
#include "scan/PathStore.h"
#include "scan/Platform.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileScan;
using namespace Files;
namespace fs = std::filesystem;

namespace {

struct FilterCase {
    std::string text;
    std::string normalized;
    ExtList parsed;
};

class FilterTable : public ::testing::TestWithParam<FilterCase> { };

TEST_P(FilterTable, NormalizesAndParsesTheField)
{
    const FilterCase& c = GetParam();
    EXPECT_EQ(NormalizeExtFilter(c.text), c.normalized) << "text: " << c.text;
    ExtList list;
    ParseExtList(c.text, list);
    EXPECT_EQ(list, c.parsed) << "text: " << c.text;
}

INSTANTIATE_TEST_SUITE_P(Field, FilterTable,
    ::testing::Values(FilterCase { "", "*.*", {} }, FilterCase { "*.jpg;*.PNG", "*.jpg;*.PNG", { ".JPG", ".PNG" } },
        FilterCase { "*.jpg;jpg;*.j-g", "*.jpg;", { ".JPG", "JPG", ".J-G" } },
        FilterCase { "*.jpg;*.*", "*.jpg;", { ".JPG" } }, FilterCase { "jpg", "*.*", { "JPG" } },
        FilterCase { "*.;", "*.;", { "." } }, FilterCase { "*.JPEG;*.tif;", "*.JPEG;*.tif;", { ".JPEG", ".TIF" } },
        FilterCase { "*.jpg;;*.png", "*.jpg;*.png", { ".JPG", "", ".PNG" } }, FilterCase { "*", "*.*", {} },
        FilterCase { "*.", "*.", { "." } },
        FilterCase { "*.\xe7\x94\xbb", "*.*", { ".\xe7\x94\xbb" } }, FilterCase { ";", "*.*", { "" } },
        FilterCase { "*.*.*", "*.*", {} }));

// Spaces around a pattern, ASCII or full-width (U+3000), belong to no pattern, and the
// full-width "；" (U+FF1B) separates like ";".
INSTANTIATE_TEST_SUITE_P(Spaces, FilterTable,
    ::testing::Values(FilterCase { " *.jpg ;  *.png ", "*.jpg;*.png", { ".JPG", ".PNG" } },
        FilterCase { "*.jpg\xE3\x80\x80;\xE3\x80\x80*.png", "*.jpg;*.png", { ".JPG", ".PNG" } },
        FilterCase { "*.jpg\xEF\xBC\x9B*.png", "*.jpg;*.png", { ".JPG", ".PNG" } },
        FilterCase { "*.jpg \xEF\xBC\x9B *.png\xEF\xBC\x9B", "*.jpg;*.png;", { ".JPG", ".PNG" } },
        FilterCase { "*.jpg;\xEF\xBC\x9B*.png", "*.jpg;*.png", { ".JPG", "", ".PNG" } },
        FilterCase { " *.* ", "*.*", {} }, FilterCase { "   ", "*.*", {} },
        FilterCase { "\xE3\x80\x80", "*.*", {} },
        FilterCase { "*.jpg; ;*.png", "*.jpg;*.png", { ".JPG", "", ".PNG" } },
        // Only spaces around a pattern go; a space inside one stays and spoils it.
        FilterCase { "*. jpg;* .png", "*.*", { ". JPG", " .PNG" } },
        FilterCase { "*.jpg\t;*.png", "*.png", { ".JPG\t", ".PNG" } },
        // The full-width semicolon's bytes inside another character are no separator.
        FilterCase { "*.\xE3\xBC\x9B", "*.*", { ".\xE3\xBC\x9B" } }));

TEST(PathRoutines, SplitAtTheLastSeparator)
{
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("x.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("/p/name."), ".");
    EXPECT_EQ(ExtractFileExt("/p/.hidden"), ".hidden");
    EXPECT_EQ(ExtractFileName("/p/q/a.jpg"), "a.jpg");
    EXPECT_EQ(ExtractFileName("a.jpg"), "a.jpg");
    EXPECT_EQ(ExtractFileName("/p/"), "");
    EXPECT_EQ(ExtractFileDir("/p/q/a.jpg"), "/p/q/");
    EXPECT_EQ(ExtractFileDir("a.jpg"), "");
    EXPECT_EQ(ExtractFileDir("/a"), "/");
}

class FolderScan : public ::testing::Test {
protected:
    TempDir dir;
};

std::vector<std::string> PathsOf(const PathStore& store)
{
    std::vector<std::string> paths;
    for (std::size_t k = 0; k < store.Size(); ++k)
        paths.push_back(store.At(k));
    return paths;
}

TEST_F(FolderScan, TreeScanEqualsTheFolderThenEachSubfolderInTurn)
{
    // Wide and deep enough that folders are listed ahead of the walk, out of turn.
    std::mt19937 rng(1814);
    std::vector<std::string> folders { "t" };
    for (int k = 0; k < 300; ++k) {
        const std::string parent = folders[std::uniform_int_distribution<std::size_t>(0, folders.size() - 1)(rng)];
        const std::string folder = parent + (k % 9 == 0 ? "/.h" : "/d") + std::to_string(k);
        dir.MakeDir(folder);
        folders.push_back(folder);
        for (int f = k % 4; f > 0; --f)
            dir.Write(folder + "/f" + std::to_string(f) + (f == 2 ? ".txt" : ".jpg"), "x");
    }
    for (const char* filter : { "*.*", "*.jpg" }) {
        std::vector<std::string> expected;
        AddFolderFiles(dir / "t", filter, expected);
        std::vector<std::string> subs;
        ListSubFolders(dir / "t", subs);
        for (const std::string& sub : subs)
            AddFolderFiles(sub, filter, expected);
        std::vector<std::string> out;
        std::vector<ListedFile> listed;
        AddFolderTreeFiles(dir / "t", filter, out, &listed);
        EXPECT_EQ(out, expected) << filter;
        PathStore stored;
        AddFolderTreeFiles(dir / "t", filter, stored);
        EXPECT_EQ(PathsOf(stored), expected) << filter;
        EXPECT_GT(out.size(), 100U);
        // The look-ups taken while listing travel with their paths.
        ASSERT_EQ(listed.size(), out.size());
        for (std::size_t k = 0; k < out.size(); ++k) {
            EXPECT_TRUE(listed[k].id.Known() && listed[k].id == IdentifyFile(out[k])) << out[k];
            EXPECT_TRUE(listed[k].regular && listed[k].size == 1) << out[k];
        }
        // Watched, the same files; the counts rise to the whole, and a stop asked after
        // the first folders ends the scan before its end.
        std::vector<std::size_t> counts;
        ScanWatch watch { [&](std::size_t found) { counts.push_back(found); }, [] { return false; } };
        std::vector<std::string> watched;
        AddFolderTreeFiles(dir / "t", filter, watched, nullptr, nullptr, nullptr, &watch);
        EXPECT_EQ(watched, expected) << filter;
        EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
        EXPECT_EQ(counts.back(), expected.size());
        counts.clear();
        watch.stop = [&] { return counts.size() >= 3; };
        std::vector<std::string> stopped;
        AddFolderTreeFiles(dir / "t", filter, stopped, nullptr, nullptr, nullptr, &watch);
        EXPECT_EQ(counts.size(), 3U);
        EXPECT_EQ(stopped.size(), counts.back());
    }
}

TEST_F(FolderScan, ListsSubFoldersDepthFirstAndSkipsHiddenAndLinkedFolders)
{
    dir.MakeDir("A/B/C");
    dir.MakeDir("A/D");
    dir.MakeDir("A/.hidden/inner");
    ASSERT_EQ(symlink((dir / "A/B").c_str(), (dir / "A/link").c_str()), 0);
    // A link back to the top would loop forever if followed.
    ASSERT_EQ(symlink((dir / "A").c_str(), (dir / "A/D/loop").c_str()), 0);

    std::vector<std::string> subs;
    ListSubFolders(dir / "A", subs);
    const std::string a = dir / "A";
    // Enumeration order is the file system's; check pre-order rather than sibling order.
    ASSERT_EQ(subs.size(), 3U);
    const auto posB = std::find(subs.begin(), subs.end(), a + "/B");
    ASSERT_NE(posB, subs.end());
    EXPECT_EQ(*(posB + 1), a + "/B/C");
    EXPECT_NE(std::find(subs.begin(), subs.end(), a + "/D"), subs.end());

    // A missing folder, and no folder at all, contribute nothing to any listing.
    subs.clear();
    ListSubFolders(dir / "missing", subs);
    ListSubFolders("", subs);
    ListSubFolders(dir.Write("plain", "x"), subs);
    AddFolderFiles(dir / "missing", "*.*", subs);
    AddFolderTreeFiles(dir / "missing", "*.*", subs);
    EXPECT_TRUE(subs.empty());
}

// Links, FIFOs and sockets in a scanned folder are in the hostile-input tests.
TEST_F(FolderScan, TakesHiddenFilesButNotHiddenFolders)
{
    const std::string f = dir.MakeDir("f");
    dir.Write("f/.hidden.jpg", "h");
    dir.Write("f/real.jpg", "r");
    dir.Write("f/b.txt", "b");
    dir.Write("f/.dot/inside.jpg", "i");
    dir.Write("f/sub/c.JPG", "c");
    ASSERT_EQ(link((f + "/real.jpg").c_str(), (f + "/hard.jpg").c_str()), 0);

    std::vector<std::string> out;
    AddFolderTreeFiles(f, "", out);
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out,
        (std::vector<std::string> {
            f + "/.hidden.jpg", f + "/b.txt", f + "/hard.jpg", f + "/real.jpg", f + "/sub/c.JPG" }));
    // One folder, filtered; a trailing separator is not doubled.
    out.clear();
    AddFolderFiles(f + "/", "*.jpg", out);
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out, (std::vector<std::string> { f + "/.hidden.jpg", f + "/hard.jpg", f + "/real.jpg" }));
}

struct ExcludeCase {
    std::string pattern;
    std::string relative;
    bool folder;
    bool excluded;
};

class ExcludeTable : public ::testing::TestWithParam<ExcludeCase> { };

TEST_P(ExcludeTable, MatchesNamesAnywhereAndPathsBelowTheFolder)
{
    const ExcludeCase& c = GetParam();
    const Exclusions exclusions(ExclusionRules { { c.pattern }, 0, UINT64_MAX, false });
    EXPECT_EQ(exclusions.Excludes(c.relative, c.folder), c.excluded) << c.pattern << " on " << c.relative;
}

INSTANTIATE_TEST_SUITE_P(Names, ExcludeTable,
    ::testing::Values(ExcludeCase { ".git", "a/.git", true, true },
        ExcludeCase { "Thumbs.db", "x/y/Thumbs.db", false, true },
        ExcludeCase { "Thumbs.db", "x/thumbs.db", false, false },
        ExcludeCase { "*.tmp", "a.tmp", false, true }, ExcludeCase { "*.tmp", "a.tmp.bak", false, false },
        ExcludeCase { "~*", "d/~lock", false, true }, ExcludeCase { "*", "anything", true, true },
        ExcludeCase { "*写真*", "旅行写真2024.jpg", false, true }, ExcludeCase { "a?c", "a写c", false, true },
        ExcludeCase { "a??c", "a写c", false, false },
        // A byte outside valid UTF-8 is one character of its own.
        ExcludeCase { "a?c", "a\377c", false, true }, ExcludeCase { "*\x82", "\xe3\x81\x82", false, false },
        ExcludeCase { "bad\xff.log", "bad\xff.log", false, true },
        ExcludeCase { "[abc]x", "bx", false, true }, ExcludeCase { "[!abc]x", "bx", false, false },
        ExcludeCase { "[^a-c]x", "dx", false, true }, ExcludeCase { "[a-c]x", "cx", false, true },
        ExcludeCase { "[]]x", "]x", false, true }, ExcludeCase { "[写真]", "真", false, true },
        ExcludeCase { "[ab", "[ab", false, true }, ExcludeCase { "\\*", "*", false, true },
        ExcludeCase { "\\*", "a", false, false }, ExcludeCase { "  *.log\t", "x.log", false, true },
        ExcludeCase { " ", "x", false, false }, ExcludeCase { "docs/", "p/docs", true, true },
        ExcludeCase { "docs/", "p/docs", false, false }));

INSTANTIATE_TEST_SUITE_P(Paths, ExcludeTable,
    ::testing::Values(ExcludeCase { "build/*", "build/x.o", false, true },
        ExcludeCase { "build/*", "build", true, false },
        ExcludeCase { "build/*", "src/build/x.o", false, false },
        ExcludeCase { "/notes.txt", "notes.txt", false, true },
        ExcludeCase { "/notes.txt", "a/notes.txt", false, false },
        ExcludeCase { "src/*.c", "src/x/a.c", false, false }, ExcludeCase { "**/cache", "cache", true, true },
        ExcludeCase { "**/cache", "a/b/cache", true, true }, ExcludeCase { "a/**/z", "a/z", false, true },
        ExcludeCase { "a/**/z", "a/b/c/z", false, true }, ExcludeCase { "a//b/", "a/b", true, true },
        ExcludeCase { "a/b/", "a/b", false, false }));

TEST(Exclusions, ReadsSizesWithBinarySuffixes)
{
    const std::pair<const char*, std::uint64_t> good[] = { { "0", 0 }, { "512", 512 }, { "64K", 65536 },
        { "2m", 2 << 20 }, { "1G", 1 << 30 }, { "18446744073709551615", UINT64_MAX } };
    for (const auto& [text, size] : good) {
        std::uint64_t read = 1;
        EXPECT_TRUE(ParseSize(text, read) && read == size) << text;
    }
    for (const char* text : { "", "K", "1KB", "-1", "1.5K", " 1", "18446744073709551616", "17179869184G" }) {
        std::uint64_t read = 0;
        EXPECT_FALSE(ParseSize(text, read)) << text;
    }
}

// Counts how often each of folders is opened while body runs.
std::map<std::string, int> FoldersOpened(
    const std::vector<std::string>& folders, const std::function<void()>& body)
{
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    std::map<int, std::string> names;
    for (const std::string& folder : folders)
        names[inotify_add_watch(watch, folder.c_str(), IN_OPEN | IN_ONLYDIR)] = folder;
    body();
    std::map<std::string, int> opened;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            // A folder's own opening has no name; a file opened in it would.
            if ((event->mask & IN_ISDIR) && event->len == 0)
                ++opened[names[event->wd]];
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(watch);
    return opened;
}

TEST_F(FolderScan, LeavesOutWhatTheExclusionsSayAndNeverEntersAnExcludedFolder)
{
    const std::string t = dir.MakeDir("t");
    for (const char* name : { "keep.jpg", "a.tmp", "写真.jpg", "写真1.jpg", "bad\xff.jpg", "bad\xff.log",
             "node_modules/x.js", "node_modules/sub/y.js", "build/out.o", "build/sub/z.o", "src/build/y.c",
             "src/docs", "docs/guide.txt" })
        dir.Write(std::string("t/") + name, "x");
    const ExclusionRules rules { { "node_modules", "*.tmp", "build/*", "docs/", "写真?.jpg", "bad\xff.log" },
        0, UINT64_MAX, false };
    const Exclusions exclusions(rules);
    std::vector<std::string> out;
    std::vector<ListedFile> listed;
    const std::map<std::string, int> opened
        = FoldersOpened({ t, t + "/node_modules", t + "/node_modules/sub", t + "/build", t + "/build/sub",
                            t + "/src/build", t + "/docs" },
            [&] { AddFolderTreeFiles(t, "*.*", out, &listed, nullptr, &exclusions); });
    // Into a PathStore, the same paths in the same order, odd names and all.
    PathStore stored;
    std::vector<ListedFile> storeListed;
    AddFolderTreeFiles(t, "*.*", stored, &storeListed, nullptr, &exclusions);
    EXPECT_EQ(PathsOf(stored), out);
    EXPECT_EQ(storeListed.size(), listed.size());
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out,
        (std::vector<std::string> {
            t + "/bad\xff.jpg", t + "/keep.jpg", t + "/src/build/y.c", t + "/src/docs", t + "/写真.jpg" }));
    EXPECT_EQ(listed.size(), out.size());
    EXPECT_EQ(
        opened, (std::map<std::string, int> { { t, 1 }, { t + "/build", 1 }, { t + "/src/build", 1 } }));
    // One folder alone: a pattern with "/" reads the paths below it.
    out.clear();
    const Exclusions top(ExclusionRules { { "/keep.jpg", "x.js" }, 0, UINT64_MAX, false });
    AddFolderFiles(t + "/node_modules", "*.*", out, nullptr, nullptr, &top);
    AddFolderFiles(t, "*.jpg", out, nullptr, nullptr, &top);
    stored.Clear();
    AddFolderFiles(t + "/node_modules", "*.*", stored, nullptr, nullptr, &top);
    AddFolderFiles(t, "*.jpg", stored, nullptr, nullptr, &top);
    EXPECT_EQ(PathsOf(stored), out);
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out, (std::vector<std::string> { t + "/bad\xff.jpg", t + "/写真.jpg", t + "/写真1.jpg" }));
}

TEST_F(FolderScan, SizeLimitsKeepTheirEdgesAndEmptyFilesGoWhenAsked)
{
    const std::string t = dir.MakeDir("t");
    for (const std::size_t size : { 0, 2, 3, 5, 6 })
        dir.Write("t/s" + std::to_string(size), std::string(size, 'x'));
    const auto scan = [&](const ExclusionRules& rules, bool identify) {
        const Exclusions exclusions(rules);
        std::vector<std::string> out;
        std::vector<ListedFile> listed;
        AddFolderTreeFiles(t, "", out, identify ? &listed : nullptr, nullptr, &exclusions);
        std::sort(out.begin(), out.end());
        std::string names;
        for (const std::string& path : out)
            names += ExtractFileName(path) + " ";
        return names;
    };
    for (const bool identify : { false, true }) {
        EXPECT_EQ(scan({ {}, 3, 5, false }, identify), "s3 s5 ");
        EXPECT_EQ(scan({ {}, 0, 2, false }, identify), "s0 s2 ");
        EXPECT_EQ(scan({ {}, 0, UINT64_MAX, true }, identify), "s2 s3 s5 s6 ");
        EXPECT_EQ(scan({ {}, 0, UINT64_MAX, false }, identify), "s0 s2 s3 s5 s6 ");
    }
}

long OpenDescriptors()
{
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

std::string OpenErrorOf(const std::string& a, const std::string& b)
{
    return ErrorOf([&] { SameFileContent(a, b); });
}

class Compare : public ::testing::Test {
protected:
    TempDir dir;
};

// Short files, empty ones and a path against itself are in fuzz_check; here the
// differences around a block's end.
TEST_F(Compare, DecidesOnSizesAndBytes)
{
    std::string big(300000, 'x');
    const std::string a = dir.Write("a", big);
    const std::string b = dir.Write("b", big);
    EXPECT_TRUE(SameFileContent(a, b));
    for (std::size_t at : { std::size_t { 0 }, big.size() / 2, std::size_t { 131072 }, big.size() - 1 }) {
        std::string other = big;
        other[at] = 'y';
        EXPECT_FALSE(SameFileContent(a, dir.Write("d" + std::to_string(at), other))) << at;
    }
    EXPECT_FALSE(SameFileContent(a, dir.Write("short", big.substr(1))));
}

TEST_F(Compare, NamesThePathThatCannotBeOpenedAndClosesTheOther)
{
    const std::string a = dir.Write("a.jpg", "same");
    const std::string missing = dir / "missing.jpg";
    const long before = OpenDescriptors();
    EXPECT_EQ(OpenErrorOf(missing, a), OpenErrorText(missing));
    EXPECT_EQ(OpenErrorOf(a, missing), "ファイル " + missing + " は開けません");
    EXPECT_EQ(OpenErrorOf(a, dir.Path()), OpenErrorText(dir.Path()));
    EXPECT_EQ(OpenDescriptors(), before);
    // The first file is free again at once.
    EXPECT_EQ(rename(a.c_str(), (dir / "moved.jpg").c_str()), 0);
}

// Other second names, given second, are in HostileLinks.
TEST_F(Compare, RefusesASecondNameOfTheSameFileGivenFirst)
{
    const std::string a = dir.Write("a", "data");
    ASSERT_EQ(symlink(a.c_str(), (dir / "soft").c_str()), 0);
    EXPECT_EQ(OpenErrorOf(dir / "soft", a), OpenErrorText(a));
}

TEST_F(Compare, HandlesSparseFilesBeyondFourGiB)
{
    // Sizes that agree in their low 32 bits must not look equal; a difference in the
    // last byte of 5 GiB files is in HostileSparse.
    constexpr off_t kSize = (off_t { 5 } << 30) + 3;
    const std::pair<const char*, off_t> files[]
        = { { "a", kSize }, { "a2", kSize }, { "c", kSize - (off_t { 4 } << 30) } };
    for (const auto& [name, size] : files)
        MakeSparse(dir, name, static_cast<std::uint64_t>(size), '\0');
    EXPECT_FALSE(SameFileContent(dir / "a", dir / "c"));
    EXPECT_TRUE(SameFileContent(dir / "a", dir / "a2"));
}

TEST_F(Compare, AReadThatWaitsForTheDiskLeavesTheThreadsGateMeanwhile)
{
    struct Counting final : Platform::ReadGate {
        int inside = 1;
        int leaves = 0;
        void Enter() override { ++inside; }
        void Leave() override
        {
            --inside;
            ++leaves;
        }
    } gate;
    const std::string content(256 * 1024, 'c');
    const std::string path = dir.Write("cold.bin", content);
    {
        // Written back and dropped from the page cache, so that reading it waits.
        const int fd = open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(fsync(fd), 0);
        EXPECT_EQ(posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
        close(fd);
    }
    Platform::ReadFile file;
    ASSERT_TRUE(file.Open(path).Ok());
    if (file.InMemory(0, 1))
        GTEST_SKIP() << "this file system keeps its files in memory";
    std::string bytes(content.size(), '\0');
    Platform::SetReadGate(&gate);
    const std::int64_t got = file.ReadFull(0, bytes.data(), bytes.size());
    Platform::SetReadGate(nullptr);
    EXPECT_EQ(got, static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(bytes, content);
    EXPECT_GE(gate.leaves, 1);
    EXPECT_EQ(gate.inside, 1);
}

} // namespace
