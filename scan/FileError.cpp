// FileError: error texts and the mapping of platform errors onto them.
#include "scan/FileError.h"

namespace FileScan {

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
    switch (status.error) {
    case Error::NotFound:
        return "File not found";
    case Error::InvalidName:
        return kInvalidFilename;
    case Error::TooManyOpenFiles:
        return "Too many open files";
    case Error::AccessDenied:
        return "File access denied";
    case Error::DiskFull:
        return "Disk full";
    case Error::CrossDevice:
        return "Not same device";
    case Error::None:
    case Error::Exists:
    case Error::IsFolder:
    case Error::NotRegularFile:
    case Error::NoTrash:
    case Error::Other:
        break;
    }
    return "I/O error " + std::to_string(status.code);
}

std::string ErrorBoxText(const std::string& text)
{
    if (text.empty() || static_cast<unsigned char>(text.back()) <= '.')
        return text;
    return text + ".";
}

} // namespace FileScan
