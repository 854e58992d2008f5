// Unit1Tree: TForm1's commands on the result tree: the delete dialog of a group, and
// open, rename, move and delete of a single file node.
#include "ui/Unit1.h"

#include "check/Reverify.h"
#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "ui/Desktop.h"
#include "ui/Unit2.h"

#include <QAction>
#include <QStringList>
#include <QTreeWidget>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kNameTaken = "このファイル名は存在します。";

// The nobody-is-kept question of the delete dialog.
const char* const kNoCopyLeft
    = "すべてのファイルにチェックがあります。\nこのファイルのコピーは一つも残りません。本当に削除しますか？";
// A box lists at most this many files per kind; the rest are counted.
constexpr std::size_t kListedFiles = 20;

// Files left on disk, each with the reason in the user's words.
using LeftFiles = std::vector<std::pair<std::string, std::string>>;

// Deletes path; a file that is already gone counts as deleted. Records any other failure.
bool DeleteRecorded(const std::string& path, LeftFiles& failures)
{
    const int err = FileScan::DeleteFile(path);
    if (err == 0 || err == ENOENT)
        return true;
    failures.emplace_back(path, FileScan::SystemErrorText(err));
    return false;
}

std::string KeepReasonText(const Check::DeleteOutcome& outcome)
{
    switch (outcome.reason) {
    case Check::KeepReason::Unreadable:
        return FileScan::SystemErrorText(outcome.error);
    case Check::KeepReason::KeptUnreadable:
        return "残すファイルを読み込めません";
    case Check::KeepReason::Differs:
        return "残すファイルと内容が違います";
    case Check::KeepReason::SameFile:
        return "残すファイルと同じファイルです";
    case Check::KeepReason::Changed:
        return "確認の後に変更されました";
    case Check::KeepReason::KeptChanged:
        return "残すファイルが確認の後に変更されました";
    case Check::KeepReason::None:
        break;
    }
    return {};
}

void AppendListing(QStringList& lines, const char* heading, const LeftFiles& files)
{
    if (files.empty())
        return;
    lines << QString::fromUtf8(heading);
    for (std::size_t i = 0; i < std::min(files.size(), kListedFiles); ++i)
        lines << PathToDisplay(files[i].first + " (" + files[i].second + ")");
    if (files.size() > kListedFiles)
        lines << u"ほか %1 件"_s.arg(files.size() - kListedFiles);
}

// Shows one box for the files a deletion left on disk: those kept on purpose, as
// information, and those that could not be deleted, which make it an error box.
void ReportLeftOnDisk(const LeftFiles& kept, const LeftFiles& failures)
{
    QStringList lines;
    AppendListing(lines, "次のファイルは削除しませんでした：", kept);
    AppendListing(lines, "次のファイルを削除できません：", failures);
    if (lines.isEmpty())
        return;
    const QString text = lines.join(u'\n');
    if (failures.empty())
        TheDesktop().Information(text);
    else
        TheDesktop().Error(QString::fromStdString(FileScan::ErrorBoxText(text.toStdString())));
}

// Deletes every line's file, as the user confirmed that no copy is to stay; there is
// nothing to compare with. Removes the node of each file that is gone.
void DeleteAsked(QTreeWidgetItem* group, const std::vector<std::string>& paths, LeftFiles& failures)
{
    // From the last line up, so that the indices of the lines still to come hold.
    for (int i = static_cast<int>(paths.size()) - 1; i >= 0; --i) {
        if (DeleteRecorded(paths[static_cast<std::size_t>(i)], failures))
            delete group->takeChild(i);
    }
    std::reverse(failures.begin(), failures.end());
}

// Deletes the checked lines' files that a kept line's file still equals, read again now:
// files change, vanish and get replaced after a check. Removes the node of each file
// that is gone; records the others with their reasons.
void DeleteWhereACopyIsKept(QTreeWidgetItem* group, const std::vector<std::string>& paths,
    const std::vector<bool>& checked, LeftFiles& kept, LeftFiles& failures)
{
    const Check::GroupReverify reread(paths, checked);
    for (int i = static_cast<int>(paths.size()) - 1; i >= 0; --i) {
        const auto line = static_cast<std::size_t>(i);
        if (!checked[line])
            continue;
        const Check::DeleteOutcome outcome = reread.DeleteChecked(line);
        if (outcome.deleted)
            delete group->takeChild(i);
        else if (outcome.reason != Check::KeepReason::None)
            kept.emplace_back(paths[line], KeepReasonText(outcome));
        else
            failures.emplace_back(paths[line], FileScan::SystemErrorText(outcome.error));
    }
    std::reverse(kept.begin(), kept.end());
    std::reverse(failures.begin(), failures.end());
}

