// Results: the groups of the checks as data, with the changes an observer mirrors.
#include "check/Results.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <utility>

namespace Check {
namespace {

    const char* const kGroupCaption = "重複ファイル";

    // Sorts indices, drops duplicates and those at or past count, and calls remove(first,
    // last) for each run of adjacent indices from the last run to the first, so that the
    // indices of the runs still to come hold.
    void ForEachRunFromTheEnd(std::vector<std::size_t>& indices, std::size_t count,
        const std::function<void(std::size_t, std::size_t)>& remove)
    {
        std::sort(indices.begin(), indices.end());
        indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
        while (!indices.empty() && indices.back() >= count)
            indices.pop_back();
        std::size_t end = indices.size();
        while (end > 0) {
            std::size_t begin = end - 1;
            while (begin > 0 && indices[begin - 1] + 1 == indices[begin])
                --begin;
            remove(indices[begin], indices[end - 1]);
            end = begin;
        }
    }

} // namespace

std::string GroupCaption(int number) { return kGroupCaption + std::to_string(number); }

void Results::AddGroup(int number) { AppendGroups({ ResultGroup { number, {} } }); }

void Results::AddFile(FoundFile file)
{
    if (m_groups.empty())
        throw std::logic_error("a found file before any group");
    const std::size_t group = m_groups.size() - 1;
    const std::size_t at = m_groups.back().files.size();
    if (m_observer)
        m_observer->FilesAppending(group, at, at);
    m_groups.back().files.push_back(std::move(file));
    if (m_observer)
        m_observer->Done();
}

void Results::AppendGroups(std::vector<ResultGroup> groups)
{
    if (groups.empty())
        return;
    const std::size_t first = m_groups.size();
    if (m_observer)
        m_observer->GroupsAppending(first, first + groups.size() - 1);
    m_groups.reserve(first + groups.size());
    for (ResultGroup& group : groups) {
        m_groups.push_back(std::move(group));
        m_ids.push_back(m_nextId++);
    }
    if (m_observer)
        m_observer->Done();
}

std::optional<std::size_t> Results::IndexOf(GroupId id) const
{
    const auto at = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    if (at == m_ids.end() || *at != id)
        return std::nullopt;
    return static_cast<std::size_t>(at - m_ids.begin());
}

std::optional<FilePlace> Results::FindPath(const std::string& path) const
{
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        const std::vector<FoundFile>& files = m_groups[g].files;
        for (std::size_t f = 0; f < files.size(); ++f) {
            if (files[f].path == path)
                return FilePlace { g, f };
        }
    }
    return std::nullopt;
}

bool Results::AnyGroupOfTwo() const
{
    return std::any_of(
        m_groups.begin(), m_groups.end(), [](const ResultGroup& group) { return group.files.size() >= 2; });
}

std::vector<std::vector<std::string>> Results::Paths() const
{
    std::vector<std::vector<std::string>> paths;
    paths.reserve(m_groups.size());
    for (const ResultGroup& group : m_groups) {
        std::vector<std::string>& files = paths.emplace_back();
        files.reserve(group.files.size());
        for (const FoundFile& file : group.files)
            files.push_back(file.path);
    }
    return paths;
}

void Results::SetFile(const FilePlace& place, FoundFile file)
{
    m_groups.at(place.group).files.at(place.file) = std::move(file);
    if (m_observer)
        m_observer->FileChanged(place.group, place.file);
}

void Results::SetNumber(std::size_t group, int number)
{
    m_groups.at(group).number = number;
    if (m_observer)
        m_observer->GroupChanged(group);
}

void Results::SetPath(const FilePlace& place, std::string path)
{
    m_groups.at(place.group).files.at(place.file).path = std::move(path);
    if (m_observer)
        m_observer->FileChanged(place.group, place.file);
}

void Results::RemoveFiles(std::size_t group, std::vector<std::size_t> indices)
{
    std::vector<FoundFile>& files = m_groups.at(group).files;
    ForEachRunFromTheEnd(indices, files.size(), [&](std::size_t first, std::size_t last) {
        if (m_observer)
            m_observer->FilesRemoving(group, first, last);
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(first),
            files.begin() + static_cast<std::ptrdiff_t>(last + 1));
        if (m_observer)
            m_observer->Done();
    });
}

void Results::RemoveGroups(std::vector<std::size_t> indices)
{
    ForEachRunFromTheEnd(indices, m_groups.size(), [&](std::size_t first, std::size_t last) {
        if (m_observer)
            m_observer->GroupsRemoving(first, last);
        const auto from = static_cast<std::ptrdiff_t>(first);
        const auto to = static_cast<std::ptrdiff_t>(last + 1);
        m_groups.erase(m_groups.begin() + from, m_groups.begin() + to);
        m_ids.erase(m_ids.begin() + from, m_ids.begin() + to);
        if (m_observer)
            m_observer->Done();
    });
}

void Results::Clear()
{
    if (m_observer)
        m_observer->Resetting();
    m_groups.clear();
    m_groups.shrink_to_fit();
    m_ids.clear();
    m_ids.shrink_to_fit();
    if (m_observer)
        m_observer->Done();
}

bool CountedFiles::Add(const FoundFile& file)
{
    if (file.stamp.Known())
        return m_identities.emplace(file.stamp.device, file.stamp.inode).second;
    return m_paths.insert(file.path).second;
}

FoundFile LookUpNow(const std::string& path)
{
    FoundFile file { path, {} };
    Platform::FileInfo info;
    if (Platform::Stat(path, info).Ok())
        file.stamp = Platform::StampOf(info);
    return file;
}

} // namespace Check
