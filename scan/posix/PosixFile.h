// PosixFile: what the POSIX back end's files share: the open flags for reading, the
// handle as a descriptor, the status of a file as the core sees it, and whether a path
// lies in a folder.
#pragma once

#include "scan/Platform.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace Platform::Posix {

// O_NONBLOCK keeps a FIFO from blocking the open; the status then refuses it.
inline constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

inline int Fd(NativeHandle handle) { return static_cast<int>(handle); }
// -1, a failed open, is None.
inline NativeHandle HandleOf(int fd) { return static_cast<NativeHandle>(fd); }

// True when path is folder or lies inside it.
inline bool Within(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

inline EntryKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::Regular;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISLNK(mode))
        return EntryKind::Symlink;
    return EntryKind::Other;
}

inline void FillInfo(const struct stat& st, FileInfo& info)
{
    info.kind = KindOfMode(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.mtime = { static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::uint32_t>(st.st_mtim.tv_nsec) };
    info.atime = { static_cast<std::int64_t>(st.st_atim.tv_sec), static_cast<std::uint32_t>(st.st_atim.tv_nsec) };
    info.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
    info.allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
}

// The entry of a path in its folder, the folder held open: what is looked up through it
// and then acted on through it is one entry, whatever happens meanwhile to the folders
// on the way (one swapped for a link). The folder is opened as the path reaches it,
// links followed.
class EntryInFolder {
public:
    explicit EntryInFolder(const std::string& path);
    ~EntryInFolder();
    EntryInFolder(const EntryInFolder&) = delete;
    EntryInFolder& operator=(const EntryInFolder&) = delete;

    int Folder() const { return m_folder; }
    const char* Name() const { return m_name.c_str(); }
    // Ok when the entry leads (links followed) to the regular file of expected,
    // unchanged; Changed when it leads to anything else, or the failure of the look-up
    // (NotFound when nothing is there).
    Status Confirm(const FileStamp& expected) const;
    // True while the folder's path still leads to the folder held open.
    bool FolderStillAt() const;

private:
    std::string m_folderPath;
    std::string m_name;
    int m_folder = -1;
    Status m_error;
};

} // namespace Platform::Posix
