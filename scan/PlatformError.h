// PlatformError: why a platform call failed, in terms the core and the windows tell
// apart; each back end maps its own error numbers onto it in one place.
#pragma once

namespace Platform {

enum class Error {
    None,
    // No file or folder at the path (or on the way to it).
    NotFound,
    // Something already exists where a new file was to go.
    Exists,
    // A rename across file systems.
    CrossDevice,
    // The process or the system cannot open one more file.
    TooManyOpenFiles,
    // A folder where a file was expected.
    IsFolder,
    // Neither a regular file nor a folder (a device, a pipe, a socket).
    NotRegularFile,
    // The name cannot be used as given: too long, a file on the way to it, a loop of
    // links, bytes the file system refuses.
    InvalidName,
    // No permission, a read-only volume, or a file in use.
    AccessDenied,
    // No room left on the volume, or in the user's quota, or for a file this large.
    DiskFull,
    // The file's volume has no desktop trash.
    NoTrash,
    // The path no longer leads to the file found earlier, or that file changed since.
    Changed,
    // The file system cannot do what was asked (share blocks, swap two names).
    NotSupported,
    // The kernel compared two files' bytes and found them different.
    Differs,
    // Anything else; Status::code says what.
    Other,
};

// The outcome of a platform call: the condition, with the back end's own error number
// beside it, which is the only thing the text of an Other error can show.
struct Status {
    Error error = Error::None;
    // The system's number for the failure; 0 when the core reports a condition itself.
    int code = 0;

    constexpr Status() = default;
    // Implicit, so that a condition the core detects itself is returned as it is named.
    constexpr Status(Error e, int systemCode = 0)
        : error(e)
        , code(systemCode)
    {
    }
    constexpr bool Ok() const { return error == Error::None; }
    friend constexpr bool operator==(const Status& s, Error e) { return s.error == e; }
};

} // namespace Platform
