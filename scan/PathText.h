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
// Returns the value of a hexadecimal digit (either case), -1 for any other character.
int HexValue(char c);

// Returns path as readable UTF-8 text, a different text for every path: every byte that
// is not part of a well-formed UTF-8 sequence, every control byte (0x00-0x1F, 0x7F), and
// a backslash that starts what reads as such an escape (a backslash, "x" and two hex
// digits in either case) becomes "\xNN" with two upper-case hex digits; the rest is
// copied. A name that is valid UTF-8 without control bytes or such backslashes reads
// unchanged.
std::string DisplayPath(const std::string& path);
// True when path is valid UTF-8 holding no backslash that DisplayPath escapes: written
// exactly (control bytes as they are), it can be told from every text DisplayPath
// writes for another path, since each of those holds an escape.
bool WritableAsIs(const std::string& path);
// Returns the bytes a text stands for, reversing DisplayPath: each "\xNN" (hex digits
// in either case) that DisplayPath writes for a byte it escapes becomes that byte; the
// rest, "\x41" included, is taken as it stands. PathFromDisplayText(DisplayPath(p)) is
// p for every p.
std::string PathFromDisplayText(const std::string& text);

} // namespace FileScan
