// ContentCompare: the block comparison and the hash that regroups differing blocks.
#include "scan/ContentCompare.h"

#include <cstring>

namespace FileScan {

BlockMatch BlockCompare::ReadOther(const Platform::ReadFile& file, std::int64_t& got, Platform::Status* error)
{
    got = file.ReadFull(m_offset, m_other, m_n, error);
    m_otherGot = got;
    if (got < 0)
        return BlockMatch::Unreadable;
    if (got != m_firstGot || std::memcmp(m_first, m_other, static_cast<std::size_t>(got)) != 0)
        return BlockMatch::Differs;
    return BlockMatch::Same;
}

// Four lanes keep the multiplier busy.
std::uint64_t BlockCompare::OtherHash() const
{
    const std::byte* p = m_other;
    const std::size_t n = m_otherGot > 0 ? static_cast<std::size_t>(m_otherGot) : 0;
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

} // namespace FileScan
