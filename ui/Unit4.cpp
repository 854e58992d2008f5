// Unit4: the bulk clean dialog TForm4.
#include "ui/Unit4.h"

#include "ui_Unit4.h"

#include "scan/FileError.h"
#include "scan/FileScan.h"
#include "scan/PathText.h"
#include "ui/Desktop.h"
#include "ui/Anchors.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "ui/BackgroundJob.h"
#include "ui/RemovalBoxes.h"
#include "ui/Settings.h"

#include <QComboBox>
#include <QListWidgetItem>
#include <QLocale>
#include <QTreeWidgetItem>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRuleRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole;
constexpr int kGroupRole = Qt::UserRole + 1;

// The choices of "処理", in the combo box's order: the two removals, then the space
// actions (their Check::JournalAction).
struct ActionChoice {
    const char16_t* text;
    const char16_t* verb;
    Check::JournalAction action;
};
constexpr ActionChoice kActions[] = {
    { u"ゴミ箱に移動", u"ゴミ箱に移動", Check::JournalAction::Trash },
    { u"完全に削除", u"削除", Check::JournalAction::Delete },
    { u"ハードリンクに置き換える", u"ハードリンクに置き換え", Check::JournalAction::HardLink },
    { u"データを共有する（reflink）", u"データを共有", Check::JournalAction::Reflink },
    { u"フォルダへ移動", u"フォルダへ移動", Check::JournalAction::Move },
};
constexpr int kMoveChoice = 4;

QString ruleText(Check::KeepRule rule) { return QString::fromUtf8(Check::KeepRuleText(rule)); }

QString bytesText(std::uint64_t bytes)
{
    return QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(bytes));
}

} // namespace

TForm4::TForm4(
    std::vector<Check::ResultGroup> groups, std::vector<bool> selected, Files::RemoveMode mode, QWidget* parent)
    : QDialog(parent, kResizableDialogFlags)
    , m_ui(std::make_unique<Ui::TForm4>())
    , m_groups(std::move(groups))
    , m_selected(std::move(selected))
    , m_mode(mode)
    , m_job(std::make_unique<BackgroundJob>())
{
    m_ui->setupUi(this);
    setFont(FormFont());
    resize(640, 440);
    // Larger, the preview and the protected folders take the room.
    auto* anchors = new Anchors(this);
    const Qt::Edges all = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;
    anchors->Anchor(m_ui->GroupBox2, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    anchors->Anchor(m_ui->ProtectList, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    anchors->Anchor(m_ui->btnProtectAdd, Qt::RightEdge | Qt::TopEdge);
    anchors->Anchor(m_ui->btnProtectRemove, Qt::RightEdge | Qt::TopEdge);
    anchors->Anchor(m_ui->PreviewTree, all);
    anchors->Anchor(m_ui->SelectedOnly, Qt::LeftEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->SummaryLabel, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->PBar, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Button1, Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Button2, Qt::RightEdge | Qt::BottomEdge);
    m_ui->PreviewTree->setTextElideMode(Qt::ElideMiddle);
    m_ui->PBar->hide();
    anchors->Anchor(m_ui->ActionLabel, Qt::LeftEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->ActionCombo, Qt::LeftEdge | Qt::BottomEdge);
    for (const ActionChoice& choice : kActions)
        m_ui->ActionCombo->addItem(QString::fromUtf16(choice.text));
    m_lastAction = m_mode == Files::RemoveMode::Trash ? 0 : 1;
    m_ui->ActionCombo->setCurrentIndex(m_lastAction);
    for (const Settings::RuleChoice& choice : Settings::KeepRules()) {
        auto* item = new QListWidgetItem(ruleText(choice.rule), m_ui->RuleList);
        item->setData(kRuleRole, static_cast<int>(choice.rule));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(choice.on ? Qt::Checked : Qt::Unchecked);
    }
    m_ui->RuleList->setCurrentRow(0);
    for (const std::string& folder : Settings::ProtectedFolders())
        AddProtectedFolder(folder);

    m_selected.resize(m_groups.size(), false);
    m_ui->SelectedOnly->setEnabled(std::find(m_selected.begin(), m_selected.end(), true) != m_selected.end());
    connect(m_ui->SelectedOnly, &QCheckBox::toggled, this, &TForm4::fillPreview);
    connect(m_ui->RuleList, &QListWidget::itemChanged, this, &TForm4::replan);
    connect(m_ui->btnRuleUp, &QPushButton::clicked, this, [this] { moveRule(-1); });
    connect(m_ui->btnRuleDown, &QPushButton::clicked, this, [this] { moveRule(1); });
    connect(m_ui->btnProtectAdd, &QPushButton::clicked, this, &TForm4::addProtected);
    connect(m_ui->btnProtectRemove, &QPushButton::clicked, this, &TForm4::removeProtected);
    connect(m_ui->PreviewTree, &QTreeWidget::itemExpanded, this, &TForm4::showGroupFiles);
    connect(m_ui->PreviewTree, &QTreeWidget::itemChanged, this, [this] { updateSummary(); });
    connect(m_ui->ActionCombo, &QComboBox::activated, this, &TForm4::chooseAction);
    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm4::run);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm4::reject);
    replan();
    CentreOnScreen(this);
}

