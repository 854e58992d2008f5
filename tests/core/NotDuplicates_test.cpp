#include "check/NotDuplicates.h"

#include "scan/FileError.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Check;

namespace {

TEST(NotDuplicates, TextKeepsEveryPathAndTimeAndRefusesWhatIsNotInItsForm)
{
    NotDuplicateList list;
    list.groups.push_back({ { "/p/a b\\c.txt", { 2049, 17, 5, { 1714550000, 123456789 } } },
        { "/p/写真\n\xff\x7f end ", { 2049, 18, 5, { -2, 999999999 } } } });
    list.groups.push_back({ { "/q/x", { 1, 2, 0, { 0, 0 } } } });
    const std::string text = NotDuplicatesText(list);
    // One line per file, whatever its name holds; the text is UTF-8.
    EXPECT_NE(text.find("2049 18 5 -2 999999999 /p/写真\\x0A\\xFF\\x7F end\\x20\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("/p/a b\\\\c.txt\n"), std::string::npos) << text;
    EXPECT_EQ(ParseNotDuplicates(text, "list"), list);
    // Written by hand: comments anywhere, CR LF, several empty lines.
    EXPECT_EQ(ParseNotDuplicates("\r\n# x\r\n1 2 0 0 0 /q/x\r\n\r\n\r\n", "list").groups,
        std::vector<MarkedGroup>({ { { "/q/x", { 1, 2, 0, { 0, 0 } } } } }));
    for (const char* bad : { "1 2 3 4 /a", "1 2 3 4 5", "1 2 3 4 5 ", "1 2 3 4 1000000000 /a",
             "-1 2 3 4 5 /a", "1 2 3 4 5 /a\\q", "1 2 3 4 5 /a\\x4", "1  2 3 4 5 /a", "1 2 3 x 5 /a" }) {
        const std::string text2 = std::string("# list\n\n") + bad + "\n";
        try {
            ParseNotDuplicates(text2, "/l");
            ADD_FAILURE() << bad;
        } catch (const Files::FileError& error) {
            EXPECT_STREQ(error.what(), "ファイル /l の 3 行目が正しくありません") << bad;
        }
    }
}

TEST(NotDuplicates, AMarkedGroupStaysHiddenUntilOneOfItsFilesChanges)
{
    TempDir dir;
    const std::string a = dir.Write("a", "same");
    const std::string b = dir.Write("b", "same");
    const std::string c = dir.Write("sub/c", "same");
    const std::string d = dir.Write("d", "same");
    const std::string file = dir / "list";
    EXPECT_EQ(LoadNotDuplicates(file), NotDuplicateList {});
    // Each file as a check finds it, now.
    const auto found = [](const std::vector<std::string>& paths) {
        ResultGroup group;
        for (const std::string& path : paths)
            group.files.push_back(LookUpNow(path));
        return group;
    };
    NotDuplicateList list;
    list.groups.push_back(MarkGroup(found({ a, b, c, dir / "gone" }).files));
    EXPECT_EQ(list.groups[0].size(), 3U);
    SaveNotDuplicates(file, list);
    list = LoadNotDuplicates(file);

    // The whole group, or part of it while the rest is unchanged; not with a file more.
    EXPECT_EQ(
        HiddenGroups(list, { found({ a, b, c }), found({ c, a }), found({ a, b, d }), found({ d, b }) }),
        (std::vector<bool> { true, true, false, false }));
    EXPECT_EQ(HiddenGroups({}, { found({ a, b }) }), std::vector<bool> { false });
    // A changed file brings the group back, also where it is not among the group shown.
    SetFileMtime(c, 1000000000);
    EXPECT_EQ(
        HiddenGroups(list, { found({ a, b, c }), found({ a, b }) }), (std::vector<bool> { false, false }));
    list.groups.push_back(MarkGroup(found({ a, b, c }).files));
    EXPECT_EQ(HiddenGroups(list, { found({ a, b, c }) }), std::vector<bool> { true });
    ASSERT_EQ(remove(c.c_str()), 0);
    EXPECT_EQ(HiddenGroups(list, { found({ a, b }) }), std::vector<bool> { false });
}

} // namespace
