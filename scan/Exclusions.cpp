// Exclusions: the patterns sorted into tables and globs, and the matching of names and
// paths.
#include "scan/Exclusions.h"

#include <algorithm>

namespace FileScan {

namespace {

    constexpr std::uint32_t kRawByte = 0x110000;

    // Returns the length of the character at text[at]: a valid UTF-8 sequence, else one
    // byte. code gets its value; a byte outside any valid sequence gets kRawByte + byte,
    // so that it equals only itself.
    std::size_t CharAt(std::string_view text, std::size_t at, std::uint32_t& code)
    {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            code = lead;
            return 1;
        }
        std::size_t length = 0;
        std::uint32_t value = 0;
        std::uint32_t least = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            least = 0x10000;
        }
        bool valid = length > 0 && at + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[at + k]);
            valid = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        if (!valid || value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            code = kRawByte + lead;
            return 1;
        }
        code = value;
        return length;
    }

    bool ValidUtf8(std::string_view text)
    {
        for (std::size_t at = 0; at < text.size();) {
            std::uint32_t code = 0;
            at += CharAt(text, at, code);
            if (code >= kRawByte)
                return false;
        }
        return true;
    }

    // Reads one member of a set at pattern[at] ("\" taking the next character as it
    // is); returns its length, 0 at the end of the pattern.
    std::size_t SetMember(std::string_view pattern, std::size_t at, std::uint32_t& code)
    {
        if (at >= pattern.size())
            return 0;
        if (pattern[at] == '\\' && at + 1 < pattern.size())
            return 1 + CharAt(pattern, at + 1, code);
        return CharAt(pattern, at, code);
    }

    // Reads the set that opens at pattern[at] ("[") and tells whether it holds code.
    // Returns the set's length, 0 when no "]" closes it (the "[" is then itself).
    std::size_t MatchSet(std::string_view pattern, std::size_t at, std::uint32_t code, bool& matched)
    {
        std::size_t i = at + 1;
        const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
        if (negated)
            ++i;
        bool inSet = false;
        // A "]" right at the start is a member.
        for (bool first = true;; first = false) {
            if (i >= pattern.size())
                return 0;
            if (pattern[i] == ']' && !first)
                break;
            std::uint32_t low = 0;
            i += SetMember(pattern, i, low);
            std::uint32_t high = low;
            if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
                const std::size_t length = SetMember(pattern, i + 1, high);
                i += 1 + length;
            }
            inSet = inSet || (low <= code && code <= high);
        }
        matched = inSet != negated;
        return i + 1 - at;
    }

    // Tries the element at pattern[at] (not "*") on the character at name[from]: sets
    // used to the pattern bytes it takes and taken to the name bytes.
    bool MatchOne(std::string_view pattern, std::size_t at, std::string_view name, std::size_t from,
        std::size_t& used, std::size_t& taken)
    {
        std::uint32_t code = 0;
        taken = CharAt(name, from, code);
        std::uint32_t wanted = 0;
        switch (pattern[at]) {
        case '?':
            used = 1;
            return true;
        case '[': {
            bool matched = false;
            if ((used = MatchSet(pattern, at, code, matched)) > 0)
                return matched;
            break;
        }
        case '\\':
            if (at + 1 < pattern.size()) {
                used = 1 + CharAt(pattern, at + 1, wanted);
                return wanted == code;
            }
            break;
        default:
            break;
        }
        used = CharAt(pattern, at, wanted);
        return wanted == code;
    }

    // Matches parts[part...] against the names of path ("/" between them); none says
    // that no name is left.
    bool MatchParts(const std::vector<std::string>& parts, std::size_t part, std::string_view path, bool none)
    {
        if (part == parts.size())
            return none;
        if (parts[part] == "**") {
            if (MatchParts(parts, part + 1, path, none))
                return true;
            if (none)
                return false;
            const std::size_t slash = path.find('/');
            return slash == std::string_view::npos ? MatchParts(parts, part, {}, true)
                                                   : MatchParts(parts, part, path.substr(slash + 1), false);
        }
        if (none)
            return false;
        const std::size_t slash = path.find('/');
        if (!MatchesNamePattern(parts[part], path.substr(0, slash)))
            return false;
        return slash == std::string_view::npos ? MatchParts(parts, part + 1, {}, true)
                                               : MatchParts(parts, part + 1, path.substr(slash + 1), false);
    }

    bool IsBlank(char c) { return c == ' ' || c == '\t'; }

    bool HasWildcard(std::string_view text) { return text.find_first_of("*?[\\") != std::string_view::npos; }

    // Puts text in the table for its length, keeping "any entry" over "folders only".
    template <typename Texts>
    void AddText(std::vector<std::pair<std::size_t, Texts>>& tables, std::string_view text, bool foldersOnly)
    {
        auto table = std::find_if(
            tables.begin(), tables.end(), [&](const auto& entry) { return entry.first == text.size(); });
        if (table == tables.end())
            table = tables.insert(tables.end(), { text.size(), Texts {} });
        const auto [slot, fresh] = table->second.try_emplace(std::string(text), foldersOnly);
        if (!fresh)
            slot->second = slot->second && foldersOnly;
    }

    template <typename Texts> bool FoundIn(const Texts& texts, std::string_view text, bool folder)
    {
        const auto slot = texts.find(text);
        return slot != texts.end() && (folder || !slot->second);
    }

} // namespace

