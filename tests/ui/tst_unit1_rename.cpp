// Tests of the batch rename of TForm1 with the real settings dialog TForm3 on real
// files: names, numbering, skipped names, extensions, the list and the tree.
#include "ui/Desktop.h"
#include "ui/Unit3.h"
#include "support/ui/Controls.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the user does in the settings dialog, and how it is closed.
struct RenameAnswers {
    QString prefix = u"img"_s;
    std::optional<QString> start; // typed into Edit2 when set
    std::optional<QString> digits; // typed into ComboBox1 when set
    std::optional<QString> extension; // typed into Edit3 when set
    enum class Close { ClickOk, EnterInLastField, Cancel } close = Close::ClickOk;
};

void Type(QWidget* field, const QString& text)
{
    field->setFocus(Qt::TabFocusReason);
    Retype(field, text);
}

void Fill(TForm3& dialog, const RenameAnswers& settings)
{
    QWidget* last = Control<QLineEdit>(dialog, "Edit1");
    Type(last, settings.prefix);
    if (settings.start) {
        last = Control<QLineEdit>(dialog, "Edit2");
        Type(last, *settings.start);
    }
    if (settings.extension) {
        last = Control<QLineEdit>(dialog, "Edit3");
        Type(last, *settings.extension);
    }
    if (settings.digits) {
        last = Control<QComboBox>(dialog, "ComboBox1");
        Type(last, *settings.digits);
    }
    switch (settings.close) {
    case RenameAnswers::Close::ClickOk:
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
        break;
    case RenameAnswers::Close::EnterInLastField:
        QTest::keyClick(last, Qt::Key_Return);
        break;
    case RenameAnswers::Close::Cancel:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    }
}

} // namespace

class TestRename : public MainWindowTest {
    Q_OBJECT

public:
    TestRename() : MainWindowTest(Shown::Active) {}

private slots:
    void aTakenNameIsReportedAndItsEntriesStaySelected();
    void emptyPrefixOrCancelRenamesNothing();
    void nothingWithoutAFocusedEntry();
    void namesFollowTheDialog_data();
    void namesFollowTheDialog();
    void aRenamedEntryThatIsATreeNode();
    void aFailedRenameEndsTheCommandWithTheErrorBox();

private:
    std::string file(const QString& name, const QByteArray& content = "x") const
    {
        return WriteTestFile(filePath(name), content);
    }
    void list(
        const std::vector<std::string>& paths, const std::vector<int>& selected, int focused = 0);
    // Runs the command with the dialog answered; returns whether the dialog opened.
    bool run(const RenameAnswers& settings);
    std::vector<std::string> entries() const;
    std::string path(const QString& name) const
    {
        return QFile::encodeName(filePath(name)).toStdString();
    }
};

void TestRename::list(
    const std::vector<std::string>& paths, const std::vector<int>& selected, int focused)
{
    for (const std::string& p : paths)
        form->Candidates().Append(p);
    selectRows(selected, focused);
}

bool TestRename::run(const RenameAnswers& settings)
{
    bool seen = false;
    WhenModal<TForm3>(form.get(), [&](TForm3& dialog) {
        seen = true;
        Fill(dialog, settings);
        // A dialog the keys did not close would block the test run.
        QTimer::singleShot(2000, &dialog, [&dialog] {
            if (dialog.isVisible()) {
                dialog.reject();
                QFAIL("the settings dialog stayed open");
            }
        });
    });
    form->btnRenameClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Released on every path.
    if (!form->findChildren<TForm3*>().isEmpty())
        qWarning("the settings dialog outlived the command");
    return seen && form->findChildren<TForm3*>().isEmpty();
}

std::vector<std::string> TestRename::entries() const { return form->Candidates().Entries(); }

