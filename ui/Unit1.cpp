// Unit1: the main window TForm1: what its form cannot say, the wiring of its commands,
// the busy state of a run (SetCheckCtrl), closing, pointer and keys over the lists.
// Commands: mExitClick, About1Click, btnAddFileClick, btnAddFolderClick,
// btnDelFileClick, btnClearClick, pShowClick, FileListDblClick, OptionCheck1Click,
// mOptionCheck1Click.
#include "ui/Unit1.h"

#include "ui_Unit1.h"

#include "ui/Unit1Check.h"

#include "scan/FileScan.h"
#include "scan/PathStore.h"
#include "scan/Platform.h"
#include "ui/AboutUnit.h"
#include "ui/BackgroundJob.h"
#include "ui/CandidateList.h"
#include "ui/CheckProgress.h"
#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "ui/ResultModel.h"
#include "ui/Settings.h"
#include "ui/ToolTips.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSessionManager>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

// Condenses the widget's font, when the Japanese font at hand runs wider than the face
// the layout was drawn for, until its text fits the widget's fixed width.
void condenseToFit(QWidget* widget)
{
    QFont font = widget->font();
    for (int stretch = 100; stretch >= 70 && widget->sizeHint().width() > widget->width(); stretch -= 2) {
        font.setStretch(stretch);
        widget->setFont(font);
    }
}

QMenu* newPopupMenu(QWidget* owner, const QString& name, const QList<QAction*>& actions)
{
    auto* menu = new QMenu(owner);
    menu->setObjectName(name);
    menu->addActions(actions);
    return menu;
}

// Merges the selected rows into sorted, disjoint ranges.
std::vector<RowRange> selectedRanges(const QItemSelection& selection)
{
    std::vector<RowRange> ranges;
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid())
            ranges.emplace_back(
                static_cast<std::size_t>(range.top()), static_cast<std::size_t>(range.bottom()));
    }
    std::sort(ranges.begin(), ranges.end());
    std::vector<RowRange> merged;
    for (const RowRange& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

// A drive root such as "C:\" scans as "C:", so that joining gives "C:\name".
bool isDriveRoot(const std::string& folder)
{
    return folder.size() == 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::TForm1>())
    , m_candidates(new CandidateList(this))
    , m_resultTree(new ResultModel(this))
    , m_host(std::make_unique<CheckAdapter>(*this))
    , m_undoJob(std::make_unique<BackgroundJob>())
    , m_checkJob(std::make_unique<BackgroundJob>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    completeForm();
    connectCommands();
    connectCleanCommands();
    updateResultCommands();
    connectExclusionCommands();

    // The window opens as large as the menu bar and the pages, and never gets smaller.
    adjustSize();
    CentreOnScreen(this);
    restoreWindowPlace();

    FormCreate();
}

TForm1::~TForm1()
{
    // A run still going stops first: its thread reads the list. An undo goes to its end.
    m_checkJob.reset();
    m_undoJob.reset();
    // The results go with the model when the widgets go, after this body.
    disconnect(m_resultTree, nullptr, this, nullptr);
    // The widgets outlive this body; they must not keep the style that goes with it.
    for (QWidget* widget : classicControls())
        widget->setStyle(nullptr);
}

QList<QWidget*> TForm1::classicControls() const
{
    return { m_ui->btnAddFile, m_ui->btnAddFolder, m_ui->btnDelFile, m_ui->btnClear, m_ui->btnRename,
        m_ui->btnChecker, m_ui->GroupBox1, m_ui->FileTree };
}

Check::Results& TForm1::Results() { return m_resultTree->Results(); }

const Check::Results& TForm1::Results() const { return m_resultTree->Results(); }

void TForm1::completeForm()
{
    Ui::TForm1& ui = *m_ui;
    setFont(FormFont());
    PopupMenu1 = newPopupMenu(
        this, u"PopupMenu1"_s, { ui.pAddFile, ui.pAddFolder, ui.pDelFile, ui.pClear, ui.pRename, ui.N5, ui.pShow });
    PopupMenu2 = newPopupMenu(this, u"PopupMenu2"_s,
        { ui.popRename, ui.popMove, ui.popShow, ui.N6, ui.popDelete, ui.N9, ui.popCleanAll, ui.N11, ui.popNotDuplicates });
    for (QMenu* menu : { ui.mFile, ui.mFind, ui.N3, PopupMenu1, PopupMenu2 })
        menu->setFont(FormFont());
    ui.PageControl1->tabBar()->setAttribute(Qt::WA_Hover);

    for (QWidget* control : classicControls())
        control->setStyle(FormStyle());
    for (QWidget* control : std::initializer_list<QWidget*> { ui.btnAddFile, ui.btnAddFolder, ui.btnDelFile,
             ui.btnClear, ui.btnRename, ui.btnChecker, ui.Label1, ui.OptionCheck1 })
        condenseToFit(control);

    ui.FileList->setModel(m_candidates);
    ui.FileList->viewport()->installEventFilter(this);
    completeResultView();
    QTreeView* tree = ui.FileTree;
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);

    // Button1 is the window's cancel button; Esc reaches it while it is shown.
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_cancelKey->setContext(Qt::WindowShortcut);
    m_cancelKey->setEnabled(false);
    m_progress = std::make_unique<CheckProgressBar>(ui.PBar);
}