bool ExclusionRules::Any() const
{
    const bool anyPattern = std::any_of(patterns.begin(), patterns.end(), [](const std::string& pattern) {
        return std::any_of(pattern.begin(), pattern.end(), [](char c) { return !IsBlank(c); });
    });
    return anyPattern || minSize > 0 || maxSize != UINT64_MAX || skipEmpty;
}

bool ParseSize(std::string_view text, std::uint64_t& size)
{
    unsigned shift = 0;
    if (!text.empty()) {
        switch (text.back()) {
        case 'K':
        case 'k':
            shift = 10;
            break;
        case 'M':
        case 'm':
            shift = 20;
            break;
        case 'G':
        case 'g':
            shift = 30;
            break;
        default:
            break;
        }
    }
    if (shift > 0)
        text.remove_suffix(1);
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > (UINT64_MAX - static_cast<std::uint64_t>(c - '0')) / 10)
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > (UINT64_MAX >> shift))
        return false;
    size = value << shift;
    return true;
}

bool MatchesNamePattern(std::string_view pattern, std::string_view name)
{
    // Any "*" takes as few characters as it can; on a mismatch the last "*" takes one
    // more and the rest is tried again from there.
    constexpr std::size_t kNoStar = std::string_view::npos;
    std::size_t at = 0;
    std::size_t from = 0;
    std::size_t afterStar = kNoStar;
    std::size_t starFrom = 0;
    while (from < name.size()) {
        if (at < pattern.size() && pattern[at] == '*') {
            afterStar = ++at;
            starFrom = from;
            continue;
        }
        std::size_t used = 0;
        std::size_t taken = 0;
        if (at < pattern.size() && MatchOne(pattern, at, name, from, used, taken)) {
            at += used;
            from += taken;
            continue;
        }
        if (afterStar == kNoStar)
            return false;
        std::uint32_t code = 0;
        starFrom += CharAt(name, starFrom, code);
        at = afterStar;
        from = starFrom;
    }
    while (at < pattern.size() && pattern[at] == '*')
        ++at;
    return at == pattern.size();
}

Exclusions::Exclusions(const ExclusionRules& rules)
    : m_any(rules.Any())
    , m_bySize(rules.minSize > 0 || rules.maxSize != UINT64_MAX || rules.skipEmpty)
    , m_rules(rules)
{
    for (const std::string& pattern : rules.patterns)
        Add(pattern);
}

