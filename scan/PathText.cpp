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

} // namespace

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
        if (length != 0 && byte >= 0x20 && byte != 0x7F) {
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

} // namespace FileScan
