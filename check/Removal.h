// Removal: the one way files of the results leave the disk, for every command that
// removes them (the tree's 削除, the delete dialog, the bulk clean, tessarin-cli): each file
// goes only while its path still leads to the file the check found, unchanged; the trash
// first, then, for the files whose volume has none, the question whether to delete them
// for good (the window asks with its box, tessarin-cli answers no), then the deletion for
// good; and one report of what went and what stayed, and why.
#pragma once

#include "check/GroupReverify.h"
#include "check/Results.h"
#include "scan/FileOps.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Check {

// Returns why a file stayed in the window's words ("確認の後に変更されました"; for an
// unreadable file, or one whose removal failed, the system's text of error) and in
// tessarin-cli's ("changed"; "unreadable: ..." and "not removed: ..." with that text).
std::string KeepReasonText(KeepReason reason, Platform::Status error);
std::string KeepReasonWord(KeepReason reason, Platform::Status error);

// One group's part in a removal.
struct RemovalGroup {
    // The group's files in list order, as the check found them.
    std::vector<FoundFile> files;
    // remove[i]: files[i] is to go.
    std::vector<bool> remove;
    // True: the group is read again first (GroupReverify), and a file goes only while a
    // file that stays still holds its bytes. False: the user asked for exactly these
    // files to go, with no copy kept (one file, or every line of a group).
    bool keepACopy = true;
    // The size of one file, for the bytes freed.
    std::uint64_t size = 0;
};

// What happened to one file that was to go.
struct RemovedFile {
    std::size_t group = 0;
    std::size_t index = 0;
    std::string path;
    bool removed = false;
    // Why it stayed: the re-read's reason, Changed, or NoTrash when its volume has no
    // trash (and it was not deleted for good).
    KeepReason reason = KeepReason::None;
    // Why a removal failed, or why a file could not be read.
    Platform::Status error;
    // How it went, or how it was to go when its removal failed: into the trash or
    // deleted for good.
    Files::RemoveMode how = Files::RemoveMode::Delete;
};

struct RemovalReport {
    // Every file that was to go and was reached, in group and list order.
    std::vector<RemovedFile> files;
    // The files removed and the bytes they took, each file counted once however many
    // lines lead to it (by the identity the check found, by path where it found none);
    // of them, those that went into the trash.
    std::size_t removed = 0;
    std::uint64_t bytesFreed = 0;
    std::size_t trashed = 0;
    std::uint64_t bytesTrashed = 0;
    // The files that stayed, counted the same way.
    std::size_t stayed = 0;
    bool cancelled = false;
};

// Asked before every group with files to go and after the last, with the groups done and
// their total; within a group again, with the same groupsDone, before every 64th file,
// so that a large group into the trash stays cancellable. Returning false stops the
// removal before the next group or file; files not reached have no entry in the report.
using RemovalProgress = std::function<bool(std::size_t groupsDone, std::size_t groupsTotal)>;

// Removes the files marked in groups by mode, group by group (a group with none marked
// is passed over). A file whose volume has no trash stays with KeepReason::NoTrash;
// DeleteWithoutTrash deletes such files for good. report.files[k].group indexes groups.
RemovalReport RemoveMarked(
    const std::vector<RemovalGroup>& groups, Files::RemoveMode mode, const RemovalProgress& progress = {});

// Returns the paths of the files of report that stayed for want of a trash, in order.
std::vector<std::string> WithoutTrash(const RemovalReport& report);

// Deletes for good the files of report that stayed for want of a trash (groups as given
// to RemoveMarked): a group read again first takes every other file of it still on disk
// as their copy. Updates their entries and the counts.
void DeleteWithoutTrash(const std::vector<RemovalGroup>& groups, RemovalReport& report);

// The whole removal: RemoveMarked, then, when files had no trash, asks
// deleteForGood(their paths) once, and deletes them for good when it says yes.
RemovalReport RemoveFiles(const std::vector<RemovalGroup>& groups, Files::RemoveMode mode,
    const std::function<bool(const std::vector<std::string>&)>& deleteForGood,
    const RemovalProgress& progress = {});

// Takes the files report removed off results, where groups[k] is the group of results
// (by its id) that the removal's group k stands for; a group removed since is passed
// over.
void TakeOffResults(Results& results, const std::vector<GroupId>& groups, const RemovalReport& report);

} // namespace Check
