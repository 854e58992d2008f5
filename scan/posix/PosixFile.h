// PosixFile: what the POSIX back end's files share: the open flags for reading, the
// handle as a descriptor, and the status of a file as the core sees it.
#pragma once

#include "scan/Platform.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace Platform::Posix {

// O_NONBLOCK keeps a FIFO from blocking the open; the status then refuses it.
inline constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

inline int Fd(NativeHandle handle) { return static_cast<int>(handle); }
// -1, a failed open, is None.
inline NativeHandle HandleOf(int fd) { return static_cast<NativeHandle>(fd); }

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

} // namespace Platform::Posix
