// Unit1Tree: TForm1's commands on the result tree: the delete dialog of a group, and
// open, rename, move and delete of a single file node.
#include "ui/Unit1.h"

#include "check/CleanPlan.h"
#include "check/GroupReverify.h"
#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "ui/Removal.h"
#include "ui/Settings.h"
#include "ui/Unit2.h"

#include <QAction>
#include <QStringList>
#include <QTreeWidget>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kNameTaken = "このファイル名は存在します。";

// The nobody-is-kept question of the delete dialog, around its verb.
QString noCopyLeftQuestion(Files::RemoveMode mode)
{
    return u"すべてのファイルにチェックがあります。\nこのファイルのコピーは一つも残りません。本当に"_s
        + RemoveVerb(mode) + u"しますか？"_s;
}

// Removes file by how while its path still leads to the file the check found; a file
// that is already gone counts as removed. One that changed since is kept with its
// reason; one whose volume has no trash goes to noTrash; any other failure is recorded.
bool removeRecorded(
    const Check::FoundFile& file, Files::RemoveMode how, RemovalDone& done, std::vector<std::string>& noTrash)
{
    const Platform::Status err = Files::RemoveFileBy(file.path, how, file.stamp);
    if (err.Ok() || err == Platform::Error::NotFound) {
        done.Went(how);
        return true;
    }
    if (err == Platform::Error::NoTrash)
        noTrash.push_back(file.path);
    else if (err == Platform::Error::Changed)
        done.kept.emplace_back(file.path, KeepReasonText(Check::KeepReason::Changed, {}));
    else
        done.Failed(how, file.path, Files::SystemErrorText(err));
    return false;
}

// Puts what a command recorded from the last line up in line order.
void reverseRecords(RemovalDone& done)
{
    for (LeftFiles* files : { &done.kept, &done.notTrashed, &done.notDeleted })
        std::reverse(files->begin(), files->end());
}

// The nodes of files that stayed for want of a trash, deleted for good if the user says so.
struct NoTrashNodes {
    std::vector<std::string> paths;
    std::vector<QTreeWidgetItem*> nodes;
    std::vector<int> lines;

    void reverse()
    {
        std::reverse(paths.begin(), paths.end());
        std::reverse(nodes.begin(), nodes.end());
        std::reverse(lines.begin(), lines.end());
    }
};

// Removes every line's file, as the user confirmed that no copy is to stay; there is
// nothing to compare with, but each file goes only while its path leads to the file the
// check found. Removes the node of each file that is gone.
void removeAsked(
    QTreeWidgetItem* group, const std::vector<Check::FoundFile>& files, Files::RemoveMode mode, RemovalDone& done)
{
    NoTrashNodes noTrash;
    // From the last line up, so that the indices of the lines still to come hold.
    for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i) {
        const std::size_t before = noTrash.paths.size();
        if (removeRecorded(files[static_cast<std::size_t>(i)], mode, done, noTrash.paths)) {
            delete group->takeChild(i);
        } else if (noTrash.paths.size() > before) {
            noTrash.nodes.push_back(group->child(i));
            noTrash.lines.push_back(i);
        }
    }
    noTrash.reverse();
    reverseRecords(done);
    if (!ConfirmPermanentDelete(noTrash.paths))
        return;
    std::vector<std::string> none;
    for (std::size_t k = 0; k < noTrash.nodes.size(); ++k) {
        if (removeRecorded(files[static_cast<std::size_t>(noTrash.lines[k])], Files::RemoveMode::Delete, done, none))
            delete noTrash.nodes[k];
    }
}

