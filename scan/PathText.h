// PathText: how path bytes read as text, one rule for the window and the saved results.
#pragma once

#include <cstddef>
#include <string>

namespace FileScan {

// Returns the length of the well-formed UTF-8 sequence at text[k], 0 when none starts
// there.
std::size_t Utf8CharLength(const std::string& text, std::size_t k);

// True when text is well-formed UTF-8: no stray continuation bytes, overlong forms,
// surrogates or code points past U+10FFFF.
bool IsValidUtf8(const std::string& text);

// Returns path as readable UTF-8 text: every byte that is not part of a well-formed
// UTF-8 sequence, and every control byte (0x00-0x1F, 0x7F), becomes "\xNN" with two
// upper-case hex digits; the rest is copied.
std::string DisplayPath(const std::string& path);

} // namespace FileScan
