#include "check/ResultExport.h"
#include "scan/PathText.h"
#include "scan/SaveFile.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/mount.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Check;
namespace fs = std::filesystem;

namespace {

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_old.empty())
            unsetenv("TZ");
        else
            setenv("TZ", m_old.c_str(), 1);
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::string m_old;
};

// 2023-11-14 22:13:20 UTC.
constexpr std::int64_t kMoment = 1700000000;

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// The names that need care in a spreadsheet: Japanese, comma, quote, line break, tab,
// bytes that are no UTF-8; a file gone since the check; a group emptied. (What the JSON
// carries is read back by Python in tests/scripts/test_results_export.sh.)
TEST(FormatResults, WritesEveryFieldOfTheCsv)
{
    TempDir dir;
    const TimeZone zone("JST-9");
    const std::string d = dir.Path() + "/";
    const ResultGroups groups = {
        { d + "写真.jpg", d + "a,b.txt", d + "say \"hi\".txt", d + "line\nbreak.txt", d + "\x82\xA0.txt",
            d + "gone.txt" },
        {},
        { d + "tab\t.txt" },
    };
    for (const char* name : { "写真.jpg", "a,b.txt", "say \"hi\".txt", "line\nbreak.txt", "\x82\xA0.txt" })
        SetFileMtime(dir.Write(name, "abc"), kMoment);
    SetFileMtime(dir.Write("tab\t.txt", ""), kMoment);
    const std::string t = ",2023-11-15T07:13:20+09:00\r\n";
    EXPECT_EQ(FormatResults(groups, ResultFormat::Csv),
        "\xEF\xBB\xBFgroup,position,path,size,modified\r\n"
        "1,1," + d + "写真.jpg,3" + t
        + "1,2,\"" + d + "a,b.txt\",3" + t
        + "1,3,\"" + d + "say \"\"hi\"\".txt\",3" + t
        + "1,4,\"" + d + "line\nbreak.txt\",3" + t
        + "1,5," + d + "\\x82\\xA0.txt,3" + t
        + "1,6," + d + "gone.txt,,\r\n"
        + "3,1," + d + "tab\t.txt,0" + t);
    EXPECT_EQ(FormatResults({}, ResultFormat::Csv), "\xEF\xBB\xBFgroup,position,path,size,modified\r\n");
    EXPECT_EQ(FormatResults({}, ResultFormat::Json), "{\n  \"groups\": []\n}\n");
}

TEST(FormatResults, KeepsTheBytesOfEveryPathThatIsNoUtf8)
{
    // Other control bytes as \u escapes; base64 padded with one and two "=".
    EXPECT_EQ(FormatResults({ { "/no/such/\xFF", "/no/such/\xFFx", "/no/\x01" } }, ResultFormat::Json),
        "{\n  \"groups\": [\n    {\n      \"group\": 1,\n      \"files\": [\n"
        "        {\"position\": 1, \"path\": \"/no/such/\\\\xFF\", \"path_base64\": \"L25vL3N1Y2gv/w==\", "
        "\"size\": null, \"modified\": null},\n"
        "        {\"position\": 2, \"path\": \"/no/such/\\\\xFFx\", \"path_base64\": \"L25vL3N1Y2gv/3g=\", "
        "\"size\": null, \"modified\": null},\n"
        "        {\"position\": 3, \"path\": \"/no/\\u0001\", \"size\": null, \"modified\": null}\n"
        "      ]\n    }\n  ]\n}\n");
}

