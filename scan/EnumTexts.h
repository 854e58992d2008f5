// EnumTexts: one table per enum: each value's command-line word and the window's text.
#pragma once

#include <cstddef>

namespace Files {

template <typename Enum> struct EnumText {
    Enum value;
    // The word of tessarin-cli's output and options.
    const char* word;
    // The window's text; nullptr or "" where the value has none of its own.
    const char* text;
};

// Returns the entry of value in table, nullptr when it has none.
template <typename Enum, std::size_t N>
constexpr const EnumText<Enum>* FindEnumText(const EnumText<Enum> (&table)[N], Enum value)
{
    for (const EnumText<Enum>& entry : table)
        if (entry.value == value)
            return &entry;
    return nullptr;
}

} // namespace Files
