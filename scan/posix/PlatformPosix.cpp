// PlatformPosix: the POSIX back end of Platform.h.
#include "scan/Platform.h"

#include "scan/posix/PosixFile.h"
#include "scan/posix/PosixError.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

namespace Platform {
namespace {

    using Posix::Fd;
    using Posix::FillInfo;
    using Posix::HandleOf;

    EntryKind KindOfDirent(unsigned char type)
    {
        switch (type) {
        case DT_REG:
            return EntryKind::Regular;
        case DT_DIR:
            return EntryKind::Directory;
        case DT_LNK:
            return EntryKind::Symlink;
        case DT_UNKNOWN:
            return EntryKind::Unknown;
        default:
            return EntryKind::Other;
        }
    }

} // namespace

bool IsHiddenName(const char* name) { return name[0] == '.'; }

namespace {

    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

    // Opens relative below folder, no component a symbolic link; -1 with errno set.
    int OpenNoLinks(int folder, const char* relativePath)
    {
#if defined(__linux__) && defined(SYS_openat2)
        // One call walks the whole relative path; a kernel without it, or a sandbox that
        // refuses it, gets the walk one name at a time below.
        static std::atomic<bool> unsupported { false };
        if (!unsupported.load(std::memory_order_relaxed)) {
            open_how how {};
            how.flags = static_cast<std::uint64_t>(kFolderFlags | O_NOFOLLOW);
            how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
            for (int attempt = 0; attempt < 8; ++attempt) {
                const long fd = syscall(SYS_openat2, folder, relativePath, &how, sizeof how);
                if (fd >= 0)
                    return static_cast<int>(fd);
                // EAGAIN: a rename elsewhere raced the walk; ELOOP is the link refused.
                if (errno != EAGAIN)
                    break;
            }
            if (errno != ENOSYS && errno != EPERM && errno != E2BIG)
                return -1;
            unsupported.store(true, std::memory_order_relaxed);
        }
#endif
        // Each folder on the way is opened as a place only (O_PATH), so that one the
        // user may enter but not list is passed as a path walk passes it.
        const std::string relative = relativePath;
        int at = folder;
        int owned = -1;
        std::size_t from = 0;
        for (;;) {
            const std::size_t slash = relative.find(kSeparator, from);
            const bool last = slash == std::string::npos;
            const std::string name = relative.substr(from, last ? std::string::npos : slash - from);
            const int next = openat(at, name.c_str(), (last ? kFolderFlags : O_PATH | O_DIRECTORY | O_CLOEXEC) | O_NOFOLLOW);
            const int reason = errno;
            if (owned >= 0)
                close(owned);
            errno = reason;
            if (next < 0 || last)
                return next;
            at = owned = next;
            from = slash + 1;
        }
    }

} // namespace

ScanFolder::~ScanFolder() { Close(); }

void ScanFolder::Close()
{
    if (IsOpen()) {
        close(Fd(m_handle));
        m_handle = NativeHandle::None;
    }
}

Status ScanFolder::Open(const std::string& path)
{
    Close();
    if (path.empty())
        return Posix::StatusOf(ENOENT);
    m_handle = HandleOf(open(path.c_str(), kFolderFlags));
    return IsOpen() ? Status() : Posix::LastError();
}

Status ScanFolder::OpenBelow(const ScanFolder& top, const std::string& path, std::size_t start)
{
    Close();
    // Every path below this folder would be longer still: none could be opened later.
    if (path.size() >= PATH_MAX)
        return Posix::StatusOf(ENAMETOOLONG);
    // Nothing below top: top itself again, with a listing position of its own.
    const int fd = start >= path.size() ? openat(Fd(top.m_handle), ".", kFolderFlags)
                                        : OpenNoLinks(Fd(top.m_handle), path.c_str() + start);
    if (fd < 0) {
        // A link, a file or a device where a folder was: no folder there any more.
        if (errno == ELOOP || errno == ENOTDIR || errno == EXDEV)
            return Posix::StatusOf(ENOENT);
        return Posix::LastError();
    }
    m_handle = HandleOf(fd);
    return {};
}

#ifdef __linux__
namespace {

    constexpr std::size_t kEntryBufferBytes = 32 * 1024;

