// Settings: the few choices the window remembers between runs, kept with QSettings.
#pragma once

#include "check/CleanPlan.h"

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

} // namespace Settings