void TestRename::aTakenNameIsReportedAndItsEntriesStaySelected()
{
    const std::string taken = file(u"p/img0001.jpg"_s, "old");
    list({ file(u"p/x.jpg"_s), file(u"p/y.jpg"_s), file(u"q/z.jpg"_s, "Z") }, { 0, 1, 2 });
    QVERIFY(run({}));
    const QString box = u"ファイル名："_s + QString::fromStdString(taken) + u"は、すでに存在します。"_s;
    QCOMPARE(desktop->informations, QStringList({ box, box }));
    QCOMPARE(ReadTestFile(taken), QByteArray("old"));
    QCOMPARE(entries(),
        std::vector<std::string>({ path(u"p/x.jpg"_s), path(u"p/y.jpg"_s), path(u"q/img0001.jpg"_s) }));
    QCOMPARE(ReadTestFile(path(u"q/img0001.jpg"_s)), QByteArray("Z"));
    QVERIFY(Exists(path(u"p/x.jpg"_s)) && Exists(path(u"p/y.jpg"_s)));
    // The skipped entries stay selected: again, with another prefix, only they are renamed.
    QCOMPARE(form->SelectedCandidates(), std::vector<std::size_t>({ 0, 1 }));
    desktop->ClearRecords();
    RenameAnswers again;
    again.prefix = u"pic"_s;
    QVERIFY(run(again));
    QCOMPARE(entries(),
        std::vector<std::string>({ path(u"p/pic0001.jpg"_s), path(u"p/pic0002.jpg"_s), path(u"q/img0001.jpg"_s) }));
    QVERIFY(desktop->calls.empty());
}

void TestRename::emptyPrefixOrCancelRenamesNothing()
{
    const std::vector<std::string> before { file(u"p/x.jpg"_s), file(u"p/y.jpg"_s) };
    list(before, { 0, 1 });
    RenameAnswers empty;
    empty.prefix = QString();
    QVERIFY(run(empty));
    RenameAnswers cancelled;
    cancelled.close = RenameAnswers::Close::Cancel;
    QVERIFY(run(cancelled));
    QCOMPARE(entries(), before);
    QVERIFY(Exists(before[0]) && Exists(before[1]));
    QCOMPARE(form->SelectedCandidates().size(), std::size_t { 2 });
    QVERIFY(desktop->calls.empty());
}

void TestRename::nothingWithoutAFocusedEntry()
{
    // A dialog that opened would be closed here and counted.
    int opened = 0;
    QObject guard;
    const auto closeAnyDialog = [&] {
        QTimer::singleShot(0, &guard, [&] {
            if (auto* dialog = qobject_cast<TForm3*>(QApplication::activeModalWidget())) {
                ++opened;
                dialog->reject();
            }
        });
    };
    closeAnyDialog();
    form->btnRenameClick();
    form->Candidates().Append(file(u"p/x.jpg"_s));
    QVERIFY(form->FocusedIndex() < 0);
    closeAnyDialog();
    form->btnRenameClick();
    QCOMPARE(opened, 0);
    QCOMPARE(entries(), std::vector<std::string>({ path(u"p/x.jpg"_s) }));
    QVERIFY(desktop->calls.empty());
}

void TestRename::namesFollowTheDialog_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<RenameAnswers>("settings");
    QTest::addColumn<QStringList>("renamed");
    // PadNumber's table and the dialog's own tests hold the rules and the ways of closing;
    // these rows show that the rename takes each field as typed.
    const auto with = [](std::function<void(RenameAnswers&)> change) {
        RenameAnswers settings;
        change(settings);
        return settings;
    };
    QTest::newRow("6 digits") << QStringList { u"p/a.jpg"_s } << with([](RenameAnswers& s) {
        s.prefix = u"photo"_s;
        s.start = u"7"_s;
        s.digits = u"6"_s;
    }) << QStringList { u"p/photo000007.jpg"_s };
    QTest::newRow("extension fixed up to png, Enter at once")
        << QStringList { u"p/x.jpg"_s, u"p/y"_s, u"q/z.JPG"_s } << with([](RenameAnswers& s) {
        s.extension = u"png"_s;
        s.close = RenameAnswers::Close::EnterInLastField;
    })
        << QStringList { u"p/img0001.png"_s, u"p/img0002.png"_s, u"q/img0003.png"_s };
    QTest::newRow("mixed extensions keep their own")
        << QStringList { u"p/none"_s, u"p/x.jpg"_s, u"p/y.PNG"_s, u"q/z.tar.gz"_s } << RenameAnswers {}
        << QStringList { u"p/img0001"_s, u"p/img0002.jpg"_s, u"p/img0003.PNG"_s, u"q/img0004.gz"_s };
    QTest::newRow("start, Enter at once") << QStringList { u"p/x.jpg"_s, u"p/y.jpg"_s } << with([](RenameAnswers& s) {
        s.start = u"0010"_s;
        s.close = RenameAnswers::Close::EnterInLastField;
    }) << QStringList { u"p/img0010.jpg"_s, u"p/img0011.jpg"_s };
}

