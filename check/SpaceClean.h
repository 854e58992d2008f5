// SpaceClean: one step of a clean that wins space without deleting: a file that goes
// has its blocks shared with the kept file, becomes a hard link of it, or moves aside,
// and the journal records it at once, so that undo finds every file a clean changed,
// even one cut short. The window and tessarin-cli both take a clean's files through it.
#pragma once

#include "check/Journal.h"
#include "check/Results.h"
#include "scan/SpaceActions.h"

#include <cstdint>
#include <string>

namespace Check {

// What happened to one file, beside the action's own result.
struct SpaceStep {
    Files::ActionResult result;
    // The space the step gave back: the bytes newly shared, the size of a file whose
    // only name became a link (one with further names keeps its blocks), nothing for a
    // file moved aside (its space comes back when the folder is emptied).
    std::uint64_t bytesFreed = 0;
    // Why the record of a done step could not be written (Ok otherwise): undo cannot
    // find that file, so a clean stops here.
    Platform::Status journalError;
};

// Carries out action (HardLink, Reflink or Move; any other is Failed and nothing
// happens) on going, a file to go as the check found it, against kept, the file its
// group keeps: each only while both are the very files the check found, unchanged.
// Move puts going below moveTo at its full path (Files::AsidePath). A step that changed
// the file is appended to journal (when given) before this returns, its paths made
// absolute, so that undo may run from any folder.
SpaceStep ActOnFile(JournalAction action, const FoundFile& going, const FoundFile& kept,
    const std::string& moveTo, Journal* journal);

// The record of a file the removal flow took away (Trash or Delete) for a journal:
// before is the file right before (its stamp when it was not looked up then), and a
// trashed file's entry is looked up in the trash.
JournalRecord RemovalRecord(
    JournalAction action, const FoundFile& gone, const Platform::FileStatus* before, const FoundFile& kept);

} // namespace Check
