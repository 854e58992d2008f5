// SaveFile: the temporary file, its flush and the final rename.
#include "scan/SaveFile.h"

#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "scan/Platform.h"

#include <cstdint>
#include <random>
#include <utility>

namespace Files {
namespace {

    // Creates a new hidden file in folder ("" for the current one) under a name nobody
    // holds; returns its path.
    std::string CreateTemporary(const std::string& folder, Platform::WriteFile::Access access,
        Platform::WriteFile& file, Platform::Status& err)
    {
        static const char kHex[] = "0123456789abcdef";
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = folder + ".tessarin-";
            std::uint64_t bits = random();
            for (int k = 0; k < 12; ++k, bits >>= 4)
                name += kHex[bits & 0x0F];
            name += ".tmp";
            err = file.Create(name, access);
            if (err != Platform::Error::Exists)
                return name;
        }
        return {};
    }

} // namespace

void SaveFileReplacing(const std::string& target, const std::string& contents)
{
    // A file that replaces another is its owner's alone until it has taken the other's
    // access; a new one is any new document.
    Platform::FileInfo old;
    const bool replacing = Platform::Stat(target, old).Ok();
    Platform::WriteFile file;
    Platform::Status err;
    const std::string name = CreateTemporary(FileScan::ExtractFileDir(target),
        replacing ? Platform::WriteFile::Access::OwnerOnly : Platform::WriteFile::Access::Default, file, err);
    if (!err.Ok())
        throw FileError(CreateErrorText(target));
    UnfinishedFile temporary(name);
    if (!file.WriteAllAt(0, contents.data(), contents.size()).Ok())
        throw FileError(kWriteStreamError);
    // Where the access cannot be taken (the old file went meanwhile), the file stays its
    // owner's alone: never wider than the one it replaces.
    if (replacing)
        (void)file.TakeAccessOf(target);
    if (!file.Close().Ok())
        throw FileError(kWriteStreamError);
    if (!Platform::RenameReplacing(temporary.Path(), target).Ok())
        throw FileError(CreateErrorText(target));
    temporary.Keep();
}

} // namespace Files
