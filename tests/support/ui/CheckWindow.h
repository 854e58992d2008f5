// CheckWindow: the main window's duplicate check run as a user starts it.
#pragma once

#include "ui/CandidateList.h"
#include "ui/Unit1.h"
#include "support/ui/ScriptedDesktop.h"

#include <QToolButton>
#include <QTreeWidget>

#include <string>
#include <vector>

// Lists paths after what form already lists, brings the count label up to date and
// clicks the check button; returns the number of groups in the result tree. Forgets
// the records of desktop first when given, so that they hold only what the run showed.
inline int CheckFromButton(TForm1& form, std::vector<std::string> paths = {}, ScriptedDesktop* desktop = nullptr)
{
    if (desktop)
        desktop->ClearRecords();
    if (!paths.empty())
        form.Candidates().Append(std::move(paths));
    form.RefreshCount();
    form.btnChecker->click();
    return form.FileTree->topLevelItemCount();
}
