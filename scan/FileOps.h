// FileOps: renaming, moving and deleting single files; none of them ever replaces an
// existing file.
#pragma once

#include "scan/FileError.h"

#include <cstdint>
#include <string>

namespace FileScan {

enum class FileOpResult {
    Done,
    // Something already exists at the target; nothing was changed.
    TargetExists,
};

// Renames from to to. Returns TargetExists when anything exists at to, also when it
// appears between the check and the rename. Throws FileError(SystemErrorText(errno))
// on any other failure, with nothing changed.
FileOpResult RenameFile(const std::string& from, const std::string& to);

// Returns the path file gets when moved into folder: the folder joined with the
// file's name by one "/".
std::string MoveTarget(const std::string& file, const std::string& folder);

// Moves file to MoveTarget(file, folder). On one file system the file is renamed;
// across file systems it is copied into a newly created target, which is flushed and
// checked before the source is deleted. Returns TargetExists when the target is
// taken. Throws FileError with the user's text for the failing step: the source
// cannot be opened (OpenErrorText), read (kReadStreamError), the target cannot be
// created (CreateErrorText) or written (kWriteStreamError); after such a failure the
// source is intact and no partial target is left. A source that cannot be deleted
// after a complete copy throws FileError(SystemErrorText(errno)) too, with both files
// then on disk.
FileOpResult MoveFileToFolder(const std::string& file, const std::string& folder);

// Deletes one file (a folder is refused). Returns 0 or the errno of the failure.
int DeleteFile(const std::string& path);

// Formats number in decimal, left-padded with "0" to digits digits when digits is
// 0 to 16; any other count gives the number without padding.
std::string PadNumber(std::int64_t number, int digits);

} // namespace FileScan
