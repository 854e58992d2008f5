// Unit1: the main window TForm1: what its form cannot say, the wiring of its commands,
// closing, pointer and keys over the lists, and the candidate page's commands.
#include "ui/Unit1.h"

#include "ui/Unit1Check.h"

#include "scan/FileScan.h"
#include "ui/AboutUnit.h"
#include "ui/CandidateList.h"
#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "ui/Settings.h"
#include "ui/ToolTips.h"

#include <QAction>
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
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

Q_DECLARE_METATYPE(Platform::FileStamp)

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kFileRole = Qt::UserRole;
// The stamp of a file node's file, which every command confirms before it acts.
constexpr int kStampRole = Qt::UserRole + 1;

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
    , m_candidates(new CandidateList(this))
    , m_host(std::make_unique<CheckAdapter>(*this))
{
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    completeForm();
    connectCommands();
    connectCleanCommands();
    connectExclusionCommands();

    // The client area is fixed; the window is as large as the menu bar and the pages.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    CentreOnScreen(this);

    FormCreate();
}

TForm1::~TForm1()
{
    // The tree removes its rows when the widgets go, after this body.
    disconnect(FileTree->model(), nullptr, this, nullptr);
    // The widgets outlive this body; they must not keep the style that goes with it.
    for (QWidget* widget : classicControls())
        widget->setStyle(nullptr);
}

QList<QWidget*> TForm1::classicControls() const
{
    return { btnAddFile, btnAddFolder, btnDelFile, btnClear, btnRename, btnChecker, GroupBox1, FileTree };
}

void TForm1::completeForm()
{
    setFont(FormFont());
    PopupMenu1
        = newPopupMenu(this, u"PopupMenu1"_s, { pAddFile, pAddFolder, pDelFile, pClear, pRename, N5, pShow });
    PopupMenu2 = newPopupMenu(
        this, u"PopupMenu2"_s, { popRename, popMove, popShow, N6, popDelete, N9, popCleanAll, N11, popNotDuplicates });
    for (QMenu* menu : { mFile, mFind, N3, PopupMenu1, PopupMenu2 })
        menu->setFont(FormFont());
    PageControl1->tabBar()->setAttribute(Qt::WA_Hover);

    for (QWidget* control : classicControls())
        control->setStyle(FormStyle());
    for (QWidget* control : std::initializer_list<QWidget*> {
             btnAddFile, btnAddFolder, btnDelFile, btnClear, btnRename, btnChecker, Label1, OptionCheck1 })
        condenseToFit(control);

    FileList->setModel(m_candidates);
    FileList->viewport()->installEventFilter(this);
    // The column is as wide as the rows in sight, measured again whenever the view scrolls:
    // measuring a thousand rows at every layout cost tens of milliseconds after each check,
    // and still cut a long path short once it was scrolled into sight.
    FileTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FileTree->header()->setResizeContentsPrecision(0);
    connect(FileTree->verticalScrollBar(), &QScrollBar::valueChanged, this,
        [this] { FileTree->header()->resizeSections(QHeaderView::ResizeToContents); });
    FileTree->installEventFilter(this);
    FileTree->viewport()->installEventFilter(this);

    // Button1 is the window's cancel button; Esc reaches it while it is shown.
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_cancelKey->setContext(Qt::WindowShortcut);
    m_cancelKey->setEnabled(false);
}

