// Tests of the Qt boxes behind the Desktop interface: captions, icons, buttons, answers,
// the save dialog's extension and overwrite question, where the folder chooser starts,
// and what opening a file with its program reports.
#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "support/ui/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestBoxes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void plainBoxes_data();
    void plainBoxes();
    void confirmAnswers_data();
    void confirmAnswers();
    void inputBox_data();
    void inputBox();
    void saveFileDialog();
    void folderChooserStartsAtHome();
    void shellOpenSaysWhyNot();

private:
    // Runs inspect on the next modal box, which it must close.
    void whenModal(const std::function<void(QWidget*)>& inspect);
    bool m_seen = false;
    std::unique_ptr<TempDir> m_desktopFiles;
};

void TestBoxes::initTestCase()
{
    SetAppTitleFromExecutable(u"/usr/bin/SAMPLE.EXE"_s);
    // A desktop of its own, set up before anything reads it: one program, which takes
    // files of unknown binary type and leaves a mark beside the file it opened.
    m_desktopFiles = std::make_unique<TempDir>();
    const std::string root = m_desktopFiles->Path();
    WriteTestFile(root + "/data/applications/tessarin-test.desktop",
        "[Desktop Entry]\nType=Application\nName=Tessarin test\nExec=touch %f.opened\n"
        "MimeType=application/octet-stream;\n");
    WriteTestFile(root + "/config/mimeapps.list",
        "[Default Applications]\napplication/octet-stream=tessarin-test.desktop\n");
    MakeTestFolder(root + "/dirs");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(root + "/data"));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(root + "/dirs"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(root + "/dirs"));
}

void TestBoxes::whenModal(const std::function<void(QWidget*)>& inspect)
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
    // Enter takes the default button, Esc and the close box the escape button.
    QTest::addColumn<bool>("defaultCancel");
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("answer");
    QTest::newRow("enter") << false << int(Qt::Key_Return) << true;
    QTest::newRow("esc") << false << int(Qt::Key_Escape) << false;
    QTest::newRow("close box") << false << 0 << false;
    QTest::newRow("enter, cancel the default") << true << int(Qt::Key_Return) << false;
}

void TestBoxes::confirmAnswers()
{
    QFETCH(bool, defaultCancel);
    QFETCH(int, how);
    QFETCH(bool, answer);
    BoxSeen seen;
    whenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        seen = Snapshot(box);
        if (how)
            QTest::keyClick(box, Qt::Key(how));
        else
            box->close();
    });
    const QString text = u"本当に終了しますか？"_s;
    QCOMPARE(defaultCancel ? TheDesktop().ConfirmDefaultCancel(text) : TheDesktop().Confirm(text), answer);
    QVERIFY(m_seen);
    QCOMPARE(seen.caption, u"確認"_s);
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QStringList({ u"はい(&Y)"_s, u"キャンセル"_s }));
}

void TestBoxes::inputBox_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("select");
    QTest::addColumn<QString>("selectedText");
    QTest::newRow("ok") << true << u"新しい名前"_s << u"新しい名前"_s << -1 << u"old.jpg"_s;
    QTest::newRow("esc") << false << u"新しい名前"_s << u"old.jpg"_s << 7 << u"old.jpg"_s;
    QTest::newRow("long") << true << QString(300, u'x') << QString(300, u'x') << 99 << u"old.jpg"_s;
    QTest::newRow("name before the extension") << true << u"新しい名前"_s << u"新しい名前"_s << 3 << u"old"_s;
}

void TestBoxes::inputBox()
{
    QFETCH(bool, accept);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QFETCH(int, select);
    QFETCH(QString, selectedText);
    QString caption;
    QString prompt;
    QString selected;
    whenModal([&](QWidget* box) {
        caption = box->windowTitle();
        prompt = box->findChild<QLabel*>()->text();
        auto* edit = box->findChild<QLineEdit*>();
        selected = edit->selectedText();
        edit->setText(typed);
        QTest::keyClick(edit, accept ? Qt::Key_Return : Qt::Key_Escape);
    });
    QCOMPARE(TheDesktop().InputBox(u"リネーム"_s, u"新しいファイル名"_s, u"old.jpg"_s, select), result);
    QVERIFY(m_seen);
    QCOMPARE(caption, u"リネーム"_s);
    QCOMPARE(prompt, u"新しいファイル名"_s);
    QCOMPARE(selected, selectedText);
}

void TestBoxes::folderChooserStartsAtHome()
{
    // Started from some other folder, the chooser still opens at the user's home.
    TempDir elsewhere;
    const QString started = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(elsewhere.Path())));
    QString shown;
    QString title;
    whenModal([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        shown = dialog->directory().absolutePath();
        dialog->reject();
    });
    std::string folder;
    const bool chosen = TheDesktop().BrowseFolder(u"画像のフォルダを指定"_s, folder);
    QDir::setCurrent(started);
    QVERIFY(m_seen);
    QVERIFY(!chosen);
    QCOMPARE(title, u"画像のフォルダを指定"_s);
    QCOMPARE(shown, QDir::homePath());
}

void TestBoxes::shellOpenSaysWhyNot()
{
    TempDir folder;
    // The name is no UTF-8: the program still gets the very file.
    const std::string binary
        = WriteTestFile(folder.Path() + "/photo\xff.raw", std::string("\0\x01\x02raw", 6));
    const std::string text = WriteTestFile(folder.Path() + "/note.txt", "plain words\n");
    QCOMPARE(TheDesktop().ShellOpen(binary), ShellOpenResult::Opened);
    struct stat st { };
    QTRY_VERIFY(::stat((binary + ".opened").c_str(), &st) == 0);
    QCOMPARE(TheDesktop().ShellOpen(text), ShellOpenResult::NoProgram);
    QCOMPARE(TheDesktop().ShellOpen(folder.Path() + "/gone.raw"), ShellOpenResult::NotFound);
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
#include "tst_qtdesktop.moc"
