// FileError: the one exception type of the core, and the user-visible error texts.
#pragma once

#include "scan/PlatformError.h"

#include <stdexcept>
#include <string>

namespace Files {

// A failed file operation; what() is the text the error box shows, in UTF-8 and
// without the full stop the box adds.
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& text)
        : std::runtime_error(text)
    {
    }
};

// "ファイル <path> は開けません"
std::string OpenErrorText(const std::string& path);
// "ファイル <path> を作成できません"
std::string CreateErrorText(const std::string& path);
// "ファイル <path> は移動中に変更されたため、移動しませんでした"
std::string ChangedDuringMoveText(const std::string& path);
// "ファイル <source> を <target> にコピーしましたが、元のファイルを削除できません: <reason>"
std::string SourceKeptAfterCopyText(
    const std::string& source, const std::string& target, Platform::Status reason);
// Maps a platform error onto the user's texts ("File not found", "Disk full", ...,
// "I/O error <n>" with the system's number). The one place where errors become words.
std::string SystemErrorText(Platform::Status status);
// Returns the text as the error box shows it: a "." is appended unless the text is
// empty or ends in a character that is "." or sorts before it.
std::string ErrorBoxText(const std::string& text);

inline const char* const kWriteStreamError = "ストリームへの書き込みエラー";
inline const char* const kReadStreamError = "ストリームからの読み込みエラー";
inline const char* const kInvalidFilename = "Invalid filename";

} // namespace Files
