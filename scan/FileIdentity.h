// FileIdentity: the file a check found, as it recorded it; every action on a file
// confirms it first, so that a file changed or replaced since is left alone.
#pragma once

#include "scan/Platform.h"
#include "scan/PlatformActions.h"

#include <cstdint>

namespace Files {

// The stamp of a found file (Platform::FileStamp), with the checks the space actions make
// against a file's full status.
struct FileIdentity : Platform::FileStamp {
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
    return { { status.device, status.inode, status.size, status.modified } };
}

// From the check's look-up, or from the stamp it recorded.
inline FileIdentity IdentityOf(const Platform::FileInfo& info) { return { Platform::StampOf(info) }; }
inline FileIdentity IdentityOf(const Platform::FileStamp& stamp) { return { stamp }; }

} // namespace Files