// Every path has a text of its own, in the window (DisplayPath) as in the saved results,
// and the window's text comes back as the path: random names over the bytes that need
// care (backslash, "x", hex digits, control bytes, bytes of UTF-8 and of none).
TEST(FormatResults, NoTwoPathsShareAText)
{
    const std::string a = "/t/a\xE9.txt";
    const std::string b = "/t/a\\xE9.txt";
    EXPECT_EQ(FileScan::DisplayPath("/t/写真 (1).jpg"), "/t/写真 (1).jpg");
    EXPECT_EQ(FileScan::DisplayPath(a), "/t/a\\xE9.txt");
    EXPECT_EQ(FileScan::DisplayPath(b), "/t/a\\x5CxE9.txt");
    EXPECT_EQ(FileScan::DisplayPath("/t/a\\xg\\x4"), "/t/a\\xg\\x4");
    EXPECT_EQ(FormatResults({ { a, b } }, ResultFormat::Csv),
        "\xEF\xBB\xBFgroup,position,path,size,modified\r\n1,1,/t/a\\xE9.txt,,\r\n1,2,/t/a\\x5CxE9.txt,,\r\n");

    const char alphabet[] = { '\\', 'x', 'X', '4', 'e', 'F', 'g', '/', '\n', '\x7F', '\xC3', '\xA9', '\xE9', 'a' };
    std::mt19937 random(26);
    std::set<std::string> paths;
    std::set<std::string> shown;
    std::set<std::string> written;
    for (int n = 0; n < 20000; ++n) {
        std::string path(random() % 7, ' ');
        for (char& c : path)
            c = alphabet[random() % sizeof alphabet];
        if (!paths.insert(path).second)
            continue;
        const std::string text = FileScan::DisplayPath(path);
        ASSERT_EQ(FileScan::PathFromDisplayText(text), path) << text;
        ASSERT_TRUE(FileScan::IsValidUtf8(text)) << text;
        ASSERT_TRUE(shown.insert(text).second) << text;
        ASSERT_TRUE(written.insert(FileScan::WritableAsIs(path) ? path : text).second) << text;
    }
    EXPECT_GT(paths.size(), 5000U);
}

TEST(ModifiedText, IsLocalTimeWithItsOffset)
{
    const struct {
        const char* zone;
        Platform::FileTime time;
        const char* text;
    } cases[] = {
        { "JST-9", { kMoment, 999999999 }, "2023-11-15T07:13:20+09:00" },
        { "EST5", { kMoment, 0 }, "2023-11-14T17:13:20-05:00" },
        { "IST-5:30", { kMoment, 0 }, "2023-11-15T03:43:20+05:30" },
        { "NST3:30", { kMoment, 0 }, "2023-11-14T18:43:20-03:30" },
        { "UTC0", { 951782400, 0 }, "2000-02-29T00:00:00+00:00" },
        // Before 1970 the second rounds down.
        { "UTC0", { -1, 999999999 }, "1969-12-31T23:59:59+00:00" },
        // An offset with seconds (a zone's old mean time) gives UTC instead.
        { "LMT-9:18:59", { kMoment, 0 }, "2023-11-14T22:13:20+00:00" },
        { "LMT-9:18:59", { -2208988800, 0 }, "1900-01-01T00:00:00+00:00" },
        { "LMT-9:18:59", { 951868799, 0 }, "2000-02-29T23:59:59+00:00" },
    };
    for (const auto& c : cases) {
        const TimeZone zone(c.zone);
        EXPECT_EQ(ModifiedText(c.time), c.text) << c.zone << " " << c.time.seconds;
    }
}

TEST(FormatResults, TimesLongBeforeAndAfter1970AreExact)
{
    // A memory file system keeps any time; nanoseconds in 64 bits end in 1677 and 2262.
    const TempDir shm("/dev/shm");
    const TimeZone zone("UTC0");
    const std::string late = shm.Write("late", "x");
    const std::string early = shm.Write("early", "x");
    SetFileMtime(late, 10413792000);
    SetFileMtime(early, -11676096000);
    EXPECT_EQ(FormatResults({ { late, early } }, ResultFormat::Csv),
        "\xEF\xBB\xBFgroup,position,path,size,modified\r\n1,1," + late + ",1,2300-01-01T00:00:00+00:00\r\n1,2,"
            + early + ",1,1600-01-01T00:00:00+00:00\r\n");
}

TEST(ResultFormatOf, FollowsTheExtensionElseTheChosenFilter)
{
    EXPECT_EQ(ResultFormatOf("/r/a.json", ResultFormat::Csv), ResultFormat::Json);
    EXPECT_EQ(ResultFormatOf("/r/a.JSON", ResultFormat::Csv), ResultFormat::Json);
    EXPECT_EQ(ResultFormatOf("/r/a.Csv", ResultFormat::Json), ResultFormat::Csv);
    EXPECT_EQ(ResultFormatOf("/r/a.txt", ResultFormat::Json), ResultFormat::Json);
    EXPECT_EQ(ResultFormatOf("/r.json/a", ResultFormat::Csv), ResultFormat::Csv);
}

