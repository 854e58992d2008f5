// Tests of the duplicate check run through the real main window: groups, list, pages,
// control states, cancel, errors, and what the window refuses while a run is going.
#include "ui/CheckProgress.h"
#include "ui/Desktop.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>


#include <chrono>
#include <memory>
#include <optional>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

using Paths = std::vector<std::string>;

class TestCheck : public MainWindowTest {
    Q_OBJECT

public:
    TestCheck() : MainWindowTest(Shown::Exposed) {}

private slots:
    void nothingToCompare();
    void treeAndListAreThePairwiseRuns();
    void runReadsTheListInPlace();
    void statesWhileChecking();
    void cancel_data();
    void cancel();
    void folderAddCountsAndCancels();
    void folderAddLookUpsServeTheCheck_data();
    void folderAddLookUpsServeTheCheck();
    void closeDuringRun();
    void everyChangingHandlerRefusedDuringRun();
    void secondRunShowsItsFirstGroup();
    void progressText_data();
    void progressText();
    void progressBarText();

private:
    // Writes name with content into the test folder and lists it.
    std::string add(const std::string& name, const std::string& content);
    // Returns the groups as "caption: child child ...".
    QStringList groups() const;
    // Runs action the first time the run processes events.
    void duringRun(std::function<void()> action);
};

std::string TestCheck::add(const std::string& name, const std::string& content)
{
    std::string path = file(name, content);
    form->Candidates().Append(std::string(path));
    return path;
}

QStringList TestCheck::groups() const
{
    QStringList list;
    for (int g = 0; g < w().FileTree->topLevelItemCount(); ++g) {
        const ResultRow group = w().FileTree->topLevelItem(g);
        QString line = group->text(0) + u':';
        for (int c = 0; c < group->childCount(); ++c)
            line += u' ' + QString::fromStdString(NodePath(group->child(c))).section(u'/', -1);
        list << line;
    }
    return list;
}

void TestCheck::duringRun(std::function<void()> action)
{
    QTimer::singleShot(0, form.get(), std::move(action));
}

void TestCheck::nothingToCompare()
{
    w().btnChecker->click();
    add("only", "x");
    w().mChecker->trigger();
    QCOMPARE(desktop->informations,
        QStringList({ u"比較するファイルがありません"_s, u"比較するファイルがありません"_s }));
    QCOMPARE(w().PageControl1->currentIndex(), 0);
    QCOMPARE(form->Candidates().Count(), std::size_t(1));
    QCOMPARE(w().FileTree->topLevelItemCount(), 0);
    verifyIdle();
}

void TestCheck::treeAndListAreThePairwiseRuns()
{
    // How copies group, and a linked file, is the core's subject; the window shows the
    // run's result as it is: two sets, children from the bottom up, and a path listed
    // twice never its own copy. A run that fails is the hostile tests' case.
    // Copies removed from the list before the run (every other row) take no part in it,
    // nor do they shift the rows the run removes.
    Paths entries;
    const std::pair<const char*, const char*> files[] { { "A", "one" }, { "B", "two" }, { "C", "one" },
        { "D", "one" }, { "E", "two" }, { "P", "three" } };
    for (const auto& [name, content] : files) {
        add(std::string("gone") + name, "one");
        entries.push_back(add(name, content));
    }
    form->Candidates().Append(std::string(entries.back()));
    entries.push_back(entries.back());
    std::vector<RowRange> gone;
    for (std::size_t row = 0; row < 12; row += 2)
        gone.emplace_back(row, row);
    form->Candidates().RemoveRanges(gone);
    // A path listed twice: the run copies the paths rather than read them in place.
    bool lent = true;
    duringRun([&] { lent = form->Candidates().DistinctPaths() != nullptr; });
    CheckFromButton(*form);
    QVERIFY(!lent);
    compareWithPairwise(entries);
    QCOMPARE(groups(), QStringList({ u"重複ファイル1: A D C"_s, u"重複ファイル2: B E"_s }));
    QVERIFY(!w().FileTree->topLevelItem(0)->isExpanded());
    QVERIFY(desktop->calls.empty());
}

