// Unit1: the main window TForm1: layout, menus, drops, closing, the candidate list
// commands and the check run's host.
#include "ui/Unit1.h"

#include "scan/FileScan.h"
#include "ui/AboutUnit.h"
#include "ui/CandidateList.h"
#include "ui/CheckProgress.h"
#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "ui/ToolTips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kClientWidth = 710;
constexpr int kClientHeight = 400;
constexpr int kFileRole = Qt::UserRole;

const char* const kUriListFormat = "text/uri-list";

QIcon MenuIcon(const QString& name) { return QIcon(u":/icons/"_s + name + u".svg"_s); }

// A flat button's two glyphs: the normal one and the one shown while disabled.
QIcon ButtonGlyph(const QString& name)
{
    QIcon icon;
    icon.addFile(u":/icons/"_s + name + u".svg"_s, QSize(16, 16), QIcon::Normal);
    icon.addFile(u":/icons/"_s + name + u"-disabled.svg"_s, QSize(16, 16), QIcon::Disabled);
    return icon;
}

// Condenses the widget's font, when the Japanese font at hand runs wider than the face
// the layout was drawn for, until its text fits the widget's fixed width.
void CondenseToFit(QWidget* widget)
{
    QFont font = widget->font();
    for (int stretch = 100; stretch >= 70 && widget->sizeHint().width() > widget->width(); stretch -= 2) {
        font.setStretch(stretch);
        widget->setFont(font);
    }
}

// Creates one of the page's flat buttons: glyph beside the caption, raised under the mouse.
QToolButton* NewFlatButton(QWidget* page, QStyle* style, const QString& name, const QString& caption,
    const QString& glyph, QRect geometry)
{
    auto* button = new QToolButton(page);
    button->setObjectName(name);
    button->setText(caption);
    button->setIcon(ButtonGlyph(glyph));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    // Flat buttons never take the keyboard focus.
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(geometry);
    button->setStyle(style);
    CondenseToFit(button);
    return button;
}

// Returns the local path bytes of one line of a text/uri-list, or "" when the line is
// no local file URL. The percent escapes are decoded byte for byte, so names that are
// not UTF-8 and paths of any length arrive unchanged.
std::string LocalPathOfUri(QByteArray line)
{
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#'))
        return {};
    if (!line.left(5).toLower().startsWith("file:"))
        return {};
    QByteArray rest = line.mid(5);
    if (rest.startsWith("//")) {
        const qsizetype slash = rest.indexOf('/', 2);
        if (slash < 0)
            return {};
        const QByteArray host = rest.mid(2, slash - 2).toLower();
        if (!host.isEmpty() && host != "localhost")
            return {};
        rest = rest.mid(slash);
    }
    // A raw "?" or "#" starts the query or fragment; in names they arrive escaped.
    const qsizetype end = std::min(rest.indexOf('?') < 0 ? rest.size() : rest.indexOf('?'),
        rest.indexOf('#') < 0 ? rest.size() : rest.indexOf('#'));
    const QByteArray path = QByteArray::fromPercentEncoding(rest.left(end));
    if (!path.startsWith('/') || path.contains('\0'))
        return {};
    return path.toStdString();
}

std::vector<std::string> DroppedPaths(const QMimeData& data)
{
    std::vector<std::string> paths;
    if (data.hasFormat(QString::fromLatin1(kUriListFormat))) {
        const QByteArray list = data.data(QString::fromLatin1(kUriListFormat));
        for (const QByteArray& line : list.split('\n')) {
            std::string path = LocalPathOfUri(line);
            if (!path.empty())
                paths.push_back(std::move(path));
        }
        return paths;
    }
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            paths.push_back(PathFromUser(url.toLocalFile()));
    }
    return paths;
}

