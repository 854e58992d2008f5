// Platform: the few file-system calls the core makes, behind one header so that
// another back end (Windows) can be added beside scan/posix/.
#pragma once

#include "scan/PlatformError.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Platform {

// The separator of the paths the core handles; a back end whose system writes paths
// another way converts at its calls.
inline constexpr char kSeparator = '/';
// True for a name the desktop hides from a folder listing (on POSIX, one that starts
// with ".").
bool IsHiddenName(const char* name);

enum class EntryKind { Regular, Directory, Symlink, Other, Unknown };

// A moment as a file system stores it: whole seconds since 1970-01-01 00:00 UTC (fewer
// than 0 before) and the nanoseconds after them, so that every time a file system can
// hold, in 1600 or in 2300 alike, is kept exactly and orders as it should.
struct FileTime {
    std::int64_t seconds = 0;
    // 0 to 999,999,999.
    std::uint32_t nanoseconds = 0;

    auto operator<=>(const FileTime&) const = default;
};

// A FileTime in 8 bytes, for lists of a million files: nanoseconds since 1970, which
// hold every time from 1678 to 2262. A time outside has no packed form (PackTime returns
// false): whoever packs keeps it whole.
inline bool PackTime(const FileTime& time, std::int64_t& packed)
{
    std::int64_t ns = 0;
    return !__builtin_mul_overflow(time.seconds, 1000000000, &ns)
        && !__builtin_add_overflow(ns, static_cast<std::int64_t>(time.nanoseconds), &packed);
}
inline FileTime UnpackTime(std::int64_t packed)
{
    std::int64_t seconds = packed / 1000000000;
    std::int64_t nanoseconds = packed % 1000000000;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000;
        --seconds;
    }
    return { seconds, static_cast<std::uint32_t>(nanoseconds) };
}

struct FileInfo {
    EntryKind kind = EntryKind::Unknown;
    std::uint64_t size = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    FileTime mtime;
    FileTime atime;
    // The permission bits (owner, group, others, and the special bits).
    std::uint32_t permissions = 0;
    // Bytes the file takes on disk; fewer than its size means it may have holes.
    std::uint64_t allocated = 0;
};

// A file or folder opened by the back end, opaque to the core.
enum class NativeHandle : std::intptr_t { None = -1 };

// Returned by ReadFile::NextData when only a hole follows.
inline constexpr std::uint64_t kNoData = UINT64_MAX;

// Which file, in which state: its device and inode, its size and modification time. Two
// looks at a path that give the same stamp saw the same file, unchanged; what a check
// records of each file it groups, and what every removal confirms first.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    FileTime modified;

    // False for the stamp of a look-up that found nothing.
    bool Known() const { return inode != 0; }
    bool operator==(const FileStamp&) const = default;
};

inline FileStamp StampOf(const FileInfo& info) { return { info.device, info.inode, info.size, info.mtime }; }

// True when a and b describe one file in one state: same device and inode, same size and
// modification time. What the safety checks before a deletion compare.
inline bool SameFileUnchanged(const FileInfo& a, const FileInfo& b) { return StampOf(a) == StampOf(b); }

// Looks an entry of the folder being listed up through the open folder, without walking
// the whole path again and without following a symbolic link (a link is reported as
// Symlink, whatever it leads to).
using EntryLookUp = std::function<Status(const char* name, FileInfo& info)>;
// Called for every entry of a folder: kind comes from the directory entry and may be
// Unknown; lookUp looks the folder's entries up while the listing runs.
using EntryVisit = std::function<void(const char* name, EntryKind kind, const EntryLookUp& lookUp)>;

// Calls visit(name, kind) for every entry of dir ("" for the current folder) except "."
// and "..", in the order the file system yields them. kind comes from the directory
// entry and may be Unknown. Returns false when dir cannot be listed.
bool ForEachEntry(const std::string& dir, const std::function<void(const char* name, EntryKind kind)>& visit);

// A folder held open for listing. The folders below a folder the user named are opened
// through it, never through a symbolic link, so that a folder replaced by a link while a
// scan runs leads nowhere outside.
class ScanFolder {
public:
    ScanFolder() = default;
    ~ScanFolder();
    ScanFolder(const ScanFolder&) = delete;
    ScanFolder& operator=(const ScanFolder&) = delete;