void TestCheck::runReadsTheListInPlace()
{
    // No path listed twice: the run reads the list's own storage, compacted when the run
    // starts (rows removed before it are gone) and kept as it is while the run takes
    // most rows off, however many; the list compacts once the run has ended.
    Paths entries;
    for (int k = 0; k < 6; ++k) {
        add("gone" + std::to_string(k), "x");
        entries.push_back(add("S" + std::to_string(k), "same"));
    }
    entries.push_back(add("U", "unique"));
    std::vector<RowRange> gone;
    for (std::size_t row = 0; row < 12; row += 2)
        gone.emplace_back(row, row);
    form->Candidates().RemoveRanges(gone);
    std::size_t lentPaths = 0;
    duringRun([&] {
        if (const FileScan::PathStore* paths = form->Candidates().DistinctPaths())
            lentPaths = paths->Size();
    });
    CheckFromButton(*form);
    QCOMPARE(lentPaths, entries.size());
    QVERIFY(!form->Candidates().DistinctPaths());
    compareWithPairwise(entries);
    QCOMPARE(form->Candidates().Count(), std::size_t(2));
}

void TestCheck::statesWhileChecking()
{
    add("A", "one");
    add("B", "one");
    bool checking = false;
    bool button1Visible = false;
    bool pbarVisible = false;
    QStringList disabled;
    bool showAndOptionEnabled = false;
    bool button1Focused = false;
    int pageDuringRun = -1;
    // Started from the results page: the run shows the search page.
    w().PageControl1->setCurrentIndex(1);
    duringRun([&] {
        pageDuringRun = w().PageControl1->currentIndex();
        checking = form->Checking();
        button1Visible = w().Button1->isVisible();
        pbarVisible = w().PBar->isVisible();
        button1Focused = w().Button1->hasFocus() || QApplication::focusWidget() == w().Button1;
        disabled = disabledListControls();
        showAndOptionEnabled = w().pShow->isEnabled() && w().mOptionCheck1->isEnabled();
    });
    w().mChecker->trigger();
    WaitForRunEnd(*form);
    QCOMPARE(pageDuringRun, 0);
    QCOMPARE(groups(), QStringList { u"重複ファイル1: A B"_s });
    QCOMPARE(w().PageControl1->currentIndex(), 1);
    QVERIFY(desktop->calls.empty());
    QVERIFY(checking);
    QVERIFY(button1Visible);
    QVERIFY(pbarVisible);
    QCOMPARE(disabled.size(), 8 + 11); // every control and menu item of the list
    QVERIFY(showAndOptionEnabled);
    QVERIFY(button1Focused);
    verifyIdle();
    QCOMPARE(w().PBar->value(), w().PBar->maximum());
    QCOMPARE(w().PBar->text(), u"100%　比較済み 2 ファイル"_s);
}

void TestCheck::cancel_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("button") << false;
    QTest::newRow("Esc") << true;
}

void TestCheck::cancel()
{
    QFETCH(bool, byKey);
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    // Esc does nothing while no check runs.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    QVERIFY(!form->CheckCancelled());
    for (int k = 0; k < 20; ++k)
        add("F" + std::to_string(k), "same");
    duringRun([&] {
        if (byKey)
            QTest::keyClick(w().Button1, Qt::Key_Escape);
        else
            QTest::mouseClick(w().Button1, Qt::LeftButton);
    });
    CheckFromButton(*form);
    QVERIFY(form->CheckCancelled());
    QCOMPARE(w().PageControl1->currentIndex(), 0);
    QVERIFY(desktop->calls.empty());
    verifyIdle();
    // Results already added and entries already removed stay as they are.
    QCOMPARE(w().CountLabel->text(), QString::number(form->Candidates().Count()));
}

void TestCheck::folderAddCountsAndCancels()
{
    // The folder is listed on the run's thread, the window busy meanwhile: the bar counts
    // the files found, Esc cancels, and a cancelled add keeps nothing of what it found.
    add("kept", "x");
    form->RefreshCount();
    for (const char* name : { "t/a.jpg", "t/b.jpg", "t/c.jpg", "t/sub/d.jpg" })
        file(name);
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    if (!w().OptionCheck1->isChecked())
        w().mOptionCheck1->trigger();
    for (const bool cancelled : { true, false }) {
        desktop->folderAnswers.push_back(path("t"));
        form->btnAddFolderClick();
        QVERIFY(form->Checking());
        QCOMPARE(disabledListControls().size(), 8 + 11);
        QVERIFY(w().Button1->isVisible());
        QCOMPARE(w().PBar->text(), FoundFilesText(0));
        if (cancelled) {
            QTest::keyClick(w().Button1, Qt::Key_Escape);
        } else {
            // The first count comes after the first folder, its three files.
            while (w().PBar->text() == FoundFilesText(0) && form->Checking())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QCOMPARE(w().PBar->text(), u"検索中　3 ファイル"_s);
        }
        WaitForRunEnd(*form);
        verifyIdle();
        QCOMPARE(form->Candidates().Count(), std::size_t(cancelled ? 1 : 5));
        QCOMPARE(w().CountLabel->text(), cancelled ? u"1"_s : u"5"_s);
    }
}

