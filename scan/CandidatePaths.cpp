// CandidatePaths: candidate paths with the identities of their files.
#include "scan/CandidatePaths.h"

#include "scan/FileProbe.h"
#include "scan/Platform.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace FileScan {

namespace {

    // splitmix64's finaliser: inode numbers are dense, so their low bits alone clump.
    std::size_t HashOf(const FileId& id)
    {
        std::uint64_t x = id.inode ^ (id.device * 0x9e3779b97f4a7c15ULL);
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return static_cast<std::size_t>(x ^ (x >> 31));
    }

    bool IdLess(const FileId& a, const FileId& b)
    {
        return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
    }

    // Look-ups kept in flight: a solid-state or virtual disk serves many at once, and a
    // warm cache spreads them over the cores.
    constexpr std::size_t kLookUps = 16;
    constexpr std::size_t kLookUpBatch = 64;
    // Fewer paths are looked up on the caller's thread alone: threads cost more.
    constexpr std::size_t kLookUpManyFrom = 512;

} // namespace

FileId IdentifyFile(const std::string& path)
{
    Platform::FileInfo info;
    if (!Platform::Stat(path, info).Ok())
        return {};
    return { info.device, info.inode };
}

std::vector<RowRange> RangesOfDescending(const std::vector<std::size_t>& indices)
{
    std::vector<RowRange> ranges;
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        if (!ranges.empty() && ranges.back().second + 1 == *it)
            ranges.back().second = *it;
        else if (ranges.empty() || ranges.back().second < *it)
            ranges.emplace_back(*it, *it);
    }
    return ranges;
}

namespace {

    // Returns IdentifyFile of every path, looked up on several threads. Each thread looks
    // names up below the folder of its previous path, as the check's probe does: the
    // listed paths come folder by folder, and a walk along the whole path costs more
    // than the look-up itself.
    std::vector<FileId> IdentifyMany(const std::vector<std::string>& paths)
    {
        std::vector<FileId> ids(paths.size());
        std::atomic<std::size_t> next { 0 };
        auto work = [&] {
            Platform::FolderProbe probe;
            for (;;) {
                const std::size_t first = next.fetch_add(kLookUpBatch, std::memory_order_relaxed);
                if (first >= paths.size())
                    return;
                const std::size_t last = std::min(paths.size(), first + kLookUpBatch);
                for (std::size_t k = first; k < last; ++k) {
                    // Any kind the look-up reaches has an identity, as with IdentifyFile.
                    Platform::FileInfo info;
                    const Platform::Status status = probe.Stat(paths[k], info);
                    if (status.Ok() || status.error == Platform::Error::IsFolder
                        || status.error == Platform::Error::NotRegularFile)
                        ids[k] = { info.device, info.inode };
                }
            }
        };
        {
            std::vector<std::jthread> helpers;
            const std::size_t threads = std::min(kLookUps, paths.size() / kLookUpBatch);
            for (std::size_t t = 1; t < threads; ++t)
                helpers.emplace_back(work);
            work();
        }
        return ids;
    }

} // namespace

CandidatePaths::CandidatePaths(IdentifyFn identify)
    : m_identify(std::move(identify))
{
    // Only the built-in look-up is known to be safe on several threads at once, whether
    // left out or passed by name.
    using Plain = FileId (*)(const std::string&);
    const Plain* plain = m_identify.target<Plain>();
    m_lookUpMany = !m_identify || (plain && *plain == &IdentifyFile);
    if (m_lookUpMany)
        m_identify = IdentifyFile;
}

std::size_t CandidatePaths::Append(std::vector<std::string> paths, const BeforeAppend& beforeAppend)
{
    std::vector<FileId> ids;
    if (m_lookUpMany && paths.size() >= kLookUpManyFrom)
        ids = IdentifyMany(paths);
    return AppendIdentified(
        paths, [&](std::size_t k) { return ids.empty() ? m_identify(paths[k]) : ids[k]; }, beforeAppend);
}

std::size_t CandidatePaths::Append(
    std::vector<std::string> paths, const std::vector<ListedFile>& listed, const BeforeAppend& beforeAppend)
{
    if (listed.size() != paths.size())
        throw std::invalid_argument("CandidatePaths::Append: one identity per path");
    return AppendIdentified(paths, [&](std::size_t k) { return listed[k].id; }, beforeAppend);
}

