// Tests of the Qt boxes behind the Desktop interface: captions, icons, buttons, answers,
// and the save dialog's extension and overwrite question.
#include "ui/Desktop.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::Literals::StringLiterals;

class TestBoxes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void plainBoxes_data();
    void plainBoxes();
    void confirmAnswers_data();
    void confirmAnswers();
    void confirmDefaultCancel();
    void inputBox_data();
    void inputBox();
    void saveFileDialog();

private:
    // Runs inspect on the next modal box, which it must close.
    void whenModal(std::function<void(QWidget*)> inspect);
    bool m_seen = false;
};

void TestBoxes::initTestCase() { SetAppTitleFromExecutable(u"/usr/bin/SAMPLE.EXE"_s); }

void TestBoxes::whenModal(std::function<void(QWidget*)> inspect)
{
    m_seen = false;
    QTimer::singleShot(0, this, [this, inspect] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        m_seen = true;
        inspect(box);
    });
}

QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

// What a message box showed when it opened.
struct BoxSeen {
    QString caption;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

BoxSeen Snapshot(QMessageBox* box)
{
    return { box->windowTitle(), box->text(), ButtonTexts(box), box->icon() };
}

void TestBoxes::plainBoxes_data()
{
    QTest::addColumn<bool>("isError");
    QTest::addColumn<int>("closeKey");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("information, Esc") << false << int(Qt::Key_Escape) << u"比較するファイルがありません"_s
                                      << int(QMessageBox::NoIcon);
    QTest::newRow("error, Enter") << true << int(Qt::Key_Return) << u"ファイル /x/a.jpg は開けません."_s
                                  << int(QMessageBox::Critical);
}

void TestBoxes::plainBoxes()
{
    QFETCH(bool, isError);
    QFETCH(int, closeKey);
    QFETCH(QString, text);
    QFETCH(int, icon);
    BoxSeen seen;
    whenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        seen = Snapshot(box);
        QTest::keyClick(box, Qt::Key(closeKey));
    });
    if (isError)
        TheDesktop().Error(text);
    else
        TheDesktop().Information(text);
    QVERIFY(m_seen);
    QCOMPARE(seen.caption, u"Sample"_s);
    QCOMPARE(seen.text, text);
    QCOMPARE(seen.buttons, QStringList { u"OK"_s });
    QCOMPARE(int(seen.icon), icon);
}

void TestBoxes::confirmAnswers_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("answer");
    QTest::newRow("enter") << 0 << true;
    QTest::newRow("yes click") << 1 << true;
    QTest::newRow("esc") << 2 << false;
    QTest::newRow("close box") << 3 << false;
    QTest::newRow("cancel click") << 4 << false;
}

void TestBoxes::confirmAnswers()
{
    QFETCH(int, how);
    QFETCH(bool, answer);
    QString caption;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        caption = box->windowTitle();
        buttons = ButtonTexts(box);
        icon = box->icon();
        QAbstractButton* yes = nullptr;
        QAbstractButton* cancel = nullptr;
        for (QAbstractButton* button : box->buttons())
            (button->text() == u"はい(&Y)"_s ? yes : cancel) = button;
        switch (how) {
        case 0:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case 1:
            yes->click();
            break;
        case 2:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case 3:
            box->close();
            break;
        default:
            cancel->click();
        }
    });
    QCOMPARE(TheDesktop().Confirm(u"本当に終了しますか？"_s), answer);
    QVERIFY(m_seen);
    QCOMPARE(caption, u"確認"_s);
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QStringList({ u"はい(&Y)"_s, u"キャンセル"_s }));
}

void TestBoxes::confirmDefaultCancel()
{
    whenModal([](QWidget* widget) { QTest::keyClick(widget, Qt::Key_Return); });
    QVERIFY(!TheDesktop().ConfirmDefaultCancel(u"削除しますか？"_s));
    QVERIFY(m_seen);
}

void TestBoxes::inputBox_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("ok") << true << u"新しい名前"_s << u"新しい名前"_s;
    QTest::newRow("esc") << false << u"新しい名前"_s << u"old.jpg"_s;
    QTest::newRow("long") << true << QString(300, u'x') << QString(300, u'x');
}

void TestBoxes::inputBox()
{
    QFETCH(bool, accept);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QString caption;
    QString prompt;
    bool selected = false;
    whenModal([&](QWidget* box) {
        caption = box->windowTitle();
        prompt = box->findChild<QLabel*>()->text();
        auto* edit = box->findChild<QLineEdit*>();
        selected = edit->selectedText() == u"old.jpg"_s;
        edit->setText(typed);
        QTest::keyClick(edit, accept ? Qt::Key_Return : Qt::Key_Escape);
    });
    QCOMPARE(TheDesktop().InputBox(u"リネーム"_s, u"新しいファイル名"_s, u"old.jpg"_s), result);
    QVERIFY(m_seen);
    QCOMPARE(caption, u"リネーム"_s);
    QCOMPARE(prompt, u"新しいファイル名"_s);
    QVERIFY(selected);
}

void TestBoxes::saveFileDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList filters { u"CSV (*.csv)"_s, u"JSON (*.json)"_s };
    const auto bytes = [](const QString& path) { return QFile::encodeName(path).toStdString(); };

    // A name typed without extension gets the one of the filter chosen.
    QString caption;
    QString filterShown;
    whenModal([&](QWidget* box) {
        auto* dialog = qobject_cast<QFileDialog*>(box);
        caption = dialog->windowTitle();
        filterShown = dialog->selectedNameFilter();
        QTest::keyClick(dialog->findChild<QComboBox*>(u"fileTypeCombo"_s), Qt::Key_Down);
        auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
        name->setText(u"r"_s);
        QTest::keyClick(name, Qt::Key_Return);
    });
    std::string fileName = bytes(dir.filePath(u"first.csv"_s));
    int filter = 0;
    QVERIFY(TheDesktop().SaveFile(u"結果を保存"_s, filters, fileName, filter));
    QVERIFY(m_seen);
    QCOMPARE(caption, u"結果を保存"_s);
    QCOMPARE(filterShown, filters[0]);
    QCOMPARE(fileName, bytes(dir.filePath(u"r.json"_s)));
    QCOMPARE(filter, 1);

    // An existing file is taken only when the dialog's own question says so.
    QFile taken(dir.filePath(u"taken.csv"_s));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.close();
    for (const bool replace : { false, true }) {
        QString question;
        whenModal([&](QWidget* box) {
            auto* name = box->findChild<QLineEdit*>(u"fileNameEdit"_s);
            QTimer::singleShot(0, this, [&] {
                auto* ask = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!ask)
                    return;
                question = ask->text();
                QTest::keyClick(ask, replace ? Qt::Key_Y : Qt::Key_Escape);
            });
            QTest::keyClick(name, Qt::Key_Return);
            if (!replace)
                QTest::keyClick(box, Qt::Key_Escape);
        });
        fileName = bytes(dir.filePath(u"taken"_s));
        filter = 0;
        QCOMPARE(TheDesktop().SaveFile(u"結果を保存"_s, filters, fileName, filter), replace);
        QVERIFY(m_seen);
        QVERIFY2(question.contains(u"taken.csv"_s), qPrintable(question));
        if (replace)
            QCOMPARE(fileName, bytes(dir.filePath(u"taken.csv"_s)));
    }
}

QTEST_MAIN(TestBoxes)
#include "tst_unit1_boxes.moc"
