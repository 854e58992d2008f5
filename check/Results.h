// Results: what duplicate checks found, as data: the groups in the order they were
// found, each file with the path it was listed under and the stamp (identity, size and
// modification time) of the file that path led to when the check looked it up. Every act
// on a found file confirms first that its path still leads to that very file.
#pragma once

#include "scan/Platform.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Check {

// One file of a group.
struct FoundFile {
    std::string path;
    // The file as the check looked it up, links followed; not Known when the look-up
    // found nothing.
    Platform::FileStamp stamp;
};

struct ResultGroup {
    // "重複ファイル<n>".
    std::string caption;
    // In check order: the first file opened the group.
    std::vector<FoundFile> files;
};

// The groups of one or more checks, in the order they were found.
class Results {
public:
    void AddGroup(std::string caption);
    // Appends file to the group added last; throws std::logic_error before any group.
    void AddFile(FoundFile file);

    const std::vector<ResultGroup>& Groups() const { return m_groups; }
    std::size_t GroupCount() const { return m_groups.size(); }
    // The paths of each group, in order.
    std::vector<std::vector<std::string>> Paths() const;

private:
    std::vector<ResultGroup> m_groups;
};

// Looks path up now, links followed, as a check records a file it groups.
FoundFile LookUpNow(const std::string& path);

} // namespace Check