TForm4::~TForm4() = default;

std::optional<Check::JournalAction> TForm4::SpaceAction() const
{
    const int index = m_ui->ActionCombo->currentIndex();
    if (index < 2)
        return std::nullopt;
    return kActions[index].action;
}

QString TForm4::verb() const
{
    return QString::fromUtf16(kActions[std::max(m_ui->ActionCombo->currentIndex(), 0)].verb);
}

void TForm4::chooseAction(int index)
{
    if (index == kMoveChoice) {
        std::string folder = m_moveTo;
        if (!PickFolder(u"移動先のフォルダを指定"_s, Settings::FolderDialog::MoveFile, folder)) {
            m_ui->ActionCombo->setCurrentIndex(m_lastAction);
            return;
        }
        m_moveTo = folder;
        m_ui->ActionCombo->setToolTip(PathToDisplay(folder));
    } else {
        m_ui->ActionCombo->setToolTip({});
    }
    if (index < 2)
        m_mode = index == 0 ? Files::RemoveMode::Trash : Files::RemoveMode::Delete;
    m_lastAction = index;
    fillPreview();
}

std::vector<Check::KeepRule> TForm4::rules() const
{
    std::vector<Check::KeepRule> chosen;
    for (int row = 0; row < m_ui->RuleList->count(); ++row) {
        const QListWidgetItem* item = m_ui->RuleList->item(row);
        if (item->checkState() == Qt::Checked)
            chosen.push_back(static_cast<Check::KeepRule>(item->data(kRuleRole).toInt()));
    }
    // The plan lets list order decide last by itself.
    return chosen;
}

std::vector<std::string> TForm4::protectedFolders() const
{
    std::vector<std::string> folders;
    folders.reserve(static_cast<std::size_t>(m_ui->ProtectList->count()));
    for (int row = 0; row < m_ui->ProtectList->count(); ++row)
        folders.push_back(m_ui->ProtectList->item(row)->data(kPathRole).toByteArray().toStdString());
    return folders;
}

void TForm4::AddProtectedFolder(const std::string& folder)
{
    const std::vector<std::string> known = protectedFolders();
    if (folder.empty() || std::find(known.begin(), known.end(), folder) != known.end())
        return;
    auto* item = new QListWidgetItem(PathToDisplay(folder), m_ui->ProtectList);
    item->setData(kPathRole, QByteArray::fromStdString(folder));
    item->setToolTip(item->text());
}

