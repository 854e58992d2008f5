// Unit1: the main window TForm1, its controls, menus and command handlers.
#pragma once

#include "check/CheckRun.h"
#include "scan/FileOps.h"

#include <QMainWindow>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CandidateList;
class QAction;
class QCheckBox;
class QGroupBox;
class QHelpEvent;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMenuBar;
class QMimeData;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// The main window: the candidate page with FileList (the candidate list) and its
// commands, and the results page with FileTree (the result tree). Implements the
// check run's host with its widgets.
//
// Every command handler runs its work through RunCommand, which turns a failure into
// the error box. While a check runs (Checking()), the commands that would change the
// candidate list or the result tree do nothing, and drops are ignored, so the run never
// meets an index it did not expect.
class TForm1 final : public QMainWindow, public Check::CheckHost {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, under their object names.
    QMenuBar* MainMenu1 = nullptr;
    QMenu* mFile = nullptr;
    QAction* mAddFile = nullptr;
    QAction* mAddFolder = nullptr;
    QAction* mDelFile = nullptr;
    QAction* mClear = nullptr;
    QAction* mRename = nullptr;
    QAction* N7 = nullptr;
    QAction* mSaveResults = nullptr;
    QAction* N1 = nullptr;
    QAction* mExit = nullptr;
    QMenu* mFind = nullptr;
    QAction* mChecker = nullptr;
    QAction* N2 = nullptr;
    QAction* mOptionCheck1 = nullptr;
    QAction* N8 = nullptr;
    QAction* mCleanAll = nullptr;
    QAction* mUseTrash = nullptr;
    QMenu* N3 = nullptr;
    QAction* About1 = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* pAddFile = nullptr;
    QAction* pAddFolder = nullptr;
    QAction* pDelFile = nullptr;
    QAction* pClear = nullptr;
    QAction* pRename = nullptr;
    QAction* N5 = nullptr;
    QAction* pShow = nullptr;

    QMenu* PopupMenu2 = nullptr;
    QAction* popRename = nullptr;
    QAction* popMove = nullptr;
    QAction* popShow = nullptr;
    QAction* N6 = nullptr;
    QAction* popDelete = nullptr;
    QAction* N9 = nullptr;
    QAction* popCleanAll = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QToolButton* btnAddFile = nullptr;
    QToolButton* btnAddFolder = nullptr;
    QToolButton* btnDelFile = nullptr;
    QToolButton* btnClear = nullptr;
    QToolButton* btnRename = nullptr;
    QLabel* CountLabel = nullptr;
    QListView* FileList = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* ExtEdit = nullptr;
    QCheckBox* OptionCheck1 = nullptr;
    QToolButton* btnChecker = nullptr;
    QPushButton* Button1 = nullptr;
    QProgressBar* PBar = nullptr;
    QWidget* TabSheet2 = nullptr;
    QTreeWidget* FileTree = nullptr;

    // Candidate list access for the commands of the other units.
    std::size_t CandidateCount() const;
    // Returns the path bytes of entry index; throws std::out_of_range past the end.
    std::string CandidateText(std::size_t index) const;
    // Puts path in place of entry index; the entry loses its selection mark, the focused
    // index stays. Throws std::out_of_range past the end.
    void ReplaceCandidate(std::size_t index, const std::string& path);
    bool CandidateSelected(std::size_t index) const;
    // Returns the indices of the selected entries in ascending order.
    std::vector<std::size_t> SelectedCandidates() const;
    // Returns the focused entry's index, or -1 when no entry has the focus.
    int FocusedIndex() const;
    CandidateList& Candidates() { return *m_candidates; }

    // Runs command; a FileScan::FileError or other std::exception it throws ends it and
    // shows the error box with the text and its full stop (FileScan::ErrorBoxText).
    void RunCommand(const std::function<void()>& command);
    // Sets CountLabel to the candidate count.
    void RefreshCount();
    // True while a check runs.
    bool Checking() const { return m_checking; }
    // Replaces the clock that times a check run for the time left on the progress bar.
    void SetProgressClock(std::function<std::chrono::steady_clock::time_point()> clock);

    // Returns the path bytes stored in a file node of FileTree ("" for a group node).
    static std::string NodePath(const QTreeWidgetItem* item);
    // Stores path in a file node and shows it readably as the caption.
    static void SetNodePath(QTreeWidgetItem* item, const std::string& path);

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
    FileScan::RemoveMode RemoveModeNow() const;
    // True while the tree holds a group of two files or more.
    bool HasGroups() const;

    // Check::CheckHost
    std::size_t EntryCount() const override;
    std::string EntryText(std::size_t index) const override;
    void RemoveEntry(std::size_t index) override;
    void RemoveEntries(const std::vector<std::size_t>& indices) override;
    void AddGroup(const std::string& caption) override;
    void AddChild(const std::string& caption) override;
    void SetProgressMax(int maximum) override;
    void SetProgress(int position) override;
    void SetCountText(const std::string& text) override;
    void SetComparedFiles(std::size_t files) override;
    void ProcessEvents() override;
    bool CheckCancelled() const override;
    void ResetCancelled() override;
    void SetCheckCtrl(bool checking) override;
    void FocusCancel() override;
    void ShowPage(int index) override;
    void ShowInfo(const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void createCandidatePage();
    void createResultsPage();
    void connectCommands();
    void connectCleanCommands();
    bool acceptsDrop(const QMimeData* data) const;
    // Enables mSaveResults while FileTree has groups and no check runs.
    void updateSaveResults();
    // Shows the tooltip of the entry or node under the pointer of a list's viewport.
    void showToolTip(QWidget* viewport, const QHelpEvent& event);
    void refreshProgressText();

    CandidateList* m_candidates = nullptr;
    QShortcut* m_cancelKey = nullptr;
    std::string m_openFileName;
    // The last save of the results, offered again by the next.
    std::string m_saveFileName;
    int m_saveFilter = 0;
    std::function<std::chrono::steady_clock::time_point()> m_progressClock
        = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point m_runStart;
    std::size_t m_comparedFiles = 0;
    // Groups in the tree when the running check started.
    int m_groupsBeforeRun = 0;
    bool m_checking = false;
    bool m_checkCancelled = false;
    bool m_closeAfterRun = false;
    bool m_closeConfirmed = false;
};
