#include "scan/FileError.h"
#include "scan/posix/PosixError.h"

#include <cerrno>
#include <utility>
#include <gtest/gtest.h>

using namespace Files;

TEST(ErrorBoxText, AppendsFullStopUnlessTextEndsInDotOrBelow)
{
    const struct {
        const char* text;
        const char* shown;
    } rows[] = {
        { "", "" },
        { "File not found", "File not found." },
        { "I/O error 5", "I/O error 5." },
        { "ファイル /p/a.jpg は開けません", "ファイル /p/a.jpg は開けません." },
        { "Done.", "Done." },
        { "done!", "done!" },
        { "I/O error 5-", "I/O error 5-" },
        { "end ", "end " },
        { "ends in slash/", "ends in slash/." },
    };
    for (const auto& row : rows)
        EXPECT_EQ(ErrorBoxText(row.text), row.shown) << row.text;
}

TEST(SystemErrorText, MapsErrnoOntoTheUsersTexts)
{
    const std::pair<int, const char*> rows[] = { { ENOENT, "File not found" }, { ENOTDIR, "Invalid filename" },
        { EMFILE, "Too many open files" }, { EACCES, "File access denied" }, { EPERM, "File access denied" },
        { ENOSPC, "Disk full" }, { EXDEV, "Not same device" },
        // Conditions the core tells apart without a text of their own show the number.
        { EIO, "" }, { EEXIST, "" }, { EISDIR, "" } };
    for (const auto& [code, text] : rows) {
        const std::string shown = *text ? text : "I/O error " + std::to_string(code);
        EXPECT_EQ(SystemErrorText(Platform::Posix::StatusOf(code)), shown) << code;
    }
    // A condition the core reports itself carries no number and still has its text.
    EXPECT_EQ(SystemErrorText(Platform::Error::TooManyOpenFiles), "Too many open files");
    // The open error's text is in the comparison tests.
    EXPECT_EQ(CreateErrorText("/p/a.jpg"), "ファイル /p/a.jpg を作成できません");
}
