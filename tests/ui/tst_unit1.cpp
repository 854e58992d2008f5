// Tests of the main window TForm1: layout, menus, drops, closing and the error wrapper.
#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "support/ui/FormTable.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"

#include "scan/FileError.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestUnit1 : public MainWindowTest {
    Q_OBJECT

private slots:
    void windowFrame();
    void controlGeometry();
    void glyphsFontAndTextsFit();
    void tabOrder();
    void mainMenu();
    void popupMenus();

    void dropFilesInOrder();
    void dropIgnoresOtherUrls();

    void closingAsksOnlyWithEntries_data();
    void closingAsksOnlyWithEntries();

    void errorWrapperOtherExceptions();

    void appTitleRule_data();
    void appTitleRule();
    void pathToDisplay();
    void japaneseQtTexts();
};

void TestUnit1::windowFrame()
{
    QCOMPARE(form->windowTitle(), u"Tessarin"_s);
    QCOMPARE(form->centralWidget(), w().PageControl1);
    QCOMPARE(w().PageControl1->size(), QSize(710, 400));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // The client area below the menu bar is the page control; the window opens at its
    // designed size and never gets smaller.
    QCOMPARE(w().PageControl1->geometry().top(), w().MainMenu1->geometry().bottom() + 1);
    QCOMPARE(form->size().width(), 710);
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    // Larger, the list takes the room; the options keep to the bottom left, the check
    // and cancel buttons to the bottom right, the count to the top right.
    const QSize designed = form->size();
    const QSize grown = designed + QSize(390, 277);
    CheckGrowingForm(*form, designed, grown,
        {
            { "FileList", { 5, 35, 1080, 517 } },
            { "CountLabel", { 1035, 20, 50, 12 } },
            { "GroupBox1", { 5, 557, 450, 65 } },
            { "btnChecker", { 940, 562, 145, 30 } },
            { "Button1", { 940, 597, 145, 25 } },
            { "PBar", { 5, 627, 1080, 16 } },
            { "btnAddFile", { 5, 5, 120, 25 } },
        });
    QCOMPARE(w().PageControl1->tabText(0), u"検索"_s);
    QCOMPARE(w().PageControl1->tabText(1), u"検索結果"_s);
}

void TestUnit1::controlGeometry()
{
    CheckControls(*form,
        {
            { "btnAddFile", { 5, 5, 120, 25 }, "ファイル指定", "TabSheet1" },
            { "btnAddFolder", { 130, 5, 120, 25 }, "フォルダ指定", "TabSheet1" },
            { "btnDelFile", { 255, 5, 120, 25 }, "ファイル削除", "TabSheet1" },
            { "btnClear", { 380, 5, 120, 25 }, "リスト内クリア", "TabSheet1" },
            { "btnRename", { 505, 5, 120, 25 }, "リネーム", "TabSheet1" },
            { "CountLabel", { 645, 20, 50, 12 }, "0", "TabSheet1" },
            { "FileList", { 5, 35, 690, 240 }, nullptr, "TabSheet1" },
            { "GroupBox1", { 5, 280, 450, 65 }, "検索オプション", "TabSheet1" },
            { "Label1", { 10, 15, 170, 20 }, "検出するファイルタイプ（拡張子）：", "GroupBox1" },
            { "ExtEdit", { 185, 15, 150, 20 }, "*.*", "GroupBox1" },
            { "OptionCheck1", { 10, 40, 350, 17 }, "フォルダを指定されたらサブディレクトリ内のファイルも検出する",
                "GroupBox1" },
            { "Label2", { 345, 15, 100, 20 }, "除外設定あり", "GroupBox1" },
            { "btnChecker", { 550, 285, 145, 30 }, "重複ファイルチェック", "TabSheet1" },
            { "Button1", { 550, 320, 145, 25 }, "ｷｬﾝｾﾙ", "TabSheet1" },
            { "PBar", { 5, 350, 690, 16 }, nullptr, "TabSheet1" },
        });
}

