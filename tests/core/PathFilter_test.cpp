// Tests of PathFilter: case and width folding of what the user types to narrow results.
#include "check/PathFilter.h"

#include <gtest/gtest.h>

namespace {

TEST(PathFilter, IgnoresAsciiCaseAndWidthButNothingElse)
{
    struct Case {
        const char* text;
        const char* path;
        bool matches;
    };
    const Case cases[] = {
        { "", "/any", true },
        { "photo", "/home/me/Photos/a.jpg", true },
        { "PHOTOS/A", "/home/me/photos/a.jpg", true },
        // Full-width letters, digits, "/" and "." stand for their ASCII forms, both ways.
        { "\xEF\xBC\xB0\xEF\xBD\x88\xEF\xBD\x8F\xEF\xBD\x94\xEF\xBD\x8F", "/x/photo", true }, // Ｐｈｏｔｏ
        { "a\xEF\xBC\x8F" "2024\xEF\xBC\x8Ejpg", "/a/2024.jpg", true }, // ／ and ．
        { "photo", "/x/\xEF\xBC\xB0HOTO.jpg", true },
        { "\xE3\x80\x80" "05", "/kyoto 05.jpg", true }, // U+3000 space
        { "\xEF\xBD\x9E", "/a~b", true }, // ～ U+FF5E
        // Kana and kanji are not folded, nor is U+FF5F onward (half-width kana).
        { "\xE3\x82\xAB", "/\xE3\x83\xBB\xE3\x82\xAB", true },
        { "\xE3\x82\xAB", "/\xEF\xBD\xB6", false },
        { "photos", "/home/me/photo/s", false },
        { "a\xff", "/x/A\xff.jpg", true }, // bytes that are not UTF-8 match themselves
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check::PathFilter(c.text).Matches(c.path), c.matches) << c.text << " in " << c.path;
}

} // namespace
