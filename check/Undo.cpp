// Undo: one record at a time, each first told apart from what is on disk now.
#include "check/Undo.h"

#include "scan/FileError.h"
#include "scan/EnumTexts.h"
#include "scan/FileOps.h"
#include "scan/PathRoutines.h"
#include "scan/SpaceActions.h"

namespace Check {
namespace {

    constexpr Files::EnumText<UndoOutcome> kOutcomeTexts[] = {
        { UndoOutcome::Restored, "restored", "元に戻しました" },
        { UndoOutcome::AlreadyBack, "already back", "すでに戻っています" },
        { UndoOutcome::NothingToUndo, "nothing to undo", "戻す必要はありません" },
        { UndoOutcome::DeletedForGood, "deleted for good", "完全に削除したため戻せません" },
        { UndoOutcome::Occupied, "a file is there", "同じ名前のファイルがあります" },
        { UndoOutcome::Missing, "missing", "見つかりません" },
        { UndoOutcome::Changed, "changed", "変更されています" },
        { UndoOutcome::Failed, "failed", "戻せませんでした" },
    };

    UndoneFile Outcome(const JournalRecord& record, UndoOutcome outcome, Platform::Status error = {})
    {
        UndoneFile file;
        file.path = record.path;
        file.action = record.action;
        file.outcome = outcome;
        file.error = error;
        return file;
    }

    bool Present(const std::string& path, Platform::FileStatus& status)
    {
        return Platform::StatFile(path, status, false).Ok();
    }

    // A trashed file goes back from its entry, which holds the very file (the trash
    // renames).
    UndoneFile FromTrash(const JournalRecord& record)
    {
        Platform::FileStatus now;
        if (Present(record.path, now))
            return Outcome(record, record.identity.SameFile(now) ? UndoOutcome::AlreadyBack : UndoOutcome::Occupied);
        Platform::FileStatus entry;
        if (record.went.empty() || !Present(record.went, entry) || !record.identity.SameFile(entry))
            return Outcome(record, UndoOutcome::Missing);
        if (const Platform::Status made = Files::MakeFolders(FileScan::ExtractFileDir(record.path)); !made.Ok())
            return Outcome(record, UndoOutcome::Failed, made);
        const Platform::Status restored = Platform::RestoreFromTrash(record.went, record.path);
        if (restored == Platform::Error::Exists)
            return Outcome(record, UndoOutcome::Occupied);
        return Outcome(record, restored.Ok() ? UndoOutcome::Restored : UndoOutcome::Failed, restored);
    }

    // A moved file goes back by the same move; across file systems it was copied, so
    // its size and time tell it, not its inode.
    UndoneFile FromMove(const JournalRecord& record)
    {
        Platform::FileStatus now;
        Platform::FileStatus moved;
        const bool stillAside = Present(record.went, moved);
        if (Present(record.path, now)) {
            const bool back = !stillAside && now.size == record.identity.size
                && now.modified == record.identity.modified;
            return Outcome(record, back ? UndoOutcome::AlreadyBack : UndoOutcome::Occupied);
        }
        if (!stillAside)
            return Outcome(record, UndoOutcome::Missing);
        const Files::FileIdentity aside { { moved.device, moved.inode, record.identity.size, record.identity.modified } };
        if (!aside.Matches(moved))
            return Outcome(record, UndoOutcome::Changed);
        if (const Platform::Status made = Files::MakeFolders(FileScan::ExtractFileDir(record.path)); !made.Ok())
            return Outcome(record, UndoOutcome::Failed, made);
        try {
            const Files::FileOpResult back = Files::MoveFileTo(record.went, record.path, &aside);
            if (back == Files::FileOpResult::TargetExists)
                return Outcome(record, UndoOutcome::Occupied);
            if (back == Files::FileOpResult::Changed)
                return Outcome(record, UndoOutcome::Changed);
        } catch (const Files::FileError& e) {
            UndoneFile failed = Outcome(record, UndoOutcome::Failed);
            failed.message = e.what();
            return failed;
        }
        return Outcome(record, UndoOutcome::Restored);
    }

    // A hard link becomes a file of its own again, with what the file had before.
    UndoneFile FromHardLink(const JournalRecord& record)
    {
        Platform::FileStatus now;
        if (!Present(record.path, now))
            return Outcome(record, UndoOutcome::Missing);
        if (!record.keptIdentity.SameFile(now)) {
            const bool back = now.size == record.identity.size && now.modified == record.identity.modified
                && now.permissions == record.permissions;
            return Outcome(record, back ? UndoOutcome::AlreadyBack : UndoOutcome::Occupied);
        }
        Platform::FileStatus attributes;
        attributes.permissions = record.permissions;
        attributes.owner = record.owner;
        attributes.group = record.group;
        attributes.accessed = record.accessed;
        attributes.modified = record.identity.modified;
        const Files::ActionResult made = Files::MakeIndependent(record.path, record.keptIdentity, attributes);
        UndoneFile file;
        switch (made.outcome) {
        case Files::ActionOutcome::Done:
            file = Outcome(record, UndoOutcome::Restored);
            break;
        case Files::ActionOutcome::Changed:
            file = Outcome(record, UndoOutcome::Changed);
            break;
        default:
            file = Outcome(record, UndoOutcome::Failed, made.error);
            file.message = made.message;
            break;
        }
        file.leftover = made.leftover;
        return file;
    }

} // namespace

const char* UndoOutcomeWord(UndoOutcome outcome)
{
    const auto* entry = Files::FindEnumText(kOutcomeTexts, outcome);
    return entry ? entry->word : "";
}

const char* UndoOutcomeText(UndoOutcome outcome)
{
    const auto* entry = Files::FindEnumText(kOutcomeTexts, outcome);
    return entry ? entry->text : "";
}

UndoneFile UndoRecord(const JournalRecord& record)
{
    switch (record.action) {
    case JournalAction::Trash:
        return FromTrash(record);
    case JournalAction::Move:
        return FromMove(record);
    case JournalAction::HardLink:
        return FromHardLink(record);
    case JournalAction::Reflink:
        return Outcome(record, UndoOutcome::NothingToUndo);
    case JournalAction::Delete:
        break;
    }
    return Outcome(record, UndoOutcome::DeletedForGood);
}

UndoResult UndoJournal(const std::vector<JournalRecord>& records)
{
    UndoResult result;
    for (const JournalRecord& record : records) {
        result.files.push_back(UndoRecord(record));
        if (result.files.back().outcome == UndoOutcome::Restored)
            ++result.restored;
    }
    return result;
}

} // namespace Check