void TestUnit1::glyphsFontAndTextsFit()
{
    // The captions are in the table of controlGeometry.
    for (QToolButton* button :
        { w().btnAddFile, w().btnAddFolder, w().btnDelFile, w().btnClear, w().btnRename, w().btnChecker }) {
        // Two glyphs: the disabled one is its own image, not a greyed copy.
        const QImage normal = button->icon().pixmap(16, 16, QIcon::Normal).toImage();
        const QImage disabled = button->icon().pixmap(16, 16, QIcon::Disabled).toImage();
        QVERIFY(!normal.isNull());
        QVERIFY(normal != disabled);
    }
    // The form's font, and the face really used is a Japanese one.
    QCOMPARE(form->font(), FormFont());
    const QString used = QFontInfo(w().Label1->font()).family();
    QVERIFY2(used.contains(u"JP"_s) || used.contains(u"ゴシック"_s) || used.contains(u"Gothic"_s),
        qPrintable(used));
    // Every text fits its box in that font.
    for (QWidget* control :
        std::initializer_list<QWidget*> { w().Label1, w().Label2, w().OptionCheck1, w().btnAddFile,
            w().btnAddFolder, w().btnDelFile, w().btnClear, w().btnRename, w().btnChecker })
        QVERIFY2(control->sizeHint().width() <= control->width(), qPrintable(control->objectName()));
}

void TestUnit1::tabOrder()
{
    // The progress bar takes no focus; it has no place of its own in the chain.
    const QList<QWidget*> expected { w().FileList, w().ExtEdit, w().OptionCheck1, w().Button1 };
    QList<QWidget*> seen;
    QWidget* widget = w().FileList;
    do {
        if (expected.contains(widget))
            seen << widget;
        widget = widget->nextInFocusChain();
    } while (widget != w().FileList && seen.size() < expected.size());
    QCOMPARE(seen, expected);
    QCOMPARE(w().btnAddFile->focusPolicy(), Qt::NoFocus);
}

namespace {

// Lists a menu's items as "name=text"; a separator as "name=-": it is a line only, any
// text of its own would show beside it.
QStringList MenuItems(const QMenu* menu)
{
    QStringList list;
    for (const QAction* action : menu->actions())
        list << action->objectName() + u'='
                + (action->isSeparator() ? u"-"_s + action->text() : action->text());
    return list;
}

} // namespace

void TestUnit1::mainMenu()
{
    const QList<QAction*> top = w().MainMenu1->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0]->menu(), w().mFile);
    QCOMPARE(top[1]->menu(), w().mFind);
    QCOMPARE(top[2]->menu(), w().N3);
    QCOMPARE(w().mFile->title(), u"ファイル(&F)"_s);
    QCOMPARE(w().mFind->title(), u"検索(&S)"_s);
    QCOMPARE(w().N3->title(), u"&?"_s);

    QCOMPARE(MenuItems(w().mFile),
        QStringList({ u"mAddFile=ファイル追加(&F)..."_s, u"mAddFolder=フォルダ追加(&O)..."_s,
            u"mDelFile=ファイル削除(&D)"_s, u"mClear=リスト内クリア(&C)"_s, u"mRename=リネーム(&R)..."_s,
            u"N7=-"_s, u"mSaveResults=結果を保存..."_s, u"N1=-"_s, u"mExit=終了(&X)"_s }));
    QCOMPARE(MenuItems(w().mFind),
        QStringList(
            { u"mChecker=重複ファイルチェック(&C)"_s, u"N2=-"_s, u"mOptionCheck1=サブフォルダ検索(&S)"_s, u"N8=-"_s,
                u"mCleanAll=重複ファイルの一括整理(&B)..."_s, u"mUseTrash=ゴミ箱に移動する(&T)"_s, u"N10=-"_s,
                u"mExclusions=除外設定(&E)..."_s, u"N12=-"_s, u"mUndoClean=整理を元に戻す(&U)..."_s }));
    QCOMPARE(MenuItems(w().N3), QStringList({ u"About1=バージョン情報(&A)..."_s }));

    for (QAction* action : { w().mAddFile, w().mAddFolder, w().mDelFile, w().mClear, w().mChecker,
             w().mRename, w().mExit })
        QVERIFY2(!action->icon().pixmap(16, 16).isNull(), qPrintable(action->objectName()));
    for (const QAction* action : form->findChildren<QAction*>())
        QVERIFY2(action->shortcuts().isEmpty(), qPrintable(action->objectName()));
}