void TestCheck::folderAddLookUpsServeTheCheck_data()
{
    QTest::addColumn<bool>("later");
    QTest::addColumn<bool>("rowRemoved");
    QTest::newRow("at once") << false << false;
    QTest::newRow("a row removed since") << false << true;
    QTest::newRow("later") << true << false;
}

void TestCheck::folderAddLookUpsServeTheCheck()
{
    // A check at once after a folder's add takes the add's look-ups of the rows it added
    // (not those listed before): a file changed since is left alone, as one that changes
    // while the check reads. A list changed since, or a later check, looks files up anew.
    QFETCH(bool, later);
    QFETCH(bool, rowRemoved);
    std::chrono::steady_clock::time_point now {};
    form->SetClock([&] { return now; });
    add("before", "one");
    for (const auto& [name, content] : { std::pair { "t/a", "one" }, { "t/b", "xy" }, { "t/c", "one" }, { "t/d", "xx" } })
        file(name, content);
    desktop->folderAnswers.push_back(path("t"));
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    QCOMPARE(form->Candidates().Count(), std::size_t(5));
    file("t/b", "one");
    if (rowRemoved)
        form->Candidates().RemoveAt(0);
    if (later)
        now += TForm1::kAddLookUpsServe + 1s;
    CheckFromButton(*form);
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    const ResultRow group = w().FileTree->topLevelItem(0);
    QStringList names;
    for (int c = 0; c < group->childCount(); ++c)
        names << QString::fromStdString(NodePath(group->child(c))).section(u'/', -1);
    names.sort();
    QStringList expected { u"a"_s, u"b"_s, u"before"_s, u"c"_s };
    if (rowRemoved)
        expected.removeOne(u"before"_s);
    else if (!later)
        expected.removeOne(u"b"_s);
    QCOMPARE(names, expected);
    verifyIdle();
}

void TestCheck::closeDuringRun()
{
    for (int k = 0; k < 20; ++k)
        add("F" + std::to_string(k), "same");
    desktop->confirmAnswers = { true };
    bool closedAtOnce = true;
    duringRun([&] {
        form->close();
        closedAtOnce = !form->isVisible();
    });
    CheckFromButton(*form);
    // The run stopped first; then the window closed, without asking a second time.
    QVERIFY(!closedAtOnce);
    QVERIFY(!form->isVisible());
    QVERIFY(!form->Checking());
    QCOMPARE(desktop->confirms, QStringList { u"本当に終了しますか？"_s });
    QCOMPARE(w().PageControl1->currentIndex(), 0);
}

void TestCheck::everyChangingHandlerRefusedDuringRun()
{
    // A group from a first run, and a list for a second run, both with something each
    // handler would act on: all entries selected, a group or a file node selected.
    add("A", "one");
    add("B", "one");
    CheckFromButton(*form);
    add("C", "two");
    add("D", "two");
    const std::string extra = file("E", "two");
    QMimeData drop;
    drop.setData(u"text/uri-list"_s, UriList({ extra }));
    Paths listBefore;
    Paths listAfter;
    QStringList treeBefore;
    QStringList treeAfter;
    QStringList dialogs;
    bool dropTaken = true;
    duringRun([&] {
        // A dialog that opens all the same is noted and closed, so the test fails, not hangs.
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                dialogs << QString::fromLatin1(dialog->metaObject()->className());
                dialog->close();
            }
        });
        closer.start(10);
        w().FileList->selectAll();
        w().FileList->selectionModel()->setCurrentIndex(
            form->Candidates().index(0), QItemSelectionModel::NoUpdate);
        ResultRow group = w().FileTree->topLevelItem(0);
        listBefore = form->Candidates().Entries();
        treeBefore = groups();
        // Through the controls first: a real drop, and the actions.
        dropTaken = DropUriList(w().FileList->viewport(), UriList({ extra }))
            || DropUriList(form.get(), UriList({ extra }));
        for (QAction* action : { w().mDelFile, w().pClear, w().mChecker })
            action->trigger();
        form->btnAddFileClick();
        form->btnAddFolderClick();
        form->btnDelFileClick();
        form->btnClearClick();
        form->btnRenameClick();
        form->btnCheckerClick();
        form->DropFiles(drop);
        form->mCleanAllClick();
        form->mSaveResultsClick();
        w().FileTree->setCurrentItem(group);
        form->FileTreeDblClick();
        w().FileTree->setCurrentItem(group->child(1));
        form->popRenameClick();
        form->popMoveClick();
        form->popDeleteClick();
        listAfter = form->Candidates().Entries();
        treeAfter = groups();
    });
    CheckFromButton(*form);
    QVERIFY(!dropTaken);
    QVERIFY(!listBefore.empty());
    QCOMPARE(treeBefore, QStringList { u"重複ファイル1: A B"_s });
    QCOMPARE(listAfter, listBefore);
    QCOMPARE(treeAfter, treeBefore);
    QVERIFY2(dialogs.isEmpty(), qPrintable(dialogs.join(u' ')));
    QVERIFY(desktop->calls.empty());
    QCOMPARE(groups(), QStringList({ u"重複ファイル1: A B"_s, u"重複ファイル1: C D"_s }));
}

