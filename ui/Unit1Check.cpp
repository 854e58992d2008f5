// Unit1Check: TForm1's duplicate check run, on a thread of its own while the window goes
// on, and the adapter through which the run works on the window.
// Commands: btnCheckerClick, Button1Click.
#include "ui/Unit1Check.h"

#include "ui_Unit1.h"

#include "scan/FileScan.h"
#include "scan/Platform.h"
#include "ui/BackgroundJob.h"
#include "ui/CandidateList.h"
#include "ui/CheckProgress.h"
#include "ui/Desktop.h"
#include "ui/ResultModel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

#include <memory>
#include <utility>

void TForm1::btnCheckerClick()
{
    RunCommand([this] {
        if (m_candidates->Count() < 2) {
            TheDesktop().Information(QString::fromUtf8(Check::kNothingToCompare));
            return;
        }
        // A folder added moments ago was looked up as the run would look it up now: the
        // run takes those look-ups (a million files take a second to look up again).
        CandidateList::AddedLookUps lookUps = m_candidates->TakeLookUps();
        if (m_clock() - m_folderAddedAt > kAddLookUpsServe)
            lookUps = {};
        m_host->SetLookUps(std::move(lookUps));
        // The run reads the list's paths where the list keeps them, so the list holds
        // its storage until the run ends.
        m_candidates->Hold(true);
        // One run at a time. Its steps come with the next events, after what follows.
        // The run's tables (a good 100 MiB for a million files) go back to the system
        // once it ends: a window stays open long after.
        if (!m_checkJob->Start(
                [this] {
                    m_checkEnd = Check::RunCheck(*m_host);
                    Platform::GiveBackFreeMemory();
                },
                [this](std::exception_ptr error) { checkFinished(std::move(error)); })) {
            m_candidates->Hold(false);
            return;
        }
        // The list stays as it is meanwhile but for the run's own steps: every command
        // that would change it is disabled, and drops are refused.
        SetCheckCtrl(true);
        m_ui->PageControl1->setCurrentIndex(0);
        m_ui->Button1->setFocus(Qt::OtherFocusReason);
        m_groupsBeforeRun = Results().GroupCount();
    });
}

void TForm1::checkFinished(std::exception_ptr error)
{
    m_host->SetLookUps({});
    m_candidates->Hold(false);
    SetCheckCtrl(false);
    RunCommand([&] {
        if (error)
            std::rethrow_exception(error);
        if (m_checkEnd == Check::CheckEnd::Completed)
            showResultsOfRun();
    });
    // However the run ended, its groups that the not-duplicates list hides go.
    RunCommand([this] { hideMarkedGroups(m_groupsBeforeRun); });
    closeIfAsked();
}

void TForm1::showResultsOfRun()
{
    m_ui->PageControl1->setCurrentIndex(1);
    // The keys act on the tree (Enter opens a group), not on the filter above it.
    m_ui->FileTree->setFocus(Qt::OtherFocusReason);
    // The results open on the first group of the run that just ended: a second run's
    // groups come below those of the first, out of sight.
    if (Results().GroupCount() > m_groupsBeforeRun)
        m_ui->FileTree->scrollTo(viewIndex(m_resultTree->GroupIndex(m_groupsBeforeRun)), QAbstractItemView::PositionAtTop);
}

void TForm1::Button1Click() { m_checkJob->Cancel(); }

bool TForm1::CheckCancelled() const { return m_checkJob->Cancelled(); }

void TForm1::ShowCheckStep(Check::CheckStep& step)
{
    if (!step.groups.empty())
        Results().AppendGroups(std::move(step.groups));
    // The rows leave the view at once; the list keeps their storage, marked, until it
    // next changes otherwise, rather than moving a million entries for each step.
    if (!step.removed.empty())
        m_candidates->RemoveRanges(FileScan::RangesOfDescending(step.removed));
    if (step.entriesLeft)
        m_ui->CountLabel->setText(QString::number(*step.entriesLeft));
    if (step.progress)
        m_progress->SetPosition(*step.progress);
    if (step.comparedFiles)
        m_progress->SetComparedFiles(*step.comparedFiles);
}

void TForm1::SetClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    m_clock = clock;
    m_progress->SetClock(std::move(clock));
}

// ---- the adapter, called on the run's thread ----

std::size_t TForm1::CheckAdapter::EntryCount() const { return m_form.Candidates().Count(); }

std::string TForm1::CheckAdapter::EntryText(std::size_t index) const { return m_form.Candidates().At(index); }

const FileScan::PathStore* TForm1::CheckAdapter::DistinctPaths() const { return m_form.Candidates().DistinctPaths(); }

const FileScan::ListedFile* TForm1::CheckAdapter::EntryLookedUp(std::size_t index) const
{
    if (index < m_lookUps.first || index - m_lookUps.first >= m_lookUps.files.Count())
        return nullptr;
    m_lookedUp = m_lookUps.files.At(index - m_lookUps.first, m_form.Candidates().HeldId(index));
    return &m_lookedUp;
}

void TForm1::CheckAdapter::LookUpsTaken() { m_lookUps = {}; }

void TForm1::CheckAdapter::TakeStep(Check::CheckStep step)
{
    {
        const std::lock_guard<std::mutex> lock(m_pendingMutex);
        if (m_pending) {
            Check::MergeSteps(*m_pending, std::move(step));
            return;
        }
        m_pending = std::make_shared<Check::CheckStep>(std::move(step));
    }
    m_form.m_checkJob->Post([this] {
        std::shared_ptr<Check::CheckStep> pending;
        {
            const std::lock_guard<std::mutex> lock(m_pendingMutex);
            pending = std::exchange(m_pending, nullptr);
        }
        if (pending)
            m_form.ShowCheckStep(*pending);
    });
}

bool TForm1::CheckAdapter::Cancelled() const { return m_form.m_checkJob->Cancelled(); }
