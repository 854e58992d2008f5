// Undo: puts the files of a clean's journal back, never replacing a file that is there
// now; running it again changes nothing.
#pragma once

#include "check/Journal.h"
#include "scan/PlatformError.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Check {

enum class UndoOutcome {
    // Put back at its path with its bytes.
    Restored,
    // It is back already (an earlier undo, or the user).
    AlreadyBack,
    // Its blocks were shared: it never stopped being itself.
    NothingToUndo,
    // Deleted for good: it cannot come back.
    DeletedForGood,
    // Another file is at its path now; that file stays.
    Occupied,
    // Where it went holds it no more (the trash was emptied, the moved file is gone).
    Missing,
    // Where it went, it has changed since; it stays there.
    Changed,
    // A step failed (error, or message); nothing changed.
    Failed,
};

// The words check_folder prints ("restored", "already back", "nothing to undo",
// "deleted for good", "a file is there", "missing", "changed", "failed") and the
// window's texts.
const char* UndoOutcomeWord(UndoOutcome outcome);
const char* UndoOutcomeText(UndoOutcome outcome);

struct UndoneFile {
    std::string path;
    JournalAction action = JournalAction::Delete;
    UndoOutcome outcome = UndoOutcome::Failed;
    Platform::Status error;
    std::string message;
    // A temporary name beside the path that could not be removed again (the copy that
    // was to take the link's place); the user may remove it.
    std::string leftover;
};

// Puts the file of one record back: a trashed file from its trash entry, a moved file
// from its new path (folders on the way made again), a hard link replaced by a copy of
// its own with the recorded owner, group, permission bits and times.
UndoneFile UndoRecord(const JournalRecord& record);

struct UndoResult {
    std::vector<UndoneFile> files;
    std::size_t restored = 0;
};
// Undoes every record, in the journal's order.
UndoResult UndoJournal(const std::vector<JournalRecord>& records);

} // namespace Check
