// SpaceClean: one file of a clean through a space action, recorded as it happens.
#include "check/SpaceClean.h"

#include "scan/FileError.h"
#include "scan/FileIdentity.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace Check {
namespace {

    Files::ActionResult Refused(Files::ActionOutcome outcome)
    {
        Files::ActionResult result;
        result.outcome = outcome;
        return result;
    }

    // Moving aside loses nothing, but a file goes aside only while the kept file is
    // still the one the check found and is another file: a second name of the kept file
    // (or the same file seen through an overlay, which shows it with another device
    // number) would take the only copy away.
    Files::ActionResult MoveAsideFrom(const FoundFile& going, const FoundFile& kept, const std::string& moveTo)
    {
        const Files::FileIdentity file = Files::IdentityOf(going.stamp);
        const Files::FileIdentity keptFile = Files::IdentityOf(kept.stamp);
        Platform::FileStatus keptNow;
        if (!Platform::StatFile(kept.path, keptNow, true).Ok() || !keptFile.Matches(keptNow))
            return Refused(Files::ActionOutcome::KeptChanged);
        if (file.SameFile(keptNow)
            || (file.inode == keptFile.inode && file.size == keptFile.size && file.modified == keptFile.modified))
            return Refused(Files::ActionOutcome::SameFile);
        return Files::MoveAside(going.path, file, moveTo);
    }

    // Undo may run from any folder: the journal names files by their absolute paths.
    std::string Absolute(const std::string& path)
    {
        if (path.empty() || path[0] == Platform::kSeparator)
            return path;
        return Platform::CurrentFolder() + Platform::kSeparator + path;
    }

} // namespace

SpaceStep ActOnFile(JournalAction action, const FoundFile& going, const FoundFile& kept,
    const std::string& moveTo, Journal* journal)
{
    SpaceStep step;
    const Files::FileIdentity file = Files::IdentityOf(going.stamp);
    const Files::FileIdentity keptFile = Files::IdentityOf(kept.stamp);
    switch (action) {
    case JournalAction::Reflink:
        step.result = Files::ShareBlocksWith(going.path, file, kept.path, keptFile);
        step.bytesFreed = step.result.bytesFreed;
        break;
    case JournalAction::HardLink:
        step.result = Files::ReplaceWithHardLink(going.path, file, kept.path, keptFile);
        if (step.result.outcome == Files::ActionOutcome::Done && step.result.before.links == 1)
            step.bytesFreed = step.result.before.size;
        break;
    case JournalAction::Move:
        step.result = MoveAsideFrom(going, kept, moveTo);
        break;
    case JournalAction::Trash:
    case JournalAction::Delete:
        return step;
    }
    if (journal != nullptr && step.result.outcome == Files::ActionOutcome::Done)
        step.journalError = journal->Append(
            MakeJournalRecord(action, Absolute(going.path), step.result.before, step.result.went, Absolute(kept.path),
                keptFile));
    return step;
}

JournalRecord RemovalRecord(
    JournalAction action, const FoundFile& gone, const Platform::FileStatus* before, const FoundFile& kept)
{
    Platform::FileStatus status;
    if (before != nullptr) {
        status = *before;
    } else {
        status.kind = Platform::EntryKind::Regular;
        status.device = gone.stamp.device;
        status.inode = gone.stamp.inode;
        status.size = gone.stamp.size;
        status.modified = gone.stamp.modified;
    }
    std::string went;
    if (action == JournalAction::Trash)
        Platform::FindTrashEntry(gone.path, status.device, status.inode, went);
    return MakeJournalRecord(
        action, Absolute(gone.path), status, went, Absolute(kept.path), Files::IdentityOf(kept.stamp));
}

