// ContentCompare: the two steps every content comparison is made of, shared by the
// engine, the re-verification before a deletion and SameFileContent: skipping the holes
// a set of files shares, and comparing one block of a file with a first file's block.
#pragma once

#include "scan/Platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace FileScan {

// Returns where the hole that every file shares at offset ends: the first offset at or
// after it where any of them may hold data, at most end. Returns offset when one of them
// holds data there, is not open (a file closed between blocks is not asked) or its file
// system cannot tell. fileOf(item) gives the reader of each item of files.
template <class Files, class FileOf>
std::uint64_t SharedHoleEnd(const Files& files, FileOf fileOf, std::uint64_t offset, std::uint64_t end)
{
    std::uint64_t data = end;
    for (const auto& item : files) {
        const Platform::ReadFile& file = fileOf(item);
        if (data <= offset || !file.IsOpen())
            return offset;
        data = std::min(data, file.NextData(offset));
    }
    return std::max(data, offset);
}

// The same for a few readers named one by one.
inline std::uint64_t SharedHoleEnd(
    std::initializer_list<const Platform::ReadFile*> files, std::uint64_t offset, std::uint64_t end)
{
    return SharedHoleEnd(
        files, [](const Platform::ReadFile* file) -> const Platform::ReadFile& { return *file; }, offset,
        end);
}

enum class BlockMatch {
    Same,
    // Read, with other bytes or another length than the first file's block.
    Differs,
    Unreadable,
};

// One block of a set of files compared the one way: the block of the set's first file
// is read, then the same block of each other file beside it, one file at a time. A file
// whose block differs can be hashed, so that the differing files are regrouped without
// comparing every pair. The buffers are the caller's (the engine aligns its own).
class BlockCompare {
public:
    // first and other each hold capacity bytes.
    BlockCompare(std::byte* first, std::byte* other, std::size_t capacity)
        : m_first(first)
        , m_other(other)
        , m_capacity(capacity)
    {
    }

    // Reads n bytes (at most the capacity) at offset of the first file. Returns the
    // count, fewer than n only where the file ends, or -1 with the reason in *error.
    std::int64_t ReadFirst(
        const Platform::ReadFile& file, std::uint64_t offset, std::size_t n, Platform::Status* error = nullptr)
    {
        m_offset = offset;
        m_n = std::min(n, m_capacity);
        m_firstGot = file.ReadFull(offset, m_first, m_n, error);
        return m_firstGot;
    }
    // Reads the same block of another file and compares it with the first file's: Same
    // when it has as many bytes and they are equal. got takes the count, or -1 with the
    // reason in *error.
    BlockMatch ReadOther(const Platform::ReadFile& file, std::int64_t& got, Platform::Status* error = nullptr);
    // Hashes what the last ReadOther read.
    std::uint64_t OtherHash() const;

private:
    std::byte* m_first;
    std::byte* m_other;
    std::size_t m_capacity;
    std::uint64_t m_offset = 0;
    std::size_t m_n = 0;
    std::int64_t m_firstGot = -1;
    std::int64_t m_otherGot = -1;
};

} // namespace FileScan
