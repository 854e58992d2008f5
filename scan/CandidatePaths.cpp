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
    // Rows ahead whose table slot is fetched early.
    constexpr std::size_t kPrefetchAhead = 8;

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

std::string CandidatePaths::At(std::size_t index) const
{
    if (index >= m_count)
        throw std::out_of_range("CandidatePaths::At");
    return m_paths.At(index);
}

FileId CandidatePaths::IdAt(std::size_t index) const
{
    if (index >= m_count)
        throw std::out_of_range("CandidatePaths::IdAt");
    return m_ids[index];
}

std::vector<std::string> CandidatePaths::Entries() const
{
    std::vector<std::string> paths;
    paths.reserve(m_count);
    for (std::size_t k = 0; k < m_count; ++k)
        paths.push_back(m_paths.At(k));
    return paths;
}

CandidatePaths CandidatePaths::Copy() const
{
    CandidatePaths copy(m_identify);
    copy.m_paths = m_paths.Copy(m_count);
    copy.m_ids.assign(m_ids.begin(), m_ids.begin() + static_cast<std::ptrdiff_t>(m_count));
    copy.m_count = m_count;
    copy.m_files = m_files;
    copy.m_fileCount = m_fileCount;
    return copy;
}

namespace {

    // Stores path k of a batch in the list's own store and returns its row. A string's
    // own room goes at once, so that a million paths are not held twice at the end.
    std::size_t StorePath(PathStore& store, std::vector<std::string>& paths, std::size_t k)
    {
        const std::size_t row = store.Add(paths[k]);
        std::string().swap(paths[k]);
        return row;
    }
    std::size_t StorePath(PathStore& store, const PathStore& paths, std::size_t k)
    {
        return store.Add(paths.Folder(k), paths.Name(k));
    }

    std::size_t BatchSize(const std::vector<std::string>& paths) { return paths.size(); }
    std::size_t BatchSize(const PathStore& paths) { return paths.Size(); }

} // namespace

std::size_t CandidatePaths::Append(std::vector<std::string> paths, const BeforeAppend& beforeAppend)
{
    if (m_lookUpMany && paths.size() >= kLookUpManyFrom) {
        std::vector<FileId> ids = IdentifyMany(paths);
        return AppendIdentities(paths, std::move(ids), nullptr, beforeAppend);
    }
    return AppendIdentified(
        paths, [&](std::size_t k) { return m_identify(paths[k]); }, false, nullptr, beforeAppend);
}

std::size_t CandidatePaths::Append(
    std::vector<std::string> paths, const std::vector<ListedFile>& listed, const BeforeAppend& beforeAppend)
{
    if (listed.size() != paths.size())
        throw std::invalid_argument("CandidatePaths::Append: one identity per path");
    return AppendIdentified(paths, [&](std::size_t k) { return listed[k].id; }, true, nullptr, beforeAppend);
}

std::size_t CandidatePaths::Append(std::vector<std::string> paths, std::vector<FileId> ids,
    std::vector<std::size_t>* passedOver, const BeforeAppend& beforeAppend)
{
    if (ids.size() != paths.size())
        throw std::invalid_argument("CandidatePaths::Append: one identity per path");
    return AppendIdentities(paths, std::move(ids), passedOver, beforeAppend);
}

std::size_t CandidatePaths::Append(const PathStore& paths, std::vector<FileId> ids,
    std::vector<std::size_t>* passedOver, const BeforeAppend& beforeAppend)
{
    if (ids.size() != paths.Size())
        throw std::invalid_argument("CandidatePaths::Append: one identity per path");
    return AppendIdentities(paths, std::move(ids), passedOver, beforeAppend);
}

template <typename Batch>
std::size_t CandidatePaths::AppendIdentities(Batch& paths, std::vector<FileId> ids,
    std::vector<std::size_t>* passedOver, const BeforeAppend& beforeAppend)
{
    if (!m_ids.empty())
        return AppendIdentified(paths, [&](std::size_t k) { return ids[k]; }, true, passedOver, beforeAppend);
    // An empty list keeps the rows' identities in the room of ids: each row's is written
    // at or before the place it is read from.
    m_ids = std::move(ids);
    return AppendIdentified(paths, [&](std::size_t k) { return m_ids[k]; }, true, passedOver, beforeAppend);
}

void CandidatePaths::CheckRoom(std::size_t more) const
{
    if (more >= kFree - m_paths.Size())
        throw std::length_error("CandidatePaths: too many entries");
}

