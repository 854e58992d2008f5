#include "scan/FileError.h"
#include "scan/posix/PosixError.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace FileScan;

TEST(ErrorBoxText, AppendsFullStopUnlessTextEndsInDotOrBelow)
{
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("File not found"), "File not found.");
    EXPECT_EQ(ErrorBoxText("ファイル /p/a.jpg は開けません"), "ファイル /p/a.jpg は開けません.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("I/O error 5-"), "I/O error 5-");
    EXPECT_EQ(ErrorBoxText("end "), "end ");
    EXPECT_EQ(ErrorBoxText("ends in slash/"), "ends in slash/.");
    EXPECT_EQ(ErrorBoxText("無効/非表示ウィンドウにはフォーカスを設定できません"),
              "無効/非表示ウィンドウにはフォーカスを設定できません.");
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
