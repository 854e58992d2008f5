// CleanPlan: keep rules for whole results. Decides for every group of identical files
// which file stays and which go, and carries the decision out through the one removal
// (Removal.h), so that a file only goes while a kept file still holds its bytes.
#pragma once

#include "check/Removal.h"
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

// The words of the rules on the command line and in the settings: "protected",
// "newest", "oldest", "shortest", "not-copy-name", "first".
const char* KeepRuleName(KeepRule rule);
std::optional<KeepRule> KeepRuleFromName(const std::string& name);
// The window's text of a rule: "保護フォルダのファイルを残す", ...
const char* KeepRuleText(KeepRule rule);

// A rule in the user's order, on or off.
struct RuleChoice {
    KeepRule rule;
    bool on;
};
// The rules the window offers (all but First, which decides last anyway) in the order it
// first lists them, Protected and NotCopyName on.
std::vector<RuleChoice> FirstRuleChoices();

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

// The plan as a removal: every group of plan, with its files to go marked in the groups
// whose entry in include is true (all when include is empty), each read again first.
std::vector<RemovalGroup> RemovalOf(const CleanPlan& plan, const std::vector<bool>& include = {});

// Carries out the groups of plan whose entry in include is true (all when include is
// empty) by mode: RemoveMarked over RemovalOf(plan, include), so that a file goes only
// while its path leads to the file the check found and a kept file still holds its
// bytes. report.files[k].group indexes plan.groups.
RemovalReport CarryOutPlan(const CleanPlan& plan, const std::vector<bool>& include, Files::RemoveMode mode,
    const RemovalProgress& progress = {});

// Deletes for good the files of result that stayed for want of a trash
// (DeleteWithoutTrash over the plan's groups).
void RetryPermanently(const CleanPlan& plan, RemovalReport& result);

} // namespace Check
