// Unit1Clean: TForm1's bulk clean of whole results by keep rules, and the choice
// between the trash and deleting for good that every deletion follows.
#include "ui/Unit1.h"

#include "check/CleanPlan.h"
#include "ui/Removal.h"
#include "ui/Settings.h"
#include "ui/Unit4.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// The groups the bulk clean can work on: those with two files or more.
std::vector<QTreeWidgetItem*> groupsToClean(const QTreeWidget* tree)
{
    std::vector<QTreeWidgetItem*> groups;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        if (tree->topLevelItem(g)->childCount() >= 2)
            groups.push_back(tree->topLevelItem(g));
    }
    return groups;
}

// Tells what the run did: the files removed and the bytes freed (with the trash on, those
// that went into it apart from those deleted for good), then the files that stayed with
// their reasons.
void reportClean(Files::RemoveMode mode, const Check::CleanResult& result)
{
    RemovalDone done;
    for (const Check::CleanedFile& file : result.files) {
        if (file.removed)
            continue;
        if (file.reason != Check::KeepReason::None)
            done.kept.emplace_back(file.path, KeepReasonText(file.reason, file.error));
        else if (!file.error.Ok())
            done.Failed(file.how, file.path, KeepReasonText(file.reason, file.error));
    }
    const auto count = [](const QString& what, std::size_t files, std::uint64_t bytes) {
        return u"%1したファイル：%2 個（%3 バイト解放）"_s.arg(what)
            .arg(files)
            .arg(QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(bytes)));
    };
    QStringList lead;
    if (result.cancelled)
        lead << u"途中で中止しました。"_s;
    if (mode == Files::RemoveMode::Trash) {
        lead << count(RemoveVerb(mode), result.trashed, result.bytesTrashed);
        if (result.removed > result.trashed)
            lead << count(u"完全に削除"_s, result.removed - result.trashed, result.bytesFreed - result.bytesTrashed);
    } else {
        lead << count(RemoveVerb(mode), result.removed, result.bytesFreed);
    }
    ReportLeftOnDisk(mode, done, lead);
}

} // namespace

void TForm1::connectCleanCommands()
{
    mUseTrash->setChecked(Settings::UseTrash());
    connect(mCleanAll, &QAction::triggered, this, &TForm1::mCleanAllClick);
    connect(popCleanAll, &QAction::triggered, this, &TForm1::mCleanAllClick);
    connect(mUseTrash, &QAction::triggered, this, &TForm1::mUseTrashClick);
    // Enabled while there is something to clean (and no check runs).
    const auto enable = [this] {
        for (QAction* action : { mCleanAll, popCleanAll })
            action->setEnabled(!Checking() && HasGroups());
    };
    connect(mFind, &QMenu::aboutToShow, this, enable);
    connect(PopupMenu2, &QMenu::aboutToShow, this, enable);
}

Files::RemoveMode TForm1::RemoveModeNow() const
{
    return mUseTrash->isChecked() ? Files::RemoveMode::Trash : Files::RemoveMode::Delete;
}

bool TForm1::HasGroups() const
{
    for (int g = 0; g < FileTree->topLevelItemCount(); ++g) {
        if (FileTree->topLevelItem(g)->childCount() >= 2)
            return true;
    }
    return false;
}

void TForm1::mUseTrashClick() { Settings::SetUseTrash(mUseTrash->isChecked()); }

void TForm1::mCleanAllClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        const std::vector<QTreeWidgetItem*> groups = groupsToClean(FileTree);
        if (groups.empty())
            return;
        std::vector<Check::ResultGroup> found;
        std::vector<bool> selected;
        std::vector<std::vector<QTreeWidgetItem*>> nodes;
        const QList<QTreeWidgetItem*> picked = FileTree->selectedItems();
        for (QTreeWidgetItem* group : groups) {
            Check::ResultGroup& files = found.emplace_back();
            files.caption = group->text(0).toStdString();
            // A file node selected stands for its group.
            selected.push_back(std::any_of(picked.begin(), picked.end(),
                [&](const QTreeWidgetItem* item) { return item == group || item->parent() == group; }));
            auto& items = nodes.emplace_back();
            for (int c = 0; c < group->childCount(); ++c) {
                files.files.push_back(NodeFile(group->child(c)));
                items.push_back(group->child(c));
            }
        }
        const Files::RemoveMode mode = RemoveModeNow();
        TForm4 dialog(std::move(found), std::move(selected), mode, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        Check::CleanResult result = dialog.Result();
        const auto noTrash = [&] {
            std::vector<std::string> files;
            for (const Check::CleanedFile& file : result.files) {
                if (file.reason == Check::KeepReason::NoTrash)
                    files.push_back(file.path);
            }
            return files;
        }();
        if (ConfirmPermanentDelete(noTrash))
            Check::RetryPermanently(dialog.Plan(), result);

        // The nodes of removed files go, and so does a group left with one file.
        for (const Check::CleanedFile& file : result.files) {
            if (file.removed)
                delete nodes[file.group][file.index];
        }
        for (QTreeWidgetItem* group : groups) {
            if (group->childCount() < 2)
                delete group;
        }
        reportClean(mode, result);
    });
}