template <typename Batch, typename IdOf>
std::size_t CandidatePaths::AppendIdentified(Batch& paths, const IdOf& idOf, bool idsAtHand,
    std::vector<std::size_t>* passedOver, const BeforeAppend& beforeAppend)
{
    const std::size_t count = BatchSize(paths);
    CheckRoom(count);
    const std::size_t first = m_count;
    const std::size_t passedBefore = passedOver ? passedOver->size() : 0;
    // Rows from first to counted are stored and counted as entries of their files.
    std::size_t counted = first;
    try {
        Reserve(m_fileCount + count);
        m_ids.resize(first + count);
        m_paths.Reserve(first + count);
        for (std::size_t k = 0; k < count; ++k) {
            // The table is large and its slots random: the slot of a later row is
            // fetched while this one is admitted, when its identity is at hand.
            if (idsAtHand && k + kPrefetchAhead < count)
                __builtin_prefetch(&m_files[HashOf(idOf(k + kPrefetchAhead)) & (m_files.size() - 1)]);
            const FileId id = idOf(k);
            const std::size_t row = StorePath(m_paths, paths, k);
            m_ids[row] = id;
            if (!Admit(id, row)) {
                m_paths.Truncate(row);
                if (passedOver)
                    passedOver->push_back(k);
                continue;
            }
            counted = row + 1;
        }
        m_ids.resize(counted);
        if (counted == first)
            return 0;
        if (beforeAppend)
            beforeAppend(first, counted - first);
    } catch (...) {
        // Nothing was appended: take the rows out of the counts again.
        std::vector<FileId> orphans;
        for (std::size_t row = first; row < counted; ++row)
            Forget(m_ids[row], row, orphans);
        Repick(std::move(orphans), { { first, m_paths.Size() } });
        m_paths.Truncate(first);
        m_ids.resize(first);
        if (passedOver)
            passedOver->resize(passedBefore);
        throw;
    }
    m_count = counted;
    return counted - first;
}

bool CandidatePaths::Admit(const FileId& id, std::size_t row)
{
    if (!id.Known())
        return true;
    bool fresh = false;
    Slot& slot = Insert(id, static_cast<std::uint32_t>(row), fresh);
    if (!fresh) {
        if (slot.Count() == kCountMask)
            throw std::length_error("CandidatePaths: too many entries of one file");
        if (!TakesSecondPath(m_paths.At(row), id, slot, row))
            return false;
    }
    ++slot.meta;
    return true;
}

bool CandidatePaths::TakesSecondPath(const std::string& path, const FileId& id, Slot& slot, std::size_t row)
{
    if (m_paths.Equals(slot.row, path))
        return true;
    if (slot.Mixed()) {
        bool listedUnderPath = false;
        ForEachOf(id, [&](std::size_t other) {
            listedUnderPath = other != row && m_paths.Equals(other, path);
            return !listedUnderPath;
        });
        if (listedUnderPath)
            return true;
    }
    // The listed name may lead elsewhere by now (renamed away, replaced), and the file's
    // inode may have been given to the new one at path.
    const std::string name = m_paths.At(slot.row);
    if (m_identify(name) == id)
        return false;
    if (slot.Mixed()) {
        bool live = false;
        ForEachOf(id, [&](std::size_t other) {
            live = other != row && !m_paths.Equals(other, name) && m_identify(m_paths.At(other)) == id;
            if (live)
                slot.row = static_cast<std::uint32_t>(other);
            return !live;
        });
        if (live)
            return false;
    }
    // No listed name leads to this file any more: path becomes its name.
    slot.row = static_cast<std::uint32_t>(row);
    slot.meta |= kMixed;
    return true;
}

template <typename Visit> void CandidatePaths::ForEachOf(const FileId& id, const Visit& visit) const
{
    for (std::size_t k = 0; k < m_paths.Size(); ++k) {
        if (m_ids[k] == id && !visit(k))
            return;
    }
}