// Merges the selected rows into sorted, disjoint ranges.
std::vector<RowRange> SelectedRanges(const QItemSelection& selection)
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
bool IsDriveRoot(const std::string& folder)
{
    return folder.size() == 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
}

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent)
    , m_candidates(new CandidateList(this))
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Tessarin"_s);
    setWindowIcon(QIcon(u":/tessarin.svg"_s));
    setFont(FormFont());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    createMenus();
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->setFixedSize(kClientWidth, kClientHeight);
    PageControl1->tabBar()->setAttribute(Qt::WA_Hover);
    setCentralWidget(PageControl1);
    createCandidatePage();
    createResultsPage();
    PageControl1->setCurrentIndex(0);
    connectCommands();
    connectCleanCommands();

    // The client area is fixed; the window is as large as the menu bar and the pages.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    CentreOnScreen(this);

    InstallFolderBrowser();
    FormCreate();
}

TForm1::~TForm1()
{
    // The tree removes its rows when the widgets go, after this body.
    disconnect(FileTree->model(), nullptr, this, nullptr);
    // The widgets outlive this body; they must not keep the style that goes with it.
    for (QWidget* widget : std::initializer_list<QWidget*> {
             btnAddFile, btnAddFolder, btnDelFile, btnClear, btnRename, btnChecker, GroupBox1, FileTree })
        widget->setStyle(nullptr);
}

void TForm1::createMenus()
{
    const auto addAction = [this](QMenu* menu, const QString& name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        action->setParent(this);
        return action;
    };
    const auto addSeparator = [](QMenu* menu, const QString& name) {
        QAction* separator = menu->addSeparator();
        separator->setObjectName(name);
        return separator;
    };
    const auto addMenu = [this](const QString& name, const QString& caption) {
        QMenu* menu = MainMenu1->addMenu(caption);
        menu->setObjectName(name);
        menu->setFont(FormFont());
        return menu;
    };

    MainMenu1 = menuBar();
    MainMenu1->setObjectName(u"MainMenu1"_s);
    mFile = addMenu(u"mFile"_s, u"ファイル(&F)"_s);
    mAddFile = addAction(mFile, u"mAddFile"_s, u"ファイル追加(&F)..."_s);
    mAddFolder = addAction(mFile, u"mAddFolder"_s, u"フォルダ追加(&O)..."_s);
    mDelFile = addAction(mFile, u"mDelFile"_s, u"ファイル削除(&D)"_s);
    mClear = addAction(mFile, u"mClear"_s, u"リスト内クリア(&C)"_s);
    mRename = addAction(mFile, u"mRename"_s, u"リネーム(&R)..."_s);
    N7 = addSeparator(mFile, u"N7"_s);
    mSaveResults = addAction(mFile, u"mSaveResults"_s, u"結果を保存..."_s);
    mSaveResults->setEnabled(false);
    N1 = addSeparator(mFile, u"N1"_s);
    mExit = addAction(mFile, u"mExit"_s, u"終了(&X)"_s);
    mFind = addMenu(u"mFind"_s, u"検索(&S)"_s);
    mChecker = addAction(mFind, u"mChecker"_s, u"重複ファイルチェック(&C)"_s);
    N2 = addSeparator(mFind, u"N2"_s);
    mOptionCheck1 = addAction(mFind, u"mOptionCheck1"_s, u"サブフォルダ検索(&S)"_s);
    mOptionCheck1->setCheckable(true);
    mOptionCheck1->setChecked(true);
    N8 = addSeparator(mFind, u"N8"_s);
    mCleanAll = addAction(mFind, u"mCleanAll"_s, u"重複ファイルの一括整理(&B)..."_s);
    mUseTrash = addAction(mFind, u"mUseTrash"_s, u"ゴミ箱に移動する(&T)"_s);
    mUseTrash->setCheckable(true);
    N3 = addMenu(u"N3"_s, u"&?"_s);
    About1 = addAction(N3, u"About1"_s, u"バージョン情報(&A)..."_s);

    // The images of ImageList1, indices 0-6.
    mAddFile->setIcon(MenuIcon(u"addfile"_s));
    mAddFolder->setIcon(MenuIcon(u"addfolder"_s));
    mDelFile->setIcon(MenuIcon(u"remove"_s));
    mClear->setIcon(MenuIcon(u"clear"_s));
    mChecker->setIcon(MenuIcon(u"check"_s));
    mRename->setIcon(MenuIcon(u"rename"_s));
    mExit->setIcon(MenuIcon(u"exit"_s));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    PopupMenu1->setFont(FormFont());
    pAddFile = addAction(PopupMenu1, u"pAddFile"_s, u"ファイル追加(&F)..."_s);
    pAddFolder = addAction(PopupMenu1, u"pAddFolder"_s, u"フォルダ追加(&O)..."_s);
    pDelFile = addAction(PopupMenu1, u"pDelFile"_s, u"ファイル削除(&D)"_s);
    pClear = addAction(PopupMenu1, u"pClear"_s, u"リスト内クリア(&C)"_s);
    pRename = addAction(PopupMenu1, u"pRename"_s, u"リネーム(&R)..."_s);
    N5 = addSeparator(PopupMenu1, u"N5"_s);
    pShow = addAction(PopupMenu1, u"pShow"_s, u"表示(&V)"_s);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(u"PopupMenu2"_s);
    PopupMenu2->setFont(FormFont());
    popRename = addAction(PopupMenu2, u"popRename"_s, u"リネーム(&R)"_s);
    popMove = addAction(PopupMenu2, u"popMove"_s, u"ファイル移動(&M)"_s);
    popShow = addAction(PopupMenu2, u"popShow"_s, u"表示(&V)"_s);
    N6 = addSeparator(PopupMenu2, u"N6"_s);
    popDelete = addAction(PopupMenu2, u"popDelete"_s, u"削除(&D)"_s);
    N9 = addSeparator(PopupMenu2, u"N9"_s);
    popCleanAll = addAction(PopupMenu2, u"popCleanAll"_s, u"重複ファイルの一括整理(&B)..."_s);
}