// Returns how many characters of the shown name come before its extension, so that
// typing replaces the name and keeps the extension; all of them for a name that is all
// extension (".profile").
qsizetype StemLength(const std::string& name)
{
    const qsizetype shown = PathToDisplay(name).size();
    const qsizetype stem = shown - PathToDisplay(FileScan::ExtractFileExt(name)).size();
    return stem > 0 ? stem : shown;
}

// The selected node when it stands for a file; group nodes, with or without children,
// carry no path and are never taken for one.
QTreeWidgetItem* SelectedFileNode(const QTreeWidget* tree)
{
    QTreeWidgetItem* node = tree->selectedItems().value(0, nullptr);
    if (!node || node->childCount() > 0 || TForm1::NodePath(node).empty())
        return nullptr;
    return node;
}

} // namespace

void TForm1::FileTreeDblClick()
{
    RunCommand([this] {
        QTreeWidgetItem* node = FileTree->selectedItems().value(0, nullptr);
        if (!node)
            return;
        if (QTreeWidgetItem* file = SelectedFileNode(FileTree)) {
            OpenWithAssociatedProgram(NodePath(file));
            return;
        }
        if (node->childCount() == 0)
            return;

        TForm2 dialog(this);
        for (int i = 0; i < node->childCount(); ++i)
            dialog.AddFile(NodePath(node->child(i)), i > 0);
        if (dialog.exec() != QDialog::Accepted)
            return;
        std::vector<std::string> paths;
        std::vector<bool> checked;
        for (int i = 0; i < dialog.FileCount(); ++i) {
            paths.push_back(dialog.FilePath(i));
            checked.push_back(dialog.IsChecked(i));
        }
        const auto marked = static_cast<std::size_t>(std::count(checked.begin(), checked.end(), true));
        if (marked == 0)
            return;

        LeftFiles kept;
        LeftFiles failures;
        if (marked == paths.size()) {
            if (!TheDesktop().ConfirmDefaultCancel(QString::fromUtf8(kNoCopyLeft)))
                return;
            DeleteAsked(node, paths, failures);
        } else {
            BusyCursor busy;
            DeleteWhereACopyIsKept(node, paths, checked, kept, failures);
        }
        ReportLeftOnDisk(kept, failures);
    });
}

void TForm1::PopupMenu2Popup()
{
    const bool onFile = SelectedFileNode(FileTree) != nullptr;
    for (QAction* item : { popRename, popMove, popShow, popDelete })
        item->setEnabled(onFile);
}

void TForm1::popRenameClick()
{
    RunCommand([this] {
        QTreeWidgetItem* node = SelectedFileNode(FileTree);
        if (!node)
            return;
        const std::string path = NodePath(node);
        const QString name = PathToDisplay(FileScan::ExtractFileName(path));
        const QString answer = TheDesktop().InputBox(
            u"ファイル名変更"_s, u"変更後の名前を入力"_s, name, StemLength(FileScan::ExtractFileName(path)));
        // Cancel returns the name unchanged, as does OK on it: nothing to do either way.
        if (answer.isEmpty() || answer == name)
            return;
        // Typed as is: a "/" in it moves the file into that folder.
        const std::string newPath = FileScan::ExtractFileDir(path) + PathFromDisplay(answer);
        if (FileScan::RenameFile(path, newPath) == FileScan::FileOpResult::TargetExists) {
            TheDesktop().Information(QString::fromUtf8(kNameTaken));
            return;
        }
        SetNodePath(node, newPath);
    });
}

void TForm1::popMoveClick()
{
    RunCommand([this] {
        QTreeWidgetItem* node = SelectedFileNode(FileTree);
        if (!node)
            return;
        std::string folder;
        if (!FileScan::PickFolder("画像のフォルダを指定", folder))
            return;
        const std::string path = NodePath(node);
        FileScan::FileOpResult result;
        {
            // A copy to another file system can take a while.
            BusyCursor busy;
            result = FileScan::MoveFileToFolder(path, folder);
        }
        if (result == FileScan::FileOpResult::TargetExists) {
            TheDesktop().Information(QString::fromUtf8(kNameTaken));
            return;
        }
        SetNodePath(node, FileScan::MoveTarget(path, folder));
    });
}

void TForm1::popShowClick()
{
    RunCommand([this] {
        if (const QTreeWidgetItem* node = SelectedFileNode(FileTree))
            OpenWithAssociatedProgram(NodePath(node));
    });
}

void TForm1::popDeleteClick()
{
    RunCommand([this] {
        QTreeWidgetItem* node = SelectedFileNode(FileTree);
        if (!node)
            return;
        if (!TheDesktop().Confirm(u"実ファイルも削除します。\n本当に削除しますか？"_s))
            return;
        LeftFiles failures;
        if (DeleteRecorded(NodePath(node), failures))
            delete node;
        ReportLeftOnDisk({}, failures);
    });
}
