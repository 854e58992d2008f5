// Unit6: the dialog TForm6 that chooses a clean to undo.
#include "ui/Unit6.h"

#include "ui_Unit6.h"

#include "ui/Anchors.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"

#include <QDateTime>
#include <QTreeWidgetItem>

using namespace Qt::Literals::StringLiterals;

namespace {

// A journal's action in the words of "処理".
QString actionText(Check::JournalAction action)
{
    switch (action) {
    case Check::JournalAction::Trash:
        return u"ゴミ箱に移動"_s;
    case Check::JournalAction::Delete:
        return u"完全に削除"_s;
    case Check::JournalAction::HardLink:
        return u"ハードリンクに置き換え"_s;
    case Check::JournalAction::Reflink:
        return u"データを共有"_s;
    case Check::JournalAction::Move:
        return u"フォルダへ移動"_s;
    }
    return {};
}

// A journal's actions ("trash,hardlink") in those words; a name it does not know as it is.
QString actionsText(const std::string& actions)
{
    QStringList words;
    for (const QString& name : QString::fromStdString(actions).split(u',', Qt::SkipEmptyParts)) {
        const std::optional<Check::JournalAction> action = Check::JournalActionFromName(name.toStdString());
        words << (action ? actionText(*action) : name);
    }
    return words.join(u"、"_s);
}

// The journal's UTC time in the local time zone.
QString timeText(const std::string& time)
{
    const QDateTime when = QDateTime::fromString(QString::fromStdString(time), Qt::ISODate);
    return when.isValid() ? when.toLocalTime().toString(u"yyyy/MM/dd hh:mm:ss"_s) : QString::fromStdString(time);
}

} // namespace

TForm6::TForm6(std::vector<Check::JournalSummary> journals, QWidget* parent)
    : QDialog(parent, kResizableDialogFlags)
    , m_ui(std::make_unique<Ui::TForm6>())
    , m_journals(std::move(journals))
{
    m_ui->setupUi(this);
    setFont(FormFont());
    auto* anchors = new Anchors(this);
    anchors->Anchor(m_ui->JournalList, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Button1, Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Button2, Qt::RightEdge | Qt::BottomEdge);
    for (const Check::JournalSummary& journal : m_journals) {
        auto* item = new QTreeWidgetItem(m_ui->JournalList,
            QStringList { timeText(journal.time), actionsText(journal.actions), QString::number(journal.count) });
        item->setToolTip(0, PathToDisplay(journal.path));
    }
    m_ui->JournalList->setColumnWidth(0, 150);
    m_ui->JournalList->setColumnWidth(1, 200);
    if (m_ui->JournalList->topLevelItemCount() > 0)
        m_ui->JournalList->setCurrentItem(m_ui->JournalList->topLevelItem(0));
    connect(m_ui->JournalList, &QTreeWidget::itemDoubleClicked, this, &TForm6::accept);
    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm6::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm6::reject);
    CentreOnScreen(this);
}

TForm6::~TForm6() = default;

std::string TForm6::Chosen() const
{
    QTreeWidgetItem* item = m_ui->JournalList->currentItem();
    const int row = item != nullptr ? m_ui->JournalList->indexOfTopLevelItem(item) : -1;
    return row >= 0 ? m_journals[static_cast<std::size_t>(row)].path : std::string();
}