void TForm1::connectCommands()
{
    Ui::TForm1& ui = *m_ui;
    // Each command with its action, or its actions, and its button: a button, and the
    // field or option that feeds its command, is enabled with the command's action
    // (IdleCommands waits for the end of a run).
    struct Command {
        void (TForm1::*handler)();
        std::initializer_list<QAction*> actions;
        QToolButton* button;
        QWidget* input;
    };
    for (const Command& command : std::initializer_list<Command> {
             { &TForm1::btnAddFileClick, { ui.mAddFile, ui.pAddFile }, ui.btnAddFile, ui.ExtEdit },
             { &TForm1::btnAddFolderClick, { ui.mAddFolder, ui.pAddFolder }, ui.btnAddFolder, ui.OptionCheck1 },
             { &TForm1::btnDelFileClick, { ui.mDelFile, ui.pDelFile }, ui.btnDelFile, nullptr },
             { &TForm1::btnClearClick, { ui.mClear, ui.pClear }, ui.btnClear, nullptr },
             { &TForm1::btnRenameClick, { ui.mRename, ui.pRename }, ui.btnRename, nullptr },
             { &TForm1::btnCheckerClick, { ui.mChecker }, ui.btnChecker, nullptr },
             { &TForm1::pShowClick, { ui.pShow }, nullptr, nullptr },
             { &TForm1::mOptionCheck1Click, { ui.mOptionCheck1 }, nullptr, nullptr },
             { &TForm1::mExitClick, { ui.mExit }, nullptr, nullptr },
             { &TForm1::About1Click, { ui.About1 }, nullptr, nullptr },
             { &TForm1::popRenameClick, { ui.popRename }, nullptr, nullptr },
             { &TForm1::popMoveClick, { ui.popMove }, nullptr, nullptr },
             { &TForm1::popShowClick, { ui.popShow }, nullptr, nullptr },
             { &TForm1::popDeleteClick, { ui.popDelete }, nullptr, nullptr },
             { &TForm1::mSaveResultsClick, { ui.mSaveResults }, nullptr, nullptr },
         }) {
        for (QAction* action : command.actions)
            connect(action, &QAction::triggered, this, command.handler);
        QAction* first = *command.actions.begin();
        for (QWidget* follower : { static_cast<QWidget*>(command.button), command.input }) {
            if (follower)
                connect(first, &QAction::enabledChanged, follower, &QWidget::setEnabled);
        }
        if (command.button)
            connect(command.button, &QToolButton::clicked, this, command.handler);
    }
    connect(ui.FileList, &QListView::doubleClicked, this, &TForm1::FileListDblClick);
    connect(ui.OptionCheck1, &QCheckBox::clicked, this, &TForm1::OptionCheck1Click);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(m_cancelKey, &QShortcut::activated, this, [this] {
        if (m_ui->Button1->isVisible() && m_ui->Button1->isEnabled())
            Button1Click();
    });

    for (const auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(m_resultTree, signal, this, &TForm1::updateResultCommands);
    connect(m_resultTree, &QAbstractItemModel::modelReset, this, &TForm1::updateResultCommands);
    connect(PopupMenu2, &QMenu::aboutToShow, this, &TForm1::PopupMenu2Popup);

    connect(ui.FileList, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenu1->popup(m_ui->FileList->viewport()->mapToGlobal(pos)); });
    connect(ui.FileTree, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenu2->popup(m_ui->FileTree->viewport()->mapToGlobal(pos)); });

    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!manager.allowsInteraction())
            return;
        const bool endSession = SessionEndConfirmed();
        manager.release();
        if (!endSession)
            manager.cancel();
    });
}

