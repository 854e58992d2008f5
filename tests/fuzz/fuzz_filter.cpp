// fuzz_filter: the extension filter routines and the exclusion patterns against plain
// models of their rules, and the invariants that tie them and the path routines
// together, the text of a path among them.
#include "scan/FileScan.h"
#include "scan/PathText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace FileScan;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b = {})
{
    std::fprintf(stderr, "invariant broken: %s\n  [%s]\n  [%s]\n", what, a.c_str(), b.c_str());
    std::abort();
}

#define REQUIRE(cond, ...)                                                                                   \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            Fail(#cond, __VA_ARGS__);                                                                        \
    } while (false)

bool Alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string UpperModel(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), Upper);
    return s;
}

const std::string kIdeographicSpace = "\xE3\x80\x80";
const std::string kFullWidthSemicolon = "\xEF\xBC\x9B";

// The field with every full-width ";" written as ";".
std::string AsciiSeparators(std::string text)
{
    for (std::size_t at = text.find(kFullWidthSemicolon); at != std::string::npos;
         at = text.find(kFullWidthSemicolon, at + 1))
        text.replace(at, kFullWidthSemicolon.size(), ";");
    return text;
}

// Drops ASCII and full-width spaces from both ends.
std::string Trimmed(std::string s)
{
    for (bool cut = true; cut;) {
        cut = false;
        for (const std::string& blank : { std::string(" "), kIdeographicSpace }) {
            if (s.size() >= blank.size() && s.compare(0, blank.size(), blank) == 0) {
                s.erase(0, blank.size());
                cut = true;
            }
            if (s.size() >= blank.size() && s.compare(s.size() - blank.size(), blank.size(), blank) == 0) {
                s.erase(s.size() - blank.size());
                cut = true;
            }
        }
    }
    return s;
}

// The field as ";"-separated pieces, each trimmed; the text after a final ";" is none.
std::vector<std::string> Pieces(const std::string& field)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t end; (end = field.find(';', start)) != std::string::npos; start = end + 1)
        pieces.push_back(Trimmed(field.substr(start, end - start)));
    if (start < field.size())
        pieces.push_back(Trimmed(field.substr(start)));
    return pieces;
}

// The dialog side: trimmed ";"-ended pieces, kept when they read "*." followed by
// letters and digits.
std::string NormalizeModel(const std::string& text)
{
    const std::string field = AsciiSeparators(Trimmed(text));
    if (field.empty() || field == "*.*")
        return "*.*";
    std::string accepted;
    const std::vector<std::string> pieces = Pieces(field);
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        const std::string& piece = pieces[p];
        bool ok = piece.size() >= 2 && piece[0] == '*' && piece[1] == '.';
        for (std::size_t t = 2; ok && t < piece.size(); ++t)
            ok = Alnum(piece[t]);
        const bool separated = p + 1 < pieces.size() || field.back() == ';';
        if (ok)
            accepted += piece + (separated ? ";" : "");
    }
    return accepted.empty() ? "*.*" : accepted;
}

// The scan side: trimmed pieces with every "*" dropped; the last piece of a field that
// ends in "*" is left out.
ExtList ParseModel(const std::string& text)
{
    ExtList list;
    const std::string field = AsciiSeparators(Trimmed(text));
    if (field.empty() || field == "*.*")
        return list;
    const std::vector<std::string> pieces = Pieces(field);
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (p + 1 == pieces.size() && field.back() == '*')
            break;
        std::string entry;
        for (const char c : pieces[p]) {
            if (c != '*')
                entry += c;
        }
        list.push_back(UpperModel(entry));
    }
    return list;
}

bool MatchesModel(const std::string& path, const ExtList& list)
{
    if (list.empty())
        return true;
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::string ext
        = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
    return std::any_of(
        list.begin(), list.end(), [&](const std::string& e) { return UpperModel(e) == UpperModel(ext); });
}

std::string Flipped(std::string s)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return s;
}

// ---- exclusion patterns ----