    // Opens the folder at path, following links on the way and at its end: the folder
    // the user named. InvalidName when path names something other than a folder.
    Status Open(const std::string& path);
    // Opens the folder path below top, whose part from offset start on names it
    // relative to top ("a/b" in "/top/a/b"), following no symbolic link on that part:
    // NotFound when nothing, a link or anything but a folder stands at one of its
    // names now. InvalidName when path is too long for the calls that take paths. With
    // start at the end of path, opens top itself once more.
    Status OpenBelow(const ScanFolder& top, const std::string& path, std::size_t start);
    bool IsOpen() const { return m_handle != NativeHandle::None; }
    // Calls visit for every entry except "." and "..", in the order the file system
    // yields them, once per open folder. Returns why the listing stopped early, if it
    // did.
    Status ForEachEntry(const EntryVisit& visit);
    void Close();

private:
    NativeHandle m_handle = NativeHandle::None;
};

// Fills info for path, following symbolic links when follow is set.
Status Stat(const std::string& path, FileInfo& info, bool follow = true);

// Sets real to path with every symbolic link, "." and ".." resolved: the path the file
// has from the root.
Status RealPath(const std::string& path, std::string& real);

bool IsDirectory(const std::string& path);
// True for an existing regular file (after following links).
bool IsFile(const std::string& path);
// True when anything, even a dangling link, exists at path.
bool Exists(const std::string& path);

// A file opened for reading; closed by the destructor on every path. The one way the
// core reads a file's bytes.
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;
    ReadFile(ReadFile&& other) noexcept;
    ReadFile& operator=(ReadFile&& other) noexcept;

    // Opens a regular file without blocking (a FIFO never hangs the open); a path that
    // is not a regular file gives IsFolder or NotRegularFile.
    Status Open(const std::string& path);
    // Opens a path already looked up as a regular file, with no status query on the
    // way: Info() stays empty.
    Status OpenUnchecked(const std::string& path);
    // Same, for name below folder, an open folder (FolderHandles in FileProbe.h).
    Status OpenUncheckedAt(NativeHandle folder, const char* name);
    bool IsOpen() const { return m_handle != NativeHandle::None; }
    // The open file, for the back end's other calls on it (PlatformActions.h).
    NativeHandle Handle() const { return m_handle; }
    const FileInfo& Info() const { return m_info; }
    // Looks the open file up again (not its path).
    Status StatNow(FileInfo& info) const;
    // Reads n bytes at offset, fewer only where the file ends; returns the count, or -1
    // with the reason in *error when error is given.
    std::int64_t ReadFull(std::uint64_t offset, void* buffer, std::size_t n, Status* error = nullptr) const;
    // Reads exactly n bytes at offset; false on an error or a file that ends before.
    bool ReadExact(std::uint64_t offset, void* buffer, std::size_t n) const
    {
        return ReadFull(offset, buffer, n) == static_cast<std::int64_t>(n);
    }
    // Returns the first offset at or after offset that may hold data, kNoData when only
    // a hole follows: bytes before it read as zeros. Returns offset when the file system
    // cannot tell.
    std::uint64_t NextData(std::uint64_t offset) const;
    // True when the n bytes at offset (at most a page) can be read from memory, without
    // waiting for the disk; false also when the system cannot tell.
    bool InMemory(std::uint64_t offset, std::size_t n) const;
    // Tells the kernel the file is read front to back once.
    void AdviseSequential() const;
    void AdviseDone() const;
    void Close();

private:
    NativeHandle m_handle = NativeHandle::None;
    FileInfo m_info;
};

// Keeps a pool of reading threads to the cores while their reads come from memory, yet
// lets many wait on the disk at once: a thread that installs a gate leaves it while one
// of its reads waits for the disk, and enters it again before going on.
class ReadGate {
public:
    virtual void Enter() = 0;
    virtual void Leave() = 0;

protected:
    ~ReadGate() = default;
};
// Installs gate for the calling thread's ReadFile reads; nullptr takes it away.
void SetReadGate(ReadGate* gate);

// A file created exclusively for writing (never replaces an existing one).
class WriteFile {
public:
    WriteFile() = default;
    ~WriteFile();
    WriteFile(const WriteFile&) = delete;
    WriteFile& operator=(const WriteFile&) = delete;

