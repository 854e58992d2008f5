// PathStore: folders stored once, names in shared blocks.
#include "scan/PathStore.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

namespace FileScan {

namespace {

    constexpr std::size_t kBlockBytes = 256 * 1024;
    // A name longer than this gets a block of its own, so that no block is left mostly empty.
    constexpr std::size_t kOwnBlockFrom = kBlockBytes / 8;
    // Dead name bytes are reclaimed once they outweigh the live ones and reach this.
    constexpr std::size_t kCompactFrom = 1 << 20;

    // Splits after the last "/".
    std::pair<std::string_view, std::string_view> Split(std::string_view path)
    {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return { {}, path };
        return { path.substr(0, slash + 1), path.substr(slash + 1) };
    }

} // namespace

const char* PathStore::StoreName(std::string_view name)
{
    if (name.size() >= UINT32_MAX)
        throw std::length_error("PathStore: name too long");
    const std::size_t need = name.size() + 1;
    char* at = nullptr;
    if (need > kOwnBlockFrom) {
        auto block = std::make_unique<char[]>(need);
        at = block.get();
        m_blocks.push_back(std::move(block));
    } else {
        if (need > m_left) {
            m_blocks.reserve(m_blocks.size() + 1);
            m_blocks.push_back(std::make_unique<char[]>(kBlockBytes));
            m_free = m_blocks.back().get();
            m_left = kBlockBytes;
        }
        at = m_free;
        m_free += need;
        m_left -= need;
    }
    std::memcpy(at, name.data(), name.size());
    at[name.size()] = '\0';
    m_storedBytes += need;
    return at;
}

std::uint32_t PathStore::IndexFolder(std::string_view folder)
{
    if (m_lastFolder != UINT32_MAX && m_folders[m_lastFolder] == folder)
        return m_lastFolder;
    const auto found = m_folderIndex.find(folder);
    if (found != m_folderIndex.end()) {
        m_lastFolder = found->second;
        return m_lastFolder;
    }
    if (m_folders.size() >= UINT32_MAX - 1)
        throw std::length_error("PathStore: too many folders");
    const auto index = static_cast<std::uint32_t>(m_folders.size());
    m_folders.emplace_back(folder);
    try {
        m_folderIndex.emplace(m_folders.back(), index);
    } catch (...) {
        m_folders.pop_back();
        throw;
    }
    m_lastFolder = index;
    return index;
}

std::size_t PathStore::Add(std::string_view path)
{
    const auto [folder, name] = Split(path);
    return Add(folder, name);
}

std::size_t PathStore::Add(std::string_view folder, std::string_view name)
{
    const std::uint32_t folderIndex = IndexFolder(folder);
    const char* stored = StoreName(name);
    m_entries.push_back({ stored, static_cast<std::uint32_t>(name.size()), folderIndex });
    return m_entries.size() - 1;
}

void PathStore::Set(std::size_t index, std::string_view path)
{
    Entry& entry = m_entries.at(index);
    const auto [folder, name] = Split(path);
    const std::uint32_t folderIndex = IndexFolder(folder);
    const char* stored = StoreName(name);
    Dropped(entry);
    entry = { stored, static_cast<std::uint32_t>(name.size()), folderIndex };
    CompactIfWasteful();
}

bool PathStore::AllDistinct() const
{
    // A path's hash from its folder's and its name's: equal paths have equal hashes.
    // 8 bytes a path for the moment, where comparing strings would take a set.
    const std::hash<std::string_view> hash;
    std::vector<std::uint64_t> folderHashes;
    folderHashes.reserve(m_folders.size());
    for (const std::string& folder : m_folders)
        folderHashes.push_back(hash(folder));
    std::vector<std::uint64_t> hashes;
    hashes.reserve(m_entries.size());
    for (const Entry& entry : m_entries) {
        const std::uint64_t h = folderHashes[entry.folder] * 0x9E3779B97F4A7C15ULL;
        hashes.push_back(h ^ (h >> 29) ^ hash({ entry.name, entry.length }));
    }
    // Equal hashes meet in one of 65,536 buckets by their top bits; only the buckets,
    // a few hashes each, are sorted (sorting a million hashes whole took 0.1 s).
    constexpr unsigned kBucketBits = 16;
    std::vector<std::uint32_t> bucketEnd((std::size_t { 1 } << kBucketBits) + 1, 0);
    for (const std::uint64_t h : hashes)
        ++bucketEnd[(h >> (64 - kBucketBits)) + 1];
    for (std::size_t b = 1; b < bucketEnd.size(); ++b)
        bucketEnd[b] += bucketEnd[b - 1];
    std::vector<std::uint64_t> bucketed(hashes.size());
    for (const std::uint64_t h : hashes)
        bucketed[bucketEnd[h >> (64 - kBucketBits)]++] = h;
    hashes = std::vector<std::uint64_t>();
    std::uint32_t begin = 0;
    for (std::size_t b = 0; b + 1 < bucketEnd.size(); ++b) {
        const auto first = bucketed.begin() + begin;
        const auto last = bucketed.begin() + bucketEnd[b];
        std::sort(first, last);
        if (std::adjacent_find(first, last) != last)
            return false;
        begin = bucketEnd[b];
    }
    return true;
}

PathStore PathStore::Copy(std::size_t count) const
{
    PathStore copy;
    copy.Reserve(count);
    for (std::size_t k = 0; k < count; ++k)
        copy.Add(Folder(k), Name(k));
    return copy;
}

std::string PathStore::At(std::size_t index) const
{
    std::string path;
    CopyTo(index, path);
    return path;
}

void PathStore::CopyTo(std::size_t index, std::string& out) const
{
    const Entry& entry = m_entries[index];
    const std::string& folder = m_folders[entry.folder];
    out.resize(folder.size() + entry.length);
    std::memcpy(out.data(), folder.data(), folder.size());
    std::memcpy(out.data() + folder.size(), entry.name, entry.length);
}

bool PathStore::Equals(std::size_t index, std::string_view path) const
{
    const Entry& entry = m_entries[index];
    const std::string& folder = m_folders[entry.folder];
    return path.size() == folder.size() + entry.length && path.compare(0, folder.size(), folder) == 0
        && std::memcmp(path.data() + folder.size(), entry.name, entry.length) == 0;
}

void PathStore::RemoveRanges(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return;
    std::size_t kept = ranges.front().first;
    std::size_t next = 0;
    for (std::size_t k = ranges.front().first; k < m_entries.size(); ++k) {
        while (next < ranges.size() && k > ranges[next].second)
            ++next;
        if (next < ranges.size() && k >= ranges[next].first) {
            Dropped(m_entries[k]);
            continue;
        }
        m_entries[kept++] = m_entries[k];
    }
    m_entries.resize(kept);
    CompactIfWasteful();
}

void PathStore::Truncate(std::size_t count)
{
    if (count >= m_entries.size())
        return;
    for (std::size_t k = m_entries.size(); k-- > count;) {
        const Entry& entry = m_entries[k];
        // The name stored last takes its room back at once.
        if (entry.length + 1 <= kOwnBlockFrom && entry.name + entry.length + 1 == m_free) {
            m_free -= entry.length + 1;
            m_left += entry.length + 1;
            m_storedBytes -= entry.length + 1;
        } else {
            Dropped(entry);
        }
    }
    m_entries.resize(count);
    CompactIfWasteful();
}

void PathStore::Clear()
{
    m_entries = std::vector<Entry>();
    m_blocks = std::vector<std::unique_ptr<char[]>>();
    m_free = nullptr;
    m_left = 0;
    m_storedBytes = 0;
    m_deadBytes = 0;
    m_folderIndex = std::unordered_map<std::string_view, std::uint32_t>();
    m_folders = std::deque<std::string>();
    m_lastFolder = UINT32_MAX;
}

void PathStore::CompactIfWasteful()
{
    if (m_entries.empty()) {
        Clear();
        return;
    }
    if (m_deadBytes < kCompactFrom || m_deadBytes * 2 < m_storedBytes)
        return;
    // Reclaiming is worth doing, not needed: without the memory for it the store stays
    // as it is.
    try {
        PathStore fresh;
        fresh.m_entries.reserve(m_entries.size());
        for (const Entry& entry : m_entries) {
            const std::uint32_t folder = fresh.IndexFolder(m_folders[entry.folder]);
            fresh.m_entries.push_back({ fresh.StoreName({ entry.name, entry.length }), entry.length, folder });
        }
        *this = std::move(fresh);
    } catch (const std::bad_alloc&) {
        return;
    }
}

} // namespace FileScan
