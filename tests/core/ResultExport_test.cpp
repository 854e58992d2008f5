#include "check/ResultExport.h"
#include "scan/SaveFile.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

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
    const ResultGroups groups = { { "/no/such/a", "/no/such/b" } };
    SaveResults(target, groups, ResultFormat::Csv);
    EXPECT_EQ(Content(target), FormatResults(groups, ResultFormat::Csv));
    SaveResults(dir / "new.json", groups, ResultFormat::Json);
    EXPECT_EQ(Content(dir / "new.json"), FormatResults(groups, ResultFormat::Json));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> { "new.json", "結果.csv" }));
    // Readable as any new document is, not only by its owner like a file being copied.
    const mode_t mask = umask(022);
    umask(mask);
    struct stat st { };
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
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