void TForm1::connectCommands()
{
    // Each handler that changes the candidate list or the result tree refuses itself
    // while a check runs (refuseWhileChecking), whatever calls it.
    connect(btnAddFile, &QToolButton::clicked, this, &TForm1::btnAddFileClick);
    connect(mAddFile, &QAction::triggered, this, &TForm1::btnAddFileClick);
    connect(pAddFile, &QAction::triggered, this, &TForm1::btnAddFileClick);
    connect(btnAddFolder, &QToolButton::clicked, this, &TForm1::btnAddFolderClick);
    connect(mAddFolder, &QAction::triggered, this, &TForm1::btnAddFolderClick);
    connect(pAddFolder, &QAction::triggered, this, &TForm1::btnAddFolderClick);
    connect(btnDelFile, &QToolButton::clicked, this, &TForm1::btnDelFileClick);
    connect(mDelFile, &QAction::triggered, this, &TForm1::btnDelFileClick);
    connect(pDelFile, &QAction::triggered, this, &TForm1::btnDelFileClick);
    connect(btnClear, &QToolButton::clicked, this, &TForm1::btnClearClick);
    connect(mClear, &QAction::triggered, this, &TForm1::btnClearClick);
    connect(pClear, &QAction::triggered, this, &TForm1::btnClearClick);
    connect(btnRename, &QToolButton::clicked, this, &TForm1::btnRenameClick);
    connect(mRename, &QAction::triggered, this, &TForm1::btnRenameClick);
    connect(pRename, &QAction::triggered, this, &TForm1::btnRenameClick);
    connect(pShow, &QAction::triggered, this, &TForm1::pShowClick);
    connect(FileList, &QListView::doubleClicked, this, &TForm1::FileListDblClick);
    connect(OptionCheck1, &QCheckBox::clicked, this, &TForm1::OptionCheck1Click);
    connect(mOptionCheck1, &QAction::triggered, this, &TForm1::mOptionCheck1Click);
    connect(mExit, &QAction::triggered, this, &TForm1::mExitClick);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);

    connect(btnChecker, &QToolButton::clicked, this, &TForm1::btnCheckerClick);
    connect(mChecker, &QAction::triggered, this, &TForm1::btnCheckerClick);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(m_cancelKey, &QShortcut::activated, this, [this] {
        if (Button1->isVisible() && Button1->isEnabled())
            Button1Click();
    });

    connect(popRename, &QAction::triggered, this, &TForm1::popRenameClick);
    connect(popMove, &QAction::triggered, this, &TForm1::popMoveClick);
    connect(popShow, &QAction::triggered, this, &TForm1::popShowClick);
    connect(popDelete, &QAction::triggered, this, &TForm1::popDeleteClick);
    connect(mSaveResults, &QAction::triggered, this, &TForm1::mSaveResultsClick);
    connect(FileTree->model(), &QAbstractItemModel::rowsInserted, this, &TForm1::updateSaveResults);
    connect(FileTree->model(), &QAbstractItemModel::rowsRemoved, this, &TForm1::updateSaveResults);
    connect(FileTree->model(), &QAbstractItemModel::modelReset, this, &TForm1::updateSaveResults);
    connect(PopupMenu2, &QMenu::aboutToShow, this, &TForm1::PopupMenu2Popup);

    connect(FileList, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenu1->popup(FileList->viewport()->mapToGlobal(pos)); });
    connect(FileTree, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenu2->popup(FileTree->viewport()->mapToGlobal(pos)); });

    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!manager.allowsInteraction())
            return;
        const bool endSession = SessionEndConfirmed();
        manager.release();
        if (!endSession)
            manager.cancel();
    });
}

// ---- candidate list access ----

void TForm1::ReplaceCandidate(std::size_t index, const std::string& path)
{
    m_candidates->Replace(index, path);
    FileList->selectionModel()->select(
        m_candidates->index(static_cast<int>(index)), QItemSelectionModel::Deselect);
}

bool TForm1::CandidateSelected(std::size_t index) const
{
    if (index >= m_candidates->Count())
        return false;
    return FileList->selectionModel()->isSelected(m_candidates->index(static_cast<int>(index)));
}

std::vector<std::size_t> TForm1::SelectedCandidates() const
{
    std::vector<std::size_t> indices;
    for (const RowRange& range : selectedRanges(FileList->selectionModel()->selection())) {
        for (std::size_t row = range.first; row <= range.second; ++row)
            indices.push_back(row);
    }
    return indices;
}

int TForm1::FocusedIndex() const
{
    const QModelIndex current = FileList->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TForm1::RunCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& error) {
        // Files::FileError among them: its text is the user's message.
        TheDesktop().Error(PathToDisplay(Files::ErrorBoxText(error.what())));
    }
}

void TForm1::RefreshCount() { CountLabel->setText(QString::number(m_candidates->Count())); }

std::string TForm1::NodePath(const QTreeWidgetItem* item)
{
    if (!item)
        return {};
    return item->data(0, kFileRole).toByteArray().toStdString();
}

void TForm1::SetNodePath(QTreeWidgetItem* item, const std::string& path)
{
    item->setData(0, kFileRole, QByteArray::fromStdString(path));
    item->setText(0, PathToDisplay(path));
}

Check::FoundFile TForm1::NodeFile(const QTreeWidgetItem* item)
{
    if (!item)
        return {};
    return { NodePath(item), item->data(0, kStampRole).value<Platform::FileStamp>() };
}

void TForm1::SetNodeFile(QTreeWidgetItem* item, const Check::FoundFile& file)
{
    SetNodePath(item, file.path);
    item->setData(0, kStampRole, QVariant::fromValue(file.stamp));
}

// ---- window events ----

