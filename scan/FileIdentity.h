// FileIdentity: the file a check found, as it recorded it; every action on a file
// confirms it first, so that a file changed or replaced since is left alone.
#pragma once

#include "scan/Platform.h"
#include "scan/PlatformActions.h"

#include <cstdint>

namespace Files {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    Platform::Timestamp modified;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;

    // True when status is this very file, unchanged: a regular file with the same
    // device, inode, size and modification time.
    bool Matches(const Platform::FileStatus& status) const
    {
        return status.kind == Platform::EntryKind::Regular && status.device == device && status.inode == inode
            && status.size == size && status.modified == modified;
    }
    bool SameFile(const Platform::FileStatus& status) const
    {
        return status.device == device && status.inode == inode;
    }
};

inline FileIdentity IdentityOf(const Platform::FileStatus& status)
{
    return { status.device, status.inode, status.size, status.modified };
}

// From the check's look-up, whose time is one count of nanoseconds.
inline FileIdentity IdentityOf(const Platform::FileInfo& info)
{
    std::int64_t seconds = info.mtimeNs / 1000000000;
    std::int64_t nanoseconds = info.mtimeNs % 1000000000;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000;
        --seconds;
    }
    return { info.device, info.inode, info.size, { seconds, static_cast<std::uint32_t>(nanoseconds) } };
}

} // namespace Files
