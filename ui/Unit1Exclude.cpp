// Unit1Exclude: TForm1's exclusions: the exclusion settings dialog, the note on the
// search page that they are in force, and the groups marked as not duplicates (the
// tree's command that marks one, and their hiding after a check).
// Commands: mExclusionsClick, popNotDuplicatesClick.
#include "ui/Unit1.h"

#include "ui_Unit1.h"

#include "check/NotDuplicates.h"
#include "check/Results.h"
#include "ui/ResultModel.h"
#include "ui/Settings.h"
#include "ui/Unit5.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPalette>
#include <QTreeView>

#include <cstddef>
#include <optional>
#include <vector>

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
    connect(m_ui->mExclusions, &QAction::triggered, this, &TForm1::mExclusionsClick);
    connect(m_ui->popNotDuplicates, &QAction::triggered, this, &TForm1::popNotDuplicatesClick);
    // In red, so that nobody forgets what is left out.
    QPalette red = m_ui->Label2->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_ui->Label2->setPalette(red);
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
    m_ui->Label2->setToolTip(lines.join(u'\n'));
    m_ui->Label2->setVisible(!lines.isEmpty());
}

void TForm1::mExclusionsClick()
{
    // The settings change neither the list nor the results: a check may run meanwhile.
    RunCommand(
        [this] {
            TForm5 dialog(Settings::Exclusions(), Check::LoadNotDuplicates(Settings::NotDuplicatesFile()), this);
            if (dialog.exec() != QDialog::Accepted)
                return;
            Settings::SetExclusions(dialog.Rules());
            if (dialog.ListChanged())
                saveMarked(dialog.List());
            refreshExclusionNote();
        },
        WhileBusy::Run);
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
    RunCommand([this] {
        const std::optional<std::size_t> group = selectedGroup();
        if (!group || Results().Group(*group).files.size() < 2)
            return;
        MarkNotDuplicates(Results().Group(*group).files);
        Results().RemoveGroups({ *group });
        refreshExclusionNote();
    });
}

void TForm1::hideMarkedGroups(std::size_t firstGroup)
{
    const Check::NotDuplicateList list = Check::LoadNotDuplicates(Settings::NotDuplicatesFile());
    Check::Results& results = Results();
    if (list.groups.empty() || firstGroup >= results.GroupCount())
        return;
    const std::vector<Check::ResultGroup> groups(results.Groups().begin() + static_cast<std::ptrdiff_t>(firstGroup),
        results.Groups().end());
    const std::vector<bool> hidden = Check::HiddenGroups(list, groups);
    std::vector<std::size_t> hiddenIndices;
    for (std::size_t g = 0; g < hidden.size(); ++g)
        if (hidden[g])
            hiddenIndices.push_back(firstGroup + g);
    if (hiddenIndices.empty())
        return;
    results.RemoveGroups(std::move(hiddenIndices));
    // The groups of the run are numbered as if the hidden ones had never been found.
    for (std::size_t g = firstGroup; g < results.GroupCount(); ++g)
        results.SetNumber(g, static_cast<int>(g - firstGroup + 1));
    if (firstGroup < results.GroupCount())
        m_ui->FileTree->scrollTo(viewIndex(m_resultTree->GroupIndex(firstGroup)), QAbstractItemView::PositionAtTop);
}