TEST(SaveResults, ReplacesTheTargetAndLeavesNothingElse)
{
    TempDir dir;
    const std::string target = dir.Write("結果.csv", "old");
    // The file replaced keeps who may read it, and whose it is where the process may
    // say (root gives it to nobody here); a hard link keeps the old contents.
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    ASSERT_TRUE(!root || chown(target.c_str(), 65534, 65534) == 0);
    ASSERT_EQ(link(target.c_str(), (dir / "link.csv").c_str()), 0);
    const ResultGroups groups = { { "/no/such/a", "/no/such/b" } };
    SaveResults(target, groups, ResultFormat::Csv);
    EXPECT_EQ(Content(target), FormatResults(groups, ResultFormat::Csv));
    EXPECT_EQ(Content(dir / "link.csv"), "old");
    SaveResults(dir / "new.json", groups, ResultFormat::Json);
    EXPECT_EQ(Content(dir / "new.json"), FormatResults(groups, ResultFormat::Json));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> { "link.csv", "new.json", "結果.csv" }));
    struct stat st { };
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_TRUE(!root || (st.st_uid == 65534 && st.st_gid == 65534)) << st.st_uid << ":" << st.st_gid;
    // A new file is readable as any new document is, not only by its owner like a file
    // being copied.
    const mode_t mask = umask(022);
    umask(mask);
    ASSERT_EQ(stat((dir / "new.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    EXPECT_EQ(st.st_uid, geteuid());

    // Saved by someone else, whose file it becomes: the group it cannot keep gets no more
    // than others had.
    if (!root)
        return;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0711), 0);
    const std::string shared = dir.MakeDir("shared");
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    const std::string theirs = dir.Write("shared/r.csv", "old");
    ASSERT_EQ(chmod(theirs.c_str(), 0664), 0);
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            return "SKIP: cannot become nobody";
        SaveResults(theirs, groups, ResultFormat::Csv);
        struct stat saved { };
        if (stat(theirs.c_str(), &saved) != 0)
            return "saved file missing";
        return saved.st_uid == 65534 && saved.st_gid == 65534 && (saved.st_mode & 07777) == 0644
            ? ""
            : "saved as " + std::to_string(saved.st_uid) + ":" + std::to_string(saved.st_gid) + " mode "
                + std::to_string(saved.st_mode & 07777);
    }));
}

TEST(SaveResults, FailuresLeaveNoFileAndTheTargetAsItWas)
{
    TempDir dir;
    const ResultGroups groups = { { "/no/such/a", "/no/such/b" } };

    // A folder in the target's place: the rename is refused after the write.
    const std::string folder = dir.MakeDir("taken.csv");
    EXPECT_EQ(
        ErrorOf([&] { SaveResults(folder, groups, ResultFormat::Csv); }), Files::CreateErrorText(folder));
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string> { "taken.csv" });
    const std::string missing = dir / "no/such/folder/r.csv";
    EXPECT_EQ(ErrorOf([&] { SaveResults(missing, groups, ResultFormat::Csv); }),
        Files::CreateErrorText(missing));

    // A read-only folder, for root too.
    const std::string locked = dir.MakeDir("locked");
    const std::string old = dir.Write("locked/r.csv", "old");
    chmod(locked.c_str(), 0555);
    EXPECT_CHILD_OK(InChildAsUser([&]() -> std::string {
        const std::string text = ErrorOf([&] { SaveResults(old, groups, ResultFormat::Csv); });
        return text == Files::CreateErrorText(old) ? "" : "read-only folder gave: " + text;
    }));
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(Names(locked), std::vector<std::string> { "r.csv" });
    EXPECT_EQ(Content(old), "old");

    // A full file system.
    const std::string small = dir.MakeDir("small");
    EXPECT_CHILD_OK(InChild([&]() -> std::string {
        if (!MountPrivateTmpfs(small, "64k"))
            return "SKIP: no private tmpfs";
        std::string report;
        std::ofstream(small + "/r.json") << "old";
        const std::string text
            = ErrorOf([&] { Files::SaveFileReplacing(small + "/r.json", std::string(1 << 20, 'x')); });
        if (text != Files::kWriteStreamError)
            report += "full file system gave: " + text + "; ";
        if (Names(small) != std::vector<std::string> { "r.json" } || Content(small + "/r.json") != "old")
            report += "the folder changed; ";
        umount(small.c_str());
        return report;
    }));
}
