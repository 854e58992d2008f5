// Unit3: the rename settings dialog TForm3 and its field fix-ups.
#include "ui/Unit3.h"

#include "ui_Unit3.h"

#include "ui/FormLook.h"
#include "ui/PathDisplay.h"

#include "scan/FileOps.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

bool isPlainDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// Reads plain decimal digits up to INT_MAX; anything else is no number.
std::optional<std::int64_t> readNumber(const QString& text)
{
    if (!isPlainDigits(text))
        return std::nullopt;
    std::int64_t value = 0;
    for (const QChar c : text) {
        value = value * 10 + (c.unicode() - u'0');
        if (value > INT_MAX)
            return std::nullopt;
    }
    return value;
}

bool isRejectedKey(const QKeyEvent& key)
{
    // Shortcuts (select all, undo, ...) are no character keystrokes.
    if (key.modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    for (const QChar c : key.text()) {
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7f;
        if (!control && (c < u'0' || c > u'9'))
            return true;
    }
    return false;
}

} // namespace

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, kDialogFlags)
    , m_ui(std::make_unique<Ui::TForm3>())
{
    m_ui->setupUi(this);
    setFont(FormFont());
    setFixedSize(350, 100);
    // The group box caption sits on its frame line, as in the main window.
    m_ui->GroupBox1->setStyle(FormStyle());
    // The fallback font is wider than the intended one; Label4 may use the margin.
    m_ui->Label4->resize(
        std::clamp(m_ui->Label4->sizeHint().width(), m_ui->Label4->width(), width() - m_ui->Label4->x()),
        m_ui->Label4->height());

    // Qt knows no hiragana mode: Edit1 keeps the input method on, the others turn it off.
    m_ui->Edit2->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_ui->Edit2->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhLatinOnly);
    m_ui->Edit3->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_ui->Edit3->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoAutoUppercase);

    // The key and paste filters decide what may enter; the validator stops whatever
    // else (drops, input methods) would bring in a non-digit.
    QLineEdit* digits = m_ui->ComboBox1->lineEdit();
    for (QLineEdit* edit : { m_ui->Edit2, digits }) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        edit->setAcceptDrops(false);
        edit->installEventFilter(this);
    }
    m_ui->ComboBox1->installEventFilter(this);
    m_ui->Edit3->installEventFilter(this);

    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm3::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    m_ui->Edit1->setFocus(Qt::OtherFocusReason);
    CentreOnScreen(this);
}

TForm3::~TForm3() = default;

std::string TForm3::Prefix() const { return PathFromUser(m_ui->Edit1->text()); }

std::string TForm3::Extension() const
{
    const QString ext = m_ui->Edit3->text();
    return ext == QStringLiteral(".*") ? std::string() : PathFromUser(ext);
}

void TForm3::accept()
{
    ComboBox1Exit();
    Edit2Exit();
    Edit3Exit();
    QDialog::accept();
}

bool TForm3::Edit2KeyPress(const QKeyEvent& key) const { return isRejectedKey(key); }

bool TForm3::ComboBox1KeyPress(const QKeyEvent& key) const { return isRejectedKey(key); }

void TForm3::Edit2Exit()
{
    m_startNumber = readNumber(m_ui->Edit2->text()).value_or(m_startNumber);
    const auto digits = readNumber(m_ui->ComboBox1->currentText());
    const int width = digits ? static_cast<int>(*digits) : -1;
    m_ui->Edit2->setText(QString::fromStdString(Files::PadNumber(m_startNumber, width)));
}

void TForm3::Edit3Exit()
{
    if (m_ui->Edit3->text().isEmpty())
        m_ui->Edit3->setText(QStringLiteral(".*"));
    if (!m_ui->Edit3->text().startsWith(u'.'))
        m_ui->Edit3->setText(u'.' + m_ui->Edit3->text());
}

void TForm3::ComboBox1Exit()
{
    if (const auto digits = readNumber(m_ui->ComboBox1->currentText()))
        m_digitCount = static_cast<int>(*digits);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    QLineEdit* digits = m_ui->ComboBox1->lineEdit();
    switch (event->type()) {
    case QEvent::FocusOut: {
        // Leaving for another window or a pop-up menu is no leaving of the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        if (watched == m_ui->Edit2)
            Edit2Exit();
        else if (watched == m_ui->Edit3)
            Edit3Exit();
        else if (watched == m_ui->ComboBox1 || watched == digits)
            ComboBox1Exit();
        break;
    }
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        QLineEdit* edit = watched == m_ui->Edit2              ? m_ui->Edit2
            : watched == digits || watched == m_ui->ComboBox1 ? digits
                                                              : nullptr;
        if (!edit)
            break;
        if (key->matches(QKeySequence::Paste)) {
            pasteDigits(edit, false);
            return true;
        }
        return edit == m_ui->Edit2 ? Edit2KeyPress(*key) : ComboBox1KeyPress(*key);
    }
    case QEvent::ContextMenu:
        if (watched == m_ui->Edit2 || watched == digits)
            return showPasteMenu(
                static_cast<QLineEdit*>(watched), static_cast<QContextMenuEvent*>(event)->globalPos());
        break;
    case QEvent::MouseButtonRelease:
        // The middle button pastes the X11 selection.
        if ((watched == m_ui->Edit2 || watched == digits)
            && static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
            pasteDigits(static_cast<QLineEdit*>(watched), true);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm3::pasteDigits(QLineEdit* edit, bool fromSelection)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (fromSelection && !clipboard->supportsSelection())
        return;
    const QString text
        = clipboard->text(fromSelection ? QClipboard::Selection : QClipboard::Clipboard).trimmed();
    if (isPlainDigits(text))
        edit->insert(text);
}

bool TForm3::showPasteMenu(QLineEdit* edit, const QPoint& globalPos)
{
    std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    if (QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        disconnect(paste, &QAction::triggered, nullptr, nullptr);
        connect(paste, &QAction::triggered, edit, [this, edit] { pasteDigits(edit, false); });
    }
    menu->exec(globalPos);
    return true;
}
