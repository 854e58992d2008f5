// PlatformPosix: the POSIX back end of Platform.h.
#include "scan/Platform.h"

#include "scan/posix/PosixError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif

namespace Platform {
namespace {

    EntryKind KindOfMode(mode_t mode)
    {
        if (S_ISREG(mode))
            return EntryKind::Regular;
        if (S_ISDIR(mode))
            return EntryKind::Directory;
        if (S_ISLNK(mode))
            return EntryKind::Symlink;
        return EntryKind::Other;
    }

    void FillInfo(const struct stat& st, FileInfo& info)
    {
        info.kind = KindOfMode(st.st_mode);
        info.size = static_cast<std::uint64_t>(st.st_size);
        info.device = static_cast<std::uint64_t>(st.st_dev);
        info.inode = static_cast<std::uint64_t>(st.st_ino);
        info.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        info.atimeNs = static_cast<std::int64_t>(st.st_atim.tv_sec) * 1000000000 + st.st_atim.tv_nsec;
        info.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
    }

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

bool ForEachEntry(const std::string& dir, const std::function<void(const char*, EntryKind)>& visit)
{
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return false;
    struct Closer {
        DIR* d;
        ~Closer() { closedir(d); }
    } closer { d };
    while (const dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        visit(n, KindOfDirent(e->d_type));
    }
    return true;
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
    : m_fd(other.m_fd)
    , m_info(other.m_info)
{
    other.m_fd = -1;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_info = other.m_info;
        other.m_fd = -1;
    }
    return *this;
}

Status ReadFile::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK keeps a FIFO from blocking the open; the fstat below then refuses it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
    m_fd = fd;
    FillInfo(st, m_info);
    return {};
}

Status ReadFile::StatNow(FileInfo& info) const
{
    struct stat st {};
    if (fstat(m_fd, &st) != 0)
        return Posix::LastError();
    FillInfo(st, info);
    return {};
}

std::int64_t ReadFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t n, Status* error) const
{
    for (;;) {
        const ssize_t got = pread(m_fd, buffer, n, static_cast<off_t>(offset));
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            if (error)
                *error = Posix::LastError();
            return -1;
        }
    }
}

std::uint64_t ReadFile::NextDataOffset(std::uint64_t offset) const
{
#ifdef SEEK_DATA
    const off_t data = lseek(m_fd, static_cast<off_t>(offset), SEEK_DATA);
    if (data >= 0)
        return static_cast<std::uint64_t>(data);
    if (errno == ENXIO)
        return std::max(offset, m_info.size);
#endif
    return offset;
}

void ReadFile::AdviseSequential() const
{
    if (m_fd >= 0)
        posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void ReadFile::AdviseDone() const
{
    if (m_fd >= 0)
        posix_fadvise(m_fd, 0, 0, POSIX_FADV_NOREUSE);
}

void ReadFile::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

WriteFile::~WriteFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

Status WriteFile::Create(const std::string& path, Access access)
{
    const mode_t mode = access == Access::OwnerOnly ? 0600 : 0666;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0)
        return Posix::LastError();
    m_fd = fd;
    return {};
}

Status WriteFile::WriteAllAt(std::uint64_t offset, const void* buffer, std::size_t n)
{
    const char* p = static_cast<const char*>(buffer);
    while (n > 0) {
        const ssize_t put = pwrite(m_fd, p, n, static_cast<off_t>(offset));
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
    return ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? Status() : Posix::LastError();
}

Status WriteFile::CopyAttributes(const FileInfo& info)
{
    const auto timespecOf = [](std::int64_t ns) {
        struct timespec ts {};
        ts.tv_sec = static_cast<time_t>(ns / 1000000000);
        ts.tv_nsec = static_cast<long>(ns % 1000000000);
        if (ts.tv_nsec < 0) {
            ts.tv_nsec += 1000000000;
            --ts.tv_sec;
        }
        return ts;
    };
    if (fchmod(m_fd, static_cast<mode_t>(info.permissions)) != 0)
        return Posix::LastError();
    const struct timespec times[2] = { timespecOf(info.atimeNs), timespecOf(info.mtimeNs) };
    return futimens(m_fd, times) == 0 ? Status() : Posix::LastError();
}

Status WriteFile::Close()
{
    if (m_fd < 0)
        return {};
    Status err;
    if (fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        err = Posix::LastError();
    if (close(m_fd) != 0 && err.Ok())
        err = Posix::LastError();
    m_fd = -1;
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

std::size_t MaxNameBytes(const std::string& folder)
{
    const long max = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    // NAME_MAX where the file system does not say.
    return max > 0 ? static_cast<std::size_t>(max) : 255;
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

} // namespace Platform
