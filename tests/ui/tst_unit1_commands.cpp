// Tests of the main window's candidate list commands: add files, add folder, remove,
// clear, open, and the subfolder option, each from its button, menu and pop-up item.
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "ui/Settings.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"

#include "scan/FileError.h"
#include "scan/FileScan.h"
#include "scan/PathStore.h"

#include <QDir>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

using namespace Qt::Literals::StringLiterals;

using Paths = std::vector<std::string>;

class TestCommands : public MainWindowTest {
    Q_OBJECT

private slots:
    void addFilesRewritesFilterBeforeDialog_data();
    void addFilesRewritesFilterBeforeDialog();
    void addFilesAppendsAndRemembersName();
    void busyCursorOnEveryPath();
    void addFolder_data();
    void addFolder();
    void addCommandsListEachFileOnce();
    void removeNeedsFocusThenTakesManyRanges();
    void removedRowsLeaveNoTrace();
    void clearAsks();
    void optionToggles();
    void showOpensSelection();
    void showFromRightClickKeepsSelectionDoubleClickOpens();
    void everyTriggerRunsItsCommand_data();
    void everyTriggerRunsItsCommand();

private:
    void fill(int count);
};

void TestCommands::fill(int count)
{
    Paths paths;
    for (int k = 0; k < count; ++k)
        paths.push_back("/tmp/e" + std::to_string(k));
    form->Candidates().Append(std::move(paths));
    form->RefreshCount();
}

// The filter's rules are FilterTable's; these rows show what the dialog and the field get.
void TestCommands::addFilesRewritesFilterBeforeDialog_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("dialogFilter");
    QTest::addColumn<QString>("rewritten");
    QTest::newRow("not well formed") << u"jpg"_s << u"ファイル(*.*)|*.*"_s << u"*.*"_s;
    QTest::newRow("well formed") << u"*.jpg;*.bmp"_s << u"ファイル(*.JPG;*.BMP)|*.jpg;*.bmp"_s
                                 << u"*.jpg;*.bmp"_s;
}

void TestCommands::addFilesRewritesFilterBeforeDialog()
{
    QFETCH(QString, field);
    QFETCH(QString, dialogFilter);
    QFETCH(QString, rewritten);
    w().ExtEdit->setText(field);
    w().CountLabel->setText(u"untouched"_s);
    QString fieldWhileOpen;
    desktop->onCall = [&](const QString&) { fieldWhileOpen = w().ExtEdit->text(); };
    desktop->openAnswers.push_back(std::nullopt);
    form->btnAddFileClick();
    QCOMPARE(desktop->opens.size(), std::size_t(1));
    QCOMPARE(desktop->opens[0].filter, dialogFilter);
    QCOMPARE(fieldWhileOpen, rewritten);
    QCOMPARE(w().ExtEdit->text(), rewritten);
    QCOMPARE(w().CountLabel->text(), u"untouched"_s);
    QCOMPARE(form->Candidates().Count(), std::size_t(0));
}

void TestCommands::addFilesAppendsAndRemembersName()
{
    fill(1);
    desktop->openAnswers.push_back(Paths { "/p/b.jpg", "/p/a.jpg", "/p/\x82\xA0.jpg" });
    desktop->openAnswers.push_back(Paths { "/q/c.jpg" });
    form->btnAddFileClick();
    QCOMPARE(form->Candidates().Entries(), (Paths { "/tmp/e0", "/p/b.jpg", "/p/a.jpg", "/p/\x82\xA0.jpg" }));
    QCOMPARE(w().CountLabel->text(), u"4"_s);
    form->btnAddFileClick();
    QCOMPARE(desktop->opens.at(0).fileName, std::string());
    QCOMPARE(desktop->opens.at(1).fileName, std::string("/p/b.jpg"));
    QCOMPARE(form->Candidates().Count(), std::size_t(5));
    QCOMPARE(w().CountLabel->text(), u"5"_s);
}

