// FileOps: renaming (also the batch rename's serial numbers), moving and deleting single
// files; none of them ever replaces an existing file. The namespace Files holds these
// operations, their error type and the whole-file save.
#pragma once

#include "scan/FileError.h"
#include "scan/FileIdentity.h"
#include "scan/Platform.h"
#include "scan/PlatformError.h"

#include <cstdint>
#include <string>
#include <utility>

namespace Files {

enum class FileOpResult {
    Done,
    // Something already exists at the target; nothing was changed.
    TargetExists,
    // The file is not the one expected any more (its path leads to another file, or it
    // changed); nothing was changed.
    Changed,
};

// A file this module is creating: removed again when the guard ends, unless Keep() said
// it is complete, so that a failure never leaves half a file.
class UnfinishedFile {
public:
    explicit UnfinishedFile(std::string path)
        : m_path(std::move(path))
    {
    }
    ~UnfinishedFile();
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

    const std::string& Path() const { return m_path; }
    void Keep() { m_kept = true; }

private:
    std::string m_path;
    bool m_kept = false;
};

// Renames from to to. Returns TargetExists when anything exists at to, also when it
// appears between the check and the rename. Throws FileError with the SystemErrorText
// of any other failure, with nothing changed.
FileOpResult RenameFile(const std::string& from, const std::string& to);

// Throws FileError(kInvalidFilename) unless name can be given to a file in folder as a
// name alone: not empty, "." or "..", no "/" (which would move the file elsewhere), and
// no longer than the file system takes.
void CheckNewName(const std::string& folder, const std::string& name);

// Renames the file at path to newName in its own folder, after CheckNewName; otherwise
// as RenameFile.
FileOpResult RenameInFolder(const std::string& path, const std::string& newName);

// The serial number of the batch rename (prefix + number + extension): number in
// decimal, left-padded with "0" to digits digits when digits is 0 to 16; any other
// count gives the number without padding.
std::string PadNumber(std::int64_t number, int digits);

// Returns the path file gets when moved into folder: the folder joined with the
// file's name by one "/".
std::string MoveTarget(const std::string& file, const std::string& folder);

// Moves file to MoveTarget(file, folder). On one file system the file is renamed;
// across file systems it is copied to its end into a newly created target (private
// until it gets the source's permissions and times), which is flushed and checked
// before the source is deleted. Returns TargetExists when the target is taken. Throws
// FileError with the user's text for the failing step: the source cannot be opened
// (OpenErrorText), read (kReadStreamError), the target cannot be created
// (CreateErrorText) or written (kWriteStreamError), or the source changed during the
// copy or its path names another file by the end (ChangedDuringMoveText); after such a
// failure the source is intact and no partial target is left. A source that cannot be
// deleted after a complete copy throws FileError(SourceKeptAfterCopyText), with both
// files then on disk.
//
// With expected, the file found earlier (as a check recorded it): the move goes ahead
// only while file still leads to that very file, unchanged, and returns Changed
// otherwise.
FileOpResult MoveFileToFolder(
    const std::string& file, const std::string& folder, const Platform::FileStamp* expected = nullptr);

// Moves file to target, whose folder exists, as MoveFileToFolder moves it. With
// expected, the rename goes ahead only while file leads to that very file, unchanged
// (looked up and renamed through its open folder; else Changed), and a copy across file
// systems only while the file it opens is that file (else ChangedDuringMoveText).
FileOpResult MoveFileTo(
    const std::string& file, const std::string& target, const Platform::FileStamp* expected = nullptr);

// Deletes one file for good (a folder is refused).
Platform::Status RemoveFileNow(const std::string& path);

// How a file leaves the disk.
enum class RemoveMode {
    // Into the desktop trash, where the file manager can restore it.
    Trash,
    // Deleted for good.
    Delete,
};

// Removes one file (a folder is refused; a symbolic link goes as the link, never its
// target) by mode. NoTrash, with nothing changed, when the file's volume has no trash.
Platform::Status RemoveFileBy(const std::string& path, RemoveMode mode);
// Same, for a file found earlier: only while path still leads to the file of expected,
// unchanged (Platform::RemoveFileIfSame, MoveToTrashIfSame); Changed otherwise.
Platform::Status RemoveFileBy(const std::string& path, RemoveMode mode, const Platform::FileStamp& expected);

} // namespace Files
