// Results: what duplicate checks found, as data: the groups in the order they were
// found, each with its number and its files, each file with the path it was listed under
// and the stamp (identity, size and modification time) of the file that path led to when
// the check looked it up. Every act on a found file confirms first that its path still
// leads to that very file. The window's tree and tessarin-cli show this one model; the
// commands read and change it here, and an observer mirrors every change.
#pragma once

#include "scan/Platform.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Check {

// One file of a group.
struct FoundFile {
    std::string path;
    // The file as the check looked it up, links followed; not Known when the look-up
    // found nothing.
    Platform::FileStamp stamp;
};

// Returns a group's caption: "重複ファイル" and its number.
std::string GroupCaption(int number);

struct ResultGroup {
    // Its number in the check that found it, from 1 (a second check numbers from 1 again).
    int number = 0;
    // In check order: the first file opened the group.
    std::vector<FoundFile> files;

    std::string Caption() const { return GroupCaption(number); }
};

// A group for as long as it is in the results, whatever is removed before it.
using GroupId = std::uint64_t;

// Where a file is: its group's index and its index in the group.
struct FilePlace {
    std::size_t group = 0;
    std::size_t file = 0;
};

// The groups of one or more checks, in the order they were found. Groups are appended at
// the end and removed; files are removed or changed in place (renamed, moved); nothing
// is reordered.
class Results {
public:
    // Told of every change before and after it, so that a view can mirror it (a Qt
    // model's begin and end calls). Indices in a "before" call are those of the results
    // as they are then; first and last are inclusive.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void GroupsAppending(std::size_t first, std::size_t last) = 0;
        virtual void FilesAppending(std::size_t group, std::size_t first, std::size_t last) = 0;
        virtual void GroupsRemoving(std::size_t first, std::size_t last) = 0;
        virtual void FilesRemoving(std::size_t group, std::size_t first, std::size_t last) = 0;
        virtual void Resetting() = 0;
        // After each of the above.
        virtual void Done() = 0;
        virtual void FileChanged(std::size_t group, std::size_t file) = 0;
        virtual void GroupChanged(std::size_t group) = 0;
    };

    // Sets the one observer (nullptr for none).
    void SetObserver(Observer* observer) { m_observer = observer; }

    // Appends an empty group numbered number.
    void AddGroup(int number);
    // Appends file to the group added last; throws std::logic_error before any group.
    void AddFile(FoundFile file);
    // Appends groups in their order.
    void AppendGroups(std::vector<ResultGroup> groups);

    const std::vector<ResultGroup>& Groups() const { return m_groups; }
    std::size_t GroupCount() const { return m_groups.size(); }
    const ResultGroup& Group(std::size_t group) const { return m_groups.at(group); }
    const FoundFile& File(const FilePlace& place) const { return m_groups.at(place.group).files.at(place.file); }
    GroupId IdOf(std::size_t group) const { return m_ids.at(group); }
    // Returns the index of the group id stands for, or nothing once it was removed.
    std::optional<std::size_t> IndexOf(GroupId id) const;
    // Returns the first file whose path is path, in group order.
    std::optional<FilePlace> FindPath(const std::string& path) const;
    // True while a group holds two files or more.
    bool AnyGroupOfTwo() const;
    // The paths of each group, in order.
    std::vector<std::vector<std::string>> Paths() const;

    // Puts file in place of the file at place (renamed or moved, looked up anew).
    void SetFile(const FilePlace& place, FoundFile file);
    // Gives the group at index group the number number (its caption changes with it).
    void SetNumber(std::size_t group, int number);
    // Sets the path of the file at place; the file keeps its stamp, as a rename keeps it.
    void SetPath(const FilePlace& place, std::string path);
    // Removes the files of group at indices (in any order; duplicates count once).
    void RemoveFiles(std::size_t group, std::vector<std::size_t> indices);
    // Removes the groups at indices (in any order; duplicates count once).
    void RemoveGroups(std::vector<std::size_t> indices);
    void Clear();

private:
    Observer* m_observer = nullptr;
    std::vector<ResultGroup> m_groups;
    // Parallel to m_groups, ascending: appended in order and never reordered.
    std::vector<GroupId> m_ids;
    GroupId m_nextId = 1;
};

// Counts files once each, however many lines of the results lead to a file: by the
// identity the check found, or by path where it found none.
class CountedFiles {
public:
    // Returns true when file was not counted yet.
    bool Add(const FoundFile& file);

private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_identities;
    std::set<std::string> m_paths;
};

// Looks path up now, links followed, as a check records a file it groups.
FoundFile LookUpNow(const std::string& path);

} // namespace Check
