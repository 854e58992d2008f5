#include "scan/FileError.h"

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
    EXPECT_EQ(SystemErrorText(ENOENT), "File not found");
    EXPECT_EQ(SystemErrorText(ENOTDIR), "Invalid filename");
    EXPECT_EQ(SystemErrorText(EMFILE), "Too many open files");
    EXPECT_EQ(SystemErrorText(EACCES), "File access denied");
    EXPECT_EQ(SystemErrorText(EPERM), "File access denied");
    EXPECT_EQ(SystemErrorText(ENOSPC), "Disk full");
    EXPECT_EQ(SystemErrorText(EXDEV), "Not same device");
    EXPECT_EQ(SystemErrorText(EIO), "I/O error " + std::to_string(EIO));
    EXPECT_EQ(OpenErrorText("/p/a.jpg"), "ファイル /p/a.jpg は開けません");
    EXPECT_EQ(CreateErrorText("/p/a.jpg"), "ファイル /p/a.jpg を作成できません");
}
