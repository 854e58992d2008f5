// PlatformActionsPosix: the POSIX back end of PlatformActions.h: *at calls on an open
// folder, FIDEDUPERANGE, and the freedesktop.org trash layout that GIO fills.
#include "scan/PlatformActions.h"

#include "scan/posix/PosixError.h"
#include "scan/posix/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace Platform {
namespace {

    using Posix::Fd;
    using Posix::HandleOf;

    void FillStatus(const struct stat& st, FileStatus& status)
    {
        status.kind = Posix::KindOfMode(st.st_mode);
        status.device = static_cast<std::uint64_t>(st.st_dev);
        status.inode = static_cast<std::uint64_t>(st.st_ino);
        status.size = static_cast<std::uint64_t>(st.st_size);
        status.modified = { static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::uint32_t>(st.st_mtim.tv_nsec) };
        status.accessed = { static_cast<std::int64_t>(st.st_atim.tv_sec), static_cast<std::uint32_t>(st.st_atim.tv_nsec) };
        status.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
        status.owner = static_cast<std::uint32_t>(st.st_uid);
        status.group = static_cast<std::uint32_t>(st.st_gid);
        status.links = static_cast<std::uint64_t>(st.st_nlink);
    }

    struct timespec TimespecOf(const Timestamp& t)
    {
        struct timespec ts {};
        ts.tv_sec = static_cast<time_t>(t.seconds);
        ts.tv_nsec = static_cast<long>(t.nanoseconds);
        return ts;
    }

    // renameat2 with flags in one folder; ENOSYS where the C library or kernel lacks it.
    int RenameAt2(int folder, const char* from, const char* to, unsigned flags)
    {
#ifdef SYS_renameat2
        return static_cast<int>(syscall(SYS_renameat2, folder, from, folder, to, flags));
#else
        (void)folder;
        (void)from;
        (void)to;
        (void)flags;
        errno = ENOSYS;
        return -1;
#endif
    }

    constexpr unsigned kRenameExchange = 2U; // RENAME_EXCHANGE

    std::string ParentOf(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return ".";
        return slash == 0 ? "/" : path.substr(0, slash);
    }

    std::string NameOf(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }

