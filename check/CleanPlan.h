// CleanPlan: keep rules for whole results. Decides for every group of identical files
// which file stays and which go, and carries the decision out through the re-read, so
// that a file only goes while a kept file still holds its bytes.
#pragma once

#include "check/GroupReverify.h"
#include "check/Results.h"
#include "scan/FileOps.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Check {

// One way of choosing the file a group keeps. Rules are tried in the user's order; the
// first that tells the remaining candidates apart narrows them to its favourites, ties
// go on to the next rule, and list order decides last.
enum class KeepRule {
    // Files inside a protected folder.
    Protected,
    // The latest modification time.
    Newest,
    // The earliest modification time.
    Oldest,
    // The shortest path.
    Shortest,
    // Names that do not look like copies (see LooksLikeCopyName).
    NotCopyName,
    // The first file of the group (list order); decides every group at once.
    First,
};

// The command-line words of the rules: "protected", "newest", "oldest", "shortest",
// "not-copy-name", "first".
const char* KeepRuleName(KeepRule rule);
std::optional<KeepRule> KeepRuleFromName(const std::string& name);

// True when the file name of path looks like a copy made by a file manager or by hand:
// before the extension it ends in "コピー" (" - コピー", "のコピー"), in a counter " (1)",
// "(2)" ... "(999)" (no leading zero), or in the word "copy" (" copy", " - Copy",
// " (copy)", " copy 2"), or it starts with "Copy of " (ASCII letters in any case). A name
// that is nothing but the mark ("コピー.jpg", "copy.txt") is no copy.
bool LooksLikeCopyName(const std::string& path);

// True when path is folder or lies inside it or one of its subfolders (folder given with
// or without a trailing "/"; compared byte for byte). An empty folder holds nothing.
bool InFolder(const std::string& path, const std::string& folder);

// The protected folders, known by identity (device and inode): a folder protects every
// file below it however the file's path spells the way there, through a symbolic link,
// a bind mount, "." or "..", or another mount of a folder inside it.
class ProtectedFolders {
public:
    // Looks each folder up now (links followed); one that is not there protects the
    // paths spelled inside it (InFolder) only.
    explicit ProtectedFolders(const std::vector<std::string>& folders);

    // True when path lies in one of the folders: InFolder by spelling, or a folder above
    // it, as path leads there or with its links resolved, is one of them. Folders are
    // looked up once each.
    bool Holds(const std::string& path);

private:
    using Identity = std::pair<std::uint64_t, std::uint64_t>;
    // True when the folder at path is protected by identity (looked up once).
    bool FolderIsProtected(const std::string& path);

    std::vector<std::string> m_spelled;
    std::vector<Identity> m_identities;
    // Folders by identity, and the folders of paths asked about, each looked up once.
    std::unordered_map<std::string, bool> m_seen;
    std::unordered_map<std::string, bool> m_folders;
};

struct PlannedGroup {
    // The group's files in list order, as the check found them.
    std::vector<FoundFile> files;
    // The file kept by the rules.
    std::size_t kept = 0;
    // remove[i]: files[i] is to go. Never the kept file, never a protected file.
    std::vector<bool> remove;
    // Every file is protected: nothing happens to the group.
    bool allProtected = false;
    // The size of one file of the group: the kept file's, as looked up by the plan.
    std::uint64_t size = 0;
    // The bytes the files to go take: size times their count, a file that two lines
    // lead to counted once.
    std::uint64_t bytesFreed = 0;
};

// Every file counts once however many lines lead to it (the same folder given twice, two
// checks of one file): by the identity the check found, or by path where it found none.
struct CleanPlan {
    std::vector<PlannedGroup> groups;
    std::size_t filesToGo = 0;
    std::uint64_t bytesFreed = 0;
};

// The files to go of some groups of a plan, each file counted once.
struct PlanTotals {
    // Groups with a file to go.
    std::size_t groups = 0;
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};
// Adds up the groups of plan whose entry in include is true (all when include is empty).
PlanTotals TotalsOf(const CleanPlan& plan, const std::vector<bool>& include = {});

// Plans every group: the kept file by rules (First when rules is empty), every other
// file to go unless it lies in a protected folder. Files are looked up now (through
// symbolic links), but only as far as the plan needs: the kept file for the size, and
// the remaining candidates where Newest or Oldest weighs their times. The kept file is
// always one that exists: a file found missing is no candidate and is not planned to
// go; one never looked up is planned like the others (the re-read keeps it when it is
// gone). When every file of a group is missing, nothing of it goes (kept is 0).
CleanPlan MakeCleanPlan(const std::vector<ResultGroup>& groups, const std::vector<KeepRule>& rules,
    const std::vector<std::string>& protectedFolders);

// What happened to one file of a carried-out plan.
struct CleanedFile {
    std::size_t group = 0;
    std::size_t index = 0;
    std::string path;
    bool removed = false;
    // Why it stayed: the re-read's reason, or NoTrash when its volume has no trash.
    KeepReason reason = KeepReason::None;
    // Why a removal failed, or why a file could not be read.
    Platform::Status error;
    // How it went, when it did: into the trash, or deleted for good.
    Files::RemoveMode how = Files::RemoveMode::Delete;
};

struct CleanResult {
    // Every file that was to go, in plan order, with what happened to it.
    std::vector<CleanedFile> files;
    // The files removed and the bytes they took, each file counted once however many
    // lines lead to it (CleanPlan); of them, those that went into the trash.
    std::size_t removed = 0;
    std::uint64_t bytesFreed = 0;
    std::size_t trashed = 0;
    std::uint64_t bytesTrashed = 0;
    // The files that stayed, counted the same way.
    std::size_t stayed = 0;
    bool cancelled = false;
};

// Carries out the groups of plan whose entry in include is true (all when include is
// empty), group by group: each group is read again (GroupReverify) and its files to go
// are removed by mode, each only while its path leads to the file the check found. progress(groupsDone, groupsTotal) runs before every group and
// after the last, groupsTotal counting the included groups with files to go; within a
// group it runs again, with the same groupsDone, before every 64th file to go, so that
// a large group into the trash stays cancellable. Returning false cancels before the
// next group or file; files not reached then have no entry in the result. Files kept
// because their volume has no trash carry KeepReason::NoTrash; RetryPermanently removes
// them.
CleanResult CarryOutPlan(const CleanPlan& plan, const std::vector<bool>& include, Files::RemoveMode mode,
    const std::function<bool(std::size_t, std::size_t)>& progress = {});

// Deletes for good the files of result that stayed for want of a trash, after reading
// their groups again (every other file of the group still on disk may serve as their
// copy); updates their entries and the counts of result.
void RetryPermanently(const CleanPlan& plan, CleanResult& result);

} // namespace Check