    // Room for a folder's entries that a thread keeps from folder to folder: a
    // directory stream takes 32 KiB from the heap for each folder, for which a tree's
    // many listing threads would queue up at the heap's lock. A listing within a
    // listing takes room of its own.
    class EntryBuffer {
    public:
        EntryBuffer()
            : m_bytes(std::move(Kept()))
        {
            if (!m_bytes)
                m_bytes = std::make_unique<char[]>(kEntryBufferBytes);
        }
        ~EntryBuffer() { Kept() = std::move(m_bytes); }
        EntryBuffer(const EntryBuffer&) = delete;
        EntryBuffer& operator=(const EntryBuffer&) = delete;

        char* Data() const { return m_bytes.get(); }

    private:
        static std::unique_ptr<char[]>& Kept()
        {
            thread_local std::unique_ptr<char[]> kept;
            return kept;
        }
        std::unique_ptr<char[]> m_bytes;
    };

} // namespace
#endif

Status ScanFolder::ForEachEntry(const EntryVisit& visit)
{
    if (!IsOpen())
        return Posix::StatusOf(EBADF);
    const int folder = Fd(m_handle);
    const EntryLookUp lookUp = [folder](const char* name, FileInfo& info) -> Status {
        struct stat st {};
        if (fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Posix::LastError();
        FillInfo(st, info);
        return {};
    };
    const auto take = [&](const char* name, unsigned char type) {
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            return;
        visit(name, KindOfDirent(type), lookUp);
    };
#ifdef __linux__
    // The entries are read in batches into the thread's room, and the descriptor
    // closed here.
    m_handle = NativeHandle::None;
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer { folder };
    const EntryBuffer buffer;
    for (;;) {
        const ssize_t got = getdents64(folder, buffer.Data(), kEntryBufferBytes);
        if (got <= 0)
            return got == 0 ? Status() : Posix::LastError();
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer.Data() + at);
            at += e->d_reclen;
            take(e->d_name, e->d_type);
        }
    }
#else
    // The stream takes the descriptor over and closes it.
    DIR* d = fdopendir(folder);
    if (!d)
        return Posix::LastError();
    m_handle = NativeHandle::None;
    struct Closer {
        DIR* d;
        ~Closer() { closedir(d); }
    } closer { d };
    for (;;) {
        errno = 0;
        const dirent* e = readdir(d);
        if (!e)
            return errno == 0 ? Status() : Posix::LastError();
        take(e->d_name, e->d_type);
    }
#endif
}

bool ForEachEntry(const std::string& dir, const std::function<void(const char*, EntryKind)>& visit)
{
    ScanFolder folder;
    return folder.Open(dir.empty() ? "." : dir).Ok()
        && folder.ForEachEntry([&](const char* name, EntryKind kind, const EntryLookUp&) { visit(name, kind); }).Ok();
}

Status Stat(const std::string& path, FileInfo& info, bool follow)
{
    struct stat st {};
    const int rc = follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st);
    if (rc != 0)
        return Posix::LastError();
    FillInfo(st, info);
    return {};
}

Status RealPath(const std::string& path, std::string& real)
{
    char* resolved = realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (!resolved)
        return Posix::LastError();
    real = resolved;
    std::free(resolved);
    return {};
}

bool IsDirectory(const std::string& path)
{
    FileInfo info;
    return !path.empty() && Stat(path, info).Ok() && info.kind == EntryKind::Directory;
}

bool IsFile(const std::string& path)
{
    FileInfo info;
    return !path.empty() && Stat(path, info).Ok() && info.kind == EntryKind::Regular;
}

bool Exists(const std::string& path)
{
    FileInfo info;
    return !path.empty() && Stat(path, info, false).Ok();
}

ReadFile::~ReadFile() { Close(); }

ReadFile::ReadFile(ReadFile&& other) noexcept
    : m_handle(other.m_handle)
    , m_info(other.m_info)
{
    other.m_handle = NativeHandle::None;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = other.m_handle;
        m_info = other.m_info;
        other.m_handle = NativeHandle::None;
    }
    return *this;
}

Status ReadFile::Open(const std::string& path)
{
    Close();
    const int fd = open(path.c_str(), Posix::kReadFlags);
    if (fd < 0)
        return Posix::LastError();
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const Status err = Posix::LastError();
        close(fd);
        return err;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return Posix::KindStatus(st.st_mode);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_handle = HandleOf(fd);
    FillInfo(st, m_info);
    return {};
}

