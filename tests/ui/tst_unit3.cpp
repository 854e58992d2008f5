// Tests of the rename settings dialog TForm3: layout, the digit-only fields, the
// focus-loss fix-ups and the values committed however the dialog is confirmed.
#include "ui/FormLook.h"
#include "ui/Unit3.h"
#include "support/ui/Controls.h"
#include "support/ui/FormTable.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestUnit3 : public QObject {
    Q_OBJECT

private slots:
    void layoutAndTexts();
    void tabOrderStartsAtThePrefix();
    void startNumberIsRewrittenToTheDigitCount();
    void extensionGetsItsDot();
    void startNumberCommittedByTabThenEnterNotByTheCloseBox();
    void digitCountCommittedAndKeptWhenEmptied();
    void numberFieldsTakeDigitsAndEditingKeys();
    void pasteTakesPlainDigitsOnly();
};

namespace {

QLineEdit* edit(QWidget& form, const char* name) { return Control<QLineEdit>(form, name); }
QComboBox* digits(QWidget& form) { return Control<QComboBox>(form, "ComboBox1"); }

bool openActive(TForm3& form)
{
    form.open();
    return QTest::qWaitForWindowActive(&form);
}

// Types text into field and leaves it with Tab, which commits it.
void typeAndTab(QWidget* field, const QString& text)
{
    field->setFocus();
    Retype(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
}

// Types characters QTest has no key for, as a keyboard layout or input method would.
void typeCharacter(QWidget* field, const QString& character)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
    QApplication::sendEvent(field, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, character);
    QApplication::sendEvent(field, &release);
}

} // namespace

void TestUnit3::layoutAndTexts()
{
    TForm3 form;
    CheckFixedDialog(form, "リネーム設定", QSize(350, 100));
    QCOMPARE(form.font(), FormFont());

    CheckControls(form,
        {
            { "Label1", { 5, 5, 100, 20 }, "ファイル名", nullptr, true },
            { "Label2", { 125, 5, 100, 20 }, "連番（開始番号）", nullptr, true },
            { "Label3", { 105, 25, 20, 20 }, "＋", nullptr, true },
            { "Label4", { 245, 5, 100, 20 }, "拡張子（例：.JPG）", nullptr, true },
            { "Label5", { 225, 25, 20, 20 }, "＋", nullptr, true },
            { "Label6", { 5, 15, 75, 20 }, "連番の桁数：", "GroupBox1", true },
            { "Edit1", { 5, 25, 100, 20 }, "" },
            { "Edit2", { 125, 25, 100, 20 }, "0001" },
            { "Edit3", { 245, 25, 100, 20 }, ".*" },
            { "GroupBox1", { 5, 50, 146, 45 }, "リネームオプション" },
            { "ComboBox1", { 80, 15, 56, 20 }, nullptr, "GroupBox1" },
            { "Button1", { 190, 70, 75, 25 }, "OK" },
            { "Button2", { 270, 70, 75, 25 }, "キャンセル" },
        });
    QComboBox* combo = digits(form);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items.join(u','), QStringLiteral("0,3,4,5,6,7,8,10"));
    QCOMPARE(combo->currentText(), QStringLiteral("4"));
}

void TestUnit3::tabOrderStartsAtThePrefix()
{
    // Owned by a window, as the rename command creates it.
    QWidget owner;
    owner.show();
    TForm3 form(&owner);
    QVERIFY(openActive(form));
    QCOMPARE(QApplication::focusWidget(), edit(form, "Edit1"));
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        order << (focus == digits(form)->lineEdit() ? digits(form)->objectName() : focus->objectName());
    }
    QCOMPARE(order.join(u','), QStringLiteral("Edit2,Edit3,ComboBox1,Button1,Button2,Edit1"));
}

void TestUnit3::startNumberIsRewrittenToTheDigitCount()
{
    TForm3 form;
    QVERIFY(openActive(form));
    QLineEdit* start = edit(form, "Edit2");
    digits(form)->setEditText(QStringLiteral("6"));
    typeAndTab(start, QStringLiteral("7"));
    QCOMPARE(start->text(), QStringLiteral("000007"));
    QCOMPARE(form.StartNumber(), std::int64_t { 7 });

    // No digit count: no padding.
    digits(form)->setEditText(QString());
    start->setFocus();
    QTest::keyClick(start, Qt::Key_Tab);
    QCOMPARE(start->text(), QStringLiteral("7"));

    // An emptied or too large start falls back on the committed number.
    digits(form)->setEditText(QStringLiteral("4"));
    typeAndTab(start, QString());
    QCOMPARE(start->text(), QStringLiteral("0007"));
    typeAndTab(start, QStringLiteral("99999999999"));
    QCOMPARE(start->text(), QStringLiteral("0007"));
    QCOMPARE(form.StartNumber(), std::int64_t { 7 });
}