void TestUnit1::popupMenus()
{
    QCOMPARE(MenuItems(w().PopupMenu1),
        QStringList({ u"pAddFile=ファイル追加(&F)..."_s, u"pAddFolder=フォルダ追加(&O)..."_s,
            u"pDelFile=ファイル削除(&D)"_s, u"pClear=リスト内クリア(&C)"_s, u"pRename=リネーム(&R)..."_s,
            u"N5=-"_s, u"pShow=表示(&V)"_s }));
    QCOMPARE(MenuItems(w().PopupMenu2),
        QStringList({ u"popRename=リネーム(&R)"_s, u"popMove=ファイル移動(&M)"_s, u"popShow=表示(&V)"_s,
            u"N6=-"_s, u"popDelete=削除(&D)"_s, u"N9=-"_s, u"popCleanAll=重複ファイルの一括整理(&B)..."_s,
            u"N11=-"_s, u"popNotDuplicates=重複ではないとして隠す(&H)"_s }));
}

// ---- drops ----

void TestUnit1::dropFilesInOrder()
{
    const std::string& root = folder->Path();
    const std::string c = WriteTestFile(root + "/c.jpg", "c");
    const std::string a = WriteTestFile(root + "/a.jpg", "a");
    const std::string b = WriteTestFile(root + "/b.jpg", "b");
    const std::string photos = MakeTestFolder(root + "/photos");
    WriteTestFile(photos + "/inside.jpg", "x");
    form->Candidates().Append(std::string("/already/there"));
    form->RefreshCount();
    QVERIFY(DropUriList(w().FileList->viewport(), UriList({ c, a, b })));
    QCOMPARE(form->Candidates().Entries(), (std::vector<std::string> { "/already/there", c, a, b }));
    QCOMPARE(w().CountLabel->text(), u"4"_s);
    // The rest of the window takes drops as well; a folder is listed as itself, and a
    // file dropped again is listed again.
    QVERIFY(DropUriList(form.get(), UriList({ photos })));
    QVERIFY(DropUriList(w().FileList->viewport(), UriList({ a })));
    QCOMPARE(form->Candidates().Entries(), (std::vector<std::string> { "/already/there", c, a, b, photos, a }));
    QCOMPARE(w().CountLabel->text(), u"6"_s);
}

void TestUnit1::dropIgnoresOtherUrls()
{
    const QByteArray list
        = "# comment\r\nhttp://example.org/a.jpg\r\nfile://otherhost/b.jpg\r\n"
          "file:///tmp/x%20y.jpg\r\nfile://localhost/tmp/z.jpg\r\nfile:///tmp/nul%00.jpg\r\n";
    QVERIFY(DropUriList(w().FileList->viewport(), list));
    QCOMPARE(form->Candidates().Entries(), (std::vector<std::string> { "/tmp/x y.jpg", "/tmp/z.jpg" }));
    QCOMPARE(w().CountLabel->text(), u"2"_s);
}

// ---- closing ----

void TestUnit1::closingAsksOnlyWithEntries_data()
{
    QTest::addColumn<QString>("how");
    for (const char* how : { "close box", "exit menu", "session end" })
        QTest::newRow(how) << QString::fromLatin1(how);
}

void TestUnit1::closingAsksOnlyWithEntries()
{
    QFETCH(QString, how);
    // Returns whether the window ended, or for the session, agreed to end.
    const auto end = [&] {
        if (how == u"session end"_s)
            return form->SessionEndConfirmed();
        form->show();
        if (how == u"exit menu"_s)
            w().mExit->trigger();
        else if (!form->close())
            return false;
        return !form->isVisible();
    };
    QVERIFY(end());
    QVERIFY(desktop->calls.empty());
    form->Candidates().Append(std::string("/tmp/a.jpg"));
    desktop->confirmAnswers = { false, true };
    QVERIFY(!end());
    QVERIFY(how == u"session end"_s || form->isVisible());
    QCOMPARE(desktop->confirms, QStringList { u"本当に終了しますか？"_s });
    QCOMPARE(desktop->calls.at(0).kind, u"Confirm"_s);
    QVERIFY(end());
    QCOMPARE(desktop->confirms.size(), 2);
}

