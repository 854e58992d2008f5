// PosixError: errno onto the platform's error conditions.
#include "scan/posix/PosixError.h"

#include <cerrno>
#include <sys/stat.h>

namespace Platform::Posix {

Status StatusOf(int errnum)
{
    struct Row {
        int errnum;
        Error error;
    };
    // Every errno that means the same reason to the user shares a condition.
    static const Row rows[] = {
        { 0, Error::None },
        { ENOENT, Error::NotFound },
        { EEXIST, Error::Exists },
        { EXDEV, Error::CrossDevice },
        { EMFILE, Error::TooManyOpenFiles },
        { ENFILE, Error::TooManyOpenFiles },
        { EISDIR, Error::IsFolder },
        { ENOTDIR, Error::InvalidName },
        { ENAMETOOLONG, Error::InvalidName },
        { EILSEQ, Error::InvalidName },
        { ELOOP, Error::InvalidName },
        { EACCES, Error::AccessDenied },
        { EPERM, Error::AccessDenied },
        { EROFS, Error::AccessDenied },
        { EBUSY, Error::AccessDenied },
        { ENOSPC, Error::DiskFull },
#ifdef EDQUOT
        { EDQUOT, Error::DiskFull },
#endif
        { EFBIG, Error::DiskFull },
        { EOPNOTSUPP, Error::NotSupported },
    };
    for (const Row& row : rows) {
        if (row.errnum == errnum)
            return { row.error, errnum };
    }
    return { Error::Other, errnum };
}

Status LastError() { return StatusOf(errno); }

Status KindStatus(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    return S_ISDIR(mode) ? Status(Error::IsFolder, EISDIR) : Status(Error::NotRegularFile, EINVAL);
}

} // namespace Platform::Posix