    // Who may read and write a new file.
    enum class Access {
        // Its owner only, so that nobody else can read it while it is being filled.
        OwnerOnly,
        // Whoever the process's file-creation mask lets, as for any new document.
        Default,
    };
    // Creates path with access; Exists when anything is there already.
    Status Create(const std::string& path, Access access = Access::OwnerOnly);
    // Writes all n bytes at offset, leaving a hole before it when offset lies past the
    // end.
    Status WriteAllAt(std::uint64_t offset, const void* buffer, std::size_t n);
    // Sets the file's length (a trailing hole stays unallocated).
    Status SetSize(std::uint64_t size);
    // Gives the file the permission bits and the access and modification times of
    // info.
    Status CopyAttributes(const FileInfo& info);
    // Gives the file the owner, group and permission bits of the file at path (links
    // followed), the owner and group as far as the process may set them; where the group
    // cannot be kept, the group gets no more than others had.
    Status TakeAccessOf(const std::string& path);
    // Flushes to disk and closes.
    Status Close();

private:
    NativeHandle m_handle = NativeHandle::None;
};

// Renames without ever replacing an existing target (Exists when the target is taken,
// CrossDevice across file systems).
Status RenameNoReplace(const std::string& from, const std::string& to);
// Removes a file (not a folder).
Status RemoveFile(const std::string& path);
// Moves a file (a symbolic link as the link) into the desktop's trash, where the file
// manager can restore it; NoTrash when the file's volume has none.
Status MoveToTrash(const std::string& path);

// The same acts on a file found earlier, done only while path still leads (links
// followed) to the file of expected, unchanged; otherwise Changed with nothing done, or
// NotFound when nothing is there. The file is looked up and acted on through one open
// folder, path's own, so that a folder on the way swapped for a link between the look-up
// and the act cannot turn the act onto a file elsewhere. A symbolic link goes as the
// link, never its target.
Status RemoveFileIfSame(const std::string& path, const FileStamp& expected);
// The trash takes a path: see the back end for how short the gap between the look-up
// and the move is.
Status MoveToTrashIfSame(const std::string& path, const FileStamp& expected);
// RenameNoReplace of a file found earlier.
Status RenameNoReplaceIfSame(const std::string& from, const FileStamp& expected, const std::string& to);

// The mount table as read once: tells a file seen through an overlay mount from the
// same file in one of that overlay's layers. An overlay shows a layer's file on a device
// of its own, and (with xino) under another inode number, so identity alone takes the
// two for different files.
class OverlayMounts {
public:
    // Reads the table now; a system without overlays (or without a table) has none.
    OverlayMounts();

    bool Any() const { return m_anyOverlay; }
    // True when the files at a and b (looked up as infoA and infoB) are one file: one
    // seen through an overlay mount, the other at the same place in one of its layers.
    bool SameFile(const std::string& a, const FileInfo& infoA, const std::string& b, const FileInfo& infoB) const;

    struct Mount {
        std::string point;
        // The folder of the mounted file system that appears at point.
        std::string root;
        // An overlay's layers, upper first; empty for any other mount.
        std::vector<std::string> layers;
    };

private:
    bool Through(const std::string& path, const FileInfo& other) const;

    std::vector<Mount> m_mounts;
    bool m_anyOverlay = false;
};

// Returns the longest file name, in bytes, that the file system holding folder takes.
std::size_t MaxNameBytes(const std::string& folder);

// Returns the other places where folder, or a folder inside it, is mounted too (bind
// mounts), as paths that lead there now: a file seen through one lies inside folder
// though no folder on its path is folder. Empty where the system cannot tell.
std::vector<std::string> MountsInside(const std::string& folder);

// Renames from to to in one step, replacing a file at to.
Status RenameReplacing(const std::string& from, const std::string& to);

// A moment as the local clock showed it, with the offset from UTC then in force.
struct LocalTime {
    int year = 1970;
    int month = 1; // 1-12
    int day = 1; // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int utcOffsetSeconds = 0; // east of UTC positive
};
// Converts seconds since 1970-01-01 00:00 UTC into the local time of the zone the
// process uses (TZ, else the system's). Returns false when the platform cannot.
bool ToLocalTime(std::int64_t seconds, LocalTime& local);

// The process's heap. A folder scan of a million files frees some 100 MiB of small
// blocks at its end, allocated on its listing threads. Called first thing in main,
// UseOneHeap keeps every thread's allocations in one heap (the C library otherwise gives
// threads heaps of their own, which keep such room); GiveBackFreeMemory returns the room
// of freed blocks to the system. Neither does anything where the system cannot.
void UseOneHeap();
void GiveBackFreeMemory();

} // namespace Platform
