// fuzz_filter: the extension filter routines against a plain model of their rules, and
// the invariants that tie them and the path routines together, the text of a path among
// them.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
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
