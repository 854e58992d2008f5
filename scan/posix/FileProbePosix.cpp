// FileProbePosix: the POSIX back end of FileProbe.h.
#include "scan/FileProbe.h"

#include "scan/posix/PosixError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

    constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
#ifdef O_PATH
    // Looking names up needs no read permission on the folder, as with a full path.
    constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

    void Fill(const struct stat& st, ProbedFile& file)
    {
        file.size = static_cast<std::uint64_t>(st.st_size);
        file.device = static_cast<std::uint64_t>(st.st_dev);
        file.inode = static_cast<std::uint64_t>(st.st_ino);
        file.allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
    }

} // namespace

FolderProbe::~FolderProbe()
{
    if (m_folderFd >= 0)
        close(m_folderFd);
}

int FolderProbe::Folder(const std::string& path, const char*& name)
{
    name = path.c_str();
    const std::size_t slash = path.rfind('/');
    // A name is needed after the folder, and the folder part must not be the root
    // alone, where "/" + name is already as short as it gets.
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return AT_FDCWD;
    if (!m_folderOpen || path.compare(0, slash + 1, m_folder) != 0) {
        if (m_folderFd >= 0)
            close(m_folderFd);
        m_folder.assign(path, 0, slash + 1);
        m_folderFd = open(m_folder.c_str(), kFolderFlags);
        m_folderOpen = true;
    }
    // A folder that does not open is left to the full path, which fails the same way.
    if (m_folderFd < 0)
        return AT_FDCWD;
    name = path.c_str() + slash + 1;
    return m_folderFd;
}

Status FolderProbe::Stat(const std::string& path, ProbedFile& file)
{
    const char* name = nullptr;
    const int folder = Folder(path, name);
    struct stat st { };
    if (fstatat(folder, name, &st, 0) != 0)
        return Posix::LastError();
    Fill(st, file);
    return Posix::KindStatus(st.st_mode);
}

Status FolderProbe::TryOpen(const std::string& path)
{
    const char* name = nullptr;
    const int folder = Folder(path, name);
    // O_NONBLOCK as in ReadFile::Open, so that a FIFO never blocks.
    const int fd = openat(folder, name, kReadFlags);
    if (fd < 0)
        return Posix::LastError();
    close(fd);
    return {};
}

Status FolderProbe::Probe(const std::string& path, ProbedFile& file)
{
    const char* name = nullptr;
    const int folder = Folder(path, name);
    const int fd = openat(folder, name, kReadFlags);
    if (fd < 0)
        return Posix::LastError();
    struct stat st { };
    const Status result = fstat(fd, &st) != 0 ? Posix::LastError() : Posix::KindStatus(st.st_mode);
    if (result.Ok())
        Fill(st, file);
    close(fd);
    return result;
}

BlockReader::~BlockReader() { Close(); }

BlockReader::BlockReader(BlockReader&& other) noexcept
    : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

BlockReader& BlockReader::operator=(BlockReader&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

Status BlockReader::Open(const std::string& path)
{
    Close();
    m_fd = open(path.c_str(), kReadFlags);
    return m_fd < 0 ? Posix::LastError() : Status();
}

bool BlockReader::ReadExact(std::uint64_t offset, void* buffer, std::size_t n) const
{
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = pread(m_fd, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

std::uint64_t BlockReader::NextData(std::uint64_t offset) const
{
#ifdef SEEK_DATA
    const off_t data = lseek(m_fd, static_cast<off_t>(offset), SEEK_DATA);
    if (data >= 0)
        return static_cast<std::uint64_t>(data);
    if (errno == ENXIO)
        return UINT64_MAX;
#endif
    return offset;
}

void BlockReader::AdviseSequential() const
{
    if (m_fd >= 0)
        posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void BlockReader::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

} // namespace Platform
