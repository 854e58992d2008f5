// FileProbePosix: the POSIX back end of FileProbe.h.
#include "scan/FileProbe.h"

#include "scan/posix/PosixFile.h"
#include "scan/posix/PosixError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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
    // Opened as ReadFile::Open opens, so that a FIFO never blocks.
    const int fd = openat(folder, name, Posix::kReadFlags);
    if (fd < 0)
        return Posix::LastError();
    close(fd);
    return {};
}

} // namespace Platform
