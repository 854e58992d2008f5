// Reverify: the side-by-side re-read of a group before its checked files are deleted.
#include "check/Reverify.h"

#include "scan/FileError.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>

namespace Check {
namespace {

    constexpr std::size_t kNoClass = static_cast<std::size_t>(-1);

    // True when b may be a reached through another mount: an overlay, a FUSE
    // pass-through or a share mounted twice shows one file with its inode number on a
    // device of its own. Two distinct files agree in all three only by chance.
    bool SameFileElsewhere(const Platform::FileInfo& a, const Platform::FileInfo& b)
    {
        return a.device != b.device && a.inode == b.inode && a.size == b.size && a.mtimeNs == b.mtimeNs;
    }

    bool OutOfDescriptors(const Platform::Status& err) { return err == Platform::Error::TooManyOpenFiles; }

    // Reads up to n bytes at offset, fewer only where the file ends. Returns the count,
    // or -1 with the reason in error.
    std::int64_t ReadFull(const Platform::ReadFile& file, std::uint64_t offset, char* buffer, std::size_t n,
        Platform::Status& error)
    {
        std::size_t done = 0;
        while (done < n) {
            const std::int64_t got = file.ReadAt(offset + done, buffer + done, n - done, &error);
            if (got < 0)
                return got;
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return static_cast<std::int64_t>(done);
    }

} // namespace

// One distinct file (device and inode) of the group, read once for all its names.
struct GroupReverify::Reader {
    std::string path;
    Platform::FileInfo info;
    Platform::ReadFile file;
    bool stayOpen = false;
    bool hasChecked = false;
    bool hasKept = false;
    Platform::Status error;
    bool changed = false;
    std::size_t contentClass = kNoClass;

    // Opens the file again when it was closed between blocks; a path that now opens
    // another file, or the same one changed, counts as changed. Returns the failure of
    // an open that ran out of descriptors without recording it: that is no property of
    // the file, and the caller frees some and asks again. Any other failure gives
    // Other, recorded in error or changed.
    Platform::Status Open()
    {
        if (file.IsOpen())
            return {};
        if (Failed())
            return Platform::Error::Other;
        const Platform::Status err = file.Open(path);
        if (OutOfDescriptors(err))
            return err;
        error = err;
        if (!error.Ok())
            return Platform::Error::Other;
        if (!Platform::SameFileUnchanged(file.Info(), info)) {
            changed = true;
            file.Close();
            return Platform::Error::Other;
        }
        file.AdviseSequential();
        return {};
    }
    bool Failed() const { return !error.Ok() || changed; }
};

namespace {

    using Reader = GroupReverify::Reader;

    // Closes every file kept open between blocks: from now on each is opened for its
    // block only. The answer to running out of descriptors.
    void KeepNoneOpen(std::vector<Reader>& readers)
    {
        for (Reader& reader : readers) {
            reader.stayOpen = false;
            reader.file.Close();
        }
    }

    // Opens reader r for its next block. Out of descriptors, it closes the files kept
    // open and tries once more; a shortage even then ends the whole re-read, since
    // nothing can be decided about the files. Returns false when the file failed.
    bool OpenForBlock(std::vector<Reader>& readers, std::size_t r)
    {
        Platform::Status err = readers[r].Open();
        if (OutOfDescriptors(err)) {
            KeepNoneOpen(readers);
            err = readers[r].Open();
            if (OutOfDescriptors(err))
                throw FileScan::FileError(FileScan::SystemErrorText(err));
        }
        return err.Ok();
    }

    // True while the set still holds a checked file and a different kept file, so that
    // reading on can still find a copy.
    bool WorthReading(const std::vector<Reader>& readers, const std::vector<std::size_t>& set)
    {
        std::size_t kept = 0;
        std::size_t onlyKept = 0;
        bool checked = false;
        for (std::size_t r : set) {
            if (readers[r].Failed())
                continue;
            if (readers[r].hasKept) {
                ++kept;
                onlyKept = r;
            }
            checked = checked || readers[r].hasChecked;
        }
        if (!checked || kept == 0)
            return false;
        if (kept > 1)
            return true;
        return std::any_of(set.begin(), set.end(),
            [&](std::size_t r) { return r != onlyKept && !readers[r].Failed() && readers[r].hasChecked; });
    }

