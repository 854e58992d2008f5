// GroupReverify: the side-by-side re-read of a group before its checked files are deleted.
#include "check/GroupReverify.h"

#include "scan/ContentCompare.h"
#include "scan/FileError.h"

#include <algorithm>
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
        return a.device != b.device && a.inode == b.inode && a.size == b.size && a.mtime == b.mtime;
    }

    bool OutOfDescriptors(const Platform::Status& err) { return err == Platform::Error::TooManyOpenFiles; }

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

    // A set of files equal before offset.
    struct Work {
        std::vector<std::size_t> set;
        std::uint64_t offset = 0;
    };

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
                throw Files::FileError(Files::SystemErrorText(err));
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

    // Returns where the hole every file of the set shares at offset ends, no further
    // than the end of the shortest: before it, every file of the set reads as zeros.
    std::uint64_t CommonDataOffset(
        const std::vector<Reader>& readers, const std::vector<std::size_t>& set, std::uint64_t offset)
    {
        std::uint64_t end = Platform::kNoData;
        for (std::size_t r : set)
            end = std::min(end, std::max(offset, readers[r].info.size));
        return FileScan::SharedHoleEnd(
            set, [&](std::size_t r) -> const Platform::ReadFile& { return readers[r].file; }, offset, end);
    }

    // Reads one block of the set's files side by side, one file at a time beyond those
    // kept open: the first readable file's block, then each other's compared with it.
    // Files whose block differs go to pending by block hash, to be compared again from
    // this block on. Returns the length of the first file's block, or -1 when no file of
    // the set could be read; set keeps the files equal to the first one.
    std::int64_t CompareBlock(std::vector<Reader>& readers, std::vector<std::size_t>& set,
        std::uint64_t offset, FileScan::BlockCompare& compare, std::size_t n, std::vector<Work>& pending)
    {
        std::int64_t first = -1;
        std::vector<std::pair<std::uint64_t, std::size_t>> differing;
        std::size_t kept = 0;
        for (std::size_t k = 0; k < set.size(); ++k) {
            if (!OpenForBlock(readers, set[k]))
                continue;
            Reader& reader = readers[set[k]];
            std::int64_t got = 0;
            FileScan::BlockMatch match = FileScan::BlockMatch::Same;
            if (first < 0)
                got = first = compare.ReadFirst(reader.file, offset, n, &reader.error);
            else
                match = compare.ReadOther(reader.file, got, &reader.error);
            // A block that does not read leaves its reason in reader.error.
            if (got >= 0 && match == FileScan::BlockMatch::Differs)
                differing.emplace_back(compare.OtherHash(), set[k]);
            else if (got >= 0)
                set[kept++] = set[k];
            if (!reader.stayOpen || reader.Failed())
                reader.file.Close();
        }
        set.resize(kept);
        std::sort(differing.begin(), differing.end());
        for (std::size_t run = 0; run < differing.size();) {
            std::size_t stop = run + 1;
            while (stop < differing.size() && differing[stop].first == differing[run].first)
                ++stop;
            if (stop - run >= 2) {
                Work& next = pending.emplace_back();
                next.offset = offset;
                for (std::size_t d = run; d < stop; ++d)
                    next.set.push_back(differing[d].second);
            }
            run = stop;
        }
        return first;
    }

    // Sorts the readers into classes of identical bytes, each file read from its start to
    // its end; sets contentClass of every reader that ended in a class of two or more
    // files.
    void CompareSideBySide(std::vector<Reader>& readers, const ReverifyOptions& options)
    {
        std::vector<Work> pending(1);
        for (std::size_t r = 0; r < readers.size(); ++r)
            pending[0].set.push_back(r);
        std::size_t classes = 0;
        const std::size_t n = std::max<std::size_t>(options.blockBytes, 1);
        std::vector<std::byte> first(n);
        std::vector<std::byte> other(n);
        FileScan::BlockCompare compare(first.data(), other.data(), n);

        while (!pending.empty()) {
            Work work = std::move(pending.back());
            pending.pop_back();
            for (;;) {
                std::erase_if(work.set, [&](std::size_t r) { return readers[r].Failed(); });
                if (!WorthReading(readers, work.set))
                    break;
                work.offset = CommonDataOffset(readers, work.set, work.offset);
                const std::size_t before = work.set.size();
                const std::int64_t length = CompareBlock(readers, work.set, work.offset, compare, n, pending);
                if (length < 0)
                    continue;
                if (static_cast<std::size_t>(length) < n && work.set.size() == before) {
                    // Every file ended here, after the same bytes.
                    for (std::size_t r : work.set)
                        readers[r].contentClass = classes;
                    ++classes;
                    break;
                }
                work.offset += static_cast<std::uint64_t>(length);
            }
        }
        for (Reader& reader : readers)
            reader.file.Close();
    }

} // namespace

