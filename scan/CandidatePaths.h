// CandidatePaths: the candidate list's paths with the identity of each entry's file, so
// that the add commands list every file under one name.
#pragma once

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

// Returns the identity of the file path leads to, following links.
FileId IdentifyFile(const std::string& path);

using IdentifyFn = std::function<FileId(const std::string& path)>;

// A row range [first, last], both inclusive.
using RowRange = std::pair<std::size_t, std::size_t>;

// Merges indices given in descending order into sorted, disjoint ranges.
std::vector<RowRange> RangesOfDescending(const std::vector<std::size_t>& indices);

// The ordered candidate paths: appended at the end, removed by index or replaced in
// place, never sorted. Appending passes over a second name of a file that is already
// listed; the same path string is appended again.
//
// Memory: besides each path, 24 bytes per entry (identity and serial number) and a
// table of 32-byte slots, between 4/3 and 8/3 of them per listed file.
class CandidatePaths {
public:
    // Called with the list unchanged, before rows [first, first + count) are appended.
    using BeforeAppend = std::function<void(std::size_t first, std::size_t count)>;

    // Without identify, or with IdentifyFile itself, paths are looked up with
    // IdentifyFile, many at once on a few threads: a cold disk serves many look-ups in
    // the time of one.
    explicit CandidatePaths(IdentifyFn identify = {});

    std::size_t Count() const { return m_paths.size(); }
    bool Empty() const { return m_paths.empty(); }
    // Throws std::out_of_range past the end.
    const std::string& At(std::size_t index) const { return m_paths.at(index); }
    const std::vector<std::string>& Entries() const { return m_paths; }

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
    // Puts path in place of entry index with the identity its file has now; a renamed
    // file's new name is listed whatever else is. Throws std::out_of_range past the end.
    void Replace(std::size_t index, std::string path);
    // Removes the rows of ranges, which must be sorted and disjoint; throws
    // std::out_of_range when one reaches past the end.
    void RemoveRanges(const std::vector<RowRange>& ranges);
    // Throws std::out_of_range past the end.
    void RemoveAt(std::size_t index);
    // Empties the list and gives its memory back.
    void Clear();

private:
    // One listed file: a slot of the open-addressing table m_files (inode 0: free).
    struct Listed {
        FileId id;
        // Serial number of one of its entries, whose path is the name it is listed under.
        std::uint64_t serial = 0;
        std::uint32_t count = 0;
        // Set once its entries may carry different path strings (after a rename, or a
        // name that came to lead elsewhere).
        bool mixed = false;
    };
    // Paths taken by the Append under way, not in the list yet.
    struct Staged {
        std::uint64_t firstSerial = 0;
        std::vector<std::string> paths;
        std::vector<FileId> ids;
    };

    // The table of listed files: linear probing in a power-of-two array, so that a
    // million files cost one allocation rather than a million.
    Listed* Find(const FileId& id);
    Listed& Insert(const FileId& id, bool& fresh);
    void Erase(Listed& slot);
    // Grows the table, when needed, to hold files listed files at most 3/4 full.
    void Reserve(std::size_t files);

    // Appends with idOf(k) the identity of paths[k]'s file.
    template <typename IdOf>
    std::size_t AppendIdentified(std::vector<std::string>& paths, const IdOf& idOf, const BeforeAppend& beforeAppend);
    bool Admit(const std::string& path, const FileId& id, Staged& staged);
    bool TakesSecondPath(const std::string& path, const FileId& id, Listed& listed, const Staged& staged);
    const std::string& NameOf(std::uint64_t serial, const Staged* staged) const;
    // Calls visit(path, serial) for the entries of id, listed or staged, in list order,
    // until it returns false.
    void ForEachOf(const FileId& id, const Staged* staged,
        const std::function<bool(const std::string& path, std::uint64_t serial)>& visit) const;
    // Drops the entry (id, serial) from the count; collects ids left without a name.
    void Forget(const FileId& id, std::uint64_t serial, std::vector<FileId>& orphans);
    // Points each of orphans at one of its remaining entries.
    void Repick(std::vector<FileId> orphans);

    IdentifyFn m_identify;
    bool m_lookUpMany = false;
    std::vector<std::string> m_paths;
    std::vector<FileId> m_ids;
    // Strictly increasing along the list, since rows are only appended at the end.
    std::vector<std::uint64_t> m_serials;
    std::uint64_t m_nextSerial = 0;
    std::vector<Listed> m_files;
    std::size_t m_fileCount = 0;
};

} // namespace FileScan