void TForm1::createCandidatePage()
{
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(u"TabSheet1"_s);
    PageControl1->addTab(TabSheet1, u"検索"_s);

    btnAddFile = NewFlatButton(
        TabSheet1, FormStyle(), u"btnAddFile"_s, u"ファイル指定"_s, u"addfile"_s, QRect(5, 5, 120, 25));
    btnAddFolder = NewFlatButton(TabSheet1, FormStyle(), u"btnAddFolder"_s, u"フォルダ指定"_s,
        u"addfolder"_s, QRect(130, 5, 120, 25));
    btnDelFile = NewFlatButton(
        TabSheet1, FormStyle(), u"btnDelFile"_s, u"ファイル削除"_s, u"remove"_s, QRect(255, 5, 120, 25));
    btnClear = NewFlatButton(
        TabSheet1, FormStyle(), u"btnClear"_s, u"リスト内クリア"_s, u"clear"_s, QRect(380, 5, 120, 25));
    btnRename = NewFlatButton(
        TabSheet1, FormStyle(), u"btnRename"_s, u"リネーム"_s, u"rename"_s, QRect(505, 5, 120, 25));

    CountLabel = new QLabel(u"0"_s, TabSheet1);
    CountLabel->setObjectName(u"CountLabel"_s);
    CountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CountLabel->setGeometry(645, 20, 50, 12);

    FileList = new QListView(TabSheet1);
    FileList->setObjectName(u"FileList"_s);
    FileList->setModel(m_candidates);
    FileList->setUniformItemSizes(true);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileList->setTextElideMode(Qt::ElideNone);
    FileList->setContextMenuPolicy(Qt::CustomContextMenu);
    FileList->setGeometry(5, 35, 690, 240);
    FileList->viewport()->installEventFilter(this);

    GroupBox1 = new QGroupBox(u"検索オプション"_s, TabSheet1);
    GroupBox1->setObjectName(u"GroupBox1"_s);
    GroupBox1->setGeometry(5, 280, 450, 65);
    GroupBox1->setStyle(FormStyle());
    Label1 = new QLabel(u"検出するファイルタイプ（拡張子）："_s, GroupBox1);
    Label1->setObjectName(u"Label1"_s);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setGeometry(10, 15, 170, 20);
    CondenseToFit(Label1);
    ExtEdit = new QLineEdit(u"*.*"_s, GroupBox1);
    ExtEdit->setObjectName(u"ExtEdit"_s);
    // Patterns are typed in Latin letters; the input method starts closed.
    ExtEdit->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    // File drops belong to the window, not to the text of the field.
    ExtEdit->setAcceptDrops(false);
    ExtEdit->setGeometry(185, 15, 150, 20);
    OptionCheck1
        = new QCheckBox(u"フォルダを指定されたらサブディレクトリ内のファイルも検出する"_s, GroupBox1);
    OptionCheck1->setObjectName(u"OptionCheck1"_s);
    OptionCheck1->setChecked(true);
    OptionCheck1->setGeometry(10, 40, 350, 17);
    CondenseToFit(OptionCheck1);

    btnChecker = NewFlatButton(TabSheet1, FormStyle(), u"btnChecker"_s, u"重複ファイルチェック"_s,
        u"check"_s, QRect(550, 285, 145, 30));

    Button1 = new QPushButton(u"ｷｬﾝｾﾙ"_s, TabSheet1);
    Button1->setObjectName(u"Button1"_s);
    Button1->setGeometry(550, 320, 145, 25);
    Button1->setAutoDefault(false);
    Button1->hide();

    PBar = new QProgressBar(TabSheet1);
    PBar->setObjectName(u"PBar"_s);
    PBar->setRange(0, 100);
    PBar->setValue(0);
    // Percentage, time left and compared files; see refreshProgressText.
    PBar->setTextVisible(true);
    PBar->setAlignment(Qt::AlignCenter);
    PBar->setGeometry(5, 350, 690, 16);
    PBar->hide();

    QWidget::setTabOrder(FileList, ExtEdit);
    QWidget::setTabOrder(ExtEdit, OptionCheck1);
    // The progress bar takes no focus, so the chain goes on to the cancel button.
    QWidget::setTabOrder(OptionCheck1, Button1);

    // Button1 is the window's cancel button; Esc reaches it while it is shown.
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_cancelKey->setContext(Qt::WindowShortcut);
    m_cancelKey->setEnabled(false);
}

