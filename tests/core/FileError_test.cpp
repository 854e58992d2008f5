#include "scan/FileError.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace FileScan;

TEST(ErrorBoxText, AppendsFullStopUnlessTextEndsInDotOrBelow)
{
    const struct {
        const char* text;
        const char* shown;
    } rows[] = {
        { "", "" },
        { "File not found", "File not found." },
        { "Invalid filename", "Invalid filename." },
        { "Too many open files", "Too many open files." },
        { "File access denied", "File access denied." },
        { "Read beyond end of file", "Read beyond end of file." },
        { "Disk full", "Disk full." },
        { "Invalid numeric input", "Invalid numeric input." },
        { "I/O error 5", "I/O error 5." },
        { "ファイル /p/a.jpg は開けません", "ファイル /p/a.jpg は開けません." },
        { "ファイル /x/b を作成できません", "ファイル /x/b を作成できません." },
        { "ストリームへの書き込みエラー", "ストリームへの書き込みエラー." },
        { "メモリストリームの拡大中にメモリが足りなくなりました", "メモリストリームの拡大中にメモリが足りなくなりました." },
        { "行を挿入できません", "行を挿入できません." },
        { "無効/非表示ウィンドウにはフォーカスを設定できません", "無効/非表示ウィンドウにはフォーカスを設定できません." },
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