    // The folder of the volume's top, as GIO finds it: the highest folder above path
    // still on device.
    std::string TopFolder(const std::string& path, std::uint64_t device)
    {
        std::string folder = ParentOf(path);
        if (folder.empty() || folder[0] != '/') {
            const std::string cwd = CurrentFolder();
            if (cwd.empty())
                return {};
            folder = cwd + "/" + folder;
        }
        for (;;) {
            if (folder == "/")
                return folder;
            const std::string up = ParentOf(folder);
            struct stat st {};
            if (stat(up.c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != device)
                return folder;
            folder = up;
        }
    }

    // The names GIO gives a trashed file called name, the first free one winning:
    // name, then "stem.2.ext", "stem.3.ext"...
    std::string TrashName(const std::string& name, int id)
    {
        if (id == 1)
            return name;
        const std::size_t dot = name.find('.');
        if (dot == std::string::npos)
            return name + "." + std::to_string(id);
        return name.substr(0, dot) + "." + std::to_string(id) + name.substr(dot);
    }

    bool IsEntry(const std::string& path, std::uint64_t device, std::uint64_t inode)
    {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == device
            && static_cast<std::uint64_t>(st.st_ino) == inode;
    }

    // Looks for the entry in one trash's files folder: the names GIO would have given
    // first, then every entry by its inode.
    bool FindIn(const std::string& files, const std::string& name, std::uint64_t device, std::uint64_t inode,
        std::string& entry)
    {
        struct stat st {};
        if (stat(files.c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != device)
            return false;
        for (int id = 1; id <= 8; ++id) {
            const std::string candidate = files + "/" + TrashName(name, id);
            if (IsEntry(candidate, device, inode)) {
                entry = candidate;
                return true;
            }
        }
        DIR* d = opendir(files.c_str());
        if (!d)
            return false;
        bool found = false;
        while (const dirent* e = readdir(d)) {
            if (static_cast<std::uint64_t>(e->d_ino) == inode && IsEntry(files + "/" + e->d_name, device, inode)) {
                entry = files + "/" + e->d_name;
                found = true;
                break;
            }
        }
        closedir(d);
        return found;
    }

} // namespace

Status StatFile(const std::string& path, FileStatus& status, bool follow)
{
    struct stat st {};
    if ((follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
        return Posix::LastError();
    FillStatus(st, status);
    return {};
}

Status StatOpen(const ReadFile& file, FileStatus& status)
{
    struct stat st {};
    if (fstat(Fd(file.Handle()), &st) != 0)
        return Posix::LastError();
    FillStatus(st, status);
    return {};
}

Folder::~Folder()
{
    if (m_handle != NativeHandle::None)
        close(Fd(m_handle));
}

Status Folder::Open(const std::string& path)
{
    const int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Posix::LastError();
    if (m_handle != NativeHandle::None)
        close(Fd(m_handle));
    m_handle = HandleOf(fd);
    return {};
}

Status Folder::Stat(const std::string& name, FileStatus& status) const
{
    struct stat st {};
    if (fstatat(Fd(m_handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Posix::LastError();
    FillStatus(st, status);
    return {};
}

Status Folder::Link(const std::string& path, const std::string& name) const
{
    return linkat(AT_FDCWD, path.c_str(), Fd(m_handle), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? Status()
                                                                                            : Posix::LastError();
}

Status Folder::Exchange(const std::string& a, const std::string& b) const
{
    if (RenameAt2(Fd(m_handle), a.c_str(), b.c_str(), kRenameExchange) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS)
        return { Error::NotSupported, errno };
    return Posix::LastError();
}

Status Folder::RenameReplacing(const std::string& from, const std::string& to) const
{
    return renameat(Fd(m_handle), from.c_str(), Fd(m_handle), to.c_str()) == 0 ? Status() : Posix::LastError();
}

Status Folder::Remove(const std::string& name) const
{
    return unlinkat(Fd(m_handle), name.c_str(), 0) == 0 ? Status() : Posix::LastError();
}

Status Folder::SetAttributes(const std::string& name, const FileStatus& status) const
{
    const int folder = Fd(m_handle);
    struct stat st {};
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Posix::LastError();
    // The owner first: a change of owner clears the set-user-ID bit that follows.
    if ((static_cast<std::uint32_t>(st.st_uid) != status.owner || static_cast<std::uint32_t>(st.st_gid) != status.group)
        && fchownat(folder, name.c_str(), status.owner, status.group, AT_SYMLINK_NOFOLLOW) != 0)
        return Posix::LastError();
    if (fchmodat(folder, name.c_str(), static_cast<mode_t>(status.permissions), 0) != 0)
        return Posix::LastError();
    const struct timespec times[2] = { TimespecOf(status.accessed), TimespecOf(status.modified) };
    return utimensat(folder, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? Status() : Posix::LastError();
}

Status ReadExtendedAttributes(const std::string& path, ExtendedAttributes& attributes, bool follow)
{
    attributes.clear();
    const auto list = [&](char* names, std::size_t size) {
        return follow ? listxattr(path.c_str(), names, size) : llistxattr(path.c_str(), names, size);
    };
    const auto get = [&](const char* name, void* value, std::size_t size) {
        return follow ? getxattr(path.c_str(), name, value, size) : lgetxattr(path.c_str(), name, value, size);
    };
    std::vector<char> names;
    for (;;) {
        const ssize_t need = list(nullptr, 0);
        if (need < 0)
            return errno == ENOTSUP ? Status() : Posix::LastError();
        names.resize(static_cast<std::size_t>(need));
        const ssize_t got = list(names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        // Grown meanwhile.
        if (errno != ERANGE)
            return Posix::LastError();
    }
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        std::string value;
        for (;;) {
            const ssize_t need = get(name.c_str(), nullptr, 0);
            if (need < 0)
                break;
            value.resize(static_cast<std::size_t>(need));
            const ssize_t got = get(name.c_str(), value.data(), value.size());
            if (got >= 0) {
                value.resize(static_cast<std::size_t>(got));
                attributes.emplace_back(name, value);
                break;
            }
            if (errno != ERANGE)
                break;
        }
    }
    std::sort(attributes.begin(), attributes.end());
    return {};
}

Status WriteExtendedAttributes(const std::string& path, const ExtendedAttributes& attributes)
{
    for (const auto& [name, value] : attributes) {
        if (lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0
            && !(name.starts_with("security.") && (errno == EPERM || errno == ENOTSUP)))
            return Posix::LastError();
    }
    return {};
}

Status MakeFolder(const std::string& path)
{
    return mkdir(path.c_str(), 0777) == 0 ? Status() : Posix::LastError();
}

Status ShareBlocks(const ReadFile& source, const ReadFile& target, std::uint64_t offset, std::uint64_t length,
    std::uint64_t& shared)
{
    // btrfs takes 16 MiB per request; every file system takes this much.
    constexpr std::uint64_t kRequest = std::uint64_t { 16 } << 20;
    std::vector<unsigned char> buffer(sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
    auto* range = reinterpret_cast<file_dedupe_range*>(buffer.data());
    const std::uint64_t end = offset + length;
    bool first = true;
    while (offset < end) {
        std::memset(buffer.data(), 0, buffer.size());
        range->src_offset = offset;
        range->src_length = std::min(kRequest, end - offset);
        range->dest_count = 1;
        range->info[0].dest_fd = Fd(target.Handle());
        range->info[0].dest_offset = offset;
        int err = 0;
        if (ioctl(Fd(source.Handle()), FIDEDUPERANGE, range) != 0)
            err = errno;
        else if (range->info[0].status < 0)
            err = -range->info[0].status;
        // A file system without the request refuses the first one as unknown or invalid.
        if (err == EOPNOTSUPP || err == ENOTTY || err == ENOSYS || (first && err == EINVAL))
            return { Error::NotSupported, err };
        if (err != 0)
            return Posix::StatusOf(err);
        if (range->info[0].status == FILE_DEDUPE_RANGE_DIFFERS)
            return { Error::Differs, 0 };
        // Nothing shared: a file shorter than it was.
        if (range->info[0].bytes_deduped == 0)
            return { Error::Differs, 0 };
        shared += range->info[0].bytes_deduped;
        offset += range->info[0].bytes_deduped;
        first = false;
    }
    return {};
}

namespace {

    // One run of a file's bytes on the disk.
    struct Extent {
        std::uint64_t logical = 0;
        std::uint64_t physical = 0;
        std::uint64_t length = 0;
    };

    // The extents of the first length bytes of the file open as fd, in order; holes and
    // extents without a place on the disk yet are left out. Returns 0 or the errno.
    int ExtentsOf(int fd, std::uint64_t length, std::vector<Extent>& extents)
    {
        constexpr std::uint32_t kBatch = 256;
        std::vector<unsigned char> buffer(sizeof(fiemap) + kBatch * sizeof(fiemap_extent));
        auto* map = reinterpret_cast<fiemap*>(buffer.data());
        constexpr std::uint32_t kNoPlace
            = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED | FIEMAP_EXTENT_DATA_INLINE;
        std::uint64_t start = 0;
        while (start < length) {
            std::memset(buffer.data(), 0, buffer.size());
            map->fm_start = start;
            map->fm_length = length - start;
            // Written data that has no blocks yet gets them first.
            map->fm_flags = FIEMAP_FLAG_SYNC;
            map->fm_extent_count = kBatch;
            if (ioctl(fd, FS_IOC_FIEMAP, map) != 0)
                return errno;
            if (map->fm_mapped_extents == 0)
                return 0;
            for (std::uint32_t k = 0; k < map->fm_mapped_extents; ++k) {
                const fiemap_extent& e = map->fm_extents[k];
                if ((e.fe_flags & kNoPlace) == 0)
                    extents.push_back({ e.fe_logical, e.fe_physical, e.fe_length });
                if ((e.fe_flags & FIEMAP_EXTENT_LAST) != 0)
                    return 0;
            }
            const fiemap_extent& last = map->fm_extents[map->fm_mapped_extents - 1];
            start = last.fe_logical + last.fe_length;
        }
        return 0;
    }

} // namespace

Status SharedBlockBytes(const ReadFile& a, const ReadFile& b, std::uint64_t length, std::uint64_t& bytes)
{
    bytes = 0;
    std::vector<Extent> first;
    std::vector<Extent> second;
    for (auto [file, extents] : { std::pair(&a, &first), std::pair(&b, &second) }) {
        if (const int err = ExtentsOf(Fd(file->Handle()), length, *extents); err != 0)
            return err == EOPNOTSUPP || err == ENOTTY || err == EBADR ? Status(Error::NotSupported, err)
                                                                      : Posix::StatusOf(err);
    }
    // Both lists are in file order: walk them side by side.
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < first.size() && j < second.size()) {
        const Extent& x = first[i];
        const Extent& y = second[j];
        const std::uint64_t from = std::max(x.logical, y.logical);
        const std::uint64_t to = std::min({ x.logical + x.length, y.logical + y.length, length });
        if (from < to && x.physical - x.logical == y.physical - y.logical)
            bytes += to - from;
        if (x.logical + x.length <= y.logical + y.length)
            ++i;
        else
            ++j;
    }
    return {};
}

Status FindTrashEntry(
    const std::string& originalPath, std::uint64_t device, std::uint64_t inode, std::string& entry)
{
    const std::string name = NameOf(originalPath);
    // GIO's own idea of the user's data folder, which it trashed into.
    const std::string home = std::string(g_get_user_data_dir()) + "/Trash/files";
    if (FindIn(home, name, device, inode, entry))
        return {};
    const std::string top = TopFolder(originalPath, device);
    if (top.empty())
        return Posix::StatusOf(ENOENT);
    // $topdir/.Trash/$uid, else $topdir/.Trash-$uid.
    const std::string base = top == "/" ? "" : top;
    const std::string uid = std::to_string(getuid());
    std::string shared = base;
    shared.append("/.Trash/").append(uid).append("/files");
    std::string own = base;
    own.append("/.Trash-").append(uid).append("/files");
    for (const std::string& files : { shared, own }) {
        if (FindIn(files, name, device, inode, entry))
            return {};
    }
    return Posix::StatusOf(ENOENT);
}

Status RestoreFromTrash(const std::string& entry, const std::string& path)
{
    const Status moved = RenameNoReplace(entry, path);
    if (!moved.Ok())
        return moved;
    // files/NAME is described by info/NAME.trashinfo beside it.
    const std::string files = ParentOf(entry);
    const std::string info = ParentOf(files) + "/info/" + NameOf(entry) + ".trashinfo";
    unlink(info.c_str());
    return {};
}

std::string CurrentFolder()
{
    char* cwd = getcwd(nullptr, 0);
    if (!cwd)
        return {};
    std::string folder(cwd);
    std::free(cwd);
    return folder;
}

std::string StateFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    // The desktop's rule: a relative path is no setting.
    if (state && state[0] == '/')
        return std::string(state) + "/tessarin";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || home[0] != '/')
        return {};
    return std::string(home) + "/.local/state/tessarin";
}

} // namespace Platform
