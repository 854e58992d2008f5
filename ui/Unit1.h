// Unit1: the main window TForm1, its controls, menus and command handlers.
#pragma once

#include "check/CheckRun.h"
#include "scan/FileOps.h"

#include "ui_Unit1.h"

#include <QMainWindow>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CandidateList;
class QHelpEvent;
class QMenu;
class QMimeData;
class QShortcut;
class QTreeWidgetItem;

// The main window: the candidate page with FileList (the candidate list) and its
// commands, and the results page with FileTree (the result tree). Its controls, menus
// and actions come from Unit1.ui under their object names (the public base Ui::TForm1);
// the pop-up menus, the classic style and the Esc key are set up in code.
//
// Every command handler runs its work through RunCommand, which turns a failure into
// the error box. Every handler that changes the candidate list or the result tree
// starts with refuseWhileChecking(): while a check runs (Checking()) it does nothing,
// and drops are refused, so the run never meets an index it did not expect.
class TForm1 final : public QMainWindow, public Ui::TForm1 {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The pop-up menus of FileList and FileTree, built from the form's actions.
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;

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

    // Runs command; a Files::FileError or other std::exception it throws ends it and
    // shows the error box with the text and its full stop (Files::ErrorBoxText).
    void RunCommand(const std::function<void()>& command);
    // Sets CountLabel to the candidate count.
    void RefreshCount();
    // True while a check runs.
    bool Checking() const { return m_checking; }
    // The check run's side of the window: list, tree, progress, events and the cancel
    // flag. Check::RunCheck drives it; tests may too.
    Check::CheckHost& Host();
    // Replaces the clock that times a check run for the time left on the progress bar.
    void SetProgressClock(std::function<std::chrono::steady_clock::time_point()> clock);

    // Returns the path bytes stored in a file node of FileTree ("" for a group node).
    static std::string NodePath(const QTreeWidgetItem* item);
    // Stores path in a file node and shows it readably as the caption; the node keeps
    // the file's stamp, as a rename keeps the file.
    static void SetNodePath(QTreeWidgetItem* item, const std::string& path);
    // Returns a file node's path with the stamp of the file the check found there, or
    // the file last put there by a command of the tree (not Known for a group node).
    static Check::FoundFile NodeFile(const QTreeWidgetItem* item);
    // Stores file's path and stamp in a file node.
    static void SetNodeFile(QTreeWidgetItem* item, const Check::FoundFile& file);

    // Window events.
    void FormCreate();
    // Asks before closing while the candidate list is not empty; clears canClose on "キャンセル".
    void FormCloseQuery(bool& canClose);
    // Appends the local files and folders of a drop, as their own paths, in drop order.
    void DropFiles(const QMimeData& data);
    // Asks the close question for the end of the desktop session; false refuses it.
    bool SessionEndConfirmed();

    // Commands of the candidate page.
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
    void btnRenameClick();

    // The check run.
    void btnCheckerClick();
    void Button1Click();

    // Commands of the results page.
    void FileTreeDblClick();
    void PopupMenu2Popup();
    void popRenameClick();
    void popMoveClick();
    void popShowClick();
    void popDeleteClick();
    // Saves the groups of FileTree as CSV or JSON to a file the user names.
    void mSaveResultsClick();

    // The bulk clean of whole results, and where deletions go.
    void mCleanAllClick();
    void mUseTrashClick();
    // Trash while mUseTrash is checked, otherwise deletion for good.
    Files::RemoveMode RemoveModeNow() const;
    // True while the tree holds a group of two files or more.
    bool HasGroups() const;

    // The exclusion settings, and the groups marked as not duplicates.
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
    // captions condensed to fit, the list's model and the Esc key.
    void completeForm();
    // Returns the controls drawn in the classic style (FormStyle).
    QList<QWidget*> classicControls() const;
    void connectCommands();
    void connectCleanCommands();
    void connectExclusionCommands();
    // Takes the groups from firstGroup on that the not-duplicates list hides out of
    // FileTree, and numbers the rest from 1 again.
    void hideMarkedGroups(int firstGroup);
    // Shows Label2 while exclusions are set or groups are marked, and says which.
    void refreshExclusionNote();
    // Returns true while a check runs; every handler that changes the candidate list or
    // the result tree returns at once then.
    bool refuseWhileChecking() const { return m_checking; }
    bool acceptsDrop(const QMimeData* data) const;
    // Enables mSaveResults while FileTree has groups and no check runs.
    void updateSaveResults();
    // Shows the tooltip of the entry or node under the pointer of a list's viewport.
    void showToolTip(QWidget* viewport, const QHelpEvent& event);

    CandidateList* m_candidates = nullptr;
    QShortcut* m_cancelKey = nullptr;
    std::string m_openFileName;
    // The last save of the results, offered again by the next.
    std::string m_saveFileName;
    int m_saveFilter = 0;
    std::unique_ptr<CheckAdapter> m_host;
    bool m_checking = false;
    bool m_checkCancelled = false;
    bool m_closeAfterRun = false;
    bool m_closeConfirmed = false;
};