void TForm1::FormCreate()
{
    // The whole window takes file drops; the list's viewport takes them itself because
    // it is the view's own drop target.
    setAcceptDrops(true);
    FileList->viewport()->setAcceptDrops(true);
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
        m_checkCancelled = true;
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
    if (m_checking) {
        // Stop the run first; btnCheckerClick closes the window once it has returned.
        m_checkCancelled = true;
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FileTree && event->type() == QEvent::KeyPress) {
        // Enter on a group opens its delete dialog, as a double-click does.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QTreeWidgetItem* node = FileTree->selectedItems().value(0, nullptr);
        const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (enter && node && node->childCount() > 0) {
            FileTreeDblClick();
            return true;
        }
        return QMainWindow::eventFilter(watched, event);
    }
    const bool listViewport = watched == FileList->viewport();
    if (!listViewport && watched != FileTree->viewport())
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
            if (event->type() == QEvent::MouseButtonPress && !FileTree->itemAt(mouse->position().toPoint())) {
                FileTree->setFocus(Qt::MouseFocusReason);
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
    if (viewport == FileList->viewport()) {
        const QModelIndex index = FileList->indexAt(event.pos());
        if (index.isValid()) {
            text = FileToolTip(m_candidates->At(static_cast<std::size_t>(index.row())));
            area = FileList->visualRect(index);
        }
    } else if (const QTreeWidgetItem* node = FileTree->itemAt(event.pos())) {
        const std::string path = NodePath(node);
        if (!path.empty()) {
            text = FileToolTip(path);
        } else {
            std::vector<std::string> paths;
            paths.reserve(static_cast<std::size_t>(node->childCount()));
            for (int i = 0; i < node->childCount(); ++i)
                paths.push_back(NodePath(node->child(i)));
            text = GroupToolTip(paths);
        }
        area = FileTree->visualItemRect(node);
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
    RunCommand([this] {
        TAboutBox box(this);
        box.exec();
    });
}

void TForm1::btnAddFileClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        BusyCursor busy;
        const std::string filter = FileScan::NormalizeExtFilter(utf8(ExtEdit->text()));
        ExtEdit->setText(QString::fromUtf8(filter));
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
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        BusyCursor busy;
        std::string folder;
        if (PickFolder(u"画像のフォルダを指定"_s, folder)) {
            if (isDriveRoot(folder))
                folder.resize(2);
            const std::string filterText = utf8(ExtEdit->text());
            std::vector<std::string> found;
            std::vector<FileScan::ListedFile> listed;
            const FileScan::Exclusions exclusions(Settings::Exclusions());
            if (OptionCheck1->isChecked())
                FileScan::AddFolderTreeFiles(folder, filterText, found, &listed, nullptr, &exclusions);
            else
                FileScan::AddFolderFiles(folder, filterText, found, &listed, nullptr, &exclusions);
            m_candidates->Append(std::move(found), &listed);
        }
        RefreshCount();
    });
}

void TForm1::btnDelFileClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        if (FocusedIndex() < 0 || m_candidates->Empty())
            return;
        const std::vector<RowRange> ranges = selectedRanges(FileList->selectionModel()->selection());
        const int focused = FocusedIndex();
        m_candidates->RemoveRanges(ranges);
        // A reset of the model forgets the focus; put it where row removals would.
        if (!FileList->selectionModel()->currentIndex().isValid() && !m_candidates->Empty()) {
            std::size_t removedBefore = 0;
            for (const RowRange& range : ranges) {
                if (range.first < static_cast<std::size_t>(focused))
                    removedBefore
                        += std::min(range.second + 1, static_cast<std::size_t>(focused)) - range.first;
            }
            const std::size_t row
                = std::min(static_cast<std::size_t>(focused) - removedBefore, m_candidates->Count() - 1);
            FileList->selectionModel()->setCurrentIndex(
                m_candidates->index(static_cast<int>(row)), QItemSelectionModel::NoUpdate);
        }
        RefreshCount();
    });
}

void TForm1::btnClearClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        if (m_candidates->Empty())
            return;
        if (TheDesktop().Confirm(u"初期状態に戻しますか？"_s)) {
            m_candidates->Clear();
            FileTree->clear();
        }
        RefreshCount();
    });
}

void TForm1::pShowClick()
{
    RunCommand([this] {
        if (FocusedIndex() < 0 || m_candidates->Empty())
            return;
        for (const std::size_t index : SelectedCandidates())
            OpenWithAssociatedProgram(m_candidates->At(index));
    });
}

void TForm1::FileListDblClick() { pShowClick(); }

void TForm1::OptionCheck1Click() { mOptionCheck1->setChecked(OptionCheck1->isChecked()); }

void TForm1::mOptionCheck1Click()
{
    // The menu item has toggled its own mark already.
    OptionCheck1->setChecked(mOptionCheck1->isChecked());
}
