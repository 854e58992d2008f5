// JsonText: JSON strings and base64, written once for the export and the journal.
#include "check/JsonText.h"

#include <algorithm>
#include <cstdint>

namespace Check {
namespace {
    constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

void AppendJsonString(std::string& out, const std::string& text)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string Base64(const std::string& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t k = 0; k < bytes.size(); k += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - k);
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < 3; ++i)
            bits = (bits << 8) | (i < n ? static_cast<unsigned char>(bytes[k + i]) : 0U);
        for (std::size_t i = 0; i < 4; ++i)
            out += i <= n ? kBase64[(bits >> (18 - 6 * i)) & 0x3F] : '=';
    }
    return out;
}

std::optional<std::string> FromBase64(const std::string& text)
{
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=')
            break;
        const char* at = std::find(kBase64, kBase64 + 64, c);
        if (at == kBase64 + 64)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(at - kBase64);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 2)
        out += static_cast<char>(bits >> 4);
    else if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    } else if (count == 1)
        return std::nullopt;
    return out;
}

} // namespace Check
