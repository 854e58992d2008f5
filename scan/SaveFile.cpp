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
    std::string CreateTemporary(const std::string& folder, Platform::WriteFile& file, Platform::Status& err)
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
            err = file.Create(name, Platform::WriteFile::Access::Default);
            if (err != Platform::Error::Exists)
                return name;
        }
        return {};
    }

} // namespace

void SaveFileReplacing(const std::string& target, const std::string& contents)
{
    Platform::WriteFile file;
    Platform::Status err;
    const std::string name = CreateTemporary(FileScan::ExtractFileDir(target), file, err);
    if (!err.Ok())
        throw FileError(CreateErrorText(target));
    UnfinishedFile temporary(name);
    if (!file.WriteAllAt(0, contents.data(), contents.size()).Ok() || !file.Close().Ok())
        throw FileError(kWriteStreamError);
    if (!Platform::RenameReplacing(temporary.Path(), target).Ok())
        throw FileError(CreateErrorText(target));
    temporary.Keep();
}

} // namespace Files
