// Exclusions: what the user leaves out of a folder scan: files and folders by name or
// path pattern, files by size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace FileScan {

// The user's exclusions; the defaults leave nothing out.
//
// A pattern without "/" matches a file or folder name anywhere in the tree (".git",
// "node_modules", "*.tmp", "Thumbs.db"); one with "/" matches the path below the folder
// being added ("build/*", "/notes.txt"; a leading "/" only says so). "*" stands for any
// run of characters within a name, "**" as a whole name for any number of folders, "?"
// for one character, "[...]" for one of a set ("[!...]" or "[^...]": none of it, "a-z" a
// range), and "\" takes the next character as it is. A pattern ending in "/" matches
// folders only. Matching is exact in case and works on characters of UTF-8, any other
// byte counting as one character; spaces and tabs around a pattern do not count, and a
// blank pattern matches nothing. A folder that matches is not entered.
struct ExclusionRules {
    std::vector<std::string> patterns;
    // Files smaller than minSize, or larger than maxSize, are left out.
    std::uint64_t minSize = 0;
    std::uint64_t maxSize = UINT64_MAX;
    bool skipEmpty = false;

    // True when any rule leaves something out.
    bool Any() const;
    bool operator==(const ExclusionRules&) const = default;
};

// Reads a size in bytes with an optional suffix K, M or G (1024-based, either case):
// "512", "64K", "2G". Returns false for anything else or a size past 2^64 - 1.
bool ParseSize(std::string_view text, std::uint64_t& size);

// The rules made ready for matching: a name is looked up once in tables of the plain
// names, suffixes ("*.tmp") and prefixes ("~*") of the patterns, whatever their number;
// only other patterns are matched one by one.
class Exclusions {
public:
    Exclusions() = default;
    explicit Exclusions(const ExclusionRules& rules);

    // False when nothing is left out: the scan then need not ask.
    bool Any() const { return m_any; }
    // True when sizes decide too, so that the scan must look every file up.
    bool BySize() const { return m_bySize; }
    // True when the entry at relative (its path below the folder being added, "/"
    // between names, its own name last) is left out; folder tells what it is.
    bool Excludes(std::string_view relative, bool folder) const;
    // True when a file of size bytes is left out.
    bool ExcludesSize(std::uint64_t size) const;

private:
    // A pattern as a list of names ("**" among them), and what it applies to.
    struct Pattern {
        std::vector<std::string> parts;
        bool foldersOnly = false;
        // Holds "**": matches paths of more than one depth.
        bool anyDepth = false;
    };
    // Looks a std::string_view up without making a string of it.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view> {}(text); }
    };
    // For each plain text, whether only folders are left out by it.
    using Texts = std::unordered_map<std::string, bool, TextHash, std::equal_to<>>;

    void Add(std::string_view pattern);
    void AddName(std::string_view pattern, bool foldersOnly);
    bool NameExcluded(std::string_view name, bool folder) const;
    bool PathExcluded(std::string_view relative, bool folder) const;

    bool m_any = false;
    bool m_bySize = false;
    ExclusionRules m_rules;
    Texts m_names;
    // Suffixes and prefixes, one table per length; the last bytes of the suffixes (all
    // of them for the empty one), so that most names need no look-up in their tables.
    std::vector<std::pair<std::size_t, Texts>> m_suffixes;
    std::array<bool, 256> m_suffixEnds {};
    std::vector<std::pair<std::size_t, Texts>> m_prefixes;
    std::array<bool, 256> m_prefixStarts {};
    // The lengths of the plain names, the last one standing for any longer.
    std::array<bool, 65> m_nameLengths {};
    std::vector<Pattern> m_nameGlobs;
    std::vector<Pattern> m_pathGlobs;
};

// Matches one name against one pattern name with "*", "?", "[...]" and "\" as
// Exclusions reads them.
bool MatchesNamePattern(std::string_view pattern, std::string_view name);

} // namespace FileScan