// Removes the checked lines' files that a kept line's file still equals, read again now:
// files change, vanish and get replaced after a check. Removes the node of each file
// that is gone; records the others with their reasons.
// The busy cursor shown meanwhile goes before any question.
void removeWhereACopyIsKept(QTreeWidgetItem* group, const std::vector<Check::FoundFile>& files,
    const std::vector<bool>& checked, Files::RemoveMode mode, RemovalDone& done, std::optional<BusyCursor>& busy)
{
    Check::GroupReverify reread(files, checked);
    NoTrashNodes noTrash;
    const auto record = [&](std::size_t line, Files::RemoveMode how, const Check::DeleteOutcome& outcome) {
        if (outcome.deleted)
            done.Went(how);
        else if (outcome.reason != Check::KeepReason::None)
            done.kept.emplace_back(files[line].path, KeepReasonText(outcome.reason, outcome.error));
        else
            done.Failed(how, files[line].path, Files::SystemErrorText(outcome.error));
    };
    for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i) {
        const auto line = static_cast<std::size_t>(i);
        if (!checked[line])
            continue;
        const Check::DeleteOutcome outcome = reread.DeleteChecked(line, mode);
        if (outcome.reason == Check::KeepReason::NoTrash) {
            noTrash.paths.push_back(files[line].path);
            noTrash.nodes.push_back(group->child(i));
            noTrash.lines.push_back(i);
            continue;
        }
        record(line, mode, outcome);
        if (outcome.deleted)
            delete group->takeChild(i);
    }
    noTrash.reverse();
    reverseRecords(done);
    busy.reset();
    if (!noTrash.paths.empty() && !ConfirmPermanentDelete(noTrash.paths)) {
        for (const std::string& path : noTrash.paths)
            done.kept.emplace_back(path, KeepReasonText(Check::KeepReason::NoTrash, {}));
        return;
    }
    for (std::size_t k = 0; k < noTrash.nodes.size(); ++k) {
        const auto line = static_cast<std::size_t>(noTrash.lines[k]);
        const Check::DeleteOutcome outcome = reread.DeleteChecked(line, Files::RemoveMode::Delete);
        record(line, Files::RemoveMode::Delete, outcome);
        if (outcome.deleted)
            delete noTrash.nodes[k];
    }
}

// Returns how many characters of the shown name come before its extension, so that
// typing replaces the name and keeps the extension; all of them for a name that is all
// extension (".profile").
qsizetype stemLength(const std::string& name)
{
    const qsizetype shown = PathToDisplay(name).size();
    const qsizetype stem = shown - PathToDisplay(FileScan::ExtractFileExt(name)).size();
    return stem > 0 ? stem : shown;
}

// The selected node when it stands for a file; group nodes, with or without children,
// carry no path and are never taken for one.
QTreeWidgetItem* selectedFileNode(const QTreeWidget* tree)
{
    QTreeWidgetItem* node = tree->selectedItems().value(0, nullptr);
    if (!node || node->childCount() > 0 || TForm1::NodePath(node).empty())
        return nullptr;
    return node;
}

} // namespace

void TForm1::FileTreeDblClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        QTreeWidgetItem* node = FileTree->selectedItems().value(0, nullptr);
        if (!node)
            return;
        if (QTreeWidgetItem* file = selectedFileNode(FileTree)) {
            OpenWithAssociatedProgram(NodePath(file));
            return;
        }
        if (node->childCount() == 0)
            return;

        const Files::RemoveMode mode = RemoveModeNow();
        Check::ProtectedFolders protection(Settings::ProtectedFolders());
        TForm2 dialog(this);
        dialog.SetRemoveVerb(RemoveVerb(mode));
        // Files of protected folders start unchecked, like the first.
        for (int i = 0; i < node->childCount(); ++i)
            dialog.AddFile(NodePath(node->child(i)), i > 0 && !protection.Holds(NodePath(node->child(i))));
        if (dialog.exec() != QDialog::Accepted)
            return;
        // The lines are the group's files, each with the file the check found there.
        std::vector<Check::FoundFile> files;
        std::vector<bool> checked;
        for (int i = 0; i < dialog.FileCount(); ++i) {
            files.push_back({ dialog.FilePath(i), NodeFile(node->child(i)).stamp });
            checked.push_back(dialog.IsChecked(i));
        }
        const auto marked = static_cast<std::size_t>(std::count(checked.begin(), checked.end(), true));
        if (marked == 0)
            return;

        RemovalDone done;
        if (marked == files.size()) {
            if (!TheDesktop().ConfirmDefaultCancel(noCopyLeftQuestion(mode)))
                return;
            removeAsked(node, files, mode, done);
        } else {
            std::optional<BusyCursor> busy(std::in_place);
            removeWhereACopyIsKept(node, files, checked, mode, done, busy);
        }
        ReportRemoval(mode, done);
    });
}

