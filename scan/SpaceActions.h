// SpaceActions: the ways a copy can give its space back other than being deleted (its
// blocks shared with the kept file, its name turned into a hard link of the kept file,
// the file moved aside), the trash with the entry it went to, and the step that undoes
// a hard link. Each takes the identity the check recorded and confirms it first: a file
// changed or replaced since is left alone, and a failure at any step leaves the file as
// it was.
#pragma once

#include "scan/FileIdentity.h"
#include "scan/PlatformActions.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Files {

enum class ActionOutcome {
    Done,
    // The path no longer leads to the file the check found, unchanged.
    Changed,
    // The kept file is no longer the one the check found, unchanged.
    KeptChanged,
    // The file no longer holds the kept file's bytes.
    Differs,
    // The path already leads to the kept file itself (one more name of it).
    SameFile,
    // Owner, group, permission bits or extended attributes differ from the kept file's:
    // a hard link would change who may read or write the file.
    AttributesDiffer,
    // The file system cannot share blocks.
    NotSupported,
    // The file lies on another file system than the kept file.
    OtherFileSystem,
    // Something is at the place the file was to move to.
    TargetTaken,
    // The file's volume has no trash.
    NoTrash,
    // A step failed (error, or message for a failed copy); the file is as it was.
    Failed,
};

// Why a file stayed, as check_folder prints it ("changed", "kept file changed",
// "differs", "same file", "attributes differ", "not supported", "other file system",
// "target taken", "no trash", "failed"; "done" for Done) and as the window says it.
const char* ActionOutcomeWord(ActionOutcome outcome);
const char* ActionOutcomeText(ActionOutcome outcome);

struct ActionResult {
    ActionOutcome outcome = ActionOutcome::Failed;
    Platform::Status error;
    std::string message;
    // The file as it was right before the action: what a journal records.
    Platform::FileStatus before;
    // Where the file went: its trash entry, or its new path.
    std::string went;
    // The bytes the kernel shared, and of them those that the two files did not share
    // before (by where their blocks lie; the kernel's count where the system does not
    // tell): the space the sharing gave back.
    std::uint64_t bytesShared = 0;
    std::uint64_t bytesFreed = 0;
    // A temporary name in the file's folder that could not be removed again (it holds
    // the new file; the file itself kept its name).
    std::string leftover;
};

// Runs between the steps named where it is taken; tests inject failures there.
using StepHook = std::function<void()>;

// Shares path's blocks with kept's (FIDEDUPERANGE): the kernel compares the bytes and
// shares only what is equal. path keeps its name, inode, permissions and times; only
// the space it takes changes. NotSupported where the file system cannot share blocks,
// OtherFileSystem across file systems, Differs when a range differed (the ranges
// before it stay shared: equal bytes either way).
ActionResult ShareBlocksWith(
    const std::string& path, const FileIdentity& file, const std::string& kept, const FileIdentity& keptFile);

// Turns path into a further name of kept: only on kept's file system and when owner,
// group, permission bits and extended attributes (access control lists) are the kept
// file's. Both files are confirmed and compared
// byte for byte, kept is linked under a temporary name in path's folder, confirmed
// again, and swapped with path in one step; the old file, now under the temporary name,
// is confirmed to be the one compared and removed. beforeSwap runs right before the
// swap.
ActionResult ReplaceWithHardLink(const std::string& path, const FileIdentity& file, const std::string& kept,
    const FileIdentity& keptFile, const StepHook& beforeSwap = {});

// Where MoveAside puts path: below folder at the path's full path ("/home/me/a.jpg"
// into "/aside" gives "/aside/home/me/a.jpg"); a relative path is taken from the
// current folder, "." and ".." are resolved by name.
std::string AsidePath(const std::string& path, const std::string& folder);

// Moves path to AsidePath(path, folder), creating the folders on the way, never
// replacing anything there (TargetTaken); across file systems as MoveFileToFolder
// copies (to the end, permissions and times kept, a file changed during the copy
// stays). went is the new path.
ActionResult MoveAside(const std::string& path, const FileIdentity& file, const std::string& folder);

// Moves path into the desktop trash; went is its trash entry ("" when it cannot be
// found).
ActionResult TrashFile(const std::string& path, const FileIdentity& file);

// Gives path, one name of the file linked (a hard link the clean made), a file of its
// own again: a copy of its bytes and extended attributes with the owner, group,
// permission bits and times of attributes, put in its place in one step once complete. A file changed meanwhile
// stays linked (Changed). beforeSwap runs right before the swap.
ActionResult MakeIndependent(const std::string& path, const FileIdentity& linked,
    const Platform::FileStatus& attributes, const StepHook& beforeSwap = {});

// Creates folder and every folder above it that is missing.
Platform::Status MakeFolders(const std::string& folder);

} // namespace Files
