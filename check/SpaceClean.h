// SpaceClean: one step of a clean that wins space without deleting: a file that goes
// has its blocks shared with the kept file, becomes a hard link of it, or moves aside,
// and the journal records it at once, so that undo finds every file a clean changed,
// even one cut short. The window and tessarin-cli both take a clean's files through it.
#pragma once

#include "check/CleanPlan.h"
#include "check/GroupReverify.h"
#include "check/Journal.h"
#include "check/Removal.h"
#include "check/Results.h"
#include "scan/SpaceActions.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

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

// What became of one file to go of a clean by a space action.
struct SpacedFile {
    std::size_t group = 0;
    std::size_t index = 0;
    std::string path;
    bool done = false;
    // Why the re-read kept it (None when it let the file through to the action) and
    // why it could not be read.
    KeepReason reason = KeepReason::None;
    Platform::Status error;
    // What the action did, when it was tried.
    Files::ActionResult result;
};

struct SpaceReport {
    // Every file to go that was reached, in group and list order.
    std::vector<SpacedFile> files;
    // Each file counted once however many lines lead to it.
    std::size_t done = 0;
    std::size_t stayed = 0;
    // The space given back; for Move, the bytes moved aside.
    std::uint64_t bytes = 0;
    bool cancelled = false;
    // A record of a done step could not be written: the clean stopped there.
    Platform::Status journalError;
};

// Carries out action (HardLink, Reflink or Move) on the files to go of the groups of
// plan whose entry in include is true (all when include is empty), group by group: each
// group is read again first as a removal reads it (GroupReverify), and only the files it
// lets through go to ActOnFile against the group's kept file. progress is asked as
// RemoveMarked asks it; a file that two lines lead to is acted on once, every line
// telling the same. report.files[k].group indexes plan.groups.
SpaceReport CarryOutSpacePlan(const CleanPlan& plan, const std::vector<bool>& include, JournalAction action,
    const std::string& moveTo, Journal* journal, const RemovalProgress& progress = {});

// The files report changed, as a removal report (removed for done), to take them off
// the results with TakeOffResults.
RemovalReport AsRemoval(const SpaceReport& report);

// The status of each file to go of plan (of the groups whose entry in include is true,
// all when include is empty) right before a removal, by (group, index), for its journal
// record; a file that is no longer the one the check found has none.
using StatusBefore = std::map<std::pair<std::size_t, std::size_t>, Platform::FileStatus>;
StatusBefore StatusOfFilesToGo(const CleanPlan& plan, const std::vector<bool>& include = {});

// Appends a record for each file report removed from plan (Trash or Delete as it went),
// each file once; counts them in written. Returns why a record could not be written
// (the records after it are not written either).
Platform::Status JournalRemovals(const CleanPlan& plan, const RemovalReport& report, const StatusBefore& before,
    Journal& journal, std::size_t& written);

} // namespace Check
