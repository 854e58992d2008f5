// PathText: UTF-8 checking and the "\xNN" escapes of path bytes.
#include "scan/PathText.h"

#include <cstddef>

namespace FileScan {
namespace {

    // Length of the well-formed UTF-8 sequence at text[k], or 0 when it is not one.
    std::size_t Utf8SequenceLength(const std::string& text, std::size_t k)
    {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
        const unsigned char lead = byte(k);
        std::size_t length = 0;
        char32_t min = 0;
        char32_t code = 0;
        if (lead < 0x80)
            return 1;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            min = 0x80;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            min = 0x800;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            min = 0x10000;
            code = lead & 0x07;
        } else {
            return 0;
        }
        if (k + length > text.size())
            return 0;
        for (std::size_t i = 1; i < length; ++i) {
            if ((byte(k + i) & 0xC0) != 0x80)
                return 0;
            code = (code << 6) | (byte(k + i) & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return 0;
        return length;
    }

    // True when text[k] starts a backslash, "x" and two hex digits.
    bool ReadsAsEscape(const std::string& text, std::size_t k)
    {
        return text[k] == '\\' && k + 3 < text.size() && text[k + 1] == 'x' && HexValue(text[k + 2]) >= 0
            && HexValue(text[k + 3]) >= 0;
    }

    // True when DisplayPath writes the (valid UTF-8) character at text[k] as an escape:
    // a control byte, or a backslash that would read as an escape.
    bool EscapedAlone(const std::string& text, std::size_t k)
    {
        const auto byte = static_cast<unsigned char>(text[k]);
        return byte < 0x20 || byte == 0x7F || ReadsAsEscape(text, k);
    }

} // namespace

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::size_t Utf8CharLength(const std::string& text, std::size_t k) { return Utf8SequenceLength(text, k); }

bool IsValidUtf8(const std::string& text)
{
    for (std::size_t k = 0; k < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, k);
        if (length == 0)
            return false;
        k += length;
    }
    return true;
}

std::string DisplayPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(path.size());
    for (std::size_t k = 0; k < path.size();) {
        const auto byte = static_cast<unsigned char>(path[k]);
        const std::size_t length = Utf8SequenceLength(path, k);
        if (length != 0 && !EscapedAlone(path, k)) {
            text.append(path, k, length);
            k += length;
            continue;
        }
        text += "\\x";
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
        ++k;
    }
    return text;
}

bool WritableAsIs(const std::string& path)
{
    for (std::size_t k = 0; k < path.size();) {
        const std::size_t length = Utf8SequenceLength(path, k);
        if (length == 0 || ReadsAsEscape(path, k))
            return false;
        k += length;
    }
    return true;
}

std::string PathFromDisplayText(const std::string& text)
{
    std::string path;
    path.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (ReadsAsEscape(text, k)) {
            const auto byte = static_cast<unsigned char>(HexValue(text[k + 2]) * 16 + HexValue(text[k + 3]));
            // Only bytes DisplayPath escapes: "\x41" typed by the user stays text.
            if (byte < 0x20 || byte == 0x7F || byte >= 0x80 || byte == '\\') {
                path += static_cast<char>(byte);
                k += 3;
                continue;
            }
        }
        path += text[k];
    }
    return path;
}

} // namespace FileScan
