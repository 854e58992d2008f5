// PlatformActions: the calls behind the ways of winning space other than deleting
// (sharing blocks, hard links, moving aside) and behind their undo: a file's full
// status, an open folder that every step on a file's name goes through, and the trash
// entry a trashed file became. Beside Platform.h, one back end each.
#pragma once

#include "scan/Platform.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Platform {

// A moment as a file system stores it, exactly, before 1970 too.
using Timestamp = FileTime;

// What an action confirms before it touches a file and what undo gives a file back.
struct FileStatus {
    EntryKind kind = EntryKind::Unknown;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    Timestamp modified;
    Timestamp accessed;
    // The permission bits (owner, group, others, and the special bits).
    std::uint32_t permissions = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    // How many names the file has.
    std::uint64_t links = 0;
};

// Fills status for path, following symbolic links when follow is set.
Status StatFile(const std::string& path, FileStatus& status, bool follow);
// Fills status for the file ReadFile has open (not its path).
Status StatOpen(const ReadFile& file, FileStatus& status);

// A folder held open, so that every step on one of its names (look, link, swap,
// remove) acts in that very folder even when its path is changed meanwhile.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens the folder at path ("" for the current one), links on the way followed.
    Status Open(const std::string& path);
    // Looks name up without following a symbolic link.
    Status Stat(const std::string& name, FileStatus& status) const;
    // Gives the file at path (links followed) a further name in this folder; Exists
    // when name is taken, CrossDevice when path lies on another file system.
    Status Link(const std::string& path, const std::string& name) const;
    // Swaps the files of two names in one step; NotSupported where the system cannot.
    Status Exchange(const std::string& a, const std::string& b) const;
    // Renames from to to in one step, replacing a file at to.
    Status RenameReplacing(const std::string& from, const std::string& to) const;
    Status Remove(const std::string& name) const;
    // Gives name the owner and group (where they differ and the system allows), then
    // the permission bits and the times of status.
    Status SetAttributes(const std::string& name, const FileStatus& status) const;

private:
    NativeHandle m_handle = NativeHandle::None;
};

// A file's extended attributes (access control lists among them): name and value,
// sorted by name.
using ExtendedAttributes = std::vector<std::pair<std::string, std::string>>;
// Reads the extended attributes of path, following symbolic links when follow is set;
// none where the file system keeps none.
Status ReadExtendedAttributes(const std::string& path, ExtendedAttributes& attributes, bool follow);
// Gives the file at path (no link followed) the attributes; those only the system may
// set (a security label) are passed over when it refuses.
Status WriteExtendedAttributes(const std::string& path, const ExtendedAttributes& attributes);

// Creates one folder; Exists when anything is there already.
Status MakeFolder(const std::string& path);

// Lets target share the blocks of length bytes at offset with source's same bytes, in
// as many requests as the kernel takes; the kernel compares the bytes first and leaves
// every range that differs as it is. shared adds the bytes the kernel shared. Differs
// when a range differed (the ranges before it are shared), NotSupported where the file
// system cannot share blocks, CrossDevice across file systems. Neither file's times,
// permissions or contents change; source may be opened for reading only, and so may
// target when the process owns it or may write it.
Status ShareBlocks(const ReadFile& source, const ReadFile& target, std::uint64_t offset, std::uint64_t length,
    std::uint64_t& shared);

// Counts in bytes the first length bytes at which a and b lie on the same blocks of the
// disk, each at the same offset (the blocks they share); NotSupported where the file
// system does not tell where a file's blocks lie.
Status SharedBlockBytes(const ReadFile& a, const ReadFile& b, std::uint64_t length, std::uint64_t& bytes);

// Finds the trash entry that the file trashed from originalPath became (the file with
// device and inode in the trash of its volume); fills entry with its path. NotFound
// when there is none.
Status FindTrashEntry(const std::string& originalPath, std::uint64_t device, std::uint64_t inode,
    std::string& entry);
// Puts the trash entry back at path without replacing anything there (Exists) and
// removes its record in the trash.
Status RestoreFromTrash(const std::string& entry, const std::string& path);

// The process's current folder as an absolute path; "" when it cannot be told.
std::string CurrentFolder();

// The folder where the program keeps the records a user needs later: the state folder
// of the desktop ($XDG_STATE_HOME, else ~/.local/state) with "tessarin" below it; "" when
// the system has none.
std::string StateFolder();

} // namespace Platform