void TForm1::SetCheckCtrl(bool checking)
{
    Ui::TForm1& ui = *m_ui;
    m_checking = checking;
    if (checking)
        m_progress->Start();
    ui.Button1->setVisible(checking);
    ui.PBar->setVisible(checking);
    m_cancelKey->setEnabled(checking);
    updateBusyState();
}

void TForm1::updateBusyState()
{
    m_ui->IdleCommands->setEnabled(!busy());
    m_ui->mUndoClean->setEnabled(!m_undoing);
    // The group enables its actions again whatever their own conditions say.
    updateResultCommands();
}

void TForm1::closeIfAsked()
{
    if (!m_closeAfterRun || busy())
        return;
    m_closeAfterRun = false;
    m_closeConfirmed = true;
    close();
    m_closeConfirmed = false;
}

void TForm1::updateResultCommands()
{
    const bool anyGroup = Results().GroupCount() > 0;
    const bool anyToClean = Results().AnyGroupOfTwo();
    m_ui->mSaveResults->setEnabled(anyGroup);
    for (QAction* action : { m_ui->mCleanAll, m_ui->popCleanAll })
        action->setEnabled(anyToClean);
}

// ---- candidate list access ----

void TForm1::ReplaceCandidate(std::size_t index, const std::string& path)
{
    m_candidates->Replace(index, path);
    m_ui->FileList->selectionModel()->select(
        m_candidates->index(static_cast<int>(index)), QItemSelectionModel::Deselect);
}

bool TForm1::CandidateSelected(std::size_t index) const
{
    if (index >= m_candidates->Count())
        return false;
    return m_ui->FileList->selectionModel()->isSelected(m_candidates->index(static_cast<int>(index)));
}

std::vector<std::size_t> TForm1::SelectedCandidates() const
{
    std::vector<std::size_t> indices;
    for (const RowRange& range : selectedRanges(m_ui->FileList->selectionModel()->selection())) {
        for (std::size_t row = range.first; row <= range.second; ++row)
            indices.push_back(row);
    }
    return indices;
}

int TForm1::FocusedIndex() const
{
    const QModelIndex current = m_ui->FileList->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TForm1::RunCommand(const std::function<void()>& command, WhileBusy whileBusy)
{
    // The one check of the busy state: the run's steps are then the only changes the
    // list and the results see, whatever calls a command.
    if (busy() && whileBusy == WhileBusy::Refuse)
        return;
    try {
        command();
    } catch (const std::exception& error) {
        // Files::FileError among them: its text is the user's message.
        TheDesktop().Error(PathToDisplay(Files::ErrorBoxText(error.what())));
    }
}

void TForm1::RefreshCount() { m_ui->CountLabel->setText(QString::number(m_candidates->Count())); }

// ---- window events ----

void TForm1::FormCreate()
{
    // The whole window takes file drops; the list's viewport takes them itself because
    // it is the view's own drop target.
    setAcceptDrops(true);
    m_ui->FileList->viewport()->setAcceptDrops(true);
}

void TForm1::FormCloseQuery(bool& canClose)
{
    if (m_closeConfirmed || m_candidates->Empty())
        return;
    canClose = TheDesktop().Confirm(u"本当に終了しますか？"_s);
}

bool TForm1::SessionEndConfirmed()
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose && m_checking)
        m_checkJob->Cancel();
    return canClose;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    if (busy()) {
        // Stop the run first (an undo goes to its end); the window closes once both have
        // ended (closeIfAsked).
        m_checkJob->Cancel();
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    saveWindowPlace();
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    QTreeView* tree = m_ui->FileTree;
    if (watched == tree && event->type() == QEvent::KeyPress) {
        // Enter on a group opens its delete dialog, as a double-click does.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const std::optional<std::size_t> group = selectedGroup();
        if (enter && group && !selectedFile() && !Results().Group(*group).files.empty()) {
            FileTreeDblClick();
            return true;
        }
        return QMainWindow::eventFilter(watched, event);
    }
    const bool listViewport = watched == m_ui->FileList->viewport();
    if (!listViewport && watched != tree->viewport())
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ToolTip:
        // While a check runs the lists change under the pointer, and a tooltip window
        // opened then stays unpainted (black) until the run ends.
        if (m_checking)
            QToolTip::hideText();
        else
            showToolTip(static_cast<QWidget*>(watched), *static_cast<QHelpEvent*>(event));
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!listViewport && mouse->button() == Qt::LeftButton) {
            // Anywhere in the tree, empty space too, a double-click acts on the selected
            // node; so a click on empty space keeps the selection.
            if (event->type() == QEvent::MouseButtonDblClick) {
                FileTreeDblClick();
                return true;
            }
            if (event->type() == QEvent::MouseButtonPress && !tree->indexAt(mouse->position().toPoint()).isValid()) {
                tree->setFocus(Qt::MouseFocusReason);
                return true;
            }
        }
        // A right-click opens the pop-up menu and leaves the selection as it was.
        return mouse->button() == Qt::RightButton;
    }
    case QEvent::DragEnter:
        if (listViewport)
            dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        return listViewport;
    case QEvent::DragMove:
        if (listViewport)
            dragMoveEvent(static_cast<QDragMoveEvent*>(event));
        return listViewport;
    case QEvent::Drop:
        if (listViewport)
            dropEvent(static_cast<QDropEvent*>(event));
        return listViewport;
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

