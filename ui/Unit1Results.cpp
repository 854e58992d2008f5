// Unit1Results: TForm1's command that saves the result groups as CSV or JSON.
#include "ui/Unit1.h"

#include "check/ResultExport.h"
#include "scan/PathRoutines.h"
#include "ui/Desktop.h"
#include "ui/Settings.h"

#include <QAction>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;

namespace {

// The filters of the save dialog, in the order of their indices.
constexpr int kJsonFilter = 1;

Check::ResultGroups treeGroups(const QTreeWidget* tree)
{
    Check::ResultGroups groups(static_cast<std::size_t>(tree->topLevelItemCount()));
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = tree->topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c)
            groups[static_cast<std::size_t>(g)].push_back(TForm1::NodePath(group->child(c)));
    }
    return groups;
}

} // namespace

void TForm1::updateSaveResults()
{
    mSaveResults->setEnabled(!m_checking && FileTree->topLevelItemCount() > 0);
}

void TForm1::mSaveResultsClick()
{
    // Saving waits for the end of a run, whose groups are not all in yet.
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        const Check::ResultGroups groups = treeGroups(FileTree);
        if (groups.empty())
            return;
        // The first save offers a name in the folder saved to last time.
        std::string fileName = m_saveFileName.empty()
            ? FileScan::JoinPath(StartFolder(Settings::FolderDialog::SaveResults), "重複ファイル.csv")
            : m_saveFileName;
        int filter = m_saveFilter;
        if (!TheDesktop().SaveFile(
                u"結果を保存"_s, { u"CSV (*.csv)"_s, u"JSON (*.json)"_s }, fileName, filter))
            return;
        Settings::SetLastFolder(Settings::FolderDialog::SaveResults, FileScan::ExtractFileDir(fileName));
        m_saveFileName = fileName;
        m_saveFilter = filter;
        const Check::ResultFormat format = Check::ResultFormatOf(
            fileName, filter == kJsonFilter ? Check::ResultFormat::Json : Check::ResultFormat::Csv);
        BusyCursor busy;
        Check::SaveResults(fileName, groups, format);
    });
}
