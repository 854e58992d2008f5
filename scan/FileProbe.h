// FileProbe: the cheap look-ups of the duplicate check, which looks at every candidate
// once before it reads any; beside Platform.h, one back end each.
#pragma once

#include "scan/Platform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Platform {

// Looks at paths the way ReadFile::Open sees them, reusing the folder of the previous
// path: consecutive paths of one folder skip the walk along the folder's path.
class FolderProbe {
public:
    FolderProbe() = default;
    ~FolderProbe();
    FolderProbe(const FolderProbe&) = delete;
    FolderProbe& operator=(const FolderProbe&) = delete;

    // Fills file for what path leads to (links followed). Ok for a regular file,
    // IsFolder for a folder, NotRegularFile for another kind, or the failure of the
    // lookup; a path that is not Ok here never opens.
    Status Stat(const std::string& path, FileInfo& file);
    // Tells whether a path that Stat found to be a regular file opens for reading, as
    // ReadFile::Open opens it: Ok when the system would let it be read. Only a refusal
    // is confirmed by opening it; a file it lets through may still fail to open where a
    // security module vetoes the open itself.
    Status TryOpen(const std::string& path);

private:
    // Returns the open folder of path and the name to look up below it, or None and
    // the whole path.
    NativeHandle Folder(const std::string& path, const char*& name);

    std::string m_folder;
    NativeHandle m_folderHandle = NativeHandle::None;
    bool m_folderOpen = false;
};

// The folders of many files held open while they are read, so that each file opens
// through its folder instead of walking the folder's whole path again. Threads may share
// it. A folder is opened when first asked for, while fewer than limit are open; the
// others are left to the whole path.
class FolderHandles {
public:
    FolderHandles(std::size_t folders, std::size_t limit);
    ~FolderHandles();
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;

    // Returns the handle of folder number folder, at pathOf() (links followed), or None
    // when it does not open or the limit is reached. pathOf is called only while the
    // folder has not been asked for: most calls need not find the folder's path.
    template <class PathOf> NativeHandle Get(std::uint32_t folder, PathOf pathOf)
    {
        NativeHandle handle = NativeHandle::None;
        return Asked(folder, handle) ? handle : Open(folder, pathOf());
    }

private:
    // True, with its handle (None for one that did not open), for a folder asked for
    // before.
    bool Asked(std::uint32_t folder, NativeHandle& handle) const;
    NativeHandle Open(std::uint32_t folder, const char* path);

    std::size_t m_count;
    std::unique_ptr<std::atomic<std::intptr_t>[]> m_handles;
    std::atomic<std::size_t> m_left;
};

// Returns how many files the process may hold open at once.
std::size_t OpenFileLimit();
// Raises that to the most the system allows the process; for a program that holds many
// folders open while it reads many files.
void RaiseOpenFileLimit();

// Tells whether the disk holding device (a FileInfo's device) is rotational: one that
// seeks, and so wants few requests at a time in the order of the data on it. False when
// the system cannot tell (a network or memory file system) and for a virtual disk,
// whose host decides the order of the reads and serves many at once.
bool RotationalDisk(std::uint64_t device);

} // namespace Platform
