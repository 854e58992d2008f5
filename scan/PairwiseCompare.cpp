// PairwiseCompare: the two-file comparison the engine's results are held against.
#include "scan/PairwiseCompare.h"

#include "scan/ContentCompare.h"
#include "scan/FileError.h"
#include "scan/Platform.h"

#include <algorithm>
#include <memory>

namespace FileScan {

namespace {

    Platform::ReadFile OpenForCompare(const std::string& path)
    {
        Platform::ReadFile file;
        if (!file.Open(path).Ok())
            throw Files::FileError(Files::OpenErrorText(path));
        return file;
    }

} // namespace

bool SameFileContent(const std::string& a, const std::string& b)
{
    if (a == b)
        return false;
    Platform::ReadFile fa = OpenForCompare(a);
    Platform::ReadFile fb = OpenForCompare(b);
    // Without exclusive opens, a second name of the same file is refused here, so a
    // file is never reported as its own duplicate.
    if (fa.Info().device == fb.Info().device && fa.Info().inode == fb.Info().inode)
        throw Files::FileError(Files::OpenErrorText(b));
    const std::uint64_t size = fa.Info().size;
    if (size != fb.Info().size)
        return false;
    constexpr std::size_t kBlock = 128 * 1024;
    // Sized for small files and left uninitialised: every byte compared is read first.
    const auto bufferSize
        = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, std::max<std::uint64_t>(size, 1)));
    auto bufA = std::make_unique_for_overwrite<std::byte[]>(bufferSize);
    auto bufB = std::make_unique_for_overwrite<std::byte[]>(bufferSize);
    BlockCompare compare(bufA.get(), bufB.get(), bufferSize);
    fa.AdviseSequential();
    fb.AdviseSequential();
    for (std::uint64_t offset = 0; offset < size; offset += kBlock) {
        // Where both files have a hole, both read as zeros: skip it unread.
        offset = SharedHoleEnd({ &fa, &fb }, offset, size);
        if (offset >= size)
            break;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - offset));
        // A file that shrank since it was opened no longer equals the other.
        if (compare.ReadFirst(fa, offset, n) != static_cast<std::int64_t>(n))
            return false;
        std::int64_t got = 0;
        if (compare.ReadOther(fb, got) != BlockMatch::Same)
            return false;
    }
    return true;
}
} // namespace FileScan
