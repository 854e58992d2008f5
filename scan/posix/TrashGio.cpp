// TrashGio: the desktop trash through GIO, which keeps the freedesktop.org trash
// layout (the home trash, and a trash folder per volume) as the file managers do.
#include "scan/Platform.h"

#include "scan/posix/PosixError.h"

#include <cerrno>
#include <gio/gio.h>
#include <sys/stat.h>

namespace Platform {

Status MoveToTrash(const std::string& path)
{
    // GIO would trash a whole folder; only files (and links, as links) go here.
    struct stat st { };
    if (lstat(path.c_str(), &st) != 0)
        return Posix::LastError();
    if (S_ISDIR(st.st_mode))
        return Posix::StatusOf(EISDIR);
    GFile* file = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    const gboolean trashed = g_file_trash(file, nullptr, &error);
    g_object_unref(file);
    if (trashed)
        return {};
    Status result = Posix::StatusOf(EIO);
    if (error && error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_NOT_SUPPORTED:
            result = Error::NoTrash;
            break;
        case G_IO_ERROR_NOT_FOUND:
            result = Posix::StatusOf(ENOENT);
            break;
        case G_IO_ERROR_PERMISSION_DENIED:
            result = Posix::StatusOf(EACCES);
            break;
        case G_IO_ERROR_NO_SPACE:
            result = Posix::StatusOf(ENOSPC);
            break;
        case G_IO_ERROR_READ_ONLY:
            result = Posix::StatusOf(EROFS);
            break;
        case G_IO_ERROR_BUSY:
            result = Posix::StatusOf(EBUSY);
            break;
        default:
            break;
        }
    }
    g_clear_error(&error);
    return result;
}

} // namespace Platform
