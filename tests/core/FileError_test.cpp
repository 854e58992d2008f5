#include "scan/FileError.h"
#include "scan/posix/PosixError.h"

#include <cerrno>
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
    using Platform::Posix::StatusOf;
    EXPECT_EQ(SystemErrorText(StatusOf(ENOENT)), "File not found");
    EXPECT_EQ(SystemErrorText(StatusOf(ENOTDIR)), "Invalid filename");
    EXPECT_EQ(SystemErrorText(StatusOf(EMFILE)), "Too many open files");
    EXPECT_EQ(SystemErrorText(StatusOf(EACCES)), "File access denied");
    EXPECT_EQ(SystemErrorText(StatusOf(EPERM)), "File access denied");
    EXPECT_EQ(SystemErrorText(StatusOf(ENOSPC)), "Disk full");
    EXPECT_EQ(SystemErrorText(StatusOf(EXDEV)), "Not same device");
    EXPECT_EQ(SystemErrorText(StatusOf(EIO)), "I/O error " + std::to_string(EIO));
    // Conditions the core tells apart without a text of their own show the number.
    EXPECT_EQ(SystemErrorText(StatusOf(EEXIST)), "I/O error " + std::to_string(EEXIST));
    EXPECT_EQ(SystemErrorText(StatusOf(EISDIR)), "I/O error " + std::to_string(EISDIR));
    // A condition the core reports itself carries no number and still has its text.
    EXPECT_EQ(SystemErrorText(Platform::Error::TooManyOpenFiles), "Too many open files");
    EXPECT_EQ(OpenErrorText("/p/a.jpg"), "ファイル /p/a.jpg は開けません");
    EXPECT_EQ(CreateErrorText("/p/a.jpg"), "ファイル /p/a.jpg を作成できません");
}
