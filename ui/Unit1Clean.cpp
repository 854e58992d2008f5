// Unit1Clean: TForm1's bulk clean of whole results by keep rules, the choice between
// the trash and deleting for good that every deletion follows, and undoing a clean.
// Commands: mCleanAllClick, mUseTrashClick, mUndoCleanClick.
#include "ui/Unit1.h"

#include "ui_Unit1.h"

#include "check/CleanPlan.h"
#include "check/Removal.h"
#include "check/SpaceClean.h"
#include "ui/RemovalBoxes.h"
#include "ui/Settings.h"
#include "check/Undo.h"
#include "ui/BackgroundJob.h"
#include "scan/FileError.h"
#include "scan/PathText.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "ui/Unit4.h"
#include "ui/Unit6.h"

#include <QAction>
#include <QApplication>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// Records the files a removal took away in journal, the one the dialog created before
// the run, so that undo can bring the trashed ones back; a box says so when it cannot be
// written. A removal that took nothing leaves no journal.
void JournalRemovals(const Check::CleanPlan& plan, const Check::RemovalReport& report,
    const Check::StatusBefore& before, Check::Journal& journal)
{
    const std::string path = journal.Path();
    std::size_t written = 0;
    Platform::Status status;
    if (report.removed > 0)
        status = Check::JournalRemovals(plan, report, before, journal, written);
    if (const Platform::Status closed = journal.Close(); status.Ok())
        status = closed;
    if (status.Ok()) {
        if (written == 0)
            Platform::RemoveFile(path);
        return;
    }
    TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText(
        "整理の記録を書き込めません：" + FileScan::DisplayPath(path) + "\n" + Files::SystemErrorText(status))));
}

} // namespace

void TForm1::connectCleanCommands()
{
    m_ui->mUseTrash->setChecked(Settings::UseTrash());
    connect(m_ui->mCleanAll, &QAction::triggered, this, &TForm1::mCleanAllClick);
    connect(m_ui->popCleanAll, &QAction::triggered, this, &TForm1::mCleanAllClick);
    connect(m_ui->mUseTrash, &QAction::triggered, this, &TForm1::mUseTrashClick);
    connect(m_ui->mUndoClean, &QAction::triggered, this, &TForm1::mUndoCleanClick);
}

Files::RemoveMode TForm1::removeModeNow() const
{
    return m_ui->mUseTrash->isChecked() ? Files::RemoveMode::Trash : Files::RemoveMode::Delete;
}

void TForm1::mUseTrashClick() { Settings::SetUseTrash(m_ui->mUseTrash->isChecked()); }

void TForm1::mCleanAllClick()
{
    RunCommand([this] {
        // The groups the bulk clean can work on: those with two files or more. A file
        // row selected stands for its group.
        const std::optional<std::size_t> picked = selectedGroup();
        std::vector<Check::ResultGroup> groups;
        std::vector<bool> selected;
        std::vector<Check::GroupId> ids;
        for (std::size_t g = 0; g < Results().GroupCount(); ++g) {
            if (Results().Group(g).files.size() < 2)
                continue;
            groups.push_back(Results().Group(g));
            selected.push_back(picked == g);
            ids.push_back(Results().IdOf(g));
        }
        if (groups.empty())
            return;
        TForm4 dialog(std::move(groups), std::move(selected), removeModeNow(), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const Files::RemoveMode mode = dialog.Mode();
        const std::optional<Check::JournalAction> space = dialog.SpaceAction();
        Check::RemovalReport report;
        if (space) {
            // A file linked, sharing its blocks or moved aside takes no space of its own
            // any more: it leaves the results as a removed file does.
            report = Check::AsRemoval(dialog.SpaceResult());
        } else {
            report = dialog.Result();
            if (ConfirmPermanentDelete(Check::WithoutTrash(report)))
                Check::RetryPermanently(dialog.Plan(), report);
            JournalRemovals(dialog.Plan(), report, dialog.Before(), dialog.RemovalJournal());
        }

        // The removed files leave the results, and so does a group left with one file.
        Check::TakeOffResults(Results(), ids, report);
        std::vector<std::size_t> emptied;
        for (const Check::GroupId id : ids) {
            const std::optional<std::size_t> g = Results().IndexOf(id);
            if (g && Results().Group(*g).files.size() < 2)
                emptied.push_back(*g);
        }
        Results().RemoveGroups(std::move(emptied));
        if (space)
            ReportSpaceClean(*space, dialog.SpaceResult(), dialog.JournalPath());
        else
            ReportClean(mode, report);
    });
}

void TForm1::mUndoCleanClick()
{
    // Undo touches files on disk only, never the list or the results: a check may run
    // meanwhile. It runs on a thread of its own (copying a linked file back takes as
    // long as its size); the window stays busy until it has ended.
    RunCommand(
        [this] {
            if (m_undoing)
                return;
            std::vector<Check::JournalSummary> journals = Check::ListJournals(Check::DefaultJournalFolder());
            if (journals.empty()) {
                TheDesktop().Information(u"元に戻せる整理はありません。"_s);
                return;
            }
            TForm6 dialog(std::move(journals), this);
            if (dialog.exec() != QDialog::Accepted || dialog.Chosen().empty())
                return;
            struct UndoRun {
                std::string journal;
                Platform::Status read;
                Check::UndoResult result;
            };
            auto run = std::make_shared<UndoRun>();
            run->journal = dialog.Chosen();
            const bool started = m_undoJob->Start(
                [run] {
                    Check::JournalContents contents;
                    run->read = Check::ReadJournal(run->journal, contents);
                    if (run->read.Ok())
                        run->result = Check::UndoJournal(contents.records);
                },
                [this, run](std::exception_ptr error) {
                    m_undoing = false;
                    updateBusyState();
                    QApplication::restoreOverrideCursor();
                    RunCommand(
                        [&] {
                            if (error)
                                std::rethrow_exception(error);
                            if (!run->read.Ok()) {
                                TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText("整理の記録を読み込めません："
                                    + FileScan::DisplayPath(run->journal) + "\n" + Files::SystemErrorText(run->read))));
                                return;
                            }
                            ReportUndo(run->result);
                        },
                        WhileBusy::Run);
                    closeIfAsked();
                });
            if (!started)
                return;
            m_undoing = true;
            updateBusyState();
            // The window goes on meanwhile; the pointer tells that work runs.
            QApplication::setOverrideCursor(Qt::BusyCursor);
        },
        WhileBusy::Run);
}
