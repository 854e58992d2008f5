// Unit1Tree: TForm1's commands on the results page: the delete dialog of a group, and
// open, rename, move and delete of a single file. Each reads the results and changes
// them; the tree follows.
// Commands: FileTreeDblClick, PopupMenu2Popup, popRenameClick, popMoveClick,
// popShowClick, popDeleteClick.
#include "ui/Unit1.h"

#include "ui_Unit1.h"

#include "check/CleanPlan.h"
#include "check/Removal.h"
#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "ui/RemovalBoxes.h"
#include "ui/ResultModel.h"
#include "ui/Settings.h"
#include "ui/Unit2.h"

#include <QAction>
#include <QStringList>
#include <QTreeView>

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

// Returns how many characters of the shown name come before its extension, so that
// typing replaces the name and keeps the extension; all of them for a name that is all
// extension (".profile").
qsizetype stemLength(const std::string& name)
{
    const qsizetype shown = PathToDisplay(name).size();
    const qsizetype stem = shown - PathToDisplay(FileScan::ExtractFileExt(name)).size();
    return stem > 0 ? stem : shown;
}

} // namespace

std::optional<Check::FilePlace> TForm1::selectedFile() const
{
    // Group rows, with or without files, carry no path and are never taken for one.
    return m_resultTree->FileOf(resultIndex(m_ui->FileTree->selectionModel()->selectedIndexes().value(0)));
}

std::optional<std::size_t> TForm1::selectedGroup() const
{
    return m_resultTree->GroupOf(resultIndex(m_ui->FileTree->selectionModel()->selectedIndexes().value(0)));
}

void TForm1::FileTreeDblClick()
{
    RunCommand([this] {
        if (const std::optional<Check::FilePlace> file = selectedFile()) {
            OpenWithAssociatedProgram(Results().File(*file).path);
            return;
        }
        const std::optional<std::size_t> selected = selectedGroup();
        if (!selected || Results().Group(*selected).files.empty())
            return;

        const Check::GroupId id = Results().IdOf(*selected);
        const std::vector<Check::FoundFile> files = Results().Group(*selected).files;
        const Files::RemoveMode mode = removeModeNow();
        Check::ProtectedFolders protection(Settings::ProtectedFolders());
        TForm2 dialog(this);
        dialog.SetRemoveVerb(RemoveVerb(mode));
        // Files of protected folders start unchecked, like the first.
        for (std::size_t i = 0; i < files.size(); ++i)
            dialog.AddFile(files[i].path, i > 0 && !protection.Holds(files[i].path));
        if (dialog.exec() != QDialog::Accepted)
            return;
        // The lines are the group's files, each with the file the check found there.
        Check::RemovalGroup group { files, {}, true, files[0].stamp.size };
        for (int i = 0; i < dialog.FileCount(); ++i)
            group.remove.push_back(dialog.IsChecked(i));
        const auto marked = static_cast<std::size_t>(std::count(group.remove.begin(), group.remove.end(), true));
        if (marked == 0)
            return;

        // With every line checked there is nothing to compare with: each file goes only
        // while it is still the file the check found.
        group.keepACopy = marked < files.size();
        if (!group.keepACopy && !TheDesktop().ConfirmDefaultCancel(noCopyLeftQuestion(mode)))
            return;
        // Reading the group again takes a while; the busy cursor goes before any question.
        std::optional<BusyCursor> busy;
        if (group.keepACopy)
            busy.emplace();
        const Check::RemovalReport report
            = Check::RemoveFiles({ group }, mode, [&](const std::vector<std::string>& paths) {
                  busy.reset();
                  return ConfirmPermanentDelete(paths);
              });
        busy.reset();
        Check::TakeOffResults(Results(), { id }, report);
        ReportRemoval(mode, report, group.keepACopy);
    });
}

void TForm1::PopupMenu2Popup()
{
    // While a check runs, IdleCommands keeps the commands that change the results off.
    const bool onFile = selectedFile().has_value();
    for (QAction* item : { m_ui->popShow, m_ui->popRename, m_ui->popMove, m_ui->popDelete })
        item->setEnabled(onFile);
    const std::optional<std::size_t> group = selectedGroup();
    m_ui->popNotDuplicates->setEnabled(group && Results().Group(*group).files.size() >= 2);
}

void TForm1::popRenameClick()
{
    RunCommand([this] {
        const std::optional<Check::FilePlace> place = selectedFile();
        if (!place)
            return;
        const std::string path = Results().File(*place).path;
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
        // The file keeps its stamp under its new name.
        Results().SetPath(*place, FileScan::ExtractFileDir(path) + newName);
    });
}

void TForm1::popMoveClick()
{
    RunCommand([this] {
        const std::optional<Check::FilePlace> place = selectedFile();
        if (!place)
            return;
        std::string folder;
        if (!PickFolder(u"画像のフォルダを指定"_s, Settings::FolderDialog::MoveFile, folder))
            return;
        const Check::FoundFile file = Results().File(*place);
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
                { { file.path, Check::KeepReasonText(Check::KeepReason::Changed, {}) } });
            TheDesktop().Information(lines.join(u'\n'));
            return;
        }
        // The file's row follows it to its new place, as it is there now.
        Results().SetFile(*place, Check::LookUpNow(Files::MoveTarget(file.path, folder)));
    });
}

void TForm1::popShowClick()
{
    RunCommand(
        [this] {
            if (const std::optional<Check::FilePlace> place = selectedFile())
                OpenWithAssociatedProgram(Results().File(*place).path);
        },
        WhileBusy::Run);
}

void TForm1::popDeleteClick()
{
    RunCommand([this] {
        const std::optional<Check::FilePlace> place = selectedFile();
        if (!place)
            return;
        const Files::RemoveMode mode = removeModeNow();
        const QString verb = RemoveVerb(mode);
        const Check::FoundFile file = Results().File(*place);
        // The command acts on the row selected before the right-click, which need not be
        // the row clicked: the question names the file that will go.
        if (!TheDesktop().Confirm(u"実ファイルも"_s + verb + u"します。\n本当に"_s + verb + u"しますか？\n"_s
                + PathToDisplay(file.path)))
            return;
        const Check::RemovalGroup group { { file }, { true }, false, file.stamp.size };
        const Check::RemovalReport report = Check::RemoveFiles({ group }, mode, ConfirmPermanentDelete);
        if (report.removed > 0)
            Results().RemoveFiles(place->group, { place->file });
        ReportRemoval(mode, report, false);
    });
}