void TestCommands::busyCursorOnEveryPath()
{
    QList<bool> busy;
    desktop->onCall = [&](const QString& kind) {
        if (kind == u"OpenFiles"_s || kind == u"BrowseFolder"_s) {
            const QCursor* cursor = QApplication::overrideCursor();
            busy << (cursor && cursor->shape() == Qt::WaitCursor);
        }
    };
    desktop->openAnswers.push_back(std::nullopt);
    form->btnAddFileClick();
    QVERIFY(!QApplication::overrideCursor());
    // A cancelled folder choice lists nothing and brings the count label up to date.
    fill(2);
    w().CountLabel->setText(u"stale"_s);
    desktop->folderAnswers.push_back(std::nullopt);
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(form->Candidates().Count(), std::size_t(2));
    QCOMPARE(w().CountLabel->text(), u"2"_s);
    // A failure inside the command restores the cursor too, and shows the error box.
    desktop->onCall = [&](const QString& kind) {
        if (kind == u"OpenFiles"_s)
            throw Files::FileError("Disk full");
    };
    desktop->openAnswers.push_back(Paths { "/p/a.jpg" });
    form->btnAddFileClick();
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(desktop->errors, QStringList { u"Disk full."_s });
    QCOMPARE(busy, QList<bool>({ true, true }));
}

// Which files a folder yields is FolderScan's subject; these rows show that the command
// passes the field, unchanged, and the subfolder option to it, and lists what it yields
// after what is listed.
void TestCommands::addFolder_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<int>("times");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("with subfolders") << u"*.jpg"_s << true << 1
                                     << QStringList { u".h.jpg"_s, u"a.jpg"_s, u"sub/c.jpg"_s };
    QTest::newRow("without subfolders") << u"*.jpg"_s << false << 1
                                        << QStringList { u".h.jpg"_s, u"a.jpg"_s };
    QTest::newRow("twice") << u"*.*"_s << true << 2
                           << QStringList { u".h.jpg"_s, u".h.jpg"_s, u"a.jpg"_s, u"a.jpg"_s, u"b.txt"_s,
                                  u"b.txt"_s, u"sub/c.jpg"_s, u"sub/c.jpg"_s };
    // "jpg" parses to the entry "JPG", which no extension equals.
    QTest::newRow("field not rewritten") << u"jpg"_s << true << 1 << QStringList {};
}

void TestCommands::addFolder()
{
    QFETCH(QString, field);
    QFETCH(bool, subfolders);
    QFETCH(int, times);
    QFETCH(QStringList, listed);
    for (const char* name : { "a.jpg", "b.txt", ".h.jpg", "sub/c.jpg" })
        file(std::string("pics/") + name, name);
    w().ExtEdit->setText(field);
    if (!subfolders)
        w().mOptionCheck1->trigger();
    QCOMPARE(w().OptionCheck1->isChecked(), subfolders);
    // The folder dialog starts at home, then where the user chose last.
    Settings::SetLastFolder(Settings::FolderDialog::AddFolder, "");
    for (int k = 0; k < times; ++k) {
        desktop->folderAnswers.push_back(path("pics"));
        form->btnAddFolderClick();
        WaitForRunEnd(*form);
        QCOMPARE(desktop->browses.at(std::size_t(k)).title, u"画像のフォルダを指定"_s);
        QCOMPARE(desktop->browses.at(std::size_t(k)).folder,
            k == 0 ? QDir::homePath().toStdString() : path("pics"));
    }
    QCOMPARE(w().ExtEdit->text(), field);
    Paths expected;
    for (const QString& name : listed)
        expected.push_back(path("pics/" + name.toStdString()));
    Paths entries = form->Candidates().Entries();
    std::sort(entries.begin(), entries.end());
    QCOMPARE(entries, expected);
    QCOMPARE(w().CountLabel->text(), QString::number(listed.size()));
}

