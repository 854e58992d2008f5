// Settings: the few choices the window remembers between runs, kept with QSettings.
#pragma once

#include "check/CleanPlan.h"
#include "scan/Exclusions.h"

#include <QByteArray>

#include <string>
#include <vector>

namespace Settings {

// Whether deletions go into the desktop trash; on unless the user turned it off.
bool UseTrash();
void SetUseTrash(bool on);

// Folders whose files the bulk clean never removes.
std::vector<std::string> ProtectedFolders();
void SetProtectedFolders(const std::vector<std::string>& folders);

using Check::RuleChoice;
// The keep rules of the bulk clean in the user's order; First is implied last and not
// among them.
std::vector<RuleChoice> KeepRules();
void SetKeepRules(const std::vector<RuleChoice>& rules);

// What the folder scan leaves out; nothing unless the user set it.
FileScan::ExclusionRules Exclusions();
void SetExclusions(const FileScan::ExclusionRules& rules);

// The dialogs that start in the folder last chosen in them.
enum class FolderDialog { AddFolder, MoveFile, ProtectFolder, SaveResults };
// Returns the folder last chosen in dialog, "" before the first choice.
std::string LastFolder(FolderDialog dialog);
void SetLastFolder(FolderDialog dialog, const std::string& folder);

// The main window's place and size, and the results page's split between the tree and
// the preview, as Qt saves them; empty until the window first closes.
QByteArray WindowGeometry();
void SetWindowGeometry(const QByteArray& geometry);
QByteArray ResultSplit();
void SetResultSplit(const QByteArray& state);

// The file of the groups marked as not duplicates: "not-duplicates" in the folder
// "tessarin" of $XDG_DATA_HOME (~/.local/share when unset). A record, not a setting: it
// is kept beside the settings' store, not in it.
std::string NotDuplicatesFile();

} // namespace Settings