Status ReadFile::OpenUnchecked(const std::string& path)
{
    Close();
    m_info = FileInfo();
    m_handle = HandleOf(open(path.c_str(), Posix::kReadFlags));
    return IsOpen() ? Status() : Posix::LastError();
}

Status ReadFile::OpenUncheckedAt(NativeHandle folder, const char* name)
{
    Close();
    m_info = FileInfo();
    m_handle = HandleOf(openat(Fd(folder), name, Posix::kReadFlags));
    return IsOpen() ? Status() : Posix::LastError();
}

Status ReadFile::StatNow(FileInfo& info) const
{
    struct stat st {};
    if (fstat(Fd(m_handle), &st) != 0)
        return Posix::LastError();
    FillInfo(st, info);
    return {};
}

namespace {

    thread_local ReadGate* t_readGate = nullptr;

    // Reads only what the page cache holds: -1 with EAGAIN when the read would wait for
    // the disk, or with ENOSYS (EOPNOTSUPP, EINVAL) where the system cannot tell.
    ssize_t ReadNoWait(int fd, char* p, std::size_t n, off_t offset)
    {
#ifdef RWF_NOWAIT
        iovec part { p, n };
        return preadv2(fd, &part, 1, offset, RWF_NOWAIT);
#else
        (void)fd;
        (void)p;
        (void)n;
        (void)offset;
        errno = ENOSYS;
        return -1;
#endif
    }

    // pread, leaving the thread's gate while the read waits for the disk: what the page
    // cache holds is read without waiting first.
    ssize_t ReadThroughGate(int fd, char* p, std::size_t n, off_t offset)
    {
        ReadGate* const gate = t_readGate;
        if (!gate)
            return pread(fd, p, n, offset);
        const ssize_t got = ReadNoWait(fd, p, n, offset);
        // When the system cannot tell, the read may wait.
        if (got >= 0 || (errno != EAGAIN && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL))
            return got;
        gate->Leave();
        const ssize_t waited = pread(fd, p, n, offset);
        const int reason = errno;
        gate->Enter();
        errno = reason;
        return waited;
    }

} // namespace

void SetReadGate(ReadGate* gate) { t_readGate = gate; }

std::int64_t ReadFile::ReadFull(std::uint64_t offset, void* buffer, std::size_t n, Status* error) const
{
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ReadThroughGate(Fd(m_handle), p + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (error)
                *error = Posix::LastError();
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool ReadFile::InMemory(std::uint64_t offset, std::size_t n) const
{
    char page[4096];
    const std::size_t want = std::min(n, sizeof page);
    return ReadNoWait(Fd(m_handle), page, want, static_cast<off_t>(offset)) == static_cast<ssize_t>(want);
}

std::uint64_t ReadFile::NextData(std::uint64_t offset) const
{
#ifdef SEEK_DATA
    const off_t data = lseek(Fd(m_handle), static_cast<off_t>(offset), SEEK_DATA);
    if (data >= 0)
        return static_cast<std::uint64_t>(data);
    if (errno == ENXIO)
        return kNoData;
#endif
    return offset;
}

void ReadFile::AdviseSequential() const
{
    if (IsOpen())
        posix_fadvise(Fd(m_handle), 0, 0, POSIX_FADV_SEQUENTIAL);
}

void ReadFile::AdviseDone() const
{
    if (IsOpen())
        posix_fadvise(Fd(m_handle), 0, 0, POSIX_FADV_NOREUSE);
}

void ReadFile::Close()
{
    if (IsOpen()) {
        close(Fd(m_handle));
        m_handle = NativeHandle::None;
    }
}

WriteFile::~WriteFile()
{
    if (m_handle != NativeHandle::None)
        close(Fd(m_handle));
}

Status WriteFile::Create(const std::string& path, Access access)
{
    const mode_t mode = access == Access::OwnerOnly ? 0600 : 0666;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0)
        return Posix::LastError();
    m_handle = HandleOf(fd);
    return {};
}

Status WriteFile::WriteAllAt(std::uint64_t offset, const void* buffer, std::size_t n)
{
    const char* p = static_cast<const char*>(buffer);
    while (n > 0) {
        const ssize_t put = pwrite(Fd(m_handle), p, n, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return Posix::LastError();
        }
        if (put == 0)
            return Posix::StatusOf(ENOSPC);
        p += put;
        n -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return {};
}

Status WriteFile::SetSize(std::uint64_t size)
{
    return ftruncate(Fd(m_handle), static_cast<off_t>(size)) == 0 ? Status() : Posix::LastError();
}

Status WriteFile::CopyAttributes(const FileInfo& info)
{
    const auto timespecOf = [](const FileTime& time) {
        struct timespec ts {};
        ts.tv_sec = static_cast<time_t>(time.seconds);
        ts.tv_nsec = static_cast<long>(time.nanoseconds);
        return ts;
    };
    if (fchmod(Fd(m_handle), static_cast<mode_t>(info.permissions)) != 0)
        return Posix::LastError();
    const struct timespec times[2] = { timespecOf(info.atime), timespecOf(info.mtime) };
    return futimens(Fd(m_handle), times) == 0 ? Status() : Posix::LastError();
}

Status WriteFile::TakeAccessOf(const std::string& path)
{
    struct stat old {};
    if (stat(path.c_str(), &old) != 0)
        return Posix::LastError();
    const int fd = Fd(m_handle);
    // Root may keep both; an owner may still give the file a group of its own. Whatever
    // could not be kept shows in the file's status below.
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        const int groupOnly = fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        static_cast<void>(groupOnly);
    }
    struct stat now {};
    if (fstat(fd, &now) != 0)
        return Posix::LastError();
    mode_t mode = old.st_mode & 07777;
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid)
        mode &= 0777;
    // Another group's members are others to the old file.
    if (now.st_gid != old.st_gid)
        mode = (mode & ~static_cast<mode_t>(070)) | (mode & 070 & ((mode & 07) << 3));
    return fchmod(fd, mode) == 0 ? Status() : Posix::LastError();
}