void CandidatePaths::Replace(std::size_t index, const std::string& path)
{
    if (index >= m_count)
        throw std::out_of_range("CandidatePaths::Replace");
    const FileId id = m_identify(path);
    Reserve(m_fileCount + 1);
    if (id.Known()) {
        const Slot* listed = Find(id);
        if (listed && listed->Count() == kCountMask && !(m_ids[index] == id))
            throw std::length_error("CandidatePaths: too many entries of one file");
    }
    m_paths.Set(index, path);
    // Nothing below throws but Repick, which only reads.
    std::vector<FileId> orphans;
    Forget(m_ids[index], index, orphans);
    // Slots know their file by the identity of the row they name: move them off this
    // row before its identity changes.
    Repick(std::move(orphans), { { index, index } });
    m_ids[index] = id;
    if (!id.Known())
        return;
    bool fresh = false;
    Slot& slot = Insert(id, static_cast<std::uint32_t>(index), fresh);
    if (!fresh) {
        const bool sameName = !slot.Mixed() && m_paths.Equals(slot.row, path);
        if (!sameName)
            slot.meta |= kMixed;
        // The new name was just given to the file, so it is the one that leads to it.
        slot.row = static_cast<std::uint32_t>(index);
    }
    ++slot.meta;
}

void CandidatePaths::RemoveRanges(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return;
    if (ranges.back().second >= m_count)
        throw std::out_of_range("CandidatePaths::RemoveRanges");
    std::vector<FileId> orphans;
    for (const RowRange& range : ranges) {
        for (std::size_t row = range.first; row <= range.second; ++row)
            Forget(m_ids[row], row, orphans);
    }
    Repick(std::move(orphans), ranges);
    // Rows after a removed one move down, and so do the slots that name them: newRow
    // holds each row's place after the removal, from the first removed row on.
    const std::size_t from = ranges.front().first;
    std::vector<std::uint32_t> newRow(m_count - from);
    std::size_t kept = from;
    std::size_t next = 0;
    for (std::size_t k = from; k < m_count; ++k) {
        while (next < ranges.size() && k > ranges[next].second)
            ++next;
        newRow[k - from] = static_cast<std::uint32_t>(kept);
        if (next < ranges.size() && k >= ranges[next].first)
            continue;
        m_ids[kept++] = m_ids[k];
    }
    for (Slot& slot : m_files) {
        if (slot.row != kFree && slot.row >= from)
            slot.row = newRow[slot.row - from];
    }
    m_paths.RemoveRanges(ranges);
    m_ids.resize(kept);
    m_count = kept;
}

void CandidatePaths::RemoveAt(std::size_t index)
{
    if (index >= m_count)
        throw std::out_of_range("CandidatePaths::RemoveAt");
    RemoveRanges({ { index, index } });
}

void CandidatePaths::Clear()
{
    m_paths.Clear();
    m_ids = std::vector<FileId>();
    m_count = 0;
    m_files = std::vector<Slot>();
    m_fileCount = 0;
}

void CandidatePaths::Forget(const FileId& id, std::size_t row, std::vector<FileId>& orphans)
{
    if (!id.Known())
        return;
    Slot* slot = Find(id);
    if (!slot)
        return;
    if (--slot->meta & kCountMask) {
        if (slot->row == row)
            orphans.push_back(id);
        return;
    }
    Erase(*slot);
}

void CandidatePaths::Repick(std::vector<FileId> orphans, const std::vector<RowRange>& gone)
{
    if (orphans.empty())
        return;
    std::sort(orphans.begin(), orphans.end(), IdLess);
    orphans.erase(std::unique(orphans.begin(), orphans.end()), orphans.end());
    std::vector<bool> picked(orphans.size(), false);
    std::size_t left = orphans.size();
    std::size_t next = 0;
    for (std::size_t k = 0; k < m_paths.Size() && left > 0; ++k) {
        while (next < gone.size() && k > gone[next].second)
            ++next;
        if (next < gone.size() && k >= gone[next].first)
            continue;
        const auto at = std::lower_bound(orphans.begin(), orphans.end(), m_ids[k], IdLess);
        if (at == orphans.end() || !(*at == m_ids[k]) || picked[static_cast<std::size_t>(at - orphans.begin())])
            continue;
        picked[static_cast<std::size_t>(at - orphans.begin())] = true;
        Find(m_ids[k])->row = static_cast<std::uint32_t>(k);
        --left;
    }
}

namespace {

    std::uint32_t TagOf(std::size_t hash) { return static_cast<std::uint32_t>(hash >> 57) << 24; }
    constexpr std::uint32_t kTagMask = 0x7FU << 24;

} // namespace

