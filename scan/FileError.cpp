// FileError: error texts and the mapping of platform error numbers onto them.
#include "scan/FileError.h"

#include <cerrno>

namespace FileScan {

std::string OpenErrorText(const std::string& path) { return "ファイル " + path + " は開けません"; }

std::string CreateErrorText(const std::string& path) { return "ファイル " + path + " を作成できません"; }

std::string ChangedDuringMoveText(const std::string& path)
{
    return "ファイル " + path + " は移動中に変更されたため、移動しませんでした";
}

std::string SourceKeptAfterCopyText(const std::string& source, const std::string& target, int errnum)
{
    return "ファイル " + source + " を " + target
        + " にコピーしましたが、元のファイルを削除できません: " + SystemErrorText(errnum);
}

std::string SystemErrorText(int errnum)
{
    struct Row {
        int errnum;
        const char* text;
    };
    // The texts the user knows from the file layer; every errno that means the same
    // reason shares a row.
    static const Row rows[] = {
        { ENOENT, "File not found" },
        { ENOTDIR, kInvalidFilename },
        { ENAMETOOLONG, kInvalidFilename },
        { EILSEQ, kInvalidFilename },
        { ELOOP, kInvalidFilename },
        { EMFILE, "Too many open files" },
        { ENFILE, "Too many open files" },
        { EACCES, "File access denied" },
        { EPERM, "File access denied" },
        { EROFS, "File access denied" },
        { EBUSY, "File access denied" },
        { ENOSPC, "Disk full" },
        { EDQUOT, "Disk full" },
        { EFBIG, "Disk full" },
        { EXDEV, "Not same device" },
    };
    for (const Row& row : rows) {
        if (row.errnum == errnum)
            return row.text;
    }
    return "I/O error " + std::to_string(errnum);
}

std::string ErrorBoxText(const std::string& text)
{
    if (text.empty() || static_cast<unsigned char>(text.back()) <= '.')
        return text;
    return text + ".";
}

} // namespace FileScan
