// PathStore: many paths in little room, as bytes: each path as its folder, stored once
// for all the paths in it, and its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace FileScan {

// A row range [first, last], both inclusive.
using RowRange = std::pair<std::size_t, std::size_t>;

// The paths of a list in their order. A path is split after its last "/": its folder
// (empty when it has none) is kept once however many paths it holds, its name in large
// shared blocks. A million files in a thousand folders take about 16 bytes each besides
// their names, where a string per path takes some 90 bytes for a path of 50.
// Reading is safe from several threads at once while nothing changes the store.
class PathStore {
public:
    PathStore() = default;
    PathStore(const PathStore&) = delete;
    PathStore& operator=(const PathStore&) = delete;
    PathStore(PathStore&&) noexcept = default;
    PathStore& operator=(PathStore&&) noexcept = default;
    ~PathStore() = default;

    std::size_t Size() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    void Reserve(std::size_t paths) { m_entries.reserve(paths); }

    // Appends path and returns its index. Throws std::length_error for a name of 4 GiB
    // or more.
    std::size_t Add(std::string_view path);
    // Same as Add(folder + name) for a folder that is empty or ends in "/" and a name
    // without one: a listing of a folder adds its names without building their paths.
    std::size_t Add(std::string_view folder, std::string_view name);
    // Puts path in place of path index.
    void Set(std::size_t index, std::string_view path);

    std::string At(std::size_t index) const;
    // Writes path index into out, reusing out's room.
    void CopyTo(std::size_t index, std::string& out) const;
    // The path's folder, up to and including its last "/", and its name, the rest. The
    // bytes after each view are a NUL, so that data() can go to the system as it is.
    std::string_view Folder(std::size_t index) const { return m_folders[m_entries[index].folder]; }
    // The folders are numbered; FolderAt gives one by its number.
    std::uint32_t FolderIndex(std::size_t index) const { return m_entries[index].folder; }
    std::size_t FolderCount() const { return m_folders.size(); }
    std::string_view FolderAt(std::uint32_t folder) const { return m_folders[folder]; }
    std::string_view Name(std::size_t index) const
    {
        return { m_entries[index].name, m_entries[index].length };
    }
    bool Equals(std::size_t index, std::string_view path) const;
    // True when no two paths are the same string. May say false for distinct paths,
    // rarely (two hashes meet); never true for a store that repeats a path.
    bool AllDistinct() const;
    // Ask the processor to fetch what reading path index needs, ahead of the reading,
    // in two steps: its entry, then (once the entry has come) its name. A caller that
    // fetches many paths makes each step for all of them before the next.
    void PrefetchEntry(std::size_t index) const { __builtin_prefetch(&m_entries[index]); }
    void PrefetchName(std::size_t index) const { __builtin_prefetch(m_entries[index].name); }

    // A copy of the store, in room of its own: the paths [0, count).
    PathStore Copy(std::size_t count) const;

    // Removes the paths of ranges, which must be sorted, disjoint and in range.
    void RemoveRanges(const std::vector<RowRange>& ranges);
    // Removes the paths from index count on.
    void Truncate(std::size_t count);
    // Empties the store and gives its memory back.
    void Clear();

private:
    struct Entry {
        const char* name;
        std::uint32_t length;
        std::uint32_t folder;
    };

    const char* StoreName(std::string_view name);
    std::uint32_t IndexFolder(std::string_view folder);
    void Dropped(const Entry& entry) { m_deadBytes += entry.length + 1; }
    // Copies the live names into new blocks once most stored bytes are dead, and drops
    // the folders no path is in.
    void CompactIfWasteful();

    std::vector<Entry> m_entries;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_free = nullptr;
    std::size_t m_left = 0;
    // Name bytes stored (with their NULs), and those of names no entry uses any more.
    std::size_t m_storedBytes = 0;
    std::size_t m_deadBytes = 0;
    // A deque keeps each folder string in place, so the index may view it.
    std::deque<std::string> m_folders;
    std::unordered_map<std::string_view, std::uint32_t> m_folderIndex;
    // Paths come folder by folder: the folder met last is tried first.
    std::uint32_t m_lastFolder = UINT32_MAX;
};

} // namespace FileScan