// ---- the error wrapper ----

// The full-stop rule is ErrorBoxText's; these show the window applies it to every exception.
void TestUnit1::errorWrapperOtherExceptions()
{
    form->RunCommand([] { throw std::runtime_error("Disk full"); });
    form->RunCommand([] { throw Files::FileError("ファイル /tmp/\x82\xA0 は開けません"); });
    QCOMPARE(desktop->errors, QStringList({ u"Disk full."_s, u"ファイル /tmp/\\x82\\xA0 は開けません."_s }));
    // A command that fails leaves the count label as it was.
    form->Candidates().Append(std::string("/tmp/a"));
    form->RunCommand([this] {
        form->Candidates().Append(std::string("/tmp/b"));
        throw Files::FileError("Disk full");
    });
    QCOMPARE(w().CountLabel->text(), u"0"_s);
    bool ran = false;
    form->RunCommand([&] { ran = true; });
    QVERIFY(ran);
    QCOMPARE(desktop->errors.size(), 3);
}

// ---- shared helpers of the window layer ----

void TestUnit1::appTitleRule_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("title");
    QTest::newRow("upper case") << u"C:\\Tools\\SAMPLE.EXE"_s << u"Sample"_s;
    QTest::newRow("two dots") << u"/opt/bin/a.b.exe"_s << u"a"_s;
    QTest::newRow("plain") << u"/usr/bin/tessarin"_s << u"tessarin"_s;
    QTest::newRow("mixed") << u"/usr/bin/TeSSARIN"_s << u"Tessarin"_s;
    QTest::newRow("no folder") << u"Tool.app"_s << u"Tool"_s;
    QTest::newRow("dot first") << u"/x/.hidden"_s << QString();
}

void TestUnit1::appTitleRule()
{
    QFETCH(QString, executable);
    QFETCH(QString, title);
    SetAppTitleFromExecutable(executable);
    QCOMPARE(AppTitle(), title);
}

void TestUnit1::pathToDisplay()
{
    QCOMPARE(PathToDisplay("/home/写真/a.jpg"), u"/home/写真/a.jpg"_s);
    QCOMPARE(PathToDisplay("/a\x82\xA0.jpg"), u"/a\\x82\\xA0.jpg"_s);
    QCOMPARE(PathToDisplay("/line\nbreak"), u"/line\\x0Abreak"_s);
    // Overlong and surrogate forms are no UTF-8 either.
    QCOMPARE(PathToDisplay("\xC0\xAF"), u"\\xC0\\xAF"_s);
    QCOMPARE(PathToDisplay("\xED\xA0\x80"), u"\\xED\\xA0\\x80"_s);
    QCOMPARE(PathToDisplay("\xF0\x9F\x93\xB7"), u"📷"_s);
    QCOMPARE(PathFromUser(u"/home/写真"_s), std::string("/home/写真"));
    // An edited name keeps the bytes its escapes stand for; escapes of printable
    // characters are the user's own text.
    for (const std::string path : { "/a\x82\xA0.jpg", "/line\nbreak", "\xC0\xAF", "/写真\x7F" })
        QCOMPARE(PathFromDisplay(PathToDisplay(path)), path);
    QCOMPARE(PathFromDisplay(u"\\x82\\xA02.jpg"_s), std::string("\x82\xA0" "2.jpg"));
    QCOMPARE(PathFromDisplay(u"a\\x41\\x4"_s), std::string("a\\x41\\x4"));
    // A backslash that would read as an escape is written as one, so that no two paths
    // share a text.
    QCOMPARE(PathToDisplay("/a\\xE9"), u"/a\\x5CxE9"_s);
    QCOMPARE(PathFromDisplay(u"/a\\x5CxE9 \\x5c"_s), std::string("/a\\xE9 \\"));
}

void TestUnit1::japaneseQtTexts()
{
    const QString before = QCoreApplication::translate("QFileDialog", "Look in:");
    QVERIFY(InstallQtJapaneseTranslation(*QCoreApplication::instance()));
    const QString after = QCoreApplication::translate("QFileDialog", "Look in:");
    QVERIFY2(after != before, qPrintable(after));
}

QTEST_MAIN(TestUnit1)
#include "tst_unit1.moc"