void TestCommands::addCommandsListEachFileOnce()
{
    // The rule and its cases are CandidatePaths' (LinkedTree and the oracle); here each
    // command that adds or takes away entries goes through it once (the count label
    // follows each command in its own test).
    const LinkedFolder t(path("t"));
    // The window lists what the folder scan yields, without the later names of a's file.
    Paths scanned;
    FileScan::AddFolderTreeFiles(t.root, "*.*", scanned);
    const auto isA = [&](const std::string& p) { return p == t.a || p == t.hard || p == t.hardInSub; };
    const std::string firstA = *std::find_if(scanned.begin(), scanned.end(), isA);
    Paths expected;
    std::copy_if(scanned.begin(), scanned.end(), std::back_inserter(expected),
        [&](const std::string& p) { return !isA(p) || p == firstA; });
    QCOMPARE(expected.size(), std::size_t(3));
    desktop->folderAnswers = { t.root };
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    QCOMPARE(form->Candidates().Entries(), expected);

    // Chosen: a second name of a listed file is passed over, a name whose file cannot be
    // looked up is taken as it is.
    desktop->openAnswers.push_back(Paths { t.soft, t.dangling });
    form->btnAddFileClick();
    expected.push_back(t.dangling);
    QCOMPARE(form->Candidates().Entries(), expected);
    // Dropped: a link to a folder is listed under its own name, the folder then passed over.
    QVERIFY(DropUriList(w().FileList->viewport(), UriList({ t.folderLink, t.root + "/sub", t.chain })));
    expected.push_back(t.folderLink);
    QCOMPARE(form->Candidates().Entries(), expected);

    // Once a's entry has left the list, another of its names comes in.
    const auto rowOfA = std::find(expected.begin(), expected.end(), firstA) - expected.begin();
    selectRows({ static_cast<int>(rowOfA) }, 0);
    form->btnDelFileClick();
    QCOMPARE(w().CountLabel->text(), u"4"_s);
    QVERIFY(DropUriList(w().FileList->viewport(), UriList({ t.chain, t.a })));
    QCOMPARE(form->Candidates().Entries().back(), t.chain);
    QCOMPARE(w().CountLabel->text(), u"5"_s);

    // A renamed entry holds its file under the new name.
    const std::string renamed = t.root + "/renamed.jpg";
    QCOMPARE(std::rename(t.other.c_str(), renamed.c_str()), 0);
    const Paths before = form->Candidates().Entries();
    const auto otherRow = std::find(before.begin(), before.end(), t.other) - before.begin();
    form->ReplaceCandidate(static_cast<std::size_t>(otherRow), renamed);
    const std::string otherHard = t.root + "/other-hard.jpg";
    QCOMPARE(::link(renamed.c_str(), otherHard.c_str()), 0);
    QVERIFY(DropUriList(w().FileList->viewport(), UriList({ otherHard })));
    QCOMPARE(w().CountLabel->text(), u"5"_s);

    // Cleared, the list takes any name again.
    desktop->confirmAnswers.push_back(true);
    form->btnClearClick();
    QVERIFY(DropUriList(w().FileList->viewport(), UriList({ t.hard, otherHard, t.a })));
    QCOMPARE(form->Candidates().Entries(), (Paths { t.hard, otherHard }));
}

void TestCommands::removeNeedsFocusThenTakesManyRanges()
{
    fill(200);
    addGroup({ "/tmp/e1" });
    QItemSelection odd;
    for (int row = 1; row < 200; row += 2)
        odd.select(form->Candidates().index(row), form->Candidates().index(row));
    w().FileList->selectionModel()->select(odd, QItemSelectionModel::Select);
    // Without a focused row nothing goes.
    w().FileList->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    QCOMPARE(form->FocusedIndex(), -1);
    w().CountLabel->setText(u"stale"_s);
    form->btnDelFileClick();
    QCOMPARE(form->Candidates().Count(), std::size_t(200));
    QCOMPARE(w().CountLabel->text(), u"stale"_s);
    w().FileList->selectionModel()->setCurrentIndex(
        form->Candidates().index(51), QItemSelectionModel::NoUpdate);
    form->btnDelFileClick();
    QCOMPARE(form->Candidates().Count(), std::size_t(100));
    for (std::size_t k = 0; k < 100; ++k)
        QCOMPARE(form->Candidates().At(k), "/tmp/e" + std::to_string(2 * k));
    QCOMPARE(w().CountLabel->text(), u"100"_s);
    QVERIFY(form->SelectedCandidates().empty());
    // The focus goes to the entry that followed the removed focused one, as row removals do.
    QCOMPARE(form->Candidates().At(static_cast<std::size_t>(form->FocusedIndex())), std::string("/tmp/e52"));
    // The tree keeps a removed entry's node.
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 1);
}

