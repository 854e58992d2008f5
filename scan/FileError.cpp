// FileError: error texts and the mapping of platform errors onto them.
#include "scan/FileError.h"

namespace Files {

std::string OpenErrorText(const std::string& path) { return "ファイル " + path + " は開けません"; }

std::string CreateErrorText(const std::string& path) { return "ファイル " + path + " を作成できません"; }

std::string ChangedDuringMoveText(const std::string& path)
{
    return "ファイル " + path + " は移動中に変更されたため、移動しませんでした";
}

std::string SourceKeptAfterCopyText(
    const std::string& source, const std::string& target, Platform::Status reason)
{
    return "ファイル " + source + " を " + target
        + " にコピーしましたが、元のファイルを削除できません: " + SystemErrorText(reason);
}

std::string SystemErrorText(Platform::Status status)
{
    using Platform::Error;
    struct Row {
        Error error;
        const char* text;
    };
    // The texts the user knows from the file layer; any other condition shows the
    // system's number.
    static const Row rows[] = {
        { Error::NotFound, "File not found" },
        { Error::InvalidName, kInvalidFilename },
        { Error::TooManyOpenFiles, "Too many open files" },
        { Error::AccessDenied, "File access denied" },
        { Error::DiskFull, "Disk full" },
        { Error::CrossDevice, "Not same device" },
    };
    for (const Row& row : rows) {
        if (row.error == status.error)
            return row.text;
    }
    return "I/O error " + std::to_string(status.code);
}

std::string ErrorBoxText(const std::string& text)
{
    if (text.empty() || static_cast<unsigned char>(text.back()) <= '.')
        return text;
    return text + ".";
}

} // namespace Files
