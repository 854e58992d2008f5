// FileOps: no-replace rename, move by rename or by a checked copy, and delete.
#include "scan/FileOps.h"

#include "scan/ContentCompare.h"
#include "scan/FileScan.h"
#include "scan/Platform.h"
#include "scan/PlatformActions.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace Files {
namespace {

    constexpr std::size_t kCopyBlock = std::size_t { 1 } << 20;

    // Moves source to a newly created target on another file system: copies to the end
    // of the source, then deletes the source only while its path still names the file
    // that was copied, unchanged. Holes of a sparse source stay holes; the target is
    // private while it is written and gets the source's permissions and times at the end.
    FileOpResult CopyThenDelete(
        const std::string& source, const std::string& target, const Platform::FileStamp* expected)
    {
        Platform::ReadFile in;
        if (!in.Open(source).Ok())
            throw FileError(OpenErrorText(source));
        const Platform::FileInfo opened = in.Info();
        if (expected && Platform::StampOf(opened) != *expected)
            throw FileError(ChangedDuringMoveText(source));

        Platform::WriteFile out;
        const Platform::Status created = out.Create(target);
        if (created == Platform::Error::Exists)
            return FileOpResult::TargetExists;
        if (!created.Ok())
            throw FileError(CreateErrorText(target));
        UnfinishedFile partial(target);

        in.AdviseSequential();
        std::vector<char> buffer(kCopyBlock);
        std::uint64_t offset = 0;
        for (;;) {
            offset = FileScan::SharedHoleEnd({ &in }, offset, opened.size);
            const std::int64_t got = in.ReadFull(offset, buffer.data(), buffer.size());
            if (got < 0)
                throw FileError(kReadStreamError);
            if (got == 0)
                break;
            if (!out.WriteAllAt(offset, buffer.data(), static_cast<std::size_t>(got)).Ok())
                throw FileError(kWriteStreamError);
            offset += static_cast<std::uint64_t>(got);
        }
        in.AdviseDone();
        // Written to while it was copied (a log that grew, a file truncated): the copy
        // may miss what came last.
        Platform::FileInfo after;
        if (!in.StatNow(after).Ok() || !Platform::SameFileUnchanged(after, opened) || offset < opened.size)
            throw FileError(ChangedDuringMoveText(source));
        if (!out.SetSize(opened.size).Ok())
            throw FileError(kWriteStreamError);
        // A file system without permissions or times leaves the target private and
        // dated now, which loses no data.
        out.CopyAttributes(opened);
        if (!out.Close().Ok())
            throw FileError(kWriteStreamError);
        Platform::FileInfo written;
        if (!Platform::Stat(target, written).Ok() || written.size != opened.size)
            throw FileError(kWriteStreamError);

        // Removed only while the path names the file copied, unchanged: a path that
        // names another file now (an editor saved a new version over it, a folder on the
        // way became a link) or a changed file keeps everything.
        const Platform::Status removed = Platform::RemoveFileIfSame(source, Platform::StampOf(opened));
        if (removed == Platform::Error::Changed)
            throw FileError(ChangedDuringMoveText(source));
        // The copy is complete: it stays, beside the source when that cannot go, alone
        // when the source is gone already.
        partial.Keep();
        if (!removed.Ok() && removed != Platform::Error::NotFound)
            throw FileError(SourceKeptAfterCopyText(source, target, removed));
        return FileOpResult::Done;
    }

} // namespace

FileOpResult RenameFile(const std::string& from, const std::string& to)
{
    if (Platform::Exists(to))
        return FileOpResult::TargetExists;
    const Platform::Status err = Platform::RenameNoReplace(from, to);
    if (err == Platform::Error::Exists)
        return FileOpResult::TargetExists;
    if (!err.Ok())
        throw FileError(SystemErrorText(err));
    return FileOpResult::Done;
}

UnfinishedFile::~UnfinishedFile()
{
    if (!m_kept)
        Platform::RemoveFile(m_path);
}

void CheckNewName(const std::string& folder, const std::string& name)
{
    const bool invalid = name.empty() || name == "." || name == ".." || name.find(Platform::kSeparator) != std::string::npos
        || name.find('\0') != std::string::npos || name.size() > Platform::MaxNameBytes(folder);
    if (invalid)
        throw FileError(kInvalidFilename);
}

FileOpResult RenameInFolder(const std::string& path, const std::string& newName)
{
    const std::string folder = FileScan::ExtractFileDir(path);
    CheckNewName(folder, newName);
    return RenameFile(path, folder + newName);
}

std::string PadNumber(std::int64_t number, int digits)
{
    // A precision of at least 1 keeps the number 0 from printing as nothing.
    const int precision = digits >= 1 && digits <= 16 ? digits : 1;
    char text[48];
    std::snprintf(text, sizeof text, "%.*lld", precision, static_cast<long long>(number));
    return text;
}

std::string MoveTarget(const std::string& file, const std::string& folder)
{
    return FileScan::JoinPath(folder, FileScan::ExtractFileName(file));
}

FileOpResult MoveFileToFolder(
    const std::string& file, const std::string& folder, const Platform::FileStamp* expected)
{
    const std::string target = MoveTarget(file, folder);
    Platform::FileInfo info;
    if (!Platform::Stat(file, info).Ok() || info.kind != Platform::EntryKind::Regular)
        throw FileError(OpenErrorText(file));
    if (expected && Platform::StampOf(info) != *expected)
        return FileOpResult::Changed;
    if (Platform::Exists(target))
        return FileOpResult::TargetExists;
    return MoveFileTo(file, target, expected);
}

FileOpResult MoveFileTo(const std::string& file, const std::string& target, const Platform::FileStamp* expected)
{
    const Platform::Status renamed = expected ? Platform::RenameNoReplaceIfSame(file, *expected, target)
                                              : Platform::RenameNoReplace(file, target);
    if (renamed.Ok())
        return FileOpResult::Done;
    if (renamed == Platform::Error::Exists)
        return FileOpResult::TargetExists;
    if (renamed == Platform::Error::Changed)
        return FileOpResult::Changed;
    if (renamed != Platform::Error::CrossDevice)
        throw FileError(SystemErrorText(renamed));

    return CopyThenDelete(file, target, expected);
}

Platform::Status RemoveFileNow(const std::string& path) { return Platform::RemoveFile(path); }

Platform::Status RemoveFileBy(const std::string& path, RemoveMode mode)
{
    return mode == RemoveMode::Delete ? Platform::RemoveFile(path) : Platform::MoveToTrash(path);
}

Platform::Status RemoveFileBy(const std::string& path, RemoveMode mode, const Platform::FileStamp& expected)
{
    return mode == RemoveMode::Delete ? Platform::RemoveFileIfSame(path, expected)
                                      : Platform::MoveToTrashIfSame(path, expected);
}

} // namespace Files
