// Unit1Exclude: TForm1's exclusions: the exclusion settings dialog, the note on the
// search page that they are in force, and the groups marked as not duplicates (the
// tree's command that marks one, and their hiding after a check).
#include "ui/Unit1.h"

#include "check/CheckRun.h"
#include "check/NotDuplicates.h"
#include "ui/Settings.h"
#include "ui/Unit5.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPalette>
#include <QTreeWidget>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// A size as the exclusion dialog shows it: in the largest unit it is a whole number of.
QString sizeText(std::uint64_t bytes)
{
    static const char* const kUnits[] = { "GB", "MB", "KB" };
    for (int u = 0; u < 3; ++u) {
        const int shift = 30 - 10 * u;
        if (bytes != 0 && (bytes & ((std::uint64_t { 1 } << shift) - 1)) == 0)
            return u"%1 %2"_s.arg(bytes >> shift).arg(QString::fromLatin1(kUnits[u]));
    }
    return u"%1 バイト"_s.arg(bytes);
}

// The marked groups; none when the list cannot be read (the commands that use it say why).
std::size_t markedGroupCount()
{
    try {
        return Check::LoadNotDuplicates(Settings::NotDuplicatesFile()).groups.size();
    } catch (const std::exception&) {
        return 0;
    }
}

void saveMarked(const Check::NotDuplicateList& list)
{
    const std::string file = Settings::NotDuplicatesFile();
    QDir().mkpath(QFileInfo(QFile::decodeName(QByteArray::fromStdString(file))).path());
    Check::SaveNotDuplicates(file, list);
}

} // namespace

void TForm1::connectExclusionCommands()
{
    connect(mExclusions, &QAction::triggered, this, &TForm1::mExclusionsClick);
    connect(popNotDuplicates, &QAction::triggered, this, &TForm1::popNotDuplicatesClick);
    // In red, so that nobody forgets what is left out.
    QPalette red = Label2->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label2->setPalette(red);
    refreshExclusionNote();
}

void TForm1::refreshExclusionNote()
{
    const FileScan::ExclusionRules rules = Settings::Exclusions();
    const std::size_t marked = markedGroupCount();
    QStringList lines;
    if (!rules.patterns.empty()) {
        QStringList patterns;
        for (const std::string& pattern : rules.patterns)
            patterns << QString::fromStdString(pattern);
        lines << u"除外するパターン：%1"_s.arg(patterns.join(u"　"_s));
    }
    if (rules.minSize > 0)
        lines << u"最小サイズ：%1"_s.arg(sizeText(rules.minSize));
    if (rules.maxSize != UINT64_MAX)
        lines << u"最大サイズ：%1"_s.arg(sizeText(rules.maxSize));
    if (rules.skipEmpty)
        lines << u"空のファイルを除く"_s;
    if (!lines.isEmpty())
        lines.prepend(u"フォルダ指定で追加するファイルから："_s);
    if (marked > 0)
        lines << u"重複ではないグループ：%1 個"_s.arg(marked);
    Label2->setToolTip(lines.join(u'\n'));
    Label2->setVisible(!lines.isEmpty());
}

void TForm1::mExclusionsClick()
{
    RunCommand([this] {
        TForm5 dialog(Settings::Exclusions(), Check::LoadNotDuplicates(Settings::NotDuplicatesFile()), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        Settings::SetExclusions(dialog.Rules());
        if (dialog.ListChanged())
            saveMarked(dialog.List());
        refreshExclusionNote();
    });
}

void TForm1::MarkNotDuplicates(const std::vector<Check::FoundFile>& files)
{
    // Read again each time: another window, or a script through tessarin-cli, may have changed it.
    Check::NotDuplicateList list = Check::LoadNotDuplicates(Settings::NotDuplicatesFile());
    Check::MarkedGroup group = Check::MarkGroup(files);
    if (group.empty())
        return;
    list.groups.push_back(std::move(group));
    saveMarked(list);
}

void TForm1::popNotDuplicatesClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        QTreeWidgetItem* node = FileTree->selectedItems().value(0, nullptr);
        QTreeWidgetItem* group = node && node->parent() ? node->parent() : node;
        if (!group || group->childCount() < 2)
            return;
        std::vector<Check::FoundFile> files;
        for (int c = 0; c < group->childCount(); ++c)
            files.push_back(NodeFile(group->child(c)));
        MarkNotDuplicates(files);
        delete group;
        refreshExclusionNote();
    });
}

void TForm1::hideMarkedGroups(int firstGroup)
{
    const Check::NotDuplicateList list = Check::LoadNotDuplicates(Settings::NotDuplicatesFile());
    if (list.groups.empty() || firstGroup >= FileTree->topLevelItemCount())
        return;
    std::vector<Check::ResultGroup> groups;
    for (int g = firstGroup; g < FileTree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = FileTree->topLevelItem(g);
        auto& files = groups.emplace_back().files;
        for (int c = 0; c < group->childCount(); ++c)
            files.push_back(NodeFile(group->child(c)));
    }
    const std::vector<bool> hidden = Check::HiddenGroups(list, groups);
    if (std::find(hidden.begin(), hidden.end(), true) == hidden.end())
        return;
    for (std::size_t g = hidden.size(); g-- > 0;) {
        if (hidden[g])
            delete FileTree->topLevelItem(firstGroup + static_cast<int>(g));
    }
    // The groups of the run are numbered as if the hidden ones had never been found.
    for (int g = firstGroup; g < FileTree->topLevelItemCount(); ++g)
        FileTree->topLevelItem(g)->setText(0, QString::fromUtf8(Check::GroupCaption(g - firstGroup + 1)));
    if (firstGroup < FileTree->topLevelItemCount())
        FileTree->scrollToItem(FileTree->topLevelItem(firstGroup), QAbstractItemView::PositionAtTop);
}
