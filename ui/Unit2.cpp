// Unit2: the delete dialog TForm2.
#include "ui/Unit2.h"

#include "ui_Unit2.h"

#include "ui/Anchors.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "ui/ToolTips.h"

#include <QGuiApplication>
#include <QListWidgetItem>
#include <QScreen>
#include <QStyle>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kItemHeight = 12;
constexpr int kPathRole = Qt::UserRole;

} // namespace

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, kResizableDialogFlags)
    , m_ui(std::make_unique<Ui::TForm2>())
{
    m_ui->setupUi(this);
    setFont(FormFont());
    resize(500, 220);
    QPalette red = m_ui->Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_ui->Label1->setPalette(red);
    // The fallback font is wider than the intended one; the label may grow towards OK.
    m_ui->Label1->resize(
        std::max(m_ui->Label1->width(), m_ui->Label1->sizeHint().width()), m_ui->Label1->height());
    // Larger, the list takes the room; the label and the buttons keep to their corners.
    auto* anchors = new Anchors(this);
    anchors->Anchor(m_ui->CheckFileList, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Label1, Qt::LeftEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Button1, Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(m_ui->Button2, Qt::RightEdge | Qt::BottomEdge);
    // A path too long for the line loses its middle, never its file name.
    m_ui->CheckFileList->setTextElideMode(Qt::ElideMiddle);
    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    CentreOnScreen(this);
}

TForm2::~TForm2() = default;

void TForm2::AddFile(const std::string& path, bool checked)
{
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    auto* item = new QListWidgetItem(PathToDisplay(path), m_ui->CheckFileList);
    item->setData(kPathRole, bytes);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    // The dialog is too narrow for long paths; the tooltip shows the whole line.
    item->setToolTip(FileToolTip(path));
    item->setSizeHint(QSize(0, lineHeight()));
}

void TForm2::SetRemoveVerb(const QString& verb)
{
    m_ui->Label1->setText(u"※チ ェックがあるファイルを"_s + verb + u"します"_s);
    m_ui->Label1->resize(
        std::max(m_ui->Label1->width(), m_ui->Label1->sizeHint().width()), m_ui->Label1->height());
}

int TForm2::lineHeight() const
{
    // 12 pixels fit the intended font; a taller fallback font or check box would be
    // clipped (an "_" in a file name would vanish), so the line grows for them.
    const QListWidget* list = m_ui->CheckFileList;
    return std::max({ kItemHeight, list->fontMetrics().height(),
        list->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, list) + 2 });
}

int TForm2::FileCount() const { return m_ui->CheckFileList->count(); }

std::string TForm2::FilePath(int index) const
{
    return m_ui->CheckFileList->item(index)->data(kPathRole).toByteArray().toStdString();
}

bool TForm2::IsChecked(int index) const
{
    return m_ui->CheckFileList->item(index)->checkState() == Qt::Checked;
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Space toggles the focused line, so the list starts on the first one.
    if (m_ui->CheckFileList->currentRow() < 0 && m_ui->CheckFileList->count() > 0)
        m_ui->CheckFileList->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    m_ui->CheckFileList->setFocus(Qt::OtherFocusReason);
}
