// TrashGio: the desktop trash through GIO, which keeps the freedesktop.org trash
// layout (the home trash, and a trash folder per volume) as the file managers do.
#include "scan/Platform.h"

#include "scan/posix/PosixError.h"
#include "scan/posix/PosixFile.h"

#include <cerrno>
#include <functional>
#include <gio/gio.h>
#include <sys/stat.h>
#include <utility>

namespace Platform {

namespace {

    // Trashes path through GIO; confirm, when given, runs last before GIO takes over and
    // may refuse with its status.
    Status Trash(const std::string& path, const std::function<Status()>& confirm = {})
    {
        // GIO would trash a whole folder; only files (and links, as links) go here.
        struct stat st { };
        if (lstat(path.c_str(), &st) != 0)
            return Posix::LastError();
        if (S_ISDIR(st.st_mode))
            return Posix::StatusOf(EISDIR);
        GFile* file = g_file_new_for_path(path.c_str());
        if (confirm) {
            if (const Status confirmed = confirm(); !confirmed.Ok()) {
                g_object_unref(file);
                return confirmed;
            }
        }
        GError* error = nullptr;
        const gboolean trashed = g_file_trash(file, nullptr, &error);
        g_object_unref(file);
        if (trashed)
            return {};
        // GIO's errors in the words of errno; the rest are EIO.
        static constexpr std::pair<int, int> kErrnoOf[] = {
            { G_IO_ERROR_NOT_FOUND, ENOENT },
            { G_IO_ERROR_PERMISSION_DENIED, EACCES },
            { G_IO_ERROR_NO_SPACE, ENOSPC },
            { G_IO_ERROR_READ_ONLY, EROFS },
            { G_IO_ERROR_BUSY, EBUSY },
        };
        Status result = Posix::StatusOf(EIO);
        if (error && error->domain == G_IO_ERROR) {
            if (error->code == G_IO_ERROR_NOT_SUPPORTED)
                result = Error::NoTrash;
            for (const auto& [code, number] : kErrnoOf) {
                if (error->code == code)
                    result = Posix::StatusOf(number);
            }
        }
        g_clear_error(&error);
        return result;
    }

} // namespace

Status MoveToTrash(const std::string& path) { return Trash(path); }

Status MoveToTrashIfSame(const std::string& path, const FileStamp& expected)
{
    // GIO takes a path and moves the file by it, so the look-up cannot be tied to the
    // move as RemoveFileIfSame ties them. The gap is kept to a minimum: the file is
    // confirmed through its open folder, and the folder's path is confirmed to lead to
    // that folder still, right before GIO is called, with nothing in between; a swap
    // in that gap would move another file into the trash, from where it can be restored.
    const Posix::EntryInFolder entry(path);
    return Trash(path, [&]() -> Status {
        if (const Status found = entry.Confirm(expected); !found.Ok())
            return found;
        return entry.FolderStillAt() ? Status() : Status(Error::Changed);
    });
}

} // namespace Platform