template <typename IdOf>
std::size_t CandidatePaths::AppendIdentified(
    std::vector<std::string>& paths, const IdOf& idOf, const BeforeAppend& beforeAppend)
{
    Staged staged;
    staged.firstSerial = m_nextSerial;
    try {
        staged.paths.reserve(paths.size());
        staged.ids.reserve(paths.size());
        for (std::size_t k = 0; k < paths.size(); ++k) {
            std::string& path = paths[k];
            const FileId id = idOf(k);
            if (!Admit(path, id, staged))
                continue;
            staged.paths.push_back(std::move(path));
            staged.ids.push_back(id);
        }
        if (staged.paths.empty())
            return 0;
        const std::size_t total = m_paths.size() + staged.paths.size();
        m_paths.reserve(total);
        m_ids.reserve(total);
        m_serials.reserve(total);
        if (beforeAppend)
            beforeAppend(m_paths.size(), staged.paths.size());
    } catch (...) {
        // Nothing was appended: take the staged paths out of the counts again.
        std::vector<FileId> orphans;
        for (std::size_t k = 0; k < staged.ids.size(); ++k)
            Forget(staged.ids[k], staged.firstSerial + k, orphans);
        Repick(std::move(orphans));
        throw;
    }
    // Room is reserved, so nothing below throws.
    const std::size_t added = staged.paths.size();
    m_paths.insert(m_paths.end(), std::make_move_iterator(staged.paths.begin()),
        std::make_move_iterator(staged.paths.end()));
    m_ids.insert(m_ids.end(), staged.ids.begin(), staged.ids.end());
    for (std::size_t k = 0; k < added; ++k)
        m_serials.push_back(m_nextSerial++);
    return added;
}

bool CandidatePaths::Admit(const std::string& path, const FileId& id, Staged& staged)
{
    if (!id.Known())
        return true;
    bool fresh = false;
    Listed& listed = Insert(id, fresh);
    if (fresh)
        listed.serial = staged.firstSerial + staged.paths.size();
    else if (!TakesSecondPath(path, id, listed, staged))
        return false;
    ++listed.count;
    return true;
}

bool CandidatePaths::TakesSecondPath(
    const std::string& path, const FileId& id, Listed& listed, const Staged& staged)
{
    const std::string& name = NameOf(listed.serial, &staged);
    if (name == path)
        return true;
    if (listed.mixed) {
        bool listedUnderPath = false;
        ForEachOf(id, &staged, [&](const std::string& other, std::uint64_t) {
            listedUnderPath = other == path;
            return !listedUnderPath;
        });
        if (listedUnderPath)
            return true;
    }
    // The listed name may lead elsewhere by now (renamed away, replaced), and the file's
    // inode may have been given to the new one at path.
    if (m_identify(name) == id)
        return false;
    if (listed.mixed) {
        bool live = false;
        ForEachOf(id, &staged, [&](const std::string& other, std::uint64_t serial) {
            live = other != name && m_identify(other) == id;
            if (live)
                listed.serial = serial;
            return !live;
        });
        if (live)
            return false;
    }
    // No listed name leads to this file any more: path becomes its name.
    listed.serial = staged.firstSerial + staged.paths.size();
    listed.mixed = true;
    return true;
}

const std::string& CandidatePaths::NameOf(std::uint64_t serial, const Staged* staged) const
{
    if (staged && serial >= staged->firstSerial)
        return staged->paths.at(serial - staged->firstSerial);
    const auto row = std::lower_bound(m_serials.begin(), m_serials.end(), serial);
    return m_paths.at(static_cast<std::size_t>(row - m_serials.begin()));
}

void CandidatePaths::ForEachOf(const FileId& id, const Staged* staged,
    const std::function<bool(const std::string& path, std::uint64_t serial)>& visit) const
{
    for (std::size_t k = 0; k < m_ids.size(); ++k) {
        if (m_ids[k] == id && !visit(m_paths[k], m_serials[k]))
            return;
    }
    if (!staged)
        return;
    for (std::size_t k = 0; k < staged->ids.size(); ++k) {
        if (staged->ids[k] == id && !visit(staged->paths[k], staged->firstSerial + k))
            return;
    }
}

void CandidatePaths::Replace(std::size_t index, std::string path)
{
    if (index >= m_paths.size())
        throw std::out_of_range("CandidatePaths::Replace");
    const FileId id = m_identify(path);
    const std::uint64_t serial = m_serials[index];
    std::vector<FileId> orphans;
    Forget(m_ids[index], serial, orphans);
    m_paths[index] = std::move(path);
    m_ids[index] = id;
    if (id.Known()) {
        bool fresh = false;
        Listed& listed = Insert(id, fresh);
        if (fresh) {
            listed.serial = serial;
        } else {
            const bool sameName = !listed.mixed && listed.serial != serial
                && NameOf(listed.serial, nullptr) == m_paths[index];
            listed.mixed = listed.mixed || !sameName;
            // The new name was just given to the file, so it is the one that leads to it.
            listed.serial = serial;
            orphans.erase(std::remove(orphans.begin(), orphans.end(), id), orphans.end());
        }
        ++listed.count;
    }
    Repick(std::move(orphans));
}