void TForm1::showToolTip(QWidget* viewport, const QHelpEvent& event)
{
    QString text;
    QRect area;
    if (viewport == m_ui->FileList->viewport()) {
        const QModelIndex index = m_ui->FileList->indexAt(event.pos());
        if (index.isValid()) {
            text = FileToolTip(m_candidates->At(static_cast<std::size_t>(index.row())));
            area = m_ui->FileList->visualRect(index);
        }
    } else if (const QModelIndex index = resultIndex(m_ui->FileTree->indexAt(event.pos())); index.isValid()) {
        if (const std::optional<Check::FilePlace> file = m_resultTree->FileOf(index))
            text = FileToolTip(Results().File(*file).path);
        else if (const std::optional<std::size_t> group = m_resultTree->GroupOf(index))
            text = GroupToolTip(Results().Group(*group).files);
        area = m_ui->FileTree->visualRect(viewIndex(index));
    }
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event.globalPos(), text, viewport, area);
}

// ---- commands of the candidate page ----

void TForm1::mExitClick() { close(); }

void TForm1::About1Click()
{
    RunCommand(
        [this] {
            TAboutBox box(this);
            box.exec();
        },
        WhileBusy::Run);
}

void TForm1::btnAddFileClick()
{
    RunCommand([this] {
        BusyCursor busy;
        const std::string filter = FileScan::NormalizeExtFilter(utf8(m_ui->ExtEdit->text()));
        m_ui->ExtEdit->setText(QString::fromUtf8(filter));
        const std::string dialogFilter = "ファイル(" + FileScan::UpperAscii(filter) + ")|" + filter;
        std::vector<std::string> chosen;
        if (!TheDesktop().OpenFiles(QString::fromUtf8(dialogFilter), m_openFileName, chosen)
            || chosen.empty())
            return;
        m_candidates->Append(std::move(chosen));
        RefreshCount();
    });
}

void TForm1::btnAddFolderClick()
{
    RunCommand([this] {
        // Until the listing has started: it goes on while the window takes its events.
        BusyCursor busy;
        std::string folder;
        if (PickFolder(u"画像のフォルダを指定"_s, Settings::FolderDialog::AddFolder, folder)) {
            if (isDriveRoot(folder))
                folder.resize(2);
            startFolderAdd(std::move(folder), m_ui->OptionCheck1->isChecked());
        }
        RefreshCount();
    });
}

