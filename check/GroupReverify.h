// GroupReverify: before the checked files of a group are deleted, confirms that each still
// has a byte-identical kept copy, and deletes only the files that do.
#pragma once

#include "check/Results.h"
#include "scan/FileOps.h"
#include "scan/Platform.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Check {

// Why a checked file stays on disk.
enum class KeepReason {
    None,
    // The checked file cannot be opened or read (GroupReverify::Error tells why).
    Unreadable,
    // No kept file of the group can be opened or read any more.
    KeptUnreadable,
    // No kept file holds the same bytes any more.
    Differs,
    // The only kept file with the same bytes is this very file under another name.
    SameFile,
    // The checked file changed after the check found it or after it was read, or its
    // path leads to another file now.
    Changed,
    // Every kept file it was found equal to changed after it was read, or the kept files'
    // paths lead to other files than the check found.
    KeptChanged,
    // It was to go into the trash, and its volume has none.
    NoTrash,
};

struct ReverifyOptions {
    // Longest read from one file at a time.
    std::size_t blockBytes = 256 * 1024;
    // Up to this many files stay open while they are read; a larger group reopens its
    // files for every block (and checks that each is still the same file).
    std::size_t maxOpenFiles = 256;
};

struct DeleteOutcome {
    bool deleted = false;
    // Why the file was kept; None with error set when the deletion itself failed.
    KeepReason reason = KeepReason::None;
    // Why a deletion failed, or why a file could not be read.
    Platform::Status error;
};

// One group's files as they are on disk right now, each checked file either matched to
// the kept (unchecked) files with the same bytes or given the reason it must be kept.
//
// A kept file only counts when it is a different file (device and inode) from the checked
// one. A hard link or a second name of the checked file is refused as its copy: deleting
// one of two hard links would free nothing, and a kept path that is a symbolic link to the
// checked file (or reaches it through a linked folder) would lose the data for good. So is
// a kept file on another device with the checked file's inode number, size and
// modification time: an overlay or a second mount shows one file that way. So is a file
// seen through an overlay mount at the place of the other in one of the overlay's layers
// (Platform::OverlayMounts): with xino the overlay shows it under another inode number.
// Deleting a checked path that is itself a symbolic link removes only the link, so such a
// path is treated like any other.
//
// Given the files as the check found them, a checked file must still be that very file,
// unchanged (its stamp), or it stays as Changed: a path whose folder became a link to
// another folder leads to another file, whatever bytes it holds. A kept file counts only
// while its path leads to the file the check found (device and inode); its bytes are
// compared anyway.
class GroupReverify {
public:
    // As below, for files as the check found them.
    GroupReverify(const std::vector<FoundFile>& files, const std::vector<bool>& checked,
        const ReverifyOptions& options = {});
    // Reads the files side by side once, block by block, splitting the group where bytes
    // differ (files that differ from the first alike read that block again, as a set of
    // their own) and skipping holes every file of a set shares. checked[i] marks paths[i] for
    // deletion. Reads to the end of each file, whatever size it claims. Keeps at most
    // maxOpenFiles files open, fewer when the process runs out of descriptors; throws
    // FileError("Too many open files") when not even one more file can be opened, with
    // nothing decided.
    GroupReverify(std::vector<std::string> paths, const std::vector<bool>& checked,
        const ReverifyOptions& options = {});

    std::size_t Count() const { return m_members.size(); }
    const std::string& Path(std::size_t i) const { return m_members[i].path; }
    // Returns why checked file i must be kept, or None when it has a kept copy.
    KeepReason Verdict(std::size_t i) const { return m_members[i].verdict; }
    // Returns why file i was unreadable (Ok when it was read).
    Platform::Status Error(std::size_t i) const { return m_members[i].error; }
    // Returns the kept files found equal to checked file i.
    const std::vector<std::size_t>& Partners(std::size_t i) const { return m_members[i].partners; }

    // Deletes checked file i (an unchecked one is left alone) when its verdict is None
    // and, looked up again right now, it and at least one of its partners still have the
    // size, modification time, device and inode they had when read; the file is looked
    // up and removed through its open folder (Platform::RemoveFileIfSame). A file
    // already gone at the moment of deletion counts as deleted, and so does a path
    // deleted earlier through another line of the group.
    // mode says whether the file goes into the trash or is deleted for good; a volume
    // without a trash gives the reason NoTrash with the file left as it is.
    DeleteOutcome DeleteChecked(std::size_t i, Files::RemoveMode mode = Files::RemoveMode::Delete);

    // One distinct file of the group while it is read; defined where it is read.
    struct Reader;

private:
    struct Member {
        std::string path;
        // The file as the check found it, when known.
        std::optional<Platform::FileStamp> found;
        bool checked = false;
        Platform::FileInfo info;
        Platform::Status error;
        bool changed = false;
        // The one reader of every member that is the same file.
        std::size_t reader = 0;
        KeepReason verdict = KeepReason::None;
        std::vector<std::size_t> partners;
        // The first member with the same path string; its flag tells that path is deleted.
        std::size_t firstOfPath = 0;
        bool deleted = false;
    };

    void read(const std::vector<bool>& checked, const ReverifyOptions& options);
    void decide(const std::vector<Reader>& readers);
    bool stillAsRead(std::size_t i) const;

    std::vector<Member> m_members;
};

} // namespace Check
