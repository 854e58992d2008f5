// Unit1: the main window TForm1, its controls, menus and command handlers.
#pragma once

#include "check/CheckRun.h"
#include "check/Results.h"
#include "scan/FileOps.h"

#include <QMainWindow>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundJob;
class CandidateList;
class CheckProgressBar;
class QHelpEvent;
class QMenu;
class QMimeData;
class QShortcut;
class ResultModel;
class ResultView;

namespace Ui {
class TForm1;
}

// The main window: the candidate page with FileList (the candidate list) and its
// commands, and the results page with FileTree (the results, a view of ResultTree()).
// Its controls, menus and actions come from Unit1.ui under their object names; the
// pop-up menus, the classic style and the Esc key are set up in code.
//
// Every command handler runs its work through RunCommand, which turns a failure into
// the error box. While a check runs or フォルダ指定 lists a folder (Checking()), or an
// undo puts files back (Undoing()), each on a thread of its own, the window is busy: the
// commands that change the list or the results, start a check or remove files are
// disabled (updateBusyState, the one place that says so), RunCommand refuses them
// whoever calls them, and drops are refused: the run's own steps (or the listing's
// result, at its end) are then the only changes the list sees, and no command removes a
// file that undo is putting back.
//
// The handlers are spread over the Unit1*.cpp files by the page and the feature they
// serve; each file says at its top which it holds.
class TForm1 final : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The candidate list: its entries are read through it (Count, At, Entries).
    CandidateList& Candidates() { return *m_candidates; }
    const CandidateList& Candidates() const { return *m_candidates; }
    // Puts path in place of entry index; the entry loses its selection mark, the focused
    // index stays. Throws std::out_of_range past the end.
    void ReplaceCandidate(std::size_t index, const std::string& path);
    bool CandidateSelected(std::size_t index) const;
    // Returns the indices of the selected entries in ascending order.
    std::vector<std::size_t> SelectedCandidates() const;
    // Returns the focused entry's index, or -1 when no entry has the focus.
    int FocusedIndex() const;

    // The results the checks found, as FileTree shows them; the commands read and
    // change them here, and the tree follows.
    ResultModel& ResultTree() { return *m_resultTree; }
    Check::Results& Results();
    const Check::Results& Results() const;

    // Whether a command runs while the window is busy: only those that show something
    // (open a file, the version box) do.
    enum class WhileBusy { Refuse, Run };
    // Runs command, unless the window is busy and whileBusy says Refuse; a
    // Files::FileError or other std::exception it throws ends it and shows the error box
    // with the text and its full stop (Files::ErrorBoxText).
    void RunCommand(const std::function<void()>& command, WhileBusy whileBusy = WhileBusy::Refuse);
    // Sets CountLabel to the candidate count.
    void RefreshCount();

    // The check run: the idle and the checking control states, the window's one busy
    // state. While checking, the commands of the IdleCommands group (and the buttons and
    // fields that go with them) are disabled, Button1 (Cancel) and PBar are shown and
    // Esc cancels; the bar's clock and count start afresh. A folder's listing takes the
    // same state.
    void SetCheckCtrl(bool checking);
    // True while a check runs or a folder is listed.
    bool Checking() const { return m_checking; }
    // True while an undo (検索 › 整理を元に戻す...) puts files back.
    bool Undoing() const { return m_undoing; }
    // The cancel flag of the run: set by Button1Click, cleared when a run starts.
    bool CheckCancelled() const;
    // Shows one step of a run: appends its groups, takes its entries off the list, and
    // moves the count label and the progress bar. The run's steps come here.
    void ShowCheckStep(Check::CheckStep& step);
    // Replaces the clock the window reads: it times a check run for the time left on the
    // progress bar, and says how old a folder add's look-ups are.
    void SetClock(std::function<std::chrono::steady_clock::time_point()> clock);
    // How long a folder add's look-ups serve a check that follows it. Files change: an
    // older list is looked up again when a check starts.
    static constexpr std::chrono::seconds kAddLookUpsServe { 10 };

    // Window events.
    void FormCreate();
    // Asks before closing while the candidate list is not empty; clears canClose on "キャンセル".
    void FormCloseQuery(bool& canClose);
    // Appends the local files and folders of a drop, as their own paths, in drop order.
    void DropFiles(const QMimeData& data);
    // Asks the close question for the end of the desktop session; false refuses it.
    bool SessionEndConfirmed();

    // Commands of the candidate page (Unit1.cpp).
    void mExitClick();
    void About1Click();
    void btnAddFileClick();
    void btnAddFolderClick();
    void btnDelFileClick();
    void btnClearClick();
    void pShowClick();
    void FileListDblClick();
    void OptionCheck1Click();
    void mOptionCheck1Click();
    // The batch rename (Unit1Rename.cpp).
    void btnRenameClick();

    // The check run (Unit1Check.cpp): starts it, and Cancel.
    void btnCheckerClick();
    void Button1Click();

    // Commands of the results page (Unit1Tree.cpp).
    void FileTreeDblClick();
    void PopupMenu2Popup();
    void popRenameClick();
    void popMoveClick();
    void popShowClick();
    void popDeleteClick();
    // Saves the results as CSV or JSON to a file the user names (Unit1Results.cpp).
    void mSaveResultsClick();

    // The bulk clean of whole results, and where deletions go (Unit1Clean.cpp).
    void mCleanAllClick();
    void mUndoCleanClick();
    void mUseTrashClick();

    // The exclusion settings, and the groups marked as not duplicates (Unit1Exclude.cpp).
    void mExclusionsClick();
    void popNotDuplicatesClick();
    // Adds the group of files to the list of groups marked as not duplicates, each file
    // as the check found it; a check then hides a group of them while they stay unchanged.
    void MarkNotDuplicates(const std::vector<Check::FoundFile>& files);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class CheckAdapter;

    // Sets up what the form cannot say: the pop-up menus, fonts, the classic style,
    // captions condensed to fit, the views' models and the Esc key.
    void completeForm();
    // Returns the controls drawn in the classic style (FormStyle).
    QList<QWidget*> classicControls() const;
    void connectCommands();
    void connectCleanCommands();
    // Enables the commands that need results: mSaveResults while there are groups,
    // the bulk clean while a group holds two files.
    void updateResultCommands();
    // The results page's view (Unit1View.cpp): its columns, sorting, filter, summary line,
    // preview, and the window's remembered size.
    void completeResultView();
    void scheduleSummary();
    void updateSummary();
    void showPreview();
    void restoreWindowPlace();
    void saveWindowPlace() const;
    // Maps between the tree's rows and the results' rows.
    QModelIndex viewIndex(const QModelIndex& resultIndex) const;
    QModelIndex resultIndex(const QModelIndex& viewIndex) const;
    void connectExclusionCommands();
    // Takes the groups from firstGroup on that the not-duplicates list hides out of the
    // results, and numbers the rest from 1 again.
    void hideMarkedGroups(std::size_t firstGroup);
    // Shows Label2 while exclusions are set or groups are marked, and says which.
    void refreshExclusionNote();
    bool acceptsDrop(const QMimeData* data) const;
    // Shows the tooltip of the entry or node under the pointer of a list's viewport.
    void showToolTip(QWidget* viewport, const QHelpEvent& event);
    // The file of the selected row of FileTree, when it is a file row.
    std::optional<Check::FilePlace> selectedFile() const;
    // The group of the selected row of FileTree (a group row or a file row in it).
    std::optional<std::size_t> selectedGroup() const;
    // Opens the results page at the first group of the run that just ended.
    void showResultsOfRun();
    // Ends a run on the window's thread, after its last step.
    void checkFinished(std::exception_ptr error);
    // Lists folder (its tree when withSubfolders) on the job's thread, the count found
    // so far on the bar, and appends what it found once the listing has ended, unless
    // it was cancelled: a cancelled add keeps nothing.
    void startFolderAdd(std::string folder, bool withSubfolders);
    // True while a check or an undo runs.
    bool busy() const { return m_checking || m_undoing; }
    // Enables the commands as the busy state says: IdleCommands while nothing runs,
    // mUndoClean while no undo runs.
    void updateBusyState();
    // Closes the window once nothing runs any more, when closing waited for that.
    void closeIfAsked();
    // Trash while mUseTrash is checked, otherwise deletion for good.
    Files::RemoveMode removeModeNow() const;

    std::unique_ptr<Ui::TForm1> m_ui;
    // The pop-up menus of FileList and FileTree, built from the form's actions.
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    CandidateList* m_candidates = nullptr;
    ResultModel* m_resultTree = nullptr;
    // What FileTree shows of m_resultTree: sorted and filtered.
    ResultView* m_resultView = nullptr;
    bool m_summaryPending = false;
    QShortcut* m_cancelKey = nullptr;
    std::unique_ptr<CheckProgressBar> m_progress;
    std::string m_openFileName;
    // The last save of the results, offered again by the next.
    std::string m_saveFileName;
    int m_saveFilter = 0;
    std::unique_ptr<CheckAdapter> m_host;
    bool m_checking = false;
    bool m_undoing = false;
    // Groups in the results when the running check started.
    std::size_t m_groupsBeforeRun = 0;
    Check::CheckEnd m_checkEnd = Check::CheckEnd::Cancelled;
    std::function<std::chrono::steady_clock::time_point()> m_clock = [] { return std::chrono::steady_clock::now(); };
    // When the last folder add put its rows in the list.
    std::chrono::steady_clock::time_point m_folderAddedAt;
    bool m_closeAfterRun = false;
    bool m_closeConfirmed = false;
    // An undo's thread; it uses nothing of the window.
    std::unique_ptr<BackgroundJob> m_undoJob;
    // Last, so that it goes first: the run's thread uses the members above.
    std::unique_ptr<BackgroundJob> m_checkJob;
};
