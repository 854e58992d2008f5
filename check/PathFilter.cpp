// PathFilter: whether a path contains what the user typed to narrow the results.
#include "check/PathFilter.h"

#include <algorithm>

namespace Check {

std::string FoldForFilter(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte >= 'A' && byte <= 'Z') {
            out += static_cast<char>(byte - 'A' + 'a');
            continue;
        }
        // U+FF01..U+FF5E is EF BC 81..EF BC BF, EF BD 80..EF BD 9E; U+3000 is E3 80 80.
        if (byte == 0xEF && k + 2 < text.size()) {
            const auto second = static_cast<unsigned char>(text[k + 1]);
            const auto third = static_cast<unsigned char>(text[k + 2]);
            unsigned code = 0;
            if (second == 0xBC && third >= 0x81 && third <= 0xBF)
                code = 0xFF00 + (third - 0x80);
            else if (second == 0xBD && third >= 0x80 && third <= 0x9E)
                code = 0xFF40 + (third - 0x80);
            if (code != 0) {
                const auto ascii = static_cast<char>(code - 0xFF00 + 0x20);
                out += (ascii >= 'A' && ascii <= 'Z') ? static_cast<char>(ascii - 'A' + 'a') : ascii;
                k += 2;
                continue;
            }
        }
        if (byte == 0xE3 && k + 2 < text.size() && text[k + 1] == '\x80' && text[k + 2] == '\x80') {
            out += ' ';
            k += 2;
            continue;
        }
        out += text[k];
    }
    return out;
}

PathFilter::PathFilter(std::string_view text)
    : m_folded(FoldForFilter(text))
{
}

bool PathFilter::Matches(std::string_view path) const
{
    if (m_folded.empty())
        return true;
    const std::string folded = FoldForFilter(path);
    return std::search(folded.begin(), folded.end(), m_folded.begin(), m_folded.end()) != folded.end();
}

} // namespace Check