Status WriteFile::Close()
{
    if (m_handle == NativeHandle::None)
        return {};
    const int fd = Fd(m_handle);
    m_handle = NativeHandle::None;
    Status err;
    if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        err = Posix::LastError();
    if (close(fd) != 0 && err.Ok())
        err = Posix::LastError();
    return err;
}

Status RenameNoReplace(const std::string& from, const std::string& to)
{
#if defined(__linux__) && defined(SYS_renameat2)
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1U /* RENAME_NOREPLACE */) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return Posix::LastError();
#endif
    // File systems without renameat2 support: a hard link refuses an existing target too.
    if (link(from.c_str(), to.c_str()) != 0)
        return Posix::LastError();
    if (unlink(from.c_str()) != 0) {
        const Status err = Posix::LastError();
        unlink(to.c_str());
        return err;
    }
    return {};
}

Status RemoveFile(const std::string& path)
{
    return unlink(path.c_str()) == 0 ? Status() : Posix::LastError();
}

namespace Posix {

#ifdef O_PATH
    // Looking names up needs no read permission on the folder, as with a full path.
    constexpr int kEntryFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int kEntryFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

    EntryInFolder::EntryInFolder(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        m_folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        m_name = slash == std::string::npos ? path : path.substr(slash + 1);
        m_folder = open(m_folderPath.c_str(), kEntryFolderFlags);
        if (m_folder < 0)
            m_error = LastError();
    }

    EntryInFolder::~EntryInFolder()
    {
        if (m_folder >= 0)
            close(m_folder);
    }

    Status EntryInFolder::Confirm(const FileStamp& expected) const
    {
        if (m_folder < 0)
            return m_error;
        if (m_name.empty() || m_name == "." || m_name == "..")
            return Error::Changed;
        struct stat st {};
        if (fstatat(m_folder, m_name.c_str(), &st, 0) != 0)
            return LastError();
        FileInfo now;
        FillInfo(st, now);
        return now.kind == EntryKind::Regular && StampOf(now) == expected ? Status() : Status(Error::Changed);
    }

