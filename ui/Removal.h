// Removal: what the delete commands share: removing a file by the window's trash
// setting, the reasons a file stayed in the user's words, and the boxes that list them.
#pragma once

#include "check/GroupReverify.h"
#include "scan/FileOps.h"

#include <QString>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

// Files left on disk, each with the reason in the user's words.
using LeftFiles = std::vector<std::pair<std::string, std::string>>;

// Returns the reason of a re-read's outcome in the user's words.
std::string KeepReasonText(Check::KeepReason reason, Platform::Status error);

// Returns "ゴミ箱に移動" with the trash on, "削除" otherwise: the verb of every confirmation.
QString RemoveVerb(Files::RemoveMode mode);

// Appends heading and the files, at most 20 of them, the rest counted.
void AppendListing(QStringList& lines, const QString& heading, const LeftFiles& files);

// What a delete command did to its files, for its closing box: with the trash on, a file
// whose volume has none may be deleted for good after all, and the box tells the two
// apart.
struct RemovalDone {
    // Files that went into the trash, and that were deleted for good.
    std::size_t trashed = 0;
    std::size_t deleted = 0;
    // Files kept on purpose, with the reason.
    LeftFiles kept;
    // Files that could not be moved into the trash, and that could not be deleted.
    LeftFiles notTrashed;
    LeftFiles notDeleted;

    // Records a file gone by how, or one that could not go by how.
    void Went(Files::RemoveMode how);
    void Failed(Files::RemoveMode how, const std::string& path, const std::string& reason);
};

// Shows one box for the files a removal left on disk, after the lines of lead: those
// kept on purpose, as information, and those that could not be removed, which make it
// an error box. Nothing to say, no box.
void ReportLeftOnDisk(Files::RemoveMode mode, const RemovalDone& done, QStringList lead = {});
// Same, for the delete commands of the tree: with the trash on, once a file was deleted
// for good, the box also counts the files that went into the trash and those deleted.
void ReportRemoval(Files::RemoveMode mode, const RemovalDone& done);

// Asks once whether files whose volume has no trash are to be deleted for good;
// "キャンセル", the default, keeps them.
bool ConfirmPermanentDelete(const std::vector<std::string>& paths);
