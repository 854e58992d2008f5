// Settings: the few choices the window remembers between runs, kept with QSettings.
#pragma once

#include "check/CleanPlan.h"
#include "scan/Exclusions.h"

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

// The file of the groups marked as not duplicates: "not-duplicates" in the folder
// "tessarin" of $XDG_DATA_HOME (~/.local/share when unset). A record, not a setting: it
// is kept beside the settings' store, not in it.
std::string NotDuplicatesFile();

} // namespace Settings