void TForm4::addProtected()
{
    std::string folder;
    if (!PickFolder(u"保護するフォルダを指定"_s, Settings::FolderDialog::ProtectFolder, folder))
        return;
    AddProtectedFolder(folder);
    replan();
}

void TForm4::removeProtected()
{
    delete m_ui->ProtectList->currentItem();
    replan();
}

void TForm4::moveRule(int step)
{
    const int row = m_ui->RuleList->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= m_ui->RuleList->count())
        return;
    const QSignalBlocker quiet(m_ui->RuleList);
    QListWidgetItem* item = m_ui->RuleList->takeItem(row);
    m_ui->RuleList->insertItem(to, item);
    m_ui->RuleList->setCurrentRow(to);
    replan();
}

void TForm4::replan()
{
    if (m_job->Running())
        return;
    m_plan = Check::MakeCleanPlan(m_groups, rules(), protectedFolders());
    fillPreview();
}

void TForm4::fillPreview()
{
    const QSignalBlocker quiet(m_ui->PreviewTree);
    m_ui->PreviewTree->clear();
    const QString verb = this->verb();
    QList<QTreeWidgetItem*> items;
    for (std::size_t g = 0; g < m_plan.groups.size(); ++g) {
        const Check::PlannedGroup& group = m_plan.groups[g];
        const auto going
            = static_cast<std::size_t>(std::count(group.remove.begin(), group.remove.end(), true));
        if (m_ui->SelectedOnly->isChecked() && !m_selected[g])
            continue;
        auto* item = new QTreeWidgetItem;
        const QString caption = QString::fromStdString(m_groups[g].Caption());
        if (going == 0) {
            // Left whole by the rules: shown greyed with the reason, so no group vanishes
            // without one.
            item->setText(0,
                caption + u"　"_s + (group.allProtected ? u"すべて保護フォルダ内"_s : u"残すファイルのみ"_s));
            item->setToolTip(0, item->text(0));
            item->setData(0, kGroupRole, static_cast<qulonglong>(g));
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            items.append(item);
            continue;
        }
        item->setText(0,
            u"%1　残す：%2（%3 個を%4）"_s.arg(caption, PathToDisplay(group.files[group.kept].path))
                .arg(going)
                .arg(verb));
        item->setToolTip(0, item->text(0));
        item->setData(0, kGroupRole, static_cast<qulonglong>(g));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Checked);
        // The files are shown when the group is opened: a large result stays quick.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        items.append(item);
    }
    m_ui->PreviewTree->addTopLevelItems(items);
    updateSummary();
}

