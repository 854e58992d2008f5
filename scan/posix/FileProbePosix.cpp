// FileProbePosix: the POSIX back end of FileProbe.h.
#include "scan/FileProbe.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

    int KindError(const struct stat& st)
    {
        if (S_ISREG(st.st_mode))
            return 0;
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }

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

int FolderProbe::Stat(const std::string& path, ProbedFile& file)
{
    const char* name = nullptr;
    const int folder = Folder(path, name);
    struct stat st { };
    if (fstatat(folder, name, &st, 0) != 0)
        return errno;
    Fill(st, file);
    return KindError(st);
}

int FolderProbe::TryOpen(const std::string& path)
{
    const char* name = nullptr;
    const int folder = Folder(path, name);
    // O_NONBLOCK as in ReadFile::Open, so that a FIFO never blocks.
    const int fd = openat(folder, name, kReadFlags);
    if (fd < 0)
        return errno;
    close(fd);
    return 0;
}

int FolderProbe::Probe(const std::string& path, ProbedFile& file)
{
    const char* name = nullptr;
    const int folder = Folder(path, name);
    const int fd = openat(folder, name, kReadFlags);
    if (fd < 0)
        return errno;
    struct stat st { };
    int result = fstat(fd, &st) != 0 ? errno : KindError(st);
    if (result == 0)
        Fill(st, file);
    close(fd);
    return result;
}

bool RotationalDisk(std::uint64_t device)
{
    const auto dev = static_cast<dev_t>(device);
    const std::string base
        = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    // A partition has no queue of its own; its disk is the folder above it.
    for (const char* queue : { "/queue/rotational", "/../queue/rotational" }) {
        char real[PATH_MAX];
        if (!realpath(base.c_str(), real))
            return false;
        std::FILE* file = std::fopen((std::string(real) + queue).c_str(), "re");
        if (!file)
            continue;
        const int flag = std::fgetc(file);
        std::fclose(file);
        return flag == '1';
    }
    return false;
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

int BlockReader::Open(const std::string& path)
{
    Close();
    m_fd = open(path.c_str(), kReadFlags);
    return m_fd < 0 ? errno : 0;
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
