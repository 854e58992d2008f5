// CandidatePaths: the candidate list's paths with the identity of each entry's file, so
// that the add commands list every file under one name.
#pragma once

#include "scan/PathStore.h"
#include "scan/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace FileScan {

// A file's device and inode. An inode of 0 stands for a path whose file could not be
// looked up (gone, a dangling link, a link loop).
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool Known() const { return inode != 0; }
    bool operator==(const FileId&) const = default;
};

// A listed file as the folder scan looked it up while its folder was open (links
// followed): its identity (not Known when the look-up failed), and for a regular file
// its size, the bytes it takes on disk and its modification time.
struct ListedFile {
    FileId id;
    bool regular = false;
    std::uint64_t size = 0;
    std::uint64_t allocated = 0;
    Platform::FileTime mtime;
};

// Listed files as the folder scan looked them up, in 16 bytes each: the size, whether it
// is a regular file and takes less room on disk than its size, and the modification time
// (packed). The identity is the list's. A file whose time does not pack counts as not
// regular, so that the check looks it up again.
class LookUps {
public:
    void Add(const ListedFile& file);
    // Keeps the look-ups of listed, which goes, and returns their identities for the
    // list: 32 bytes a file where listed took 56, before the list is built beside the
    // paths (a million files are a lot of bytes).
    std::vector<FileId> Take(std::vector<ListedFile>&& listed);
    // Drops the look-ups at indices, which are ascending.
    void Drop(const std::vector<std::size_t>& indices);
    void Append(LookUps&& other);
    std::size_t Count() const { return m_files.size(); }
    ListedFile At(std::size_t index, const FileId& id) const;
    // Lets the room go.
    void Clear();

private:
    static constexpr std::uint64_t kRegular = 1ULL << 63;
    static constexpr std::uint64_t kSparse = 1ULL << 62;
    static constexpr std::uint64_t kSize = kSparse - 1;
    std::vector<std::uint64_t> m_files;
    std::vector<std::int64_t> m_times;
};

// Returns the identity of the file path leads to, following links.
FileId IdentifyFile(const std::string& path);

using IdentifyFn = std::function<FileId(const std::string& path)>;

// Merges indices given in descending order into sorted, disjoint ranges.
std::vector<RowRange> RangesOfDescending(const std::vector<std::size_t>& indices);

// The ordered candidate paths: appended at the end, removed by index or replaced in
// place, never sorted. Appending passes over a second name of a file that is already
// listed; the same path string is appended again.
//
// Memory: the paths as a PathStore keeps them (about 16 bytes besides each name), 16
// bytes per entry for its file's identity, and a table of 8-byte slots, between 4/3 and
// 8/3 of them per listed file. At most 2^32 - 2 entries, and 2^24 - 1 of one file.
class CandidatePaths {
public:
    // Called with the list unchanged, before rows [first, first + count) are appended.
    using BeforeAppend = std::function<void(std::size_t first, std::size_t count)>;

    // Without identify, or with IdentifyFile itself, paths are looked up with
    // IdentifyFile, many at once on a few threads: a cold disk serves many look-ups in
    // the time of one.
    explicit CandidatePaths(IdentifyFn identify = {});

    std::size_t Count() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    // Throws std::out_of_range past the end.
    std::string At(std::size_t index) const;
    // The identity entry index's file had when it was listed (not Known when the look-up
    // failed). Throws std::out_of_range past the end.
    FileId IdAt(std::size_t index) const;
    // A copy of every path in list order.
    std::vector<std::string> Entries() const;
    // The paths as the list keeps them, row k entry k's path.
    const PathStore& Paths() const { return m_paths; }
    // A copy of the whole list, which reads this one only: safe on another thread while
    // nothing changes this one.
    CandidatePaths Copy() const;