void Exclusions::Add(std::string_view pattern)
{
    while (!pattern.empty() && IsBlank(pattern.front()))
        pattern.remove_prefix(1);
    while (!pattern.empty() && IsBlank(pattern.back()))
        pattern.remove_suffix(1);
    Pattern parsed;
    while (!pattern.empty() && pattern.back() == '/') {
        pattern.remove_suffix(1);
        parsed.foldersOnly = true;
    }
    const bool anchored = pattern.find('/') != std::string_view::npos;
    while (!pattern.empty() && pattern.front() == '/')
        pattern.remove_prefix(1);
    if (pattern.empty())
        return;
    if (!anchored) {
        AddName(pattern, parsed.foldersOnly);
        return;
    }
    for (std::size_t start = 0; start <= pattern.size();) {
        const std::size_t slash = std::min(pattern.find('/', start), pattern.size());
        const std::string_view part = pattern.substr(start, slash - start);
        // "a//b" is "a/b", and "**/**" is "**".
        if (!part.empty() && !(part == "**" && !parsed.parts.empty() && parsed.parts.back() == "**"))
            parsed.parts.emplace_back(part);
        parsed.anyDepth = parsed.anyDepth || part == "**";
        start = slash + 1;
    }
    // "**/name" is a name anywhere.
    if (parsed.parts.size() == 2 && parsed.parts.front() == "**" && parsed.parts.back() != "**") {
        AddName(parsed.parts.back(), parsed.foldersOnly);
        return;
    }
    m_pathGlobs.push_back(std::move(parsed));
}

void Exclusions::AddName(std::string_view pattern, bool foldersOnly)
{
    const std::string_view inner = pattern.substr(1);
    const std::string_view head = pattern.substr(0, pattern.size() - 1);
    if (!HasWildcard(pattern)) {
        const auto [slot, fresh] = m_names.try_emplace(std::string(pattern), foldersOnly);
        if (!fresh)
            slot->second = slot->second && foldersOnly;
        m_nameLengths[std::min(pattern.size(), m_nameLengths.size() - 1)] = true;
    } else if (pattern.front() == '*' && !HasWildcard(inner) && ValidUtf8(inner)) {
        AddText(m_suffixes, inner, foldersOnly);
        if (inner.empty())
            m_suffixEnds.fill(true);
        else
            m_suffixEnds[static_cast<unsigned char>(inner.back())] = true;
    } else if (pattern.back() == '*' && !HasWildcard(head) && ValidUtf8(head)) {
        AddText(m_prefixes, head, foldersOnly);
        if (head.empty())
            m_prefixStarts.fill(true);
        else
            m_prefixStarts[static_cast<unsigned char>(head.front())] = true;
    } else {
        m_nameGlobs.push_back(Pattern { { std::string(pattern) }, foldersOnly, false });
    }
}

bool Exclusions::NameExcluded(std::string_view name, bool folder) const
{
    // Cheap tests of a byte or a length first: most names meet no table at all.
    if (name.empty())
        return false;
    if (m_nameLengths[std::min(name.size(), m_nameLengths.size() - 1)] && FoundIn(m_names, name, folder))
        return true;
    if (m_suffixEnds[static_cast<unsigned char>(name.back())]) {
        for (const auto& [length, texts] : m_suffixes) {
            if (name.size() >= length && FoundIn(texts, name.substr(name.size() - length), folder))
                return true;
        }
    }
    if (m_prefixStarts[static_cast<unsigned char>(name.front())]) {
        for (const auto& [length, texts] : m_prefixes) {
            if (name.size() >= length && FoundIn(texts, name.substr(0, length), folder))
                return true;
        }
    }
    return std::any_of(m_nameGlobs.begin(), m_nameGlobs.end(), [&](const Pattern& glob) {
        return (folder || !glob.foldersOnly) && MatchesNamePattern(glob.parts.front(), name);
    });
}

bool Exclusions::Excludes(std::string_view relative, bool folder) const
{
    if (!m_any)
        return false;
    const std::size_t slash = relative.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? relative : relative.substr(slash + 1);
    return NameExcluded(name, folder) || (!m_pathGlobs.empty() && PathExcluded(relative, folder));
}

bool Exclusions::PathExcluded(std::string_view relative, bool folder) const
{
    // A pattern without "**" only matches paths of its own depth.
    const auto depth = static_cast<std::size_t>(1 + std::count(relative.begin(), relative.end(), '/'));
    return std::any_of(m_pathGlobs.begin(), m_pathGlobs.end(), [&](const Pattern& glob) {
        return (folder || !glob.foldersOnly) && (glob.anyDepth || glob.parts.size() == depth)
            && MatchParts(glob.parts, 0, relative, false);
    });
}

bool Exclusions::ExcludesSize(std::uint64_t size) const
{
    return (m_rules.skipEmpty && size == 0) || size < m_rules.minSize || size > m_rules.maxSize;
}

} // namespace FileScan