    // Returns the first offset at or after offset where any file of the set may hold
    // data: before it, every file of the set reads as zeros. A file closed between
    // blocks is not asked and counts as holding data at offset.
    std::uint64_t CommonDataOffset(
        const std::vector<Reader>& readers, const std::vector<std::size_t>& set, std::uint64_t offset)
    {
        std::uint64_t common = UINT64_MAX;
        for (std::size_t r : set) {
            if (!readers[r].file.IsOpen())
                return offset;
            common = std::min(common, readers[r].file.NextDataOffset(offset));
            if (common <= offset)
                return offset;
        }
        return common;
    }

    // Sorts the readers into classes of identical bytes, each file read once from its
    // start to its end; sets contentClass of every reader that ended in a class of two
    // or more files.
    void CompareSideBySide(std::vector<Reader>& readers, const ReverifyOptions& options)
    {
        struct Work {
            std::vector<std::size_t> set;
            std::uint64_t offset = 0;
        };
        std::vector<Work> pending(1);
        for (std::size_t r = 0; r < readers.size(); ++r)
            pending[0].set.push_back(r);
        std::size_t classes = 0;
        std::vector<char> buffer;
        std::vector<std::int64_t> got;
        std::vector<std::vector<std::size_t>> parts;

        while (!pending.empty()) {
            Work work = std::move(pending.back());
            pending.pop_back();
            for (;;) {
                std::erase_if(work.set, [&](std::size_t r) { return readers[r].Failed(); });
                if (!WorthReading(readers, work.set))
                    break;
                work.offset = CommonDataOffset(readers, work.set, work.offset);

                const std::size_t n = std::clamp<std::size_t>(
                    options.memoryBytes / work.set.size(), 1, std::max<std::size_t>(options.blockBytes, 1));
                buffer.resize(n * work.set.size());
                got.assign(work.set.size(), -1);
                // One file at a time is opened beyond those kept open, however large
                // the group.
                for (std::size_t k = 0; k < work.set.size(); ++k) {
                    if (!OpenForBlock(readers, work.set[k]))
                        continue;
                    Reader& reader = readers[work.set[k]];
                    got[k] = ReadFull(reader.file, work.offset, buffer.data() + k * n, n, reader.error);
                    if (!reader.stayOpen || reader.Failed())
                        reader.file.Close();
                }

                // Split where the bytes (or the lengths) differ.
                parts.clear();
                for (std::size_t k = 0; k < work.set.size(); ++k) {
                    if (got[k] < 0)
                        continue;
                    const auto sameBlock = [&](const std::vector<std::size_t>& p) {
                        const std::size_t first = p.front();
                        const auto length = static_cast<std::size_t>(got[k]);
                        return got[first] == got[k]
                            && std::memcmp(buffer.data() + first * n, buffer.data() + k * n, length) == 0;
                    };
                    auto part = std::find_if(parts.begin(), parts.end(), sameBlock);
                    if (part == parts.end())
                        parts.push_back({ k });
                    else
                        part->push_back(k);
                }
                if (parts.size() == 1 && parts[0].size() == work.set.size()) {
                    const auto length = static_cast<std::uint64_t>(got[0]);
                    if (length < n) {
                        // Every file ended here, after the same bytes.
                        for (std::size_t r : work.set)
                            readers[r].contentClass = classes;
                        ++classes;
                        break;
                    }
                    work.offset += length;
                    continue;
                }
                for (const std::vector<std::size_t>& part : parts) {
                    if (part.size() < 2)
                        continue;
                    Work next;
                    next.offset = work.offset + static_cast<std::uint64_t>(got[part.front()]);
                    for (std::size_t k : part)
                        next.set.push_back(work.set[k]);
                    pending.push_back(std::move(next));
                }
                break;
            }
        }
        for (Reader& reader : readers)
            reader.file.Close();
    }

} // namespace

GroupReverify::GroupReverify(
    std::vector<std::string> paths, const std::vector<bool>& checked, const ReverifyOptions& options)
{
    m_members.resize(paths.size());
    std::vector<Reader> readers;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> readerOfFile;
    std::unordered_map<std::string, std::size_t> firstOfPath;
    bool shortOfDescriptors = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Member& member = m_members[i];
        member.path = std::move(paths[i]);
        member.firstOfPath = firstOfPath.try_emplace(member.path, i).first->second;
        member.checked = i < checked.size() && checked[i];
        Platform::ReadFile file;
        member.error = file.Open(member.path);
        if (OutOfDescriptors(member.error)) {
            KeepNoneOpen(readers);
            shortOfDescriptors = true;
            member.error = file.Open(member.path);
            if (OutOfDescriptors(member.error))
                throw FileScan::FileError(FileScan::SystemErrorText(member.error));
        }
        if (!member.error.Ok())
            continue;
        member.info = file.Info();
        const auto [at, added]
            = readerOfFile.try_emplace({ member.info.device, member.info.inode }, readers.size());
        member.reader = at->second;
        if (added) {
            Reader& reader = readers.emplace_back();
            reader.path = member.path;
            reader.info = member.info;
            reader.stayOpen = readers.size() <= options.maxOpenFiles && !shortOfDescriptors;
            if (reader.stayOpen) {
                file.AdviseSequential();
                reader.file = std::move(file);
            }
        }
        (member.checked ? readers[member.reader].hasChecked : readers[member.reader].hasKept) = true;
    }
    CompareSideBySide(readers, options);
    decide(readers);
}

void GroupReverify::decide(const std::vector<Reader>& readers)
{
    // Carry over what the read found out about each file to all its names.
    for (Member& member : m_members) {
        if (!member.error.Ok())
            continue;
        const Reader& reader = readers[member.reader];
        member.error = reader.error;
        member.changed = reader.changed || !Platform::SameFileUnchanged(member.info, reader.info);
    }
    const auto usable = [](const Member& m) { return m.error.Ok() && !m.changed; };
    const bool anyKept = std::any_of(
        m_members.begin(), m_members.end(), [&](const Member& m) { return !m.checked && usable(m); });

    for (Member& member : m_members) {
        if (!member.checked)
            continue;
        if (!member.error.Ok()) {
            member.verdict = KeepReason::Unreadable;
            continue;
        }
        if (member.changed) {
            member.verdict = KeepReason::Changed;
            continue;
        }
        if (!anyKept) {
            member.verdict = KeepReason::KeptUnreadable;
            continue;
        }
        const std::size_t contentClass = readers[member.reader].contentClass;
        bool sameFileKept = false;
        for (std::size_t k = 0; k < m_members.size(); ++k) {
            const Member& kept = m_members[k];
            if (kept.checked || !usable(kept))
                continue;
            if (kept.reader == member.reader || SameFileElsewhere(kept.info, member.info))
                sameFileKept = true;
            else if (contentClass != kNoClass && readers[kept.reader].contentClass == contentClass)
                member.partners.push_back(k);
        }
        if (member.partners.empty())
            member.verdict = sameFileKept ? KeepReason::SameFile : KeepReason::Differs;
    }
}

bool GroupReverify::stillAsRead(std::size_t i) const
{
    Platform::FileInfo now;
    return Platform::Stat(m_members[i].path, now).Ok() && Platform::SameFileUnchanged(now, m_members[i].info);
}

DeleteOutcome GroupReverify::DeleteChecked(std::size_t i, FileScan::RemoveMode mode)
{
    Member& member = m_members[i];
    DeleteOutcome outcome;
    if (!member.checked)
        return outcome;
    // The same path listed twice: once deleted, it is deleted under both lines.
    if (m_members[member.firstOfPath].deleted) {
        outcome.deleted = true;
        return outcome;
    }
    if (member.verdict != KeepReason::None) {
        outcome.reason = member.verdict;
        outcome.error = member.error;
        return outcome;
    }
    // Looked up again right before the deletion: what changed since the read is kept.
    if (!stillAsRead(i)) {
        outcome.reason = KeepReason::Changed;
        return outcome;
    }
    if (std::none_of(
            member.partners.begin(), member.partners.end(), [&](std::size_t k) { return stillAsRead(k); })) {
        outcome.reason = KeepReason::KeptChanged;
        return outcome;
    }
    const Platform::Status err = FileScan::RemoveFileBy(member.path, mode);
    if (err == Platform::Error::NoTrash)
        outcome.reason = KeepReason::NoTrash;
    else if (err.Ok() || err == Platform::Error::NotFound)
        outcome.deleted = m_members[member.firstOfPath].deleted = true;
    else
        outcome.error = err;
    return outcome;
}

} // namespace Check