GroupReverify::GroupReverify(
    const std::vector<FoundFile>& files, const std::vector<bool>& checked, const ReverifyOptions& options)
{
    m_members.resize(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        m_members[i].path = files[i].path;
        m_members[i].found = files[i].stamp;
    }
    read(checked, options);
}

GroupReverify::GroupReverify(
    std::vector<std::string> paths, const std::vector<bool>& checked, const ReverifyOptions& options)
{
    m_members.resize(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        m_members[i].path = std::move(paths[i]);
    read(checked, options);
}

void GroupReverify::read(const std::vector<bool>& checked, const ReverifyOptions& options)
{
    std::vector<Reader> readers;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> readerOfFile;
    std::unordered_map<std::string, std::size_t> firstOfPath;
    bool shortOfDescriptors = false;
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        Member& member = m_members[i];
        member.firstOfPath = firstOfPath.try_emplace(member.path, i).first->second;
        member.checked = i < checked.size() && checked[i];
        Platform::ReadFile file;
        member.error = file.Open(member.path);
        if (OutOfDescriptors(member.error)) {
            KeepNoneOpen(readers);
            shortOfDescriptors = true;
            member.error = file.Open(member.path);
            if (OutOfDescriptors(member.error))
                throw Files::FileError(Files::SystemErrorText(member.error));
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
        // The file the check found: a checked one exactly as found, a kept one the same
        // file (its bytes are read anyway).
        if (member.found) {
            const Platform::FileStamp now = Platform::StampOf(member.info);
            const bool sameFile = now.device == member.found->device && now.inode == member.found->inode;
            member.changed = member.changed || (member.checked ? now != *member.found : !sameFile);
        }
    }
    const auto usable = [](const Member& m) { return m.error.Ok() && !m.changed; };
    const bool anyKept = std::any_of(
        m_members.begin(), m_members.end(), [&](const Member& m) { return !m.checked && usable(m); });
    const bool keptChanged = std::any_of(
        m_members.begin(), m_members.end(), [&](const Member& m) { return !m.checked && m.error.Ok() && m.changed; });

    // Read once, and only when some file has a copy to be told from itself.
    std::optional<Platform::OverlayMounts> overlays;
    const auto throughOverlay = [&overlays](const Member& a, const Member& b) {
        if (!overlays)
            overlays.emplace();
        return overlays->SameFile(a.path, a.info, b.path, b.info);
    };
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
            member.verdict = keptChanged ? KeepReason::KeptChanged : KeepReason::KeptUnreadable;
            continue;
        }
        const std::size_t contentClass = readers[member.reader].contentClass;
        bool sameFileKept = false;
        for (std::size_t k = 0; k < m_members.size(); ++k) {
            const Member& kept = m_members[k];
            if (kept.checked || !usable(kept))
                continue;
            const bool equal = contentClass != kNoClass && readers[kept.reader].contentClass == contentClass;
            if (kept.reader == member.reader || SameFileElsewhere(kept.info, member.info)
                || (equal && throughOverlay(kept, member)))
                sameFileKept = true;
            else if (equal)
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

DeleteOutcome GroupReverify::DeleteChecked(std::size_t i, Files::RemoveMode mode)
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
    const Platform::Status err = Files::RemoveFileBy(member.path, mode, Platform::StampOf(member.info));
    if (err == Platform::Error::NoTrash)
        outcome.reason = KeepReason::NoTrash;
    else if (err == Platform::Error::Changed)
        outcome.reason = KeepReason::Changed;
    else if (err.Ok() || err == Platform::Error::NotFound)
        outcome.deleted = m_members[member.firstOfPath].deleted = true;
    else
        outcome.error = err;
    return outcome;
}

} // namespace Check