void TestUnit3::extensionGetsItsDot()
{
    TForm3 form;
    QVERIFY(openActive(form));
    QLineEdit* ext = edit(form, "Edit3");
    const struct {
        const char* typed;
        const char* shown;
        const char* extension;
    } rows[] = {
        { "png", ".png", ".png" },
        { "", ".*", "" },
        { ".JPG", ".JPG", ".JPG" },
        { "*", ".*", "" },
        { "tar.gz", ".tar.gz", ".tar.gz" },
    };
    for (const auto& row : rows) {
        typeAndTab(ext, QString::fromUtf8(row.typed));
        QCOMPARE(ext->text(), QString::fromUtf8(row.shown));
        QCOMPARE(form.Extension(), std::string(row.extension));
    }
}

// OK, Enter in the field and Esc are the batch rename's rows, on the real files.
void TestUnit3::startNumberCommittedByTabThenEnterNotByTheCloseBox()
{
    for (const bool confirm : { true, false }) {
        TForm3 form;
        QVERIFY(openActive(form));
        QLineEdit* start = edit(form, "Edit2");
        start->setFocus();
        Retype(start, QStringLiteral("0010"));
        if (confirm) {
            QTest::keyClick(start, Qt::Key_Tab);
            QCOMPARE(form.StartNumber(), std::int64_t { 10 });
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else {
            form.close();
        }
        QCOMPARE(form.result(), int(confirm ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(form.StartNumber(), std::int64_t { confirm ? 10 : 1 });
    }
}

void TestUnit3::digitCountCommittedAndKeptWhenEmptied()
{
    for (const char* typed : { "20", "0", "6" }) {
        TForm3 form;
        QVERIFY(openActive(form));
        QWidget* field = digits(form);
        field->setFocus();
        Retype(field, QString::fromLatin1(typed));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.DigitCount(), QByteArray(typed).toInt());
    }
    TForm3 form;
    QVERIFY(openActive(form));
    typeAndTab(digits(form), QString());
    QCOMPARE(form.DigitCount(), 4);
    QTest::mouseClick(Control<QPushButton>(form, "Button1"), Qt::LeftButton);
    QCOMPARE(form.DigitCount(), 4);
    QCOMPARE(edit(form, "Edit2")->text(), QStringLiteral("1"));
}

void TestUnit3::numberFieldsTakeDigitsAndEditingKeys()
{
    TForm3 form;
    QVERIFY(openActive(form));
    QLineEdit* start = edit(form, "Edit2");
    start->setFocus();
    Retype(start, QStringLiteral("a1-b2 .3+"));
    typeCharacter(start, QStringLiteral("０"));
    typeCharacter(start, QStringLiteral("é"));
    QCOMPARE(start->text(), QStringLiteral("123"));
    QTest::keyClick(start, Qt::Key_Backspace);
    QCOMPARE(start->text(), QStringLiteral("12"));
    QTest::keyClick(start, Qt::Key_Home);
    QTest::keyClick(start, Qt::Key_Delete);
    QCOMPARE(start->text(), QStringLiteral("2"));
    QTest::keyClick(start, Qt::Key_End);
    QTest::keyClicks(start, QStringLiteral("34"));
    QTest::keyClick(start, Qt::Key_Left);
    QTest::keyClick(start, Qt::Key_Left);
    QTest::keyClicks(start, QStringLiteral("9"));
    QCOMPARE(start->text(), QStringLiteral("2934"));

    // Copy and cut still work.
    QTest::keyClick(start, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(start, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2934"));
    QTest::keyClick(start, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(start->text(), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2934"));

    QWidget* field = digits(form);
    field->setFocus();
    Retype(field, QStringLiteral("x5y"));
    QCOMPARE(digits(form)->currentText(), QStringLiteral("5"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(digits(form)->currentText(), QString());
}

void TestUnit3::pasteTakesPlainDigitsOnly()
{
    TForm3 form;
    QVERIFY(openActive(form));
    QLineEdit* start = edit(form, "Edit2");
    const struct {
        const char* clipboard;
        const char* result;
    } rows[] = {
        { " 42\n", "42" },
        { "0010", "0010" },
        { "4a", "" },
        { "-5", "" },
        { "+5", "" },
        { "1 2", "" },
        { "", "" },
        { "１２", "" },
    };
    for (const auto& row : rows) {
        start->setFocus();
        Retype(start, QString());
        QGuiApplication::clipboard()->setText(QString::fromUtf8(row.clipboard));
        QTest::keyClick(start, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(start->text(), QString::fromUtf8(row.result));
        Retype(start, QString());
        QTest::keyClick(start, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(start->text(), QString::fromUtf8(row.result));
    }
    // Pasting into the middle keeps what is there.
    Retype(start, QStringLiteral("19"));
    QTest::keyClick(start, Qt::Key_Left);
    QGuiApplication::clipboard()->setText(QStringLiteral(" 00 "));
    QTest::keyClick(start, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(start->text(), QStringLiteral("1009"));

    QWidget* field = digits(form);
    field->setFocus();
    Retype(field, QString());
    QGuiApplication::clipboard()->setText(QStringLiteral("\t12 "));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(digits(form)->currentText(), QStringLiteral("12"));
    QGuiApplication::clipboard()->setText(QStringLiteral("3x"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(digits(form)->currentText(), QStringLiteral("12"));
}

QTEST_MAIN(TestUnit3)
#include "tst_unit3.moc"