    // Appends paths in their order, except each one whose file is already listed, or
    // was met earlier in paths, under a different path string that still leads to it.
    // A path whose file cannot be looked up is appended as it is. Calls beforeAppend
    // once when anything is appended; returns the number appended.
    std::size_t Append(std::vector<std::string> paths, const BeforeAppend& beforeAppend = {});
    // Same, with listed[k] paths[k]'s file as the caller has just looked it up
    // (AddFolderFiles and AddFolderTreeFiles do while reading the folders): those paths
    // are not looked up again. Throws std::invalid_argument when the two differ in length.
    std::size_t Append(std::vector<std::string> paths, const std::vector<ListedFile>& listed,
        const BeforeAppend& beforeAppend = {});
    // Same, with ids[k] the identity of paths[k]'s file as the caller looked it up. An
    // empty list keeps its identities in the room of ids. With passedOver, appends to it
    // each k whose path was passed over, in ascending order.
    std::size_t Append(std::vector<std::string> paths, std::vector<FileId> ids,
        std::vector<std::size_t>* passedOver = nullptr, const BeforeAppend& beforeAppend = {});
    // Same, with the paths as the folder scan stores them (FileScan::AddFolderTreeFiles
    // into a PathStore): no string per path on the way.
    std::size_t Append(const PathStore& paths, std::vector<FileId> ids,
        std::vector<std::size_t>* passedOver = nullptr, const BeforeAppend& beforeAppend = {});
    // Puts path in place of entry index with the identity its file has now; a renamed
    // file's new name is listed whatever else is. Throws std::out_of_range past the end.
    void Replace(std::size_t index, const std::string& path);
    // Removes the rows of ranges, which must be sorted and disjoint; throws
    // std::out_of_range when one reaches past the end.
    void RemoveRanges(const std::vector<RowRange>& ranges);
    // Throws std::out_of_range past the end.
    void RemoveAt(std::size_t index);
    // Empties the list and gives its memory back.
    void Clear();

private:
    // One listed file: a slot of the open-addressing table m_files. The slot names one of
    // the file's entries, whose path is the name the file is listed under and whose
    // identity is the file's: the table holds no identities of its own.
    struct Slot {
        std::uint32_t row = kFree;
        // The file's entries (low 24 bits), 7 bits of its hash, and the mixed flag: set
        // once its entries may carry different path strings (after a rename, or a name
        // that came to lead elsewhere).
        std::uint32_t meta = 0;

        std::uint32_t Count() const { return meta & kCountMask; }
        bool Mixed() const { return (meta & kMixed) != 0; }
    };
    static constexpr std::uint32_t kFree = UINT32_MAX;
    static constexpr std::uint32_t kCountMask = (1U << 24) - 1;
    static constexpr std::uint32_t kMixed = 1U << 31;

    // The table of listed files: linear probing in a power-of-two array, so that a
    // million files cost one allocation rather than a million.
    Slot* Find(const FileId& id);
    // Returns the slot of id, claimed for row when id is not listed; needs room (Reserve).
    Slot& Insert(const FileId& id, std::uint32_t row, bool& fresh);
    void Erase(Slot& slot);
    // Grows the table, when needed, to hold files listed files at most 3/4 full.
    void Reserve(std::size_t files);

    template <typename Batch>
    std::size_t AppendIdentities(Batch& paths, std::vector<FileId> ids, std::vector<std::size_t>* passedOver,
        const BeforeAppend& beforeAppend);
    // Appends with idOf(k) the identity of path k's file, read before any row after k is
    // written; idsAtHand when idOf only reads identities already looked up, so that it
    // may be asked ahead. Batch is a std::vector<std::string> (its strings emptied as
    // they are stored) or a PathStore.
    template <typename Batch, typename IdOf>
    std::size_t AppendIdentified(Batch& paths, const IdOf& idOf, bool idsAtHand,
        std::vector<std::size_t>* passedOver, const BeforeAppend& beforeAppend);
    // Counts row, just stored with id, as an entry of its file, or returns false when its
    // path is a second name of a listed file.
    bool Admit(const FileId& id, std::size_t row);
    bool TakesSecondPath(const std::string& path, const FileId& id, Slot& slot, std::size_t row);
    // Calls visit(row) for the rows of id (appended or being appended) in list order,
    // until it returns false.
    template <typename Visit> void ForEachOf(const FileId& id, const Visit& visit) const;
    // Drops row, an entry of id, from the count; collects ids whose slot named it.
    void Forget(const FileId& id, std::size_t row, std::vector<FileId>& orphans);
    // Points the slot of each of orphans at another of its entries, none in gone.
    void Repick(std::vector<FileId> orphans, const std::vector<RowRange>& gone);
    // Checks that the list may grow by more rows.
    void CheckRoom(std::size_t more) const;

    IdentifyFn m_identify;
    bool m_lookUpMany = false;
    // Every row's path and identity: the list's rows [0, m_count), then those of the
    // Append under way (m_ids may be longer meanwhile).
    PathStore m_paths;
    std::vector<FileId> m_ids;
    std::size_t m_count = 0;
    std::vector<Slot> m_files;
    std::size_t m_fileCount = 0;
};

} // namespace FileScan
