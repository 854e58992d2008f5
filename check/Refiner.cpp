// Refiner: the block loop of one same-size set, with shared holes skipped and
// differing members regrouped by a block hash.
#include "check/Refiner.h"

#include <algorithm>
#include <utility>

namespace Check {

using FileScan::BlockMatch;

DescriptorPlan PlanDescriptors(std::size_t limit)
{
    constexpr std::size_t kReserve = 256;
    constexpr std::size_t kLeastForSets = 768;
    constexpr std::size_t kMostForSets = 4096;
    constexpr std::size_t kMostFolders = 16384;
    const std::size_t usable = limit > kReserve ? limit - kReserve : 0;
    DescriptorPlan plan;
    plan.sets = std::max(kLeastForSets, std::min(usable / 2, kMostForSets));
    plan.folders = usable > plan.sets ? std::min(usable - plan.sets, kMostFolders) : 0;
    return plan;
}

Refiner::Refiner(Shared& shared)
    : m_shared(shared)
    , m_first(MakeAlignedBuffer(shared.options.chunkBytes))
    , m_other(MakeAlignedBuffer(shared.options.chunkBytes))
    , m_compare(m_first.get(), m_other.get(), shared.options.chunkBytes)
{
}

void Refiner::Refine(std::vector<std::uint32_t> members, std::uint64_t begin, std::uint64_t end,
    bool mayDefer, RefineSink& sink)
{
    // The sets split from this one hold no more files open together than it does.
    TakeDescriptors(std::min(members.size(), m_shared.options.maxOpenFiles));
    struct Return {
        Refiner& refiner;
        ~Return() { refiner.ReturnDescriptors(); }
    } giveBack { *this };
    m_stack.clear();
    m_stack.push_back(Cell { begin, std::move(members), {} });
    while (!m_stack.empty() && !m_shared.stop.load(std::memory_order_relaxed)) {
        Cell cell = std::move(m_stack.back());
        m_stack.pop_back();
        RefineCell(cell, end, mayDefer, sink);
    }
}

void Refiner::TakeDescriptors(std::size_t want)
{
    std::size_t free = m_shared.descriptors.load(std::memory_order_relaxed);
    while (free >= want && !m_shared.descriptors.compare_exchange_weak(free, free - want))
        ;
    m_descriptors = free >= want ? want : 0;
}

void Refiner::ReturnDescriptors()
{
    // The sets left over when the run stops still hold files open.
    m_stack.clear();
    m_shared.descriptors.fetch_add(m_descriptors);
    m_descriptors = 0;
}

std::uint64_t Refiner::NextBoundary(std::uint64_t offset, std::uint64_t end) const
{
    const EngineOptions& o = m_shared.options;
    if (offset == 0 && end <= o.wholeFileBytes)
        return end;
    if (offset < o.headBytes)
        return std::min<std::uint64_t>(end, o.headBytes);
    return std::min<std::uint64_t>(end, (offset / o.chunkBytes + 1) * o.chunkBytes);
}

Platform::Status Refiner::OpenMember(std::uint32_t file, Platform::ReadFile& reader)
{
    const ContentEngine::File& looked = m_shared.files[file];
    const FileScan::PathStore& paths = m_shared.paths;
    const std::uint32_t folder = paths.FolderIndex(looked.path);
    const Platform::NativeHandle handle = m_shared.folders
        ? m_shared.folders->Get(folder, [&] { return paths.FolderAt(folder).data(); })
        : Platform::NativeHandle::None;
    Platform::Status result;
    if (handle != Platform::NativeHandle::None) {
        result = reader.OpenUncheckedAt(handle, paths.Name(looked.path).data());
    } else {
        paths.CopyTo(looked.path, m_path);
        result = reader.OpenUnchecked(m_path);
    }
    if (!result.Ok()) {
        if (result != Platform::Error::TooManyOpenFiles)
            m_shared.openFailed[file].store(1, std::memory_order_relaxed);
        return result;
    }
    // A file replaced or resized since its look-up is left alone (it opened, so it is no
    // open failure): compared up to its old size, it could match bytes it no longer
    // holds, or be a second name of another file of the set.
    Platform::FileInfo now;
    if (!reader.StatNow(now).Ok() || now.kind != Platform::EntryKind::Regular
        || now.device != m_shared.devices[looked.device] || now.inode != looked.inode || now.size != looked.size) {
        reader.Close();
        return Platform::Error::Other;
    }
    return result;
}

void Refiner::OpenAll(Cell& cell)
{
    if (!cell.files.empty() || cell.members.size() > m_descriptors)
        return;
    cell.files.resize(cell.members.size());
    const std::size_t n = cell.members.size();
    constexpr std::size_t kAhead = 32;
    for (std::size_t k = 0; k < n; ++k) {
        // The members lie scattered over the file list and the paths. What the opens
        // need is fetched a window at a time, in three rounds of loads that each
        // overlap: the system's work between two opens leaves little of a prefetch made
        // a few opens ahead.
        if (k % kAhead == 0) {
            const std::size_t last = std::min(n, k + kAhead);
            for (std::size_t a = k; a < last; ++a)
                __builtin_prefetch(&m_shared.files[cell.members[a]]);
            for (std::size_t a = k; a < last; ++a)
                m_shared.paths.PrefetchEntry(m_shared.files[cell.members[a]].path);
            for (std::size_t a = k; a < last; ++a)
                m_shared.paths.PrefetchName(m_shared.files[cell.members[a]].path);
        }
        const std::uint32_t file = cell.members[k];
        // A file that does not open is read as failing, which leaves it alone.
        const Platform::Status result = OpenMember(file, cell.files[k]);
        if (result == Platform::Error::TooManyOpenFiles) {
            // Out of descriptors: read the set by reopening instead.
            cell.files.clear();
            return;
        }
        if (result.Ok() && m_shared.files[file].size > m_shared.options.chunkBytes)
            cell.files[k].AdviseSequential();
    }
}

BlockMatch Refiner::ReadMember(const Cell& cell, std::size_t k, std::uint64_t offset, std::size_t n)
{
    if (!cell.files.empty())
        return cell.files[k].IsOpen() ? ReadBlock(cell.files[k], k, offset, n) : BlockMatch::Unreadable;
    Platform::ReadFile file;
    if (!OpenMember(cell.members[k], file).Ok())
        return BlockMatch::Unreadable;
    return ReadBlock(file, k, offset, n);
}

BlockMatch Refiner::ReadBlock(
    const Platform::ReadFile& file, std::size_t k, std::uint64_t offset, std::size_t n)
{
    const auto whole = static_cast<std::int64_t>(n);
    if (k == 0)
        return m_compare.ReadFirst(file, offset, n) == whole ? BlockMatch::Same : BlockMatch::Unreadable;
    std::int64_t got = 0;
    const BlockMatch match = m_compare.ReadOther(file, got);
    return got == whole ? match : BlockMatch::Unreadable;
}

template <class Keep> void Refiner::Compact(Cell& cell, Keep keep)
{
    std::size_t out = 0;
    for (std::size_t k = 0; k < cell.members.size(); ++k) {
        if (!keep(k))
            continue;
        cell.members[out] = cell.members[k];
        if (!cell.files.empty())
            cell.files[out] = std::move(cell.files[k]);
        ++out;
    }
    cell.members.resize(out);
    if (!cell.files.empty())
        cell.files.resize(out);
}

void Refiner::RefineCell(Cell& cell, std::uint64_t end, bool mayDefer, RefineSink& sink)
{
    const EngineOptions& o = m_shared.options;
    std::uint64_t offset = cell.offset;
    OpenAll(cell);
    while (offset < end) {
        if (m_shared.stop.load(std::memory_order_relaxed))
            return;
        // Files another range already found alone need no more reading here.
        Compact(cell, [&](std::size_t k) {
            if (!IsAlone(cell.members[k]))
                return true;
            Settle(end - offset);
            return false;
        });
        if (cell.members.size() < 2)
            break;
        if (mayDefer && offset >= o.headBytes && cell.members.size() * (end - offset) >= o.splitBytes) {
            sink.Deferred(cell.members, offset);
            return;
        }
        if (SkipHoles(cell, offset, end))
            continue;
        const std::uint64_t next = NextBoundary(offset, end);
        const auto n = static_cast<std::size_t>(next - offset);
        if (ReadMember(cell, 0, offset, n) != BlockMatch::Same) {
            MarkAlone(cell.members[0], offset, end);
            Compact(cell, [](std::size_t k) { return k != 0; });
            continue;
        }
        m_differing.clear();
        m_keep.assign(cell.members.size(), 1);
        for (std::size_t k = 1; k < cell.members.size(); ++k) {
            if (m_shared.stop.load(std::memory_order_relaxed))
                return;
            const BlockMatch match = ReadMember(cell, k, offset, n);
            if (match == BlockMatch::Unreadable) {
                MarkAlone(cell.members[k], offset, end);
                m_keep[k] = 0;
            } else if (match == BlockMatch::Differs) {
                m_differing.push_back({ m_compare.OtherHash(), k });
                m_keep[k] = 0;
            }
        }
        SplitOff(cell, offset, end);
        Compact(cell, [&](std::size_t k) { return m_keep[k] != 0; });
        Settle(static_cast<std::uint64_t>(n) * cell.members.size());
        offset = next;
    }
    if (cell.members.size() == 1)
        MarkAlone(cell.members[0], offset, end);
    else if (cell.members.size() > 1)
        sink.Equal(cell.members);
}

// Moves offset past a hole that every member has there: holes read as zeros in
// all of them alike. Returns true when it moved.
bool Refiner::SkipHoles(const Cell& cell, std::uint64_t& offset, std::uint64_t end)
{
    if (cell.files.empty() || end - offset <= m_shared.options.chunkBytes)
        return false;
    const bool anySparse = std::any_of(
        cell.members.begin(), cell.members.end(), [&](std::uint32_t f) { return m_shared.files[f].sparse; });
    if (!anySparse)
        return false;
    const std::uint64_t data = FileScan::SharedHoleEnd(
        cell.files, [](const Platform::ReadFile& file) -> const Platform::ReadFile& { return file; }, offset,
        end);
    if (data <= offset)
        return false;
    Settle((data - offset) * cell.members.size());
    offset = data;
    return true;
}

// Turns the members whose block differed from the first file's into new sets
// by block hash; each new set is compared again from this block on.
void Refiner::SplitOff(Cell& cell, std::uint64_t offset, std::uint64_t end)
{
    std::sort(m_differing.begin(), m_differing.end(),
        [](const Differing& a, const Differing& b) { return a.hash < b.hash; });
    for (std::size_t run = 0; run < m_differing.size();) {
        std::size_t stop = run + 1;
        while (stop < m_differing.size() && m_differing[stop].hash == m_differing[run].hash)
            ++stop;
        if (stop - run == 1) {
            MarkAlone(cell.members[m_differing[run].index], offset, end);
        } else {
            Cell split { offset, {}, {} };
            split.members.reserve(stop - run);
            for (std::size_t d = run; d < stop; ++d)
                split.members.push_back(cell.members[m_differing[d].index]);
            if (!cell.files.empty()) {
                split.files.reserve(stop - run);
                for (std::size_t d = run; d < stop; ++d)
                    split.files.push_back(std::move(cell.files[m_differing[d].index]));
            }
            m_stack.push_back(std::move(split));
        }
        run = stop;
    }
}

} // namespace Check
