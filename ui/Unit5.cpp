// Unit5: the exclusion settings dialog TForm5.
#include "ui/Unit5.h"

#include "ui_Unit5.h"

#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"

#include <QComboBox>
#include <QListWidgetItem>
#include <QSpinBox>

using namespace Qt::Literals::StringLiterals;

namespace {

// The units of the size boxes, in the order of their drop-downs.
constexpr int kUnitShifts[] = { 0, 10, 20, 30 };

// Shows bytes in the largest unit it is a whole number of; 0 (no limit) as "なし".
void showSize(QSpinBox* value, QComboBox* unit, std::uint64_t bytes)
{
    int chosen = 0;
    for (int u = 3; u > 0; --u) {
        const std::uint64_t mask = (std::uint64_t { 1 } << kUnitShifts[u]) - 1;
        if (bytes != 0 && (bytes & mask) == 0) {
            chosen = u;
            break;
        }
    }
    const std::uint64_t shown = bytes >> kUnitShifts[chosen];
    value->setValue(
        static_cast<int>(std::min<std::uint64_t>(shown, static_cast<std::uint64_t>(value->maximum()))));
    unit->setCurrentIndex(chosen);
}

std::uint64_t sizeOf(const QSpinBox* value, const QComboBox* unit)
{
    return static_cast<std::uint64_t>(value->value()) << kUnitShifts[std::max(unit->currentIndex(), 0)];
}

QString groupText(const Check::MarkedGroup& group)
{
    QStringList paths;
    for (const Check::MarkedFile& file : group)
        paths << PathToDisplay(file.path);
    return u"%1 個：%2"_s.arg(group.size()).arg(paths.join(u"、"_s));
}

QString groupToolTip(const Check::MarkedGroup& group)
{
    QStringList paths;
    for (const Check::MarkedFile& file : group)
        paths << PathToDisplay(file.path);
    return paths.join(u'\n');
}

} // namespace

TForm5::TForm5(const FileScan::ExclusionRules& rules, Check::NotDuplicateList list, QWidget* parent)
    : QDialog(parent, kDialogFlags)
    , m_ui(std::make_unique<Ui::TForm5>())
    , m_list(std::move(list))
{
    m_ui->setupUi(this);
    setFont(FormFont());
    setFixedSize(480, 400);
    QStringList lines;
    for (const std::string& pattern : rules.patterns)
        lines << QString::fromStdString(pattern);
    m_ui->Memo1->setPlainText(lines.join(u'\n'));
    showSize(m_ui->SpinBox1, m_ui->ComboBox1, rules.minSize);
    showSize(m_ui->SpinBox2, m_ui->ComboBox2, rules.maxSize == UINT64_MAX ? 0 : rules.maxSize);
    m_ui->CheckBox1->setChecked(rules.skipEmpty);
    for (const Check::MarkedGroup& group : m_list.groups) {
        auto* item = new QListWidgetItem(groupText(group), m_ui->ListBox1);
        item->setToolTip(groupToolTip(group));
    }
    m_ui->btnForget->setEnabled(false);
    connect(m_ui->ListBox1, &QListWidget::currentRowChanged, this,
        [this](int row) { m_ui->btnForget->setEnabled(row >= 0); });
    connect(m_ui->btnForget, &QPushButton::clicked, this, &TForm5::forgetGroup);
    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm5::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm5::reject);
    CentreOnScreen(this);
}

TForm5::~TForm5() = default;

FileScan::ExclusionRules TForm5::Rules() const
{
    FileScan::ExclusionRules rules;
    for (const QString& line : m_ui->Memo1->toPlainText().split(u'\n')) {
        const QString pattern = line.trimmed();
        if (!pattern.isEmpty())
            rules.patterns.push_back(pattern.toStdString());
    }
    rules.minSize = sizeOf(m_ui->SpinBox1, m_ui->ComboBox1);
    const std::uint64_t maxSize = sizeOf(m_ui->SpinBox2, m_ui->ComboBox2);
    rules.maxSize = maxSize == 0 ? UINT64_MAX : maxSize;
    rules.skipEmpty = m_ui->CheckBox1->isChecked();
    return rules;
}

void TForm5::accept()
{
    const FileScan::ExclusionRules rules = Rules();
    if (rules.maxSize < rules.minSize) {
        TheDesktop().Information(u"最大サイズは最小サイズ以上にしてください。"_s);
        m_ui->SpinBox2->setFocus();
        return;
    }
    QDialog::accept();
}

void TForm5::forgetGroup()
{
    const int row = m_ui->ListBox1->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_list.groups.size())
        return;
    delete m_ui->ListBox1->takeItem(row);
    m_list.groups.erase(m_list.groups.begin() + row);
    m_listChanged = true;
}