// The characters of text: each valid UTF-8 sequence is its code point, every other byte
// 0x110000 plus itself.
std::vector<std::uint32_t> Chars(const std::string& text)
{
    std::vector<std::uint32_t> chars;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1
            : lead >= 0xC2 && lead <= 0xDF     ? 2
            : lead >= 0xE0 && lead <= 0xEF     ? 3
            : lead >= 0xF0 && lead <= 0xF4     ? 4
                                               : 0;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = length > 0 && at + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[at + k]) & 0xC0) == 0x80;
            code = (code << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
        }
        const std::uint32_t least[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (valid && (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        chars.push_back(valid ? code : 0x110000 + lead);
        at += valid ? length : 1;
    }
    return chars;
}

// One element of a name pattern: a character, "?" (any), "*" (star) or a set.
struct Element {
    enum Kind { Char, Any, Star, Set };
    Kind kind = Char;
    std::uint32_t code = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    bool negated = false;
};

Element Make(Element::Kind kind, std::uint32_t code = 0)
{
    Element element;
    element.kind = kind;
    element.code = code;
    return element;
}

std::vector<Element> Elements(const std::vector<std::uint32_t>& p)
{
    std::vector<Element> elements;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '*') {
            elements.push_back(Make(Element::Star));
        } else if (p[i] == '?') {
            elements.push_back(Make(Element::Any));
        } else if (p[i] == '\\' && i + 1 < p.size()) {
            elements.push_back(Make(Element::Char, p[++i]));
        } else if (p[i] == '[') {
            Element set = Make(Element::Set);
            std::size_t j = i + 1;
            if (j < p.size() && (p[j] == '!' || p[j] == '^')) {
                set.negated = true;
                ++j;
            }
            bool closed = false;
            for (bool first = true; j < p.size(); first = false) {
                if (p[j] == ']' && !first) {
                    closed = true;
                    break;
                }
                std::uint32_t low = p[j] == '\\' && j + 1 < p.size() ? p[++j] : p[j];
                ++j;
                std::uint32_t high = low;
                if (j + 1 < p.size() && p[j] == '-' && p[j + 1] != ']') {
                    j += 1;
                    high = p[j] == '\\' && j + 1 < p.size() ? p[++j] : p[j];
                    ++j;
                }
                set.ranges.emplace_back(low, high);
            }
            if (closed) {
                elements.push_back(set);
                i = j;
            } else {
                elements.push_back(Make(Element::Char, '['));
            }
        } else {
            elements.push_back(Make(Element::Char, p[i]));
        }
    }
    return elements;
}

bool NameMatchModel(const std::string& pattern, const std::string& name)
{
    const std::vector<Element> e = Elements(Chars(pattern));
    const std::vector<std::uint32_t> n = Chars(name);
    // can[i][j]: elements from i match characters from j.
    std::vector<std::vector<char>> can(e.size() + 1, std::vector<char>(n.size() + 1, 0));
    can[e.size()][n.size()] = 1;
    for (std::size_t i = e.size(); i-- > 0;) {
        for (std::size_t j = n.size() + 1; j-- > 0;) {
            const Element& x = e[i];
            if (x.kind == Element::Star) {
                can[i][j] = can[i + 1][j] || (j < n.size() && can[i][j + 1]);
                continue;
            }
            if (j == n.size())
                continue;
            bool one = x.kind == Element::Any || (x.kind == Element::Char && x.code == n[j]);
            if (x.kind == Element::Set) {
                const bool in = std::any_of(x.ranges.begin(), x.ranges.end(),
                    [&](const auto& r) { return r.first <= n[j] && n[j] <= r.second; });
                one = in != x.negated;
            }
            can[i][j] = one && can[i + 1][j + 1];
        }
    }
    return can[0][0] != 0;
}

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts { "" };
    for (const char c : text) {
        if (c == '/')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// parts[i...] ("**" any number of names) against names[j...].
bool PathMatchModel(const std::vector<std::string>& parts, std::size_t i,
    const std::vector<std::string>& names, std::size_t j)
{
    if (i == parts.size())
        return j == names.size();
    if (parts[i] == "**") {
        for (std::size_t k = j; k <= names.size(); ++k) {
            if (PathMatchModel(parts, i + 1, names, k))
                return true;
        }
        return false;
    }
    return j < names.size() && NameMatchModel(parts[i], names[j])
        && PathMatchModel(parts, i + 1, names, j + 1);
}

bool ExcludedModel(std::string pattern, const std::string& relative, bool folder)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!pattern.empty() && blank(pattern.back()))
        pattern.pop_back();
    while (!pattern.empty() && blank(pattern.front()))
        pattern.erase(0, 1);
    bool foldersOnly = false;
    while (!pattern.empty() && pattern.back() == '/') {
        pattern.pop_back();
        foldersOnly = true;
    }
    const bool anchored = pattern.find('/') != std::string::npos;
    while (!pattern.empty() && pattern.front() == '/')
        pattern.erase(0, 1);
    if (pattern.empty() || (foldersOnly && !folder))
        return false;
    const std::vector<std::string> names = Split(relative);
    if (!anchored)
        return NameMatchModel(pattern, names.back());
    std::vector<std::string> parts;
    for (const std::string& part : Split(pattern)) {
        if (!part.empty())
            parts.push_back(part);
    }
    return PathMatchModel(parts, 0, names, 0);
}

