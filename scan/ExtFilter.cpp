// ExtFilter: the two readings of the extension field.
#include "scan/ExtFilter.h"

#include "scan/PathRoutines.h"

#include <algorithm>

namespace FileScan {

namespace {

    bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    bool AcceptedToken(const std::string& token)
    {
        if (token.size() < 2 || token[0] != '*' || token[1] != '.')
            return false;
        return std::all_of(token.begin() + 2, token.end(), [](char c) { return IsAsciiAlnum(c) || c == ';'; });
    }

    // U+3000 and U+FF1B in UTF-8: what a Japanese input method types for " " and ";".
    constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";
    constexpr std::string_view kFullWidthSemicolon = "\xEF\xBC\x9B";

    // Returns the length of the separator (";" or the full-width "；") at text[k], or 0.
    std::size_t SeparatorAt(std::string_view text, std::size_t k)
    {
        if (text[k] == ';')
            return 1;
        return text.substr(k).starts_with(kFullWidthSemicolon) ? kFullWidthSemicolon.size() : 0;
    }

    // Drops the ASCII and full-width spaces around text: typed around a separator, they
    // belong to no pattern.
    std::string_view TrimSpaces(std::string_view text)
    {
        for (;;) {
            if (text.starts_with(' '))
                text.remove_prefix(1);
            else if (text.starts_with(kFullWidthSpace))
                text.remove_prefix(kFullWidthSpace.size());
            else if (text.ends_with(' '))
                text.remove_suffix(1);
            else if (text.ends_with(kFullWidthSpace))
                text.remove_suffix(kFullWidthSpace.size());
            else
                return text;
        }
    }

    struct Piece {
        std::string_view text; // trimmed
        bool separated = false; // ended by a separator rather than by the end of the text
    };

    // Splits the trimmed field at its separators into trimmed pieces; the text after a
    // final separator is no piece.
    std::vector<Piece> SplitField(std::string_view text)
    {
        std::vector<Piece> pieces;
        std::size_t start = 0;
        for (std::size_t k = 0; k < text.size();) {
            const std::size_t separator = SeparatorAt(text, k);
            if (separator == 0) {
                ++k;
                continue;
            }
            pieces.push_back({ TrimSpaces(text.substr(start, k - start)), true });
            k += separator;
            start = k;
        }
        if (start < text.size())
            pieces.push_back({ TrimSpaces(text.substr(start)), false });
        return pieces;
    }

} // namespace

bool MeansEveryFile(std::string_view text) { return text.empty() || text == "*.*"; }

std::string NormalizeExtFilter(const std::string& text)
{
    std::string everyFile = "*.*";
    const std::string_view field = TrimSpaces(text);
    if (MeansEveryFile(field))
        return everyFile;
    std::string result;
    for (const Piece& piece : SplitField(field)) {
        std::string token(piece.text);
        if (piece.separated)
            token += ';';
        if (AcceptedToken(token))
            result += token;
    }
    return result.empty() ? everyFile : result;
}

void ParseExtList(const std::string& text, ExtList& list)
{
    const std::string_view field = TrimSpaces(text);
    if (MeansEveryFile(field))
        return;
    for (const Piece& piece : SplitField(field)) {
        // A field ending in "*" leaves its last piece open: it is never added.
        if (!piece.separated && field.ends_with('*'))
            continue;
        std::string entry;
        for (const char c : piece.text) {
            if (c != '*')
                entry += c;
        }
        list.push_back(UpperAscii(std::move(entry)));
    }
}

bool MatchesExtList(const std::string& path, const ExtList& list)
{
    if (list.empty())
        return true;
    const std::string ext = UpperAscii(ExtractFileExt(path));
    return std::any_of(list.begin(), list.end(), [&](const std::string& entry) { return UpperAscii(entry) == ext; });
}
} // namespace FileScan
