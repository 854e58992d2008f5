// FileOps: no-replace rename, move by rename or by a checked copy, and delete.
#include "scan/FileOps.h"

#include "scan/FileScan.h"
#include "scan/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace FileScan {
namespace {

    constexpr std::size_t kCopyBlock = std::size_t { 1 } << 20;

    // Removes a target this module created unless the copy into it completed.
    class PartialTarget {
    public:
        explicit PartialTarget(const std::string& path)
            : m_path(path)
        {
        }
        ~PartialTarget()
        {
            if (!m_kept)
                Platform::RemoveFile(m_path);
        }
        PartialTarget(const PartialTarget&) = delete;
        PartialTarget& operator=(const PartialTarget&) = delete;
        void Keep() { m_kept = true; }

    private:
        const std::string& m_path;
        bool m_kept = false;
    };

    // Copies source into a newly created target. Holes of a sparse source stay holes.
    FileOpResult CopyToNewFile(const std::string& source, const std::string& target)
    {
        Platform::ReadFile in;
        if (in.Open(source) != 0)
            throw FileError(OpenErrorText(source));
        const std::uint64_t size = in.Info().size;

        Platform::WriteFile out;
        const int created = out.Create(target);
        if (created == EEXIST)
            return FileOpResult::TargetExists;
        if (created != 0)
            throw FileError(CreateErrorText(target));
        PartialTarget partial(target);

        in.AdviseSequential();
        std::vector<char> buffer(kCopyBlock);
        std::uint64_t offset = 0;
        while (offset < size) {
            offset = std::max(offset, in.NextDataOffset(offset));
            if (offset >= size)
                break;
            const std::size_t want
                = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset));
            const std::int64_t got = in.ReadAt(offset, buffer.data(), want);
            // 0 before the recorded size: the source shrank under us.
            if (got <= 0)
                throw FileError(kReadStreamError);
            if (out.WriteAllAt(offset, buffer.data(), static_cast<std::size_t>(got)) != 0)
                throw FileError(kWriteStreamError);
            offset += static_cast<std::uint64_t>(got);
        }
        in.AdviseDone();
        if (out.SetSize(size) != 0 || out.Close() != 0)
            throw FileError(kWriteStreamError);
        Platform::FileInfo written;
        if (Platform::Stat(target, written) != 0 || written.size != size)
            throw FileError(kWriteStreamError);
        partial.Keep();
        return FileOpResult::Done;
    }

} // namespace

FileOpResult RenameFile(const std::string& from, const std::string& to)
{
    if (Platform::Exists(to))
        return FileOpResult::TargetExists;
    const int err = Platform::RenameNoReplace(from, to);
    if (err == EEXIST)
        return FileOpResult::TargetExists;
    if (err != 0)
        throw FileError(SystemErrorText(err));
    return FileOpResult::Done;
}

std::string MoveTarget(const std::string& file, const std::string& folder)
{
    return JoinPath(folder, ExtractFileName(file));
}

FileOpResult MoveFileToFolder(const std::string& file, const std::string& folder)
{
    const std::string target = MoveTarget(file, folder);
    Platform::FileInfo info;
    if (Platform::Stat(file, info) != 0 || info.kind != Platform::EntryKind::Regular)
        throw FileError(OpenErrorText(file));
    if (Platform::Exists(target))
        return FileOpResult::TargetExists;

    const int renamed = Platform::RenameNoReplace(file, target);
    if (renamed == 0)
        return FileOpResult::Done;
    if (renamed == EEXIST)
        return FileOpResult::TargetExists;
    if (renamed != EXDEV)
        throw FileError(SystemErrorText(renamed));

    if (CopyToNewFile(file, target) == FileOpResult::TargetExists)
        return FileOpResult::TargetExists;
    // The copy is complete and stays; the user learns from the error box (for example
    // "File access denied.") that the original could not be removed.
    if (const int err = Platform::RemoveFile(file); err != 0)
        throw FileError(SystemErrorText(err));
    return FileOpResult::Done;
}

int DeleteFile(const std::string& path) { return Platform::RemoveFile(path); }

std::string PadNumber(std::int64_t number, int digits)
{
    // A precision of at least 1 keeps the number 0 from printing as nothing.
    const int precision = digits >= 1 && digits <= 16 ? digits : 1;
    char text[48];
    std::snprintf(text, sizeof text, "%.*lld", precision, static_cast<long long>(number));
    return text;
}

} // namespace FileScan
