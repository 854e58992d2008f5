// Results: the groups of the checks as data.
#include "check/Results.h"

#include <stdexcept>
#include <utility>

namespace Check {

void Results::AddGroup(std::string caption) { m_groups.push_back({ std::move(caption), {} }); }

void Results::AddFile(FoundFile file)
{
    if (m_groups.empty())
        throw std::logic_error("a found file before any group");
    m_groups.back().files.push_back(std::move(file));
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

FoundFile LookUpNow(const std::string& path)
{
    FoundFile file { path, {} };
    Platform::FileInfo info;
    if (Platform::Stat(path, info).Ok())
        file.stamp = Platform::StampOf(info);
    return file;
}

} // namespace Check