void TestCheck::secondRunShowsItsFirstGroup()
{
    for (int k = 0; k < 40; ++k) {
        add("A" + std::to_string(k), "first " + std::to_string(k));
        add("B" + std::to_string(k), "first " + std::to_string(k));
    }
    CheckFromButton(*form);
    QCOMPARE(w().FileTree->topLevelItemCount(), 40);
    const ResultRows tree = w().FileTree;
    QVERIFY(!tree->viewport()->rect().intersects(tree->visualItemRect(tree->topLevelItem(39))));
    add("C", "second");
    add("D", "second");
    CheckFromButton(*form);
    QCOMPARE(w().PageControl1->currentIndex(), 1);
    QCOMPARE(tree->topLevelItemCount(), 41);
    // The first group of the second run is in sight, not below the earlier ones.
    QVERIFY(tree->viewport()->rect().contains(tree->visualItemRect(tree->topLevelItem(40))));
}

// The start, the count, a count that does not fit and the end are progressBarText's and
// statesWhileChecking's, on the real bar.
void TestCheck::progressText_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<int>("compared");
    QTest::addColumn<bool>("countFits");
    QTest::addColumn<QString>("text");
    QTest::newRow("under two seconds") << 250 << 1999 << 0 << true << u"25%"_s;
    QTest::newRow("two seconds") << 250 << 2000 << 0 << true << u"25%　残り約6秒"_s;
    QTest::newRow("no pace yet") << 0 << 5000 << 0 << true << u"0%"_s;
    QTest::newRow("minutes") << 100 << 20000 << 5 << true << u"10%　残り約3分　比較済み 5 ファイル"_s;
    QTest::newRow("minutes and seconds") << 400 << 41000 << 0 << true << u"40%　残り約1分2秒"_s;
    QTest::newRow("hours") << 10 << 60000 << 0 << true << u"1%　残り約1時間39分"_s;
}

void TestCheck::progressText()
{
    QFETCH(int, position);
    QFETCH(int, elapsedMs);
    QFETCH(int, compared);
    QFETCH(bool, countFits);
    QFETCH(QString, text);
    QCOMPARE(CheckProgressText(position, 1000, std::chrono::milliseconds(elapsedMs),
                 static_cast<std::size_t>(compared), [&](const QString&) { return countFits; }),
        text);
}

void TestCheck::progressBarText()
{
    // The window times the run with the clock it is given: here one the test moves.
    std::chrono::steady_clock::time_point now {};
    form->SetClock([&] { return now; });
    // Shows a run's step that moves the bar, or the count of compared files.
    const auto progress = [&](std::optional<int> position, std::optional<std::size_t> compared) {
        Check::CheckStep step;
        step.progress = position;
        step.comparedFiles = compared;
        form->ShowCheckStep(step);
    };
    form->SetCheckCtrl(true);
    QCOMPARE(w().PBar->maximum(), 1000);
    progress(0, {});
    QCOMPARE(w().PBar->text(), u"0%"_s);
    now += 1s;
    progress(250, {});
    QCOMPARE(w().PBar->text(), u"25%"_s);
    // Three seconds for a quarter: nine to go.
    now += 2s;
    progress({}, 1234);
    QCOMPARE(w().PBar->text(), u"25%　残り約9秒　比較済み 1,234 ファイル"_s);
    // A bar too narrow for the count leaves it out.
    w().PBar->setFixedWidth(w().PBar->fontMetrics().horizontalAdvance(u"25%　残り約9秒　比較済み"_s));
    progress({}, 1235);
    QCOMPARE(w().PBar->text(), u"25%　残り約9秒"_s);
    // A new run starts its clock and its count afresh.
    form->SetCheckCtrl(false);
    form->SetCheckCtrl(true);
    progress(500, {});
    QCOMPARE(w().PBar->text(), u"50%"_s);
    form->SetCheckCtrl(false);
}

QTEST_MAIN(TestCheck)
#include "tst_unit1_check.moc"
