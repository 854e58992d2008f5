// Refiner: the block loop of one same-size set, with shared holes skipped and
// differing members regrouped by a block hash.
#include "check/Refiner.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace Check {

namespace {

    constexpr std::size_t kAlignment = 4096;

    // Hashes a block that differed from the set's first file, to split the rest of
    // the set without comparing every pair. Four lanes keep the multiplier busy.
    std::uint64_t BlockHash(const std::byte* p, std::size_t n)
    {
        constexpr std::uint64_t k = 0x9E3779B97F4A7C15ULL;
        std::uint64_t h[4] = { n, n ^ k, n + k, ~n };
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32) {
            for (int lane = 0; lane < 4; ++lane) {
                std::uint64_t w;
                std::memcpy(&w, p + i + 8 * lane, 8);
                h[lane] = (h[lane] ^ w) * k;
                h[lane] ^= h[lane] >> 29;
            }
        }
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            h[0] = (h[0] ^ w) * k;
            h[0] ^= h[0] >> 29;
        }
        std::uint64_t tail = 0;
        for (int shift = 0; i < n; ++i, shift += 8)
            tail |= static_cast<std::uint64_t>(p[i]) << shift;
        std::uint64_t r = (h[0] ^ tail) * k;
        for (int lane = 1; lane < 4; ++lane)
            r = (r ^ (r >> 31) ^ h[lane]) * k;
        return r ^ (r >> 32);
    }

} // namespace

void Refiner::FreeDeleter::operator()(std::byte* p) const { std::free(p); }

Refiner::AlignedBuffer Refiner::MakeBuffer(std::size_t size)
{
    const std::size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
    auto* p = static_cast<std::byte*>(std::aligned_alloc(kAlignment, rounded));
    if (!p)
        throw std::bad_alloc();
    return AlignedBuffer(p);
}

Refiner::Refiner(Shared& shared)
    : m_shared(shared)
    , m_first(MakeBuffer(shared.options.chunkBytes))
    , m_other(MakeBuffer(shared.options.chunkBytes))
{
}

void Refiner::Refine(std::vector<std::uint32_t> members, std::uint64_t begin, std::uint64_t end, bool mayDefer,
    RefineSink& sink)
{
    m_stack.clear();
    m_stack.push_back(Cell { begin, std::move(members), {} });
    while (!m_stack.empty() && !m_shared.stop.load(std::memory_order_relaxed)) {
        Cell cell = std::move(m_stack.back());
        m_stack.pop_back();
        RefineCell(cell, end, mayDefer, sink);
    }
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

// Opens a member; a failure is remembered unless the process ran out of
// descriptors, which says nothing about the file.
int Refiner::OpenMember(std::uint32_t file, Platform::BlockReader& reader) const
{
    const int result = reader.Open(m_shared.paths[m_shared.files[file].path]);
    if (result != 0 && result != EMFILE && result != ENFILE)
        m_shared.openFailed[file].store(1, std::memory_order_relaxed);
    return result;
}

void Refiner::OpenAll(Cell& cell)
{
    if (!cell.files.empty() || cell.members.size() > m_shared.options.maxOpenFiles)
        return;
    cell.files.resize(cell.members.size());
    for (std::size_t k = 0; k < cell.members.size(); ++k) {
        const std::uint32_t file = cell.members[k];
        // A file that does not open is read as failing, which leaves it alone.
        const int result = OpenMember(file, cell.files[k]);
        if (result == EMFILE || result == ENFILE) {
            // Out of descriptors: read the set by reopening instead.
            cell.files.clear();
            return;
        }
        if (result == 0 && m_shared.files[file].size > m_shared.options.chunkBytes)
            cell.files[k].AdviseSequential();
    }
}

bool Refiner::ReadMember(
    const Cell& cell, std::size_t k, std::uint64_t offset, std::size_t n, std::byte* buffer) const
{
    if (!cell.files.empty())
        return cell.files[k].IsOpen() && cell.files[k].ReadExact(offset, buffer, n);
    Platform::BlockReader file;
    if (OpenMember(cell.members[k], file) != 0)
        return false;
    return file.ReadExact(offset, buffer, n);
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
        if (mayDefer && offset >= o.headBytes
            && cell.members.size() * (end - offset) >= o.splitBytes) {
            sink.Deferred(cell.members, offset);
            return;
        }
        if (SkipHoles(cell, offset, end))
            continue;
        const std::uint64_t next = NextBoundary(offset, end);
        const auto n = static_cast<std::size_t>(next - offset);
        if (!ReadMember(cell, 0, offset, n, m_first.get())) {
            MarkAlone(cell.members[0], offset, end);
            Compact(cell, [](std::size_t k) { return k != 0; });
            continue;
        }
        m_differing.clear();
        m_keep.assign(cell.members.size(), 1);
        for (std::size_t k = 1; k < cell.members.size(); ++k) {
            if (m_shared.stop.load(std::memory_order_relaxed))
                return;
            if (!ReadMember(cell, k, offset, n, m_other.get())) {
                MarkAlone(cell.members[k], offset, end);
                m_keep[k] = 0;
            } else if (std::memcmp(m_first.get(), m_other.get(), n) != 0) {
                m_differing.push_back({ BlockHash(m_other.get(), n), k });
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
    const bool anySparse = std::any_of(cell.members.begin(), cell.members.end(),
        [&](std::uint32_t f) { return m_shared.files[f].sparse; });
    if (!anySparse)
        return false;
    std::uint64_t data = end;
    for (const Platform::BlockReader& file : cell.files) {
        if (!file.IsOpen())
            return false;
        data = std::min(data, file.NextData(offset));
        if (data <= offset)
            return false;
    }
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