void TestRename::namesFollowTheDialog()
{
    QFETCH(QStringList, names);
    QFETCH(RenameAnswers, settings);
    QFETCH(QStringList, renamed);
    std::vector<std::string> before;
    std::vector<int> rows;
    for (const QString& name : names) {
        rows.push_back(static_cast<int>(before.size()));
        before.push_back(file(name, name.toUtf8()));
    }
    list(before, rows, rows.back());
    QVERIFY(run(settings));
    // Renamed entries leave the selection; the focus stays.
    QVERIFY(form->SelectedCandidates().empty());
    QCOMPARE(form->FocusedIndex(), rows.back());
    QCOMPARE(entries().size(), std::size_t(renamed.size()));
    for (qsizetype i = 0; i < renamed.size(); ++i) {
        QCOMPARE(entries()[std::size_t(i)], path(renamed[i]));
        QCOMPARE(ReadTestFile(path(renamed[i])), names[i].toUtf8());
        QVERIFY(!Exists(before[std::size_t(i)]));
    }
    QVERIFY(desktop->calls.empty());
}

void TestRename::aRenamedEntryThatIsATreeNode()
{
    const std::string x = file(u"p/x.jpg"_s);
    const std::string y = file(u"p/y.jpg"_s);
    list({ x, y }, { 0 });
    addGroup({ y, x });
    addGroup({ x });
    QVERIFY(run({}));
    const std::string renamed = path(u"p/img0001.jpg"_s);
    const ResultRows tree = w().FileTree;
    QCOMPARE(NodePath(tree->topLevelItem(0)->child(0)), y);
    QCOMPARE(NodePath(tree->topLevelItem(0)->child(1)), renamed);
    QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), QString::fromStdString(renamed));
    // Only the first node showing the old path follows.
    QCOMPARE(NodePath(tree->topLevelItem(1)->child(0)), x);
    QCOMPARE(tree->topLevelItem(0)->text(0), u"重複ファイル1"_s);
}

void TestRename::aFailedRenameEndsTheCommandWithTheErrorBox()
{
    const std::string x = file(u"p/x.jpg"_s);
    const std::string gone = path(u"p/gone.jpg"_s);
    const std::string z = file(u"q/z.jpg"_s);
    list({ x, gone, z }, { 0, 1, 2 });
    QVERIFY(run({}));
    QCOMPARE(desktop->errors, QStringList({ u"File not found."_s }));
    // Renamed before the failure stays renamed; nothing after it is touched.
    QCOMPARE(entries(), std::vector<std::string>({ path(u"p/img0001.jpg"_s), gone, z }));
    QVERIFY(Exists(z));
    QCOMPARE(form->SelectedCandidates(), std::vector<std::size_t>({ 1, 2 }));

    // A prefix with a "/" would move the files: refused before anything changes.
    desktop->ClearRecords();
    QDir().mkpath(QString::fromStdString(path(u"q/sub"_s)));
    RenameAnswers slash;
    slash.prefix = u"sub/img"_s;
    QVERIFY(run(slash));
    QCOMPARE(desktop->errors, QStringList({ u"Invalid filename."_s }));
    QCOMPARE(entries(), std::vector<std::string>({ path(u"p/img0001.jpg"_s), gone, z }));
    QVERIFY(Exists(z));
}

QTEST_MAIN(TestRename)
#include "tst_unit1_rename.moc"