    bool EntryInFolder::FolderStillAt() const
    {
        struct stat held {};
        struct stat named {};
        return m_folder >= 0 && fstat(m_folder, &held) == 0 && stat(m_folderPath.c_str(), &named) == 0
            && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

} // namespace Posix

Status RemoveFileIfSame(const std::string& path, const FileStamp& expected)
{
    const Posix::EntryInFolder entry(path);
    if (const Status found = entry.Confirm(expected); !found.Ok())
        return found;
    return unlinkat(entry.Folder(), entry.Name(), 0) == 0 ? Status() : Posix::LastError();
}

Status RenameNoReplaceIfSame(const std::string& from, const FileStamp& expected, const std::string& to)
{
    const Posix::EntryInFolder entry(from);
    if (const Status found = entry.Confirm(expected); !found.Ok())
        return found;
#if defined(__linux__) && defined(SYS_renameat2)
    if (syscall(SYS_renameat2, entry.Folder(), entry.Name(), AT_FDCWD, to.c_str(), 1U /* RENAME_NOREPLACE */)
        == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return Posix::LastError();
#endif
    if (linkat(entry.Folder(), entry.Name(), AT_FDCWD, to.c_str(), 0) != 0)
        return Posix::LastError();
    if (unlinkat(entry.Folder(), entry.Name(), 0) != 0) {
        const Status err = Posix::LastError();
        unlink(to.c_str());
        return err;
    }
    return {};
}

std::size_t MaxNameBytes(const std::string& folder)
{
    const long max = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    // NAME_MAX where the file system does not say.
    return max > 0 ? static_cast<std::size_t>(max) : 255;
}

namespace {

    // One line of /proc/self/mountinfo: the file system, the folder of it that is
    // mounted, and where.
    struct Mount {
        std::string device;
        std::string root;
        std::string point;
    };

    // Undoes the octal escapes (\040 for a space) of a mountinfo field.
    std::string MountField(const std::string& field)
    {
        std::string out;
        for (std::size_t k = 0; k < field.size(); ++k) {
            if (field[k] == '\\' && k + 3 < field.size() && field[k + 1] >= '0' && field[k + 1] <= '3') {
                out += static_cast<char>((field[k + 1] - '0') * 64 + (field[k + 2] - '0') * 8 + (field[k + 3] - '0'));
                k += 3;
            } else {
                out += field[k];
            }
        }
        return out;
    }

    std::vector<Mount> ReadMounts()
    {
        std::vector<Mount> mounts;
        std::FILE* file = std::fopen("/proc/self/mountinfo", "re");
        if (!file)
            return mounts;
        char* line = nullptr;
        std::size_t capacity = 0;
        while (getline(&line, &capacity, file) > 0) {
            // id, parent, major:minor, root, mount point, ...
            std::vector<std::string> fields;
            for (const char* p = line; *p && *p != '\n' && fields.size() < 5;) {
                const char* end = p + std::strcspn(p, " \n");
                fields.emplace_back(p, end);
                p = *end == ' ' ? end + 1 : end;
            }
            if (fields.size() == 5)
                mounts.push_back({ fields[2], MountField(fields[3]), MountField(fields[4]) });
        }
        std::free(line);
        std::fclose(file);
        return mounts;
    }

} // namespace

std::vector<std::string> MountsInside(const std::string& folder)
{
    std::vector<std::string> places;
    std::string real;
    if (!RealPath(folder, real).Ok())
        return places;
    const std::vector<Mount> mounts = ReadMounts();
    // The mount that shows folder: the last one mounted on the longest prefix of it.
    const Mount* holder = nullptr;
    for (const Mount& mount : mounts) {
        if (Posix::Within(real, mount.point) && (!holder || mount.point.size() >= holder->point.size()))
            holder = &mount;
    }
    if (!holder)
        return places;
    // folder as a path within its file system.
    const std::string rest = holder->point == "/" ? real : real.substr(holder->point.size());
    const std::string inFs = holder->root == "/" ? (rest.empty() ? "/" : rest) : holder->root + rest;
    for (const Mount& mount : mounts) {
        if (&mount != holder && mount.device == holder->device && Posix::Within(mount.root, inFs))
            places.push_back(mount.point);
    }
    return places;
}

Status RenameReplacing(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? Status() : Posix::LastError();
}

bool ToLocalTime(std::int64_t seconds, LocalTime& local)
{
    const auto t = static_cast<std::time_t>(seconds);
    if (static_cast<std::int64_t>(t) != seconds)
        return false;
    struct tm parts {};
    if (!localtime_r(&t, &parts))
        return false;
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    local.utcOffsetSeconds = static_cast<int>(parts.tm_gmtoff);
    return true;
}

void UseOneHeap()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

void GiveBackFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace Platform