void TForm4::showGroupFiles(QTreeWidgetItem* item)
{
    if (item->parent() || item->childCount() > 0)
        return;
    const QSignalBlocker quiet(m_ui->PreviewTree);
    const Check::PlannedGroup& group = m_plan.groups[item->data(0, kGroupRole).toULongLong()];
    for (std::size_t i = 0; i < group.files.size(); ++i) {
        const QString what = group.remove[i] ? verb() : u"残す"_s;
        auto* file
            = new QTreeWidgetItem(item, QStringList { what + u"："_s + PathToDisplay(group.files[i].path) });
        file->setToolTip(0, file->text(0));
        file->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
}

int TForm4::PreviewCount() const { return m_ui->PreviewTree->topLevelItemCount(); }

std::vector<bool> TForm4::Included() const
{
    std::vector<bool> included(m_plan.groups.size(), false);
    for (int row = 0; row < m_ui->PreviewTree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_ui->PreviewTree->topLevelItem(row);
        if (item->checkState(0) == Qt::Checked)
            included[item->data(0, kGroupRole).toULongLong()] = true;
    }
    return included;
}

void TForm4::updateSummary()
{
    // A file reached through two lines (the same folder added twice) counts once.
    const Check::PlanTotals totals = Check::TotalsOf(m_plan, Included());
    // Moved aside, the files still take their space, elsewhere.
    const QString bytes = SpaceAction() == Check::JournalAction::Move ? u"%1 バイト移動"_s : u"%1 バイト解放"_s;
    m_ui->SummaryLabel->setText(u"%1 グループ：%2 個のファイルを%3、%4"_s.arg(totals.groups)
                                    .arg(totals.files)
                                    .arg(verb(), bytes.arg(bytesText(totals.bytes))));
    m_ui->Button1->setEnabled(totals.files > 0);
}

void TForm4::saveChoices() const
{
    std::vector<Settings::RuleChoice> choices;
    for (int row = 0; row < m_ui->RuleList->count(); ++row) {
        const QListWidgetItem* item = m_ui->RuleList->item(row);
        choices.push_back({ static_cast<Check::KeepRule>(item->data(kRuleRole).toInt()),
            item->checkState() == Qt::Checked });
    }
    Settings::SetKeepRules(choices);
    Settings::SetProtectedFolders(protectedFolders());
}

void TForm4::run()
{
    if (m_job->Running())
        return;
    const std::optional<Check::JournalAction> space = SpaceAction();
    // Every clean is recorded, so that undo finds what it changed: without a journal
    // nothing changes. A space action records each file as it is done, a removal its
    // files once they have gone (the window writes them).
    const std::string folder = Check::DefaultJournalFolder();
    const Platform::Status opened
        = folder.empty() ? Platform::Status(Platform::Error::NotFound) : m_journal.CreateIn(folder);
    if (!opened.Ok()) {
        TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText(
            "整理の記録を作成できません：" + FileScan::DisplayPath(folder) + "\n" + Files::SystemErrorText(opened))));
        return;
    }
    saveChoices();
    const std::vector<bool> included = Included();
    for (QWidget* control : std::initializer_list<QWidget*> {
             m_ui->GroupBox1, m_ui->GroupBox2, m_ui->PreviewTree, m_ui->Button1 })
        control->setEnabled(false);
    m_ui->ActionLabel->hide();
    m_ui->ActionCombo->hide();
    m_ui->PBar->setValue(0);
    m_ui->PBar->show();
    const auto progress = [this](std::size_t done, std::size_t total) {
        m_job->Post([this, done, total] {
            m_ui->PBar->setMaximum(static_cast<int>(std::max<std::size_t>(total, 1)));
            m_ui->PBar->setValue(static_cast<int>(done));
        });
        return !m_job->Cancelled();
    };
    m_job->Start(
        [this, included, progress, space] {
            if (space) {
                m_spaceResult = Check::CarryOutSpacePlan(m_plan, included, *space, m_moveTo, &m_journal, progress);
            } else {
                m_before = Check::StatusOfFilesToGo(m_plan, included);
                m_result = Check::CarryOutPlan(m_plan, included, m_mode, progress);
            }
        },
        [this, space](std::exception_ptr error) {
            m_error = std::move(error);
            if (space) {
                // A journal of a run that changed nothing is no clean to undo.
                const std::string path = m_journal.Path();
                const Platform::Status closed = m_journal.Close();
                if (m_spaceResult.done == 0 && closed.Ok())
                    Platform::RemoveFile(path);
                else
                    m_journalPath = path;
                if (m_spaceResult.journalError.Ok())
                    m_spaceResult.journalError = closed;
            }
            accept();
        });
}

const Check::RemovalReport& TForm4::Result() const
{
    if (m_error)
        std::rethrow_exception(m_error);
    return m_result;
}

const Check::SpaceReport& TForm4::SpaceResult() const
{
    if (m_error)
        std::rethrow_exception(m_error);
    return m_spaceResult;
}

void TForm4::reject()
{
    // While files are being removed, Cancel (also Esc and the close box) stops the run
    // after the group at hand; what is done stays done.
    if (m_job->Running()) {
        m_job->Cancel();
        return;
    }
    // Cancelled: the saved rules and folders stay as they were.
    QDialog::reject();
}