void TForm1::createResultsPage()
{
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(u"TabSheet2"_s);
    PageControl1->addTab(TabSheet2, u"検索結果"_s);
    FileTree = new QTreeWidget(TabSheet2);
    FileTree->setObjectName(u"FileTree"_s);
    FileTree->setHeaderHidden(true);
    FileTree->setColumnCount(1);
    FileTree->setIndentation(19);
    FileTree->setRootIsDecorated(true);
    FileTree->setItemsExpandable(true);
    FileTree->setUniformRowHeights(true);
    FileTree->setSelectionMode(QAbstractItemView::SingleSelection);
    // Captions are paths shown for reading; the commands take the bytes from the node.
    FileTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileTree->setExpandsOnDoubleClick(false);
    FileTree->setContextMenuPolicy(Qt::CustomContextMenu);
    FileTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FileTree->header()->setStretchLastSection(false);
    FileTree->setStyle(FormStyle());
    FileTree->installEventFilter(this);
    FileTree->viewport()->installEventFilter(this);
    auto* fill = new QVBoxLayout(TabSheet2);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(FileTree);
}

void TForm1::connectCommands()
{
    // Commands that change the candidate list or the result tree are not taken while a
    // check runs; the handlers of this unit check that themselves.
    const auto unlessChecking = [this](void (TForm1::*handler)()) {
        return [this, handler] {
            if (!m_checking)
                (this->*handler)();
        };
    };
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
    connect(btnRename, &QToolButton::clicked, this, unlessChecking(&TForm1::btnRenameClick));
    connect(mRename, &QAction::triggered, this, unlessChecking(&TForm1::btnRenameClick));
    connect(pRename, &QAction::triggered, this, unlessChecking(&TForm1::btnRenameClick));
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

    connect(popRename, &QAction::triggered, this, unlessChecking(&TForm1::popRenameClick));
    connect(popMove, &QAction::triggered, this, unlessChecking(&TForm1::popMoveClick));
    connect(popShow, &QAction::triggered, this, &TForm1::popShowClick);
    connect(popDelete, &QAction::triggered, this, unlessChecking(&TForm1::popDeleteClick));
    // Saving waits for the end of a run, whose groups are not all in yet.
    connect(mSaveResults, &QAction::triggered, this, unlessChecking(&TForm1::mSaveResultsClick));
    connect(FileTree->model(), &QAbstractItemModel::rowsInserted, this, &TForm1::updateSaveResults);
    connect(FileTree->model(), &QAbstractItemModel::rowsRemoved, this, &TForm1::updateSaveResults);
    connect(FileTree->model(), &QAbstractItemModel::modelReset, this, &TForm1::updateSaveResults);
    connect(PopupMenu2, &QMenu::aboutToShow, this, [this] {
        PopupMenu2Popup();
        if (m_checking) {
            for (QAction* action : { popRename, popMove, popDelete })
                action->setEnabled(false);
        }
    });

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

std::size_t TForm1::CandidateCount() const { return m_candidates->Count(); }

std::string TForm1::CandidateText(std::size_t index) const { return m_candidates->At(index); }

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
    for (const RowRange& range : SelectedRanges(FileList->selectionModel()->selection())) {
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
        // FileScan::FileError among them: its text is the user's message.
        TheDesktop().Error(PathToDisplay(FileScan::ErrorBoxText(error.what())));
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

bool TForm1::acceptsDrop(const QMimeData* data) const
{
    return !m_checking && data && (data->hasFormat(QString::fromLatin1(kUriListFormat)) || data->hasUrls());
}

void TForm1::DropFiles(const QMimeData& data)
{
    if (m_checking)
        return;
    RunCommand([&] {
        m_candidates->Append(DroppedPaths(data));
        RefreshCount();
    });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (!acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    DropFiles(*event->mimeData());
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
            if (!m_checking)
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
                if (!m_checking)
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
    if (m_checking)
        return;
    RunCommand([this] {
        BusyCursor busy;
        const std::string filter = FileScan::NormalizeExtFilter(Utf8(ExtEdit->text()));
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
    if (m_checking)
        return;
    RunCommand([this] {
        BusyCursor busy;
        std::string folder;
        if (FileScan::PickFolder("画像のフォルダを指定", folder)) {
            if (IsDriveRoot(folder))
                folder.resize(2);
            const std::string filterText = Utf8(ExtEdit->text());
            std::vector<std::string> found;
            if (OptionCheck1->isChecked())
                FileScan::AddFolderTreeFiles(folder, filterText, found);
            else
                FileScan::AddFolderFiles(folder, filterText, found);
            m_candidates->Append(std::move(found));
        }
        RefreshCount();
    });
}

void TForm1::btnDelFileClick()
{
    if (m_checking)
        return;
    RunCommand([this] {
        if (FocusedIndex() < 0 || m_candidates->Empty())
            return;
        const std::vector<RowRange> ranges = SelectedRanges(FileList->selectionModel()->selection());
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
    if (m_checking)
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

// ---- the check run ----

void TForm1::btnCheckerClick()
{
    if (m_checking)
        return;
    RunCommand([this] { Check::RunCheck(*this); });
    if (m_checking)
        SetCheckCtrl(false);
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        m_closeConfirmed = true;
        close();
        m_closeConfirmed = false;
    }
}

void TForm1::Button1Click() { m_checkCancelled = true; }

std::size_t TForm1::EntryCount() const { return m_candidates->Count(); }

std::string TForm1::EntryText(std::size_t index) const { return m_candidates->At(index); }

void TForm1::RemoveEntry(std::size_t index) { m_candidates->RemoveAt(index); }

void TForm1::RemoveEntries(const std::vector<std::size_t>& indices)
{
    // One pass over the list instead of one shift of the tail per removed entry.
    m_candidates->RemoveRanges(FileScan::RangesOfDescending(indices));
}

void TForm1::AddGroup(const std::string& caption)
{
    auto* group = new QTreeWidgetItem(QStringList { QString::fromUtf8(caption) });
    FileTree->addTopLevelItem(group);
}

void TForm1::AddChild(const std::string& caption)
{
    const int groups = FileTree->topLevelItemCount();
    if (groups == 0)
        throw std::logic_error("AddChild without a group");
    auto* file = new QTreeWidgetItem;
    SetNodePath(file, caption);
    FileTree->topLevelItem(groups - 1)->addChild(file);
}

void TForm1::SetProgressMax(int maximum)
{
    // A range of 0..0 would turn the bar into a busy indicator.
    PBar->setMaximum(std::max(maximum, 1));
    refreshProgressText();
}

void TForm1::SetProgress(int position)
{
    // Past the maximum the bar shows full rather than ignoring the value.
    PBar->setValue(std::clamp(position, PBar->minimum(), PBar->maximum()));
    refreshProgressText();
}

void TForm1::SetComparedFiles(std::size_t files)
{
    m_comparedFiles = files;
    refreshProgressText();
}

void TForm1::SetProgressClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    m_progressClock = std::move(clock);
}

void TForm1::refreshProgressText()
{
    const auto elapsed
        = std::chrono::duration_cast<std::chrono::milliseconds>(m_progressClock() - m_runStart);
    const QFontMetrics metrics(PBar->font());
    // The style keeps a few pixels at either end of the bar.
    const int room = PBar->width() - 8;
    PBar->setFormat(
        CheckProgressText(PBar->value() - PBar->minimum(), PBar->maximum() - PBar->minimum(), elapsed,
            m_comparedFiles, [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; }));
}

void TForm1::SetCountText(const std::string& text) { CountLabel->setText(QString::fromUtf8(text)); }

void TForm1::ProcessEvents() { QCoreApplication::processEvents(); }

bool TForm1::CheckCancelled() const { return m_checkCancelled; }

void TForm1::ResetCancelled() { m_checkCancelled = false; }

void TForm1::SetCheckCtrl(bool checking)
{
    m_checking = checking;
    if (checking) {
        m_runStart = m_progressClock();
        m_comparedFiles = 0;
        m_groupsBeforeRun = FileTree->topLevelItemCount();
        refreshProgressText();
    }
    Button1->setVisible(checking);
    PBar->setVisible(checking);
    for (QWidget* control : std::initializer_list<QWidget*> {
             btnAddFile, btnAddFolder, btnDelFile, btnClear, btnChecker, btnRename, ExtEdit, OptionCheck1 })
        control->setEnabled(!checking);
    // Menu commands that would change the lists, or start a second run, wait as well.
    for (QAction* action : { mAddFile, mAddFolder, mDelFile, mClear, mRename, mChecker, pAddFile, pAddFolder,
             pDelFile, pClear, pRename, popRename, popMove, popDelete, mCleanAll, popCleanAll })
        action->setEnabled(!checking);
    m_cancelKey->setEnabled(checking);
    updateSaveResults();
}

void TForm1::FocusCancel()
{
    PageControl1->setCurrentIndex(0);
    Button1->setFocus(Qt::OtherFocusReason);
}

void TForm1::ShowPage(int index)
{
    PageControl1->setCurrentIndex(index);
    // The results open on the first group of the run that just ended: a second run's
    // groups come below those of the first, out of sight.
    if (index == 1 && FileTree->topLevelItemCount() > m_groupsBeforeRun)
        FileTree->scrollToItem(FileTree->topLevelItem(m_groupsBeforeRun), QAbstractItemView::PositionAtTop);
}

void TForm1::ShowInfo(const std::string& text) { TheDesktop().Information(QString::fromUtf8(text)); }