void TForm1::PopupMenu2Popup()
{
    const bool onFile = selectedFileNode(FileTree) != nullptr;
    popShow->setEnabled(onFile);
    // The commands that change the tree wait for the end of a run.
    for (QAction* item : { popRename, popMove, popDelete })
        item->setEnabled(onFile && !Checking());
    const QTreeWidgetItem* node = FileTree->selectedItems().value(0, nullptr);
    const QTreeWidgetItem* group = node && node->parent() ? node->parent() : node;
    popNotDuplicates->setEnabled(group && group->childCount() >= 2 && !Checking());
}

void TForm1::popRenameClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        QTreeWidgetItem* node = selectedFileNode(FileTree);
        if (!node)
            return;
        const std::string path = NodePath(node);
        const QString name = PathToDisplay(FileScan::ExtractFileName(path));
        const QString answer = TheDesktop().InputBox(
            u"ファイル名変更"_s, u"変更後の名前を入力"_s, name, stemLength(FileScan::ExtractFileName(path)));
        // Cancel returns the name unchanged, as does OK on it: nothing to do either way.
        if (answer.isEmpty() || answer == name)
            return;
        const std::string newName = PathFromDisplay(answer);
        if (newName == FileScan::ExtractFileName(path))
            return;
        // A name only: one with a "/" would move the file, and is refused.
        if (Files::RenameInFolder(path, newName) == Files::FileOpResult::TargetExists) {
            TheDesktop().Information(QString::fromUtf8(kNameTaken));
            return;
        }
        SetNodePath(node, FileScan::ExtractFileDir(path) + newName);
    });
}

void TForm1::popMoveClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        QTreeWidgetItem* node = selectedFileNode(FileTree);
        if (!node)
            return;
        std::string folder;
        if (!PickFolder(u"画像のフォルダを指定"_s, folder))
            return;
        const Check::FoundFile file = NodeFile(node);
        Files::FileOpResult result;
        {
            // A copy to another file system can take a while.
            BusyCursor busy;
            result = Files::MoveFileToFolder(file.path, folder, &file.stamp);
        }
        if (result == Files::FileOpResult::TargetExists) {
            TheDesktop().Information(QString::fromUtf8(kNameTaken));
            return;
        }
        if (result == Files::FileOpResult::Changed) {
            QStringList lines;
            AppendListing(lines, u"次のファイルは移動しませんでした："_s,
                { { file.path, KeepReasonText(Check::KeepReason::Changed, {}) } });
            TheDesktop().Information(lines.join(u'\n'));
            return;
        }
        // The node follows the file to its new place, as it is there now.
        SetNodeFile(node, Check::LookUpNow(Files::MoveTarget(file.path, folder)));
    });
}

void TForm1::popShowClick()
{
    RunCommand([this] {
        if (const QTreeWidgetItem* node = selectedFileNode(FileTree))
            OpenWithAssociatedProgram(NodePath(node));
    });
}

void TForm1::popDeleteClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        QTreeWidgetItem* node = selectedFileNode(FileTree);
        if (!node)
            return;
        const Files::RemoveMode mode = RemoveModeNow();
        const QString verb = RemoveVerb(mode);
        // The command acts on the node selected before the right-click, which need not be
        // the row clicked: the question names the file that will go.
        if (!TheDesktop().Confirm(u"実ファイルも"_s + verb + u"します。\n本当に"_s + verb + u"しますか？\n"_s
                + PathToDisplay(NodePath(node))))
            return;
        RemovalDone done;
        std::vector<std::string> noTrash;
        const Check::FoundFile file = NodeFile(node);
        if (removeRecorded(file, mode, done, noTrash)
            || (ConfirmPermanentDelete(noTrash) && removeRecorded(file, Files::RemoveMode::Delete, done, noTrash)))
            delete node;
        ReportRemoval(mode, done);
    });
}