CandidatePaths::Slot* CandidatePaths::Find(const FileId& id)
{
    if (m_files.empty())
        return nullptr;
    const std::size_t mask = m_files.size() - 1;
    const std::size_t hash = HashOf(id);
    const std::uint32_t tag = TagOf(hash);
    for (std::size_t k = hash & mask;; k = (k + 1) & mask) {
        Slot& slot = m_files[k];
        if (slot.row == kFree)
            return nullptr;
        if ((slot.meta & kTagMask) == tag && m_ids[slot.row] == id)
            return &slot;
    }
}

CandidatePaths::Slot& CandidatePaths::Insert(const FileId& id, std::uint32_t row, bool& fresh)
{
    const std::size_t mask = m_files.size() - 1;
    const std::size_t hash = HashOf(id);
    const std::uint32_t tag = TagOf(hash);
    std::size_t k = hash & mask;
    while (m_files[k].row != kFree && !((m_files[k].meta & kTagMask) == tag && m_ids[m_files[k].row] == id))
        k = (k + 1) & mask;
    fresh = m_files[k].row == kFree;
    if (fresh) {
        m_files[k] = Slot { row, tag };
        ++m_fileCount;
    }
    return m_files[k];
}

void CandidatePaths::Erase(Slot& slot)
{
    // Backward shift: each later slot of the run moves into the hole when its home lies
    // at or before the hole, so that no search stops early and no tombstones pile up.
    const std::size_t mask = m_files.size() - 1;
    std::size_t hole = static_cast<std::size_t>(&slot - m_files.data());
    for (std::size_t k = (hole + 1) & mask; m_files[k].row != kFree; k = (k + 1) & mask) {
        const std::size_t home = HashOf(m_ids[m_files[k].row]) & mask;
        if (((k - home) & mask) >= ((k - hole) & mask)) {
            m_files[hole] = m_files[k];
            hole = k;
        }
    }
    m_files[hole] = Slot {};
    --m_fileCount;
}

void CandidatePaths::Reserve(std::size_t files)
{
    if (files * 4 <= m_files.size() * 3)
        return;
    std::size_t size = 16;
    while (files * 4 > size * 3)
        size *= 2;
    std::vector<Slot> old(size);
    old.swap(m_files);
    const std::size_t mask = size - 1;
    for (const Slot& slot : old) {
        if (slot.row == kFree)
            continue;
        std::size_t k = HashOf(m_ids[slot.row]) & mask;
        while (m_files[k].row != kFree)
            k = (k + 1) & mask;
        m_files[k] = slot;
    }
}

void LookUps::Add(const ListedFile& file)
{
    std::int64_t mtime = 0;
    const bool packed = Platform::PackTime(file.mtime, mtime);
    m_files.push_back((file.size & kSize) | (file.regular && packed ? kRegular : 0)
        | (file.allocated < file.size ? kSparse : 0));
    m_times.push_back(mtime);
}

std::vector<FileId> LookUps::Take(std::vector<ListedFile>&& listed)
{
    std::vector<FileId> ids;
    ids.reserve(listed.size());
    m_files.reserve(Count() + listed.size());
    m_times.reserve(Count() + listed.size());
    for (const ListedFile& file : listed) {
        ids.push_back(file.id);
        Add(file);
    }
    listed = std::vector<ListedFile>();
    return ids;
}

void LookUps::Drop(const std::vector<std::size_t>& indices)
{
    std::size_t kept = 0;
    for (std::size_t k = 0, next = 0; k < m_files.size(); ++k) {
        if (next < indices.size() && indices[next] == k) {
            ++next;
        } else {
            m_files[kept] = m_files[k];
            m_times[kept++] = m_times[k];
        }
    }
    m_files.resize(kept);
    m_times.resize(kept);
}

void LookUps::Append(LookUps&& other)
{
    if (m_files.empty()) {
        m_files = std::move(other.m_files);
        m_times = std::move(other.m_times);
    } else {
        m_files.insert(m_files.end(), other.m_files.begin(), other.m_files.end());
        m_times.insert(m_times.end(), other.m_times.begin(), other.m_times.end());
    }
}

ListedFile LookUps::At(std::size_t index, const FileId& id) const
{
    const std::uint64_t file = m_files[index];
    const std::uint64_t size = file & kSize;
    return { id, (file & kRegular) != 0, size, (file & kSparse) != 0 ? 0 : size,
        Platform::UnpackTime(m_times[index]) };
}

void LookUps::Clear()
{
    m_files = std::vector<std::uint64_t>();
    m_times = std::vector<std::int64_t>();
}

} // namespace FileScan
