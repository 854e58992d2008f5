// Unit1Tree: TForm1's commands on the result tree: the delete dialog of a group, and
// open, rename, move and delete of a single file node.
#include "ui/Unit1.h"

#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "ui/Desktop.h"
#include "ui/Unit2.h"

#include <QAction>
#include <QTreeWidget>

#include <cerrno>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kNameTaken = "このファイル名は存在します。";

using Failures = std::vector<std::pair<std::string, int>>;

// Deletes path; a file that is already gone counts as deleted. Records any other failure.
bool DeleteRecorded(const std::string& path, Failures& failures)
{
    const int err = FileScan::DeleteFile(path);
    if (err == 0 || err == ENOENT)
        return true;
    failures.emplace_back(path, err);
    return false;
}

// Throws the one error that lists every file left on disk, with its reason. One line:
// the error box shows control characters as escapes.
void ReportFailures(const Failures& failures)
{
    if (failures.empty())
        return;
    std::string text = "次のファイルを削除できません：";
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const auto& [path, err] = failures[i];
        text += (i > 0 ? "、" : "") + path + " (" + FileScan::SystemErrorText(err) + ")";
    }
    throw FileScan::FileError(text);
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
            TheDesktop().ShellOpen(NodePath(file));
            return;
        }
        if (node->childCount() == 0)
            return;

        TForm2 dialog(this);
        for (int i = 0; i < node->childCount(); ++i)
            dialog.AddFile(NodePath(node->child(i)), i > 0);
        if (dialog.exec() != QDialog::Accepted)
            return;
        // From the last line down, so that the indices of the lines still to come hold.
        Failures failures;
        for (int i = dialog.FileCount() - 1; i >= 0; --i) {
            if (dialog.IsChecked(i) && DeleteRecorded(dialog.FilePath(i), failures))
                delete node->takeChild(i);
        }
        ReportFailures(Failures(failures.rbegin(), failures.rend()));
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
        const QString answer = TheDesktop().InputBox(u"ファイル名変更"_s, u"変更後の名前を入力"_s, name);
        // Cancel returns the name unchanged, as does OK on it: nothing to do either way.
        if (answer.isEmpty() || answer == name)
            return;
        // Typed as is: a "/" in it moves the file into that folder.
        const std::string newPath = FileScan::ExtractFileDir(path) + PathFromUser(answer);
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
            TheDesktop().ShellOpen(NodePath(node));
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
        Failures failures;
        if (DeleteRecorded(NodePath(node), failures))
            delete node;
        ReportFailures(failures);
    });
}