void TForm1::startFolderAdd(std::string folder, bool withSubfolders)
{
    // The list with what the listing found appended, built on the listing's thread
    // (a million rows take a good part of a second) and put in place at its end.
    auto extended = std::make_shared<std::optional<FileScan::CandidatePaths>>();
    // The look-ups of the rows it adds, for a check that follows at once.
    auto lookUps = std::make_shared<FileScan::LookUps>();
    auto work = [this, extended, lookUps, folder = std::move(folder), withSubfolders,
                    filterText = utf8(m_ui->ExtEdit->text()),
                    exclusions = std::make_shared<const FileScan::Exclusions>(Settings::Exclusions())] {
        // The count goes to the bar at most every few tens of milliseconds: each post is
        // an event for the window.
        auto lastPost = std::chrono::steady_clock::time_point();
        FileScan::ScanWatch watch;
        watch.stop = [this] { return m_checkJob->Cancelled(); };
        watch.found = [this, &lastPost](std::size_t count) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastPost < std::chrono::milliseconds(40))
                return;
            lastPost = now;
            m_checkJob->Post([this, count] { m_progress->ShowFoundFiles(count); });
        };
        FileScan::PathStore paths;
        std::vector<FileScan::ListedFile> listed;
        if (withSubfolders)
            FileScan::AddFolderTreeFiles(folder, filterText, paths, &listed, nullptr, exclusions.get(), &watch);
        else
            FileScan::AddFolderFiles(folder, filterText, paths, &listed, nullptr, exclusions.get(), &watch);
        if (m_checkJob->Cancelled())
            return;
        std::vector<FileScan::FileId> ids = lookUps->Take(std::move(listed));
        // The list does not change while the window is busy, so it may be read here.
        std::vector<std::size_t> passedOver;
        extended->emplace(m_candidates->Extended(paths, std::move(ids), &passedOver));
        lookUps->Drop(passedOver);
        paths.Clear();
        Platform::GiveBackFreeMemory();
    };
    auto finished = [this, extended, lookUps](std::exception_ptr error) {
        const bool cancelled = m_checkJob->Cancelled();
        SetCheckCtrl(false);
        RunCommand([&] {
            if (error)
                std::rethrow_exception(error);
            if (!cancelled && *extended) {
                m_candidates->Adopt(std::move(**extended), std::move(*lookUps));
                m_folderAddedAt = m_clock();
                // Past their time the look-ups only take room.
                QTimer::singleShot(kAddLookUpsServe, m_candidates, [this] {
                    if (m_clock() - m_folderAddedAt >= kAddLookUpsServe)
                        m_candidates->DropLookUps();
                });
            }
        });
        // The list that was (or the one built in vain) goes now.
        extended->reset();
        lookUps->Clear();
        RefreshCount();
        closeIfAsked();
    };
    if (!m_checkJob->Start(std::move(work), std::move(finished)))
        return;
    // The window's one busy state, as during a check: the list changes only at the end.
    SetCheckCtrl(true);
    m_progress->ShowFoundFiles(0);
    m_ui->Button1->setFocus(Qt::OtherFocusReason);
}

void TForm1::btnDelFileClick()
{
    RunCommand([this] {
        if (FocusedIndex() < 0 || m_candidates->Empty())
            return;
        const std::vector<RowRange> ranges = selectedRanges(m_ui->FileList->selectionModel()->selection());
        const int focused = FocusedIndex();
        m_candidates->RemoveRanges(ranges);
        // A reset of the model forgets the focus; put it where row removals would.
        if (!m_ui->FileList->selectionModel()->currentIndex().isValid() && !m_candidates->Empty()) {
            std::size_t removedBefore = 0;
            for (const RowRange& range : ranges) {
                if (range.first < static_cast<std::size_t>(focused))
                    removedBefore
                        += std::min(range.second + 1, static_cast<std::size_t>(focused)) - range.first;
            }
            const std::size_t row
                = std::min(static_cast<std::size_t>(focused) - removedBefore, m_candidates->Count() - 1);
            m_ui->FileList->selectionModel()->setCurrentIndex(
                m_candidates->index(static_cast<int>(row)), QItemSelectionModel::NoUpdate);
        }
        RefreshCount();
    });
}

void TForm1::btnClearClick()
{
    RunCommand([this] {
        if (m_candidates->Empty())
            return;
        if (TheDesktop().Confirm(u"初期状態に戻しますか？"_s)) {
            m_candidates->Clear();
            Results().Clear();
        }
        RefreshCount();
    });
}

void TForm1::pShowClick()
{
    RunCommand(
        [this] {
            if (FocusedIndex() < 0 || m_candidates->Empty())
                return;
            for (const std::size_t index : SelectedCandidates())
                OpenWithAssociatedProgram(m_candidates->At(index));
        },
        WhileBusy::Run);
}

void TForm1::FileListDblClick() { pShowClick(); }

void TForm1::OptionCheck1Click() { m_ui->mOptionCheck1->setChecked(m_ui->OptionCheck1->isChecked()); }

void TForm1::mOptionCheck1Click()
{
    // The menu item has toggled its own mark already.
    m_ui->OptionCheck1->setChecked(m_ui->mOptionCheck1->isChecked());
}