void CandidatePaths::RemoveRanges(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return;
    if (ranges.back().second >= m_paths.size())
        throw std::out_of_range("CandidatePaths::RemoveRanges");
    std::vector<FileId> orphans;
    for (const RowRange& range : ranges) {
        for (std::size_t row = range.first; row <= range.second; ++row)
            Forget(m_ids[row], m_serials[row], orphans);
    }
    // One pass from the first removed row, shifting the kept ones down.
    std::size_t kept = ranges.front().first;
    std::size_t next = 0;
    for (std::size_t k = ranges.front().first; k < m_paths.size(); ++k) {
        while (next < ranges.size() && k > ranges[next].second)
            ++next;
        if (next < ranges.size() && k >= ranges[next].first)
            continue;
        if (kept != k) {
            m_paths[kept] = std::move(m_paths[k]);
            m_ids[kept] = m_ids[k];
            m_serials[kept] = m_serials[k];
        }
        ++kept;
    }
    m_paths.resize(kept);
    m_ids.resize(kept);
    m_serials.resize(kept);
    Repick(std::move(orphans));
}

void CandidatePaths::RemoveAt(std::size_t index)
{
    if (index >= m_paths.size())
        throw std::out_of_range("CandidatePaths::RemoveAt");
    RemoveRanges({ { index, index } });
}

void CandidatePaths::Clear()
{
    m_paths = {};
    m_ids = {};
    m_serials = {};
    m_files = {};
    m_fileCount = 0;
}

void CandidatePaths::Forget(const FileId& id, std::uint64_t serial, std::vector<FileId>& orphans)
{
    if (!id.Known())
        return;
    Listed* listed = Find(id);
    if (!listed)
        return;
    if (--listed->count == 0) {
        Erase(*listed);
        return;
    }
    if (listed->serial == serial)
        orphans.push_back(id);
}

void CandidatePaths::Repick(std::vector<FileId> orphans)
{
    if (orphans.empty())
        return;
    std::sort(orphans.begin(), orphans.end(), IdLess);
    orphans.erase(std::unique(orphans.begin(), orphans.end()), orphans.end());
    std::vector<bool> picked(orphans.size(), false);
    std::size_t left = orphans.size();
    for (std::size_t k = 0; k < m_ids.size() && left > 0; ++k) {
        const auto at = std::lower_bound(orphans.begin(), orphans.end(), m_ids[k], IdLess);
        if (at == orphans.end() || !(*at == m_ids[k])
            || picked[static_cast<std::size_t>(at - orphans.begin())])
            continue;
        picked[static_cast<std::size_t>(at - orphans.begin())] = true;
        Find(m_ids[k])->serial = m_serials[k];
        --left;
    }
}

CandidatePaths::Listed* CandidatePaths::Find(const FileId& id)
{
    if (m_files.empty())
        return nullptr;
    const std::size_t mask = m_files.size() - 1;
    for (std::size_t k = HashOf(id) & mask;; k = (k + 1) & mask) {
        if (m_files[k].id == id)
            return &m_files[k];
        if (!m_files[k].id.Known())
            return nullptr;
    }
}

CandidatePaths::Listed& CandidatePaths::Insert(const FileId& id, bool& fresh)
{
    Reserve(m_fileCount + 1);
    const std::size_t mask = m_files.size() - 1;
    std::size_t k = HashOf(id) & mask;
    while (m_files[k].id.Known() && !(m_files[k].id == id))
        k = (k + 1) & mask;
    fresh = !m_files[k].id.Known();
    if (fresh) {
        m_files[k] = Listed { id, 0, 0, false };
        ++m_fileCount;
    }
    return m_files[k];
}

void CandidatePaths::Erase(Listed& slot)
{
    // Backward shift: each later slot of the run moves into the hole when its home lies
    // at or before the hole, so that no search stops early and no tombstones pile up.
    const std::size_t mask = m_files.size() - 1;
    std::size_t hole = static_cast<std::size_t>(&slot - m_files.data());
    for (std::size_t k = (hole + 1) & mask; m_files[k].id.Known(); k = (k + 1) & mask) {
        const std::size_t home = HashOf(m_files[k].id) & mask;
        if (((k - home) & mask) >= ((k - hole) & mask)) {
            m_files[hole] = m_files[k];
            hole = k;
        }
    }
    m_files[hole] = Listed {};
    --m_fileCount;
}

void CandidatePaths::Reserve(std::size_t files)
{
    if (files * 4 <= m_files.size() * 3)
        return;
    std::size_t size = 16;
    while (files * 4 > size * 3)
        size *= 2;
    std::vector<Listed> old(size);
    old.swap(m_files);
    const std::size_t mask = size - 1;
    for (const Listed& listed : old) {
        if (!listed.id.Known())
            continue;
        std::size_t k = HashOf(listed.id) & mask;
        while (m_files[k].id.Known())
            k = (k + 1) & mask;
        m_files[k] = listed;
    }
}

} // namespace FileScan
