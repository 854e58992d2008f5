// PathFilter: whether a path contains what the user typed to narrow the results.
#pragma once

#include <string>
#include <string_view>

namespace Check {

// Matches paths that contain a text, ignoring ASCII case and the difference between
// full-width and half-width ASCII ("Ｐｈｏｔｏ" finds "photo"); other characters must be
// equal byte for byte. An empty text matches every path.
class PathFilter {
public:
    explicit PathFilter(std::string_view text);
    bool Empty() const { return m_folded.empty(); }
    bool Matches(std::string_view path) const;

private:
    std::string m_folded;
};

// Returns text with ASCII letters in lower case and full-width ASCII (U+FF01 to U+FF5E,
// and the ideographic space U+3000) as half-width.
std::string FoldForFilter(std::string_view text);

} // namespace Check
