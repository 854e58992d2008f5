// FileProbePosix: the POSIX back end of FileProbe.h.
#include "scan/FileProbe.h"

#include "scan/posix/PosixFile.h"
#include "scan/posix/PosixError.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Platform {
namespace {

#ifdef O_PATH
    // Looking names up needs no read permission on the folder, as with a full path.
    constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

    // The descriptor to look name up below: the folder, or the working folder when
    // name is the whole path.
    int AtFd(NativeHandle folder) { return folder == NativeHandle::None ? AT_FDCWD : Posix::Fd(folder); }

} // namespace

FolderProbe::~FolderProbe()
{
    if (m_folderHandle != NativeHandle::None)
        close(Posix::Fd(m_folderHandle));
}

NativeHandle FolderProbe::Folder(const std::string& path, const char*& name)
{
    name = path.c_str();
    const std::size_t slash = path.rfind('/');
    // A name is needed after the folder, and the folder part must not be the root
    // alone, where "/" + name is already as short as it gets.
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return NativeHandle::None;
    if (!m_folderOpen || path.compare(0, slash + 1, m_folder) != 0) {
        if (m_folderHandle != NativeHandle::None)
            close(Posix::Fd(m_folderHandle));
        m_folder.assign(path, 0, slash + 1);
        m_folderHandle = Posix::HandleOf(open(m_folder.c_str(), kFolderFlags));
        m_folderOpen = true;
    }
    // A folder that does not open is left to the full path, which fails the same way.
    if (m_folderHandle == NativeHandle::None)
        return NativeHandle::None;
    name = path.c_str() + slash + 1;
    return m_folderHandle;
}

Status FolderProbe::Stat(const std::string& path, FileInfo& file)
{
    const char* name = nullptr;
    const int folder = AtFd(Folder(path, name));
    struct stat st { };
    if (fstatat(folder, name, &st, 0) != 0)
        return Posix::LastError();
    Posix::FillInfo(st, file);
    return Posix::KindStatus(st.st_mode);
}

Status FolderProbe::TryOpen(const std::string& path)
{
    const char* name = nullptr;
    const int folder = AtFd(Folder(path, name));
    // The permission check an open makes, without the open and the close: half the
    // cost for the many files that are never read. A refusal is confirmed by opening,
    // so that a sandbox that blocks the call cannot fail a file that opens.
    if (faccessat(folder, name, R_OK, AT_EACCESS) == 0)
        return {};
    // Opened as ReadFile::Open opens, so that a FIFO never blocks.
    const int fd = openat(folder, name, Posix::kReadFlags);
    if (fd < 0)
        return Posix::LastError();
    close(fd);
    return {};
}

namespace {

    // A folder's slot before it is opened, and after it failed to.
    constexpr std::intptr_t kUnopened = -2;
    constexpr std::intptr_t kFailed = -1;

} // namespace

FolderHandles::FolderHandles(std::size_t folders, std::size_t limit)
    : m_count(folders)
    , m_handles(std::make_unique<std::atomic<std::intptr_t>[]>(folders))
    , m_left(limit)
{
    for (std::size_t f = 0; f < folders; ++f)
        m_handles[f].store(kUnopened, std::memory_order_relaxed);
}

FolderHandles::~FolderHandles()
{
    for (std::size_t f = 0; f < m_count; ++f) {
        const std::intptr_t fd = m_handles[f].load(std::memory_order_relaxed);
        if (fd >= 0)
            close(static_cast<int>(fd));
    }
}

bool FolderHandles::Asked(std::uint32_t folder, NativeHandle& handle) const
{
    const std::intptr_t known = m_handles[folder].load(std::memory_order_acquire);
    handle = static_cast<NativeHandle>(known);
    return known >= 0 || known == kFailed;
}

NativeHandle FolderHandles::Open(std::uint32_t folder, const char* path)
{
    std::atomic<std::intptr_t>& slot = m_handles[folder];
    std::intptr_t known = slot.load(std::memory_order_acquire);
    if (known >= 0 || known == kFailed)
        return static_cast<NativeHandle>(known);
    std::size_t left = m_left.load(std::memory_order_relaxed);
    do {
        if (left == 0)
            return NativeHandle::None;
    } while (!m_left.compare_exchange_weak(left, left - 1, std::memory_order_relaxed));
    const int fd = open(path, kFolderFlags);
    const std::intptr_t opened = fd >= 0 ? fd : kFailed;
    if (!slot.compare_exchange_strong(known, opened, std::memory_order_acq_rel)) {
        // Another thread opened it meanwhile.
        if (fd >= 0)
            close(fd);
        m_left.fetch_add(1, std::memory_order_relaxed);
        return static_cast<NativeHandle>(known);
    }
    if (fd < 0)
        m_left.fetch_add(1, std::memory_order_relaxed);
    return static_cast<NativeHandle>(opened);
}

std::size_t OpenFileLimit()
{
    struct rlimit limit { };
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return static_cast<std::size_t>(limit.rlim_cur);
}

void RaiseOpenFileLimit()
{
    struct rlimit limit { };
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
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
        // A virtual disk says it rotates when its host does not tell it otherwise.
        if (std::strstr(real, "/virtio") || std::strstr(real, "/xen"))
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

} // namespace Platform