// A removal takes its rows off the list at once and their storage at the next change of
// another kind. Against a plain list, through every change in random order: every row
// read, counted or selected is a row shown, and a file whose entries all went may be
// listed again under another name.
void TestCommands::removedRowsLeaveNoTrace()
{
    Paths names[2];
    for (int k = 0; k < 3; ++k) {
        names[0].push_back(file("f" + std::to_string(k), std::to_string(k)));
        names[1].push_back(path("l" + std::to_string(k)));
        QCOMPARE(symlink(names[0].back().c_str(), names[1].back().c_str()), 0);
    }
    const auto fileOf = [&](const std::string& entry) {
        for (std::size_t k = 0; k < names[0].size(); ++k) {
            if (entry == names[0][k] || entry == names[1][k])
                return static_cast<int>(k);
        }
        return -1;
    };
    CandidateList& list = form->Candidates();
    Paths model;
    // As the list appends: a second name of a listed file is passed over.
    const auto admit = [&](const Paths& paths) {
        for (const std::string& entry : paths) {
            if (fileOf(entry) < 0 || std::none_of(model.begin(), model.end(), [&](const std::string& listed) {
                    return listed != entry && fileOf(listed) == fileOf(entry);
                }))
                model.push_back(entry);
        }
    };
    // The plainest case first: a file's one entry goes, and its second name comes.
    admit({ "/nowhere/a", names[0][0], "/nowhere/b" });
    list.Append(Paths(model));
    model.erase(model.begin() + 1);
    list.RemoveAt(1);
    admit({ names[1][0] });
    list.Append(names[1][0]);
    QCOMPARE(list.Entries(), model);
    std::mt19937 rng(31);
    int made = 0;
    // Paths that lead nowhere, and now and then a name of one of the files.
    const auto newPaths = [&](std::size_t count) {
        Paths paths;
        for (std::size_t k = 0; k < count; ++k)
            paths.push_back("/nowhere/e" + std::to_string(made++));
        if (rng() % 2 == 0)
            paths.back() = names[rng() % 2][rng() % names[0].size()];
        return paths;
    };
    for (int step = 0; step < 400 && !QTest::currentTestFailed(); ++step) {
        const std::size_t count = model.size();
        switch (count < 2 ? 0 : rng() % 7) {
        case 0: {
            const Paths paths = newPaths(1 + rng() % 40);
            admit(paths);
            list.Append(Paths(paths));
            break;
        }
        case 1:
        case 2: {
            // Now a few ranges, now more than are removed one by one.
            std::vector<RowRange> ranges;
            const std::size_t odds = 2 + rng() % 6;
            for (std::size_t row = 0; row < count; ++row) {
                if (rng() % odds != 0)
                    continue;
                if (!ranges.empty() && ranges.back().second + 1 == row)
                    ranges.back().second = row;
                else
                    ranges.emplace_back(row, row);
            }
            for (auto range = ranges.rbegin(); range != ranges.rend(); ++range)
                model.erase(model.begin() + static_cast<std::ptrdiff_t>(range->first),
                    model.begin() + static_cast<std::ptrdiff_t>(range->second + 1));
            list.RemoveRanges(ranges);
            break;
        }
        case 3: {
            const std::size_t row = rng() % count;
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(row));
            list.RemoveAt(row);
            break;
        }
        case 4: {
            const std::size_t row = rng() % count;
            model[row] = "/nowhere/r" + std::to_string(made++);
            list.Replace(row, model[row]);
            break;
        }
        case 5: {
            // As a folder's listing extends the list and the window takes it.
            Paths paths = newPaths(1 + rng() % 3);
            FileScan::PathStore store;
            std::vector<FileScan::FileId> ids;
            for (const std::string& entry : paths) {
                store.Add(entry);
                ids.push_back(FileScan::IdentifyFile(entry));
            }
            admit(paths);
            list.Adopt(list.Extended(store, std::move(ids)));
            break;
        }
        case 6: {
            std::vector<int> rows;
            for (std::size_t row = 0; row < count; ++row) {
                if (rng() % 3 == 0)
                    rows.push_back(static_cast<int>(row));
            }
            if (rows.empty())
                break;
            selectRows(rows, rows.front());
            for (auto row = rows.rbegin(); row != rows.rend(); ++row)
                model.erase(model.begin() + *row);
            form->btnDelFileClick();
            break;
        }
        }
        QCOMPARE(list.Count(), model.size());
        QCOMPARE(list.rowCount(), static_cast<int>(model.size()));
        QCOMPARE(list.Entries(), model);
        for (std::size_t row = 0; row < model.size(); ++row) {
            QCOMPARE(list.At(row), model[row]);
            QCOMPARE(list.data(list.index(static_cast<int>(row))).toString(), PathToDisplay(model[row]));
        }
        QVERIFY(!list.index(static_cast<int>(model.size())).isValid());
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.At(model.size()));
    }
}