// Draws text that is mostly pattern syntax, names and a few multi-byte characters.
std::string PatternishText(FuzzedDataProvider& in, std::size_t pieces)
{
    static const char* const kPieces[] = { "*", "?", "[", "]", "!", "^", "-", "\\", "/", "**", " ", "a", "b",
        "c", ".", "x", "\xe5\x86\x99", "\xe7\x9c\x9f", "\xff", "\xe3\x81", "\x82", "ab", ".tmp" };
    std::string text;
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, pieces);
    for (std::size_t k = 0; k < count; ++k)
        text += kPieces[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kPieces) - 1)];
    return text;
}

void CheckExclusions(FuzzedDataProvider& in)
{
    std::vector<std::string> patterns;
    for (int k = in.ConsumeIntegralInRange(1, 3); k > 0; --k)
        patterns.push_back(PatternishText(in, 8));
    std::string relative = PatternishText(in, 10);
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    if (relative.empty() || relative.front() == '/' || relative.find("//") != std::string::npos)
        return;
    const bool folder = in.ConsumeBool();
    const FileScan::Exclusions exclusions(FileScan::ExclusionRules { patterns, 0, UINT64_MAX, false });
    const bool model = std::any_of(patterns.begin(), patterns.end(),
        [&](const std::string& p) { return ExcludedModel(p, relative, folder); });
    std::string all;
    for (const std::string& p : patterns)
        all += "{" + p + "}";
    REQUIRE(exclusions.Excludes(relative, folder) == model, all, relative + (folder ? " (folder)" : ""));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        CheckExclusions(in);
        return 0;
    }
    const std::string text = in.ConsumeRandomLengthString(64);
    const std::string path = in.ConsumeRandomLengthString(64);
    const std::string seed = in.ConsumeRemainingBytesAsString();

    // The models build only "*."-and-letters pieces and upper-cased entries without "*",
    // so equality with them holds the shape of the results too.
    const std::string normalized = NormalizeExtFilter(text);
    REQUIRE(normalized == NormalizeModel(text), text, normalized);

    // ParseExtList appends: what a list held before stays in front.
    ExtList list { seed };
    ParseExtList(text, list);
    REQUIRE(!list.empty() && list.front() == seed, text, seed);
    list.erase(list.begin());
    REQUIRE(list == ParseModel(text), text);

    const bool matches = MatchesExtList(path, list);
    REQUIRE(matches == MatchesModel(path, list), path, text);
    // Matching ignores ASCII letter case, of the path and of the list.
    REQUIRE(MatchesExtList(Flipped(path), list) == matches, path, text);
    REQUIRE(MatchesExtList(UpperAscii(path), list) == matches, path, text);
    ExtList lowered;
    for (const std::string& e : list)
        lowered.push_back(Flipped(e));
    REQUIRE(MatchesExtList(path, lowered) == matches, path, text);
    // A file whose extension is an entry matches.
    for (const std::string& e : list) {
        if (e.empty())
            REQUIRE(MatchesExtList("/dir/name", list), text);
        else if (e[0] == '.' && e.find_first_of("./", 1) == std::string::npos)
            REQUIRE(MatchesExtList("/dir/name" + Flipped(e), list), text, e);
    }

    // The path routines split a path into its folder and its name, and the extension
    // is a tail of the name.
    const std::string dir = ExtractFileDir(path);
    const std::string name = ExtractFileName(path);
    const std::string ext = ExtractFileExt(path);
    REQUIRE(dir + name == path, path, dir);
    REQUIRE(name.find('/') == std::string::npos, path, name);
    REQUIRE(
        ext.size() <= name.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0, path, ext);
    REQUIRE(ext.empty() || (ext[0] == '.' && ext.find('.', 1) == std::string::npos), path, ext);
    REQUIRE(UpperAscii(path) == UpperModel(path), path);
    if (!seed.empty() && seed.find('/') == std::string::npos) {
        const std::string joined = JoinPath(path, seed);
        REQUIRE(ExtractFileName(joined) == seed, joined, seed);
        REQUIRE(joined.find("//") == std::string::npos || path.find("//") != std::string::npos, joined, path);
    }

    // One text per path: the window's text comes back as the path, reads as UTF-8 without
    // control bytes, and leaves an ordinary name as it is; a path the saved results write
    // as it is cannot be the text of another path.
    const std::string shown = DisplayPath(path);
    REQUIRE(PathFromDisplayText(shown) == path, path, shown);
    REQUIRE(IsValidUtf8(shown) && std::none_of(shown.begin(), shown.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    }), path, shown);
    const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    REQUIRE(!(WritableAsIs(path) && plain) || shown == path, path, shown);
    REQUIRE(WritableAsIs(path) || !WritableAsIs(shown), path, shown);
    if (seed != path) {
        REQUIRE(DisplayPath(seed) != shown, path, seed);
        const auto written = [](const std::string& p) { return WritableAsIs(p) ? p : DisplayPath(p); };
        REQUIRE(written(seed) != written(path), path, seed);
    }
    return 0;
}
