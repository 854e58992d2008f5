// Unit1Check: TForm1's duplicate check run: its start and cancel commands, and the
// adapter through which the run works on the window.
#include "ui/Unit1Check.h"

#include "scan/FileScan.h"
#include "ui/CandidateList.h"
#include "ui/CheckProgress.h"
#include "ui/Desktop.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <stdexcept>

void TForm1::btnCheckerClick()
{
    if (refuseWhileChecking())
        return;
    const int firstGroup = FileTree->topLevelItemCount();
    RunCommand([this] { Check::RunCheck(*m_host); });
    if (m_checking)
        m_host->SetCheckCtrl(false);
    RunCommand([this, firstGroup] { hideMarkedGroups(firstGroup); });
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        m_closeConfirmed = true;
        close();
        m_closeConfirmed = false;
    }
}

void TForm1::Button1Click() { m_checkCancelled = true; }

Check::CheckHost& TForm1::Host() { return *m_host; }

void TForm1::SetProgressClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    m_host->setProgressClock(std::move(clock));
}

// ---- the adapter ----

std::size_t TForm1::CheckAdapter::EntryCount() const { return m_form.Candidates().Count(); }

std::string TForm1::CheckAdapter::EntryText(std::size_t index) const { return m_form.Candidates().At(index); }

void TForm1::CheckAdapter::RemoveEntry(std::size_t index) { m_form.Candidates().RemoveAt(index); }

void TForm1::CheckAdapter::RemoveEntries(const std::vector<std::size_t>& indices)
{
    // One pass over the list instead of one shift of the tail per removed entry.
    m_form.Candidates().RemoveRanges(FileScan::RangesOfDescending(indices));
}

void TForm1::CheckAdapter::AddGroup(const std::string& caption)
{
    auto* group = new QTreeWidgetItem(QStringList { QString::fromUtf8(caption) });
    m_form.FileTree->addTopLevelItem(group);
}

void TForm1::CheckAdapter::AddChild(const Check::FoundFile& found)
{
    const int groups = m_form.FileTree->topLevelItemCount();
    if (groups == 0)
        throw std::logic_error("AddChild without a group");
    auto* file = new QTreeWidgetItem;
    SetNodeFile(file, found);
    m_form.FileTree->topLevelItem(groups - 1)->addChild(file);
}

namespace {

// Changes the progress bar and paints it once, with the next events: on its own the bar
// repaints at once on every new percentage, and then again for its new text.
template <typename Change>
void ChangeProgressBar(QProgressBar* bar, Change change)
{
    bar->setUpdatesEnabled(false);
    change();
    bar->setUpdatesEnabled(true);
}

} // namespace

void TForm1::CheckAdapter::SetProgressMax(int maximum)
{
    ChangeProgressBar(m_form.PBar, [&] {
        // A range of 0..0 would turn the bar into a busy indicator.
        m_form.PBar->setMaximum(std::max(maximum, 1));
        refreshProgressText();
    });
}

void TForm1::CheckAdapter::SetProgress(int position)
{
    QProgressBar* bar = m_form.PBar;
    ChangeProgressBar(bar, [&] {
        // Past the maximum the bar shows full rather than ignoring the value.
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
        refreshProgressText();
    });
}

void TForm1::CheckAdapter::SetComparedFiles(std::size_t files)
{
    m_comparedFiles = files;
    refreshProgressText();
}

void TForm1::CheckAdapter::setProgressClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    m_progressClock = std::move(clock);
}

void TForm1::CheckAdapter::refreshProgressText()
{
    QProgressBar* bar = m_form.PBar;
    const auto elapsed
        = std::chrono::duration_cast<std::chrono::milliseconds>(m_progressClock() - m_runStart);
    const QFontMetrics metrics(bar->font());
    // The style keeps a few pixels at either end of the bar.
    const int room = bar->width() - 8;
    bar->setFormat(CheckProgressText(bar->value() - bar->minimum(), bar->maximum() - bar->minimum(), elapsed,
        m_comparedFiles, [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; }));
}

void TForm1::CheckAdapter::SetCountText(const std::string& text)
{
    m_form.CountLabel->setText(QString::fromUtf8(text));
}

void TForm1::CheckAdapter::ProcessEvents() { QCoreApplication::processEvents(); }

bool TForm1::CheckAdapter::CheckCancelled() const { return m_form.m_checkCancelled; }

void TForm1::CheckAdapter::ResetCancelled() { m_form.m_checkCancelled = false; }

void TForm1::CheckAdapter::SetCheckCtrl(bool checking)
{
    TForm1& form = m_form;
    form.m_checking = checking;
    if (checking) {
        m_runStart = m_progressClock();
        m_comparedFiles = 0;
        m_groupsBeforeRun = form.FileTree->topLevelItemCount();
        refreshProgressText();
    }
    form.Button1->setVisible(checking);
    form.PBar->setVisible(checking);
    for (QWidget* control :
        std::initializer_list<QWidget*> { form.btnAddFile, form.btnAddFolder, form.btnDelFile, form.btnClear,
            form.btnChecker, form.btnRename, form.ExtEdit, form.OptionCheck1 })
        control->setEnabled(!checking);
    // Menu commands that would change the lists, or start a second run, wait as well.
    for (QAction* action : { form.mAddFile, form.mAddFolder, form.mDelFile, form.mClear, form.mRename,
             form.mChecker, form.pAddFile, form.pAddFolder, form.pDelFile, form.pClear, form.pRename,
             form.popRename, form.popMove, form.popDelete, form.mCleanAll, form.popCleanAll,
             form.popNotDuplicates })
        action->setEnabled(!checking);
    form.m_cancelKey->setEnabled(checking);
    form.updateSaveResults();
}

void TForm1::CheckAdapter::FocusCancel()
{
    m_form.PageControl1->setCurrentIndex(0);
    m_form.Button1->setFocus(Qt::OtherFocusReason);
}

void TForm1::CheckAdapter::ShowPage(int index)
{
    QTreeWidget* tree = m_form.FileTree;
    m_form.PageControl1->setCurrentIndex(index);
    // The results open on the first group of the run that just ended: a second run's
    // groups come below those of the first, out of sight.
    if (index == 1 && tree->topLevelItemCount() > m_groupsBeforeRun)
        tree->scrollToItem(tree->topLevelItem(m_groupsBeforeRun), QAbstractItemView::PositionAtTop);
}

void TForm1::CheckAdapter::ShowInfo(const std::string& text)
{
    TheDesktop().Information(QString::fromUtf8(text));
}