void TestCommands::clearAsks()
{
    // An empty list: nothing to ask, and the tree stays.
    addGroup({ "/a" });
    w().CountLabel->setText(u"stale"_s);
    form->btnClearClick();
    QVERIFY(desktop->calls.empty());
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    QCOMPARE(w().CountLabel->text(), u"stale"_s);

    fill(3);
    w().CountLabel->setText(u"stale"_s);
    desktop->confirmAnswers = { false, true };
    form->btnClearClick();
    QCOMPARE(desktop->confirms, QStringList { u"初期状態に戻しますか？"_s });
    QCOMPARE(form->Candidates().Count(), std::size_t(3));
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    QCOMPARE(w().CountLabel->text(), u"3"_s);
    form->btnClearClick();
    QCOMPARE(form->Candidates().Count(), std::size_t(0));
    QCOMPARE(w().FileTree->topLevelItemCount(), 0);
    QCOMPARE(w().CountLabel->text(), u"0"_s);
}

// The menu item's way to the check box is in addFolder's rows.
void TestCommands::optionToggles()
{
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTest::mouseClick(w().OptionCheck1, Qt::LeftButton, {}, QPoint(6, w().OptionCheck1->height() / 2));
    QVERIFY(!w().OptionCheck1->isChecked());
    QVERIFY(!w().mOptionCheck1->isChecked());
    QTest::mouseClick(w().OptionCheck1, Qt::LeftButton, {}, QPoint(6, w().OptionCheck1->height() / 2));
    QVERIFY(w().OptionCheck1->isChecked());
    QVERIFY(w().mOptionCheck1->isChecked());
}

