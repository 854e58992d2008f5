// SpaceClean: one file of a clean through a space action, recorded as it happens.
#include "check/SpaceClean.h"

#include "scan/FileIdentity.h"

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

} // namespace Check