SpaceReport CarryOutSpacePlan(const CleanPlan& plan, const std::vector<bool>& include, JournalAction action,
    const std::string& moveTo, Journal* journal, const RemovalProgress& progress)
{
    std::vector<std::size_t> work;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        const std::vector<bool>& remove = plan.groups[g].remove;
        if ((include.empty() || (g < include.size() && include[g]))
            && std::find(remove.begin(), remove.end(), true) != remove.end())
            work.push_back(g);
    }
    std::string aside = Absolute(moveTo);
    SpaceReport report;
    // The entry of the first line that led to a file, by identity (by path where the
    // check found none).
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> byIdentity;
    std::map<std::string, std::size_t> byPath;
    const std::size_t total = work.size();
    for (std::size_t k = 0; k < total && !report.cancelled && report.journalError.Ok(); ++k) {
        if (progress && !progress(k, total)) {
            report.cancelled = true;
            break;
        }
        const std::size_t g = work[k];
        const PlannedGroup& group = plan.groups[g];
        std::optional<GroupReverify> reverify;
        Platform::Status unreadable;
        try {
            reverify.emplace(group.files, group.remove);
        } catch (const Files::FileError&) {
            // Out of descriptors: nothing could be compared, so everything stays.
            unreadable = Platform::Error::TooManyOpenFiles;
        }
        for (std::size_t i = 0; i < group.files.size() && report.journalError.Ok(); ++i) {
            if (!group.remove[i])
                continue;
            const FoundFile& file = group.files[i];
            const std::size_t next = report.files.size();
            const std::size_t first = file.stamp.Known()
                ? byIdentity.try_emplace({ file.stamp.device, file.stamp.inode }, next).first->second
                : byPath.try_emplace(file.path, next).first->second;
            SpacedFile& entry = report.files.emplace_back();
            if (first != next) {
                entry = report.files[first];
                entry.group = g;
                entry.index = i;
                entry.path = file.path;
                continue;
            }
            entry.group = g;
            entry.index = i;
            entry.path = file.path;
            if (!reverify) {
                entry.reason = KeepReason::Unreadable;
                entry.error = unreadable;
            } else if (reverify->Verdict(i) != KeepReason::None) {
                entry.reason = reverify->Verdict(i);
                entry.error = reverify->Error(i);
            } else {
                const SpaceStep step = ActOnFile(action, file, group.files[group.kept], aside, journal);
                entry.result = step.result;
                entry.done = step.result.outcome == Files::ActionOutcome::Done;
                report.journalError = step.journalError;
                if (entry.done)
                    report.bytes += action == JournalAction::Move ? step.result.before.size : step.bytesFreed;
            }
            ++(entry.done ? report.done : report.stayed);
        }
    }
    if (progress && !report.cancelled)
        progress(total, total);
    return report;
}

RemovalReport AsRemoval(const SpaceReport& report)
{
    RemovalReport removal;
    for (const SpacedFile& file : report.files) {
        RemovedFile& entry = removal.files.emplace_back();
        entry.group = file.group;
        entry.index = file.index;
        entry.path = file.path;
        entry.removed = file.done;
    }
    removal.removed = report.done;
    removal.stayed = report.stayed;
    removal.cancelled = report.cancelled;
    return removal;
}

StatusBefore StatusOfFilesToGo(const CleanPlan& plan, const std::vector<bool>& include)
{
    StatusBefore before;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        if (!include.empty() && (g >= include.size() || !include[g]))
            continue;
        const PlannedGroup& group = plan.groups[g];
        for (std::size_t i = 0; i < group.files.size(); ++i) {
            Platform::FileStatus status;
            if (group.remove[i] && Platform::StatFile(group.files[i].path, status, false).Ok()
                && Files::IdentityOf(group.files[i].stamp).Matches(status))
                before.emplace(std::pair(g, i), status);
        }
    }
    return before;
}

Platform::Status JournalRemovals(const CleanPlan& plan, const RemovalReport& report, const StatusBefore& before,
    Journal& journal, std::size_t& written)
{
    CountedFiles recorded;
    for (const RemovedFile& file : report.files) {
        const PlannedGroup& group = plan.groups[file.group];
        const FoundFile& gone = group.files[file.index];
        if (!file.removed || !recorded.Add(gone))
            continue;
        const auto it = before.find({ file.group, file.index });
        const JournalAction action
            = file.how == Files::RemoveMode::Trash ? JournalAction::Trash : JournalAction::Delete;
        const Platform::Status appended = journal.Append(
            RemovalRecord(action, gone, it == before.end() ? nullptr : &it->second, group.files[group.kept]));
        if (!appended.Ok())
            return appended;
        ++written;
    }
    return {};
}

} // namespace Check
