// RemovalBoxes: the window's side of removing files: the verb of its questions, the
// question whether files without a trash go for good, and the boxes that tell what a
// removal (Check::RemovalReport) did.
#pragma once

#include "check/Journal.h"
#include "check/Removal.h"
#include "check/SpaceClean.h"
#include "check/Undo.h"
#include "scan/FileOps.h"

#include <QString>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

// Files left on disk, each with the reason in the user's words.
using LeftFiles = std::vector<std::pair<std::string, std::string>>;

// Returns "ゴミ箱に移動" with the trash on, "削除" otherwise: the verb of every confirmation.
QString RemoveVerb(Files::RemoveMode mode);

// Appends heading and the files, at most 20 of them, the rest counted.
void AppendListing(QStringList& lines, const QString& heading, const LeftFiles& files);

// Asks once whether files whose volume has no trash are to be deleted for good;
// "キャンセル", the default, keeps them. The removal's deleteForGood.
bool ConfirmPermanentDelete(const std::vector<std::string>& paths);

// Shows the box of a delete command of the tree: with the trash on, once a file was
// deleted for good, the files that went into the trash and those deleted are counted;
// then the files that stayed, with their reasons, as information, and those that could
// not be removed, which make it an error box. A file kept at the no-trash question is
// listed only with listDeclined: a command that named its files one by one (a single
// file, every line of a group) just asked about it. Nothing to say, no box.
void ReportRemoval(Files::RemoveMode mode, const Check::RemovalReport& report, bool listDeclined);
// Shows the box of the bulk clean: whether it was stopped, the files removed and the
// bytes freed (with the trash on, those that went into it apart from those deleted for
// good), then the files that stayed with their reasons.
void ReportClean(Files::RemoveMode mode, const Check::RemovalReport& report);
// Shows the box of a bulk clean by a space action: whether it was stopped, the files
// linked, sharing their blocks or moved and the bytes won (moved), the journal undo
// reads, then the files that stayed with their reasons and the temporary files a step
// could not remove again; an error box when a step failed, left such a file or the
// journal could not be written.
void ReportSpaceClean(Check::JournalAction action, const Check::SpaceReport& report, const std::string& journal);
// Shows the box of an undo: the files put back, then those that are not, each with its
// reason, and the temporary files a step could not remove again; an error box when a
// step failed or left such a file.
void ReportUndo(const Check::UndoResult& result);
