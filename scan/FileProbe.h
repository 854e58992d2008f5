// FileProbe: the cheap look-ups of the duplicate check, which looks at every candidate
// once before it reads any; beside Platform.h, one back end each.
#pragma once

#include "scan/Platform.h"

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
    // Opens a path that Stat found to be a regular file for reading, as ReadFile::Open
    // does, and closes it again.
    Status TryOpen(const std::string& path);

private:
    // Returns the open folder of path and the name to look up below it, or None and
    // the whole path.
    NativeHandle Folder(const std::string& path, const char*& name);

    std::string m_folder;
    NativeHandle m_folderHandle = NativeHandle::None;
    bool m_folderOpen = false;
};

// Tells whether the disk holding device (a FileInfo's device) is rotational: one that
// seeks, and so wants few requests at a time in the order of the data on it. False when
// the system cannot tell (a network or memory file system) and for a virtual disk,
// whose host decides the order of the reads and serves many at once.
bool RotationalDisk(std::uint64_t device);

} // namespace Platform
