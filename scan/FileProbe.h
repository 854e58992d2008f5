// FileProbe: the cheap file calls of the duplicate check, which opens every candidate
// once and reads many of them block by block; beside Platform.h, one back end each.
#pragma once

#include "scan/Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

// What a probe learns of a regular file.
struct ProbedFile {
    std::uint64_t size = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // Bytes the file takes on disk; fewer than its size means it may have holes.
    std::uint64_t allocated = 0;
};

// Looks at paths the way ReadFile::Open sees them, reusing the folder of the previous
// path: consecutive paths of one folder skip the walk along the folder's path.
class FolderProbe {
public:
    FolderProbe() = default;
    ~FolderProbe();
    FolderProbe(const FolderProbe&) = delete;
    FolderProbe& operator=(const FolderProbe&) = delete;

    // Fills file for what path leads to (links followed). Returns 0 for a regular file,
    // EISDIR for a folder, EINVAL for another kind, or the errno of the lookup; a path
    // that is not 0 here never opens.
    int Stat(const std::string& path, ProbedFile& file);
    // Opens a path that Stat found to be a regular file for reading, as ReadFile::Open
    // does, and closes it again; returns 0 or the errno.
    int TryOpen(const std::string& path);
    // Same as Stat followed by TryOpen.
    int Probe(const std::string& path, ProbedFile& file);

private:
    // Returns the folder descriptor (or AT_FDCWD) and the name to look up below it.
    int Folder(const std::string& path, const char*& name);

    std::string m_folder;
    int m_folderFd = -1;
    bool m_folderOpen = false;
};

// Tells whether the disk holding device (a ProbedFile's device) is rotational: one that
// seeks, and so wants few requests at a time in the order of the data on it. False when
// the system cannot tell (a network or memory file system).
bool RotationalDisk(std::uint64_t device);

// A file opened only to be read: no status query and nothing else on the way.
class BlockReader {
public:
    BlockReader() = default;
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;
    BlockReader(BlockReader&& other) noexcept;
    BlockReader& operator=(BlockReader&& other) noexcept;

    // Returns 0 or an errno.
    int Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    // Reads exactly n bytes at offset; false on an error or a file that ends before.
    bool ReadExact(std::uint64_t offset, void* buffer, std::size_t n) const;
    // Returns the first offset at or after offset that may hold data (UINT64_MAX when
    // only a hole follows); bytes before it read as zeros.
    std::uint64_t NextData(std::uint64_t offset) const;
    // Tells the kernel the file is read front to back.
    void AdviseSequential() const;
    void Close();

private:
    int m_fd = -1;
};

} // namespace Platform