void TestCommands::showOpensSelection()
{
    fill(5);
    form->Candidates().Append(std::string("/tmp/\x82\xA0.jpg"));
    selectRows({ 5, 3, 1 }, 1);
    form->pShowClick();
    QCOMPARE(desktop->shellOpened, (Paths { "/tmp/e1", "/tmp/e3", "/tmp/\x82\xA0.jpg" }));
    desktop->ClearRecords();
    // A file the desktop cannot open ends the command with the reason in the error box.
    desktop->shellOpenAnswers = { ShellOpenResult::Opened, ShellOpenResult::NoProgram };
    form->pShowClick();
    QCOMPARE(desktop->shellOpened, (Paths { "/tmp/e1", "/tmp/e3" }));
    QCOMPARE(desktop->errors, QStringList { u"ファイル /tmp/e3 を開くプログラムがありません."_s });
    desktop->ClearRecords();
    desktop->shellOpenAnswers = { ShellOpenResult::NotFound };
    form->pShowClick();
    QCOMPARE(desktop->errors, QStringList { u"ファイル /tmp/e1 は開けません."_s });
    desktop->ClearRecords();
    desktop->shellOpenAnswers
        = { ShellOpenResult::Opened, ShellOpenResult::Opened, ShellOpenResult::NotStarted };
    form->pShowClick();
    QCOMPARE(
        desktop->errors, QStringList { u"ファイル /tmp/\\x82\\xA0.jpg を開くプログラムを起動できません."_s });
    desktop->ClearRecords();
    w().FileList->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    form->pShowClick();
    QVERIFY(desktop->shellOpened.empty());
}

void TestCommands::showFromRightClickKeepsSelectionDoubleClickOpens()
{
    fill(6);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    selectRows({ 0, 2 }, 2);
    const QRect row4 = w().FileList->visualRect(form->Candidates().index(4));
    const QPoint inWindow = w().FileList->viewport()->mapTo(form.get(), row4.center());
    QTest::mousePress(form->windowHandle(), Qt::RightButton, {}, inWindow);
    QTRY_VERIFY(w().PopupMenu1->isVisible());
    QTest::mouseRelease(form->windowHandle(), Qt::RightButton, {}, inWindow);
    QCOMPARE(form->SelectedCandidates(), (std::vector<std::size_t> { 0, 2 }));
    QCOMPARE(form->FocusedIndex(), 2);
    w().pShow->trigger();
    w().PopupMenu1->close();
    QCOMPARE(desktop->shellOpened, (Paths { "/tmp/e0", "/tmp/e2" }));

    // A double-click opens the row it is on.
    desktop->ClearRecords();
    const QPoint row3 = w().FileList->visualRect(form->Candidates().index(3)).center();
    QTest::mouseClick(w().FileList->viewport(), Qt::LeftButton, {}, row3);
    QTest::mouseDClick(w().FileList->viewport(), Qt::LeftButton, {}, row3);
    QCOMPARE(desktop->shellOpened, (Paths { "/tmp/e3" }));
}

void TestCommands::everyTriggerRunsItsCommand_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("expectedCall");
    for (const char* name : { "btnAddFile", "mAddFile", "pAddFile" })
        QTest::newRow(name) << QString::fromLatin1(name) << u"OpenFiles"_s;
    for (const char* name : { "btnAddFolder", "mAddFolder", "pAddFolder" })
        QTest::newRow(name) << QString::fromLatin1(name) << u"BrowseFolder"_s;
    for (const char* name : { "btnClear", "mClear", "pClear" })
        QTest::newRow(name) << QString::fromLatin1(name) << u"Confirm"_s;
    for (const char* name : { "btnDelFile", "mDelFile", "pDelFile" })
        QTest::newRow(name) << QString::fromLatin1(name) << u"removes"_s;
}

void TestCommands::everyTriggerRunsItsCommand()
{
    QFETCH(QString, trigger);
    QFETCH(QString, expectedCall);
    fill(3);
    selectRows({ 1 }, 1);
    desktop->openAnswers.push_back(std::nullopt);
    desktop->folderAnswers.push_back(std::nullopt);
    desktop->confirmAnswers.push_back(false);
    if (auto* button = form->findChild<QToolButton*>(trigger))
        button->click();
    else
        form->findChild<QAction*>(trigger)->trigger();
    if (expectedCall == u"removes"_s) {
        QCOMPARE(form->Candidates().Entries(), (Paths { "/tmp/e0", "/tmp/e2" }));
        QVERIFY(desktop->calls.empty());
    } else {
        QCOMPARE(desktop->calls.size(), std::size_t(1));
        QCOMPARE(desktop->calls[0].kind, expectedCall);
    }
}

QTEST_MAIN(TestCommands)
#include "tst_unit1_commands.moc"
