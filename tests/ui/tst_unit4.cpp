// Tests of the bulk clean: TForm4 opened from TForm1's menus on real check results, its
// rules, protected folders, preview and run, the trash it uses, and the tree afterwards.
#include "ui/Desktop.h"
#include "ui/RemovalBoxes.h"
#include "ui/Settings.h"
#include "ui/Unit4.h"
#include "ui/Unit6.h"
#include "check/Journal.h"
#include "support/ui/MainWindow.h"
#include "support/ui/Controls.h"
#include "support/ui/FormTable.h"
#include "support/ui/TestFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestUnit4 : public MainWindowTest {
    Q_OBJECT

public:
    TestUnit4() : MainWindowTest(Shown::Active, true) {}

private slots:
    void menuItemsFollowTheTreeAndTheTrashIsRemembered();
    void rulesPreviewUntickAndRunThenTheTreeAndTheTrash();
    void protectedFoldersAreNeverTouchedAndRemembered();
    void cancelStopsBetweenGroupsAndTheSummarySaysSo();
    void onlyTheFilesTheCheckFoundGo();
    void eachFileCountsOnceAndTheTrashApartFromDeletion();
    void hardLinkAndSharedBlocksFromTheActionChoiceThenUndo();
    void noJournalNoCleanAndFailedStepsAreReported();

private:
    // Runs the real check over paths alone and returns the number of groups it made.
    int check(const std::vector<std::string>& paths);
    // Runs the bulk clean with row action of "処理" (with folder as the folder to move to
    // when given) and Enter; returns the choice it started with and its summary.
    struct Cleaned {
        int start = -1;
        QString summary;
    };
    Cleaned cleanWith(int action, const std::string& folder = {});
};

int TestUnit4::check(const std::vector<std::string>& paths)
{
    form->Candidates().Clear();
    w().FileTree->clear();
    return CheckFromButton(*form, paths);
}

void TestUnit4::menuItemsFollowTheTreeAndTheTrashIsRemembered()
{
    QVERIFY(w().mUseTrash->isChecked());
    emit w().mFind->aboutToShow();
    QVERIFY(!w().mCleanAll->isEnabled());
    QCOMPARE(check({ file("a.jpg", "same"), file("b.jpg", "same") }), 1);
    emit w().PopupMenu2->aboutToShow();
    QVERIFY(w().popCleanAll->isEnabled());

    w().mUseTrash->trigger();
    QVERIFY(!Settings::UseTrash());
    TForm1 second;
    QVERIFY(!Form1Controls(second).mUseTrash->isChecked());
}

void TestUnit4::rulesPreviewUntickAndRunThenTheTreeAndTheTrash()
{
    // Group 1: the original is second in the list, its copy first and newer. Group 2:
    // three files, the second and third go. Group 3 is unticked in the preview.
    const std::string copy = file("p/photo - コピー.jpg", "photo");
    const std::string photo = file("p/photo.jpg", "photo");
    SetModifiedTime(copy, 2000000000);
    SetModifiedTime(photo, 1500000000);
    const std::string n1 = file("q/note.txt", "note");
    const std::string n2 = file("q/deep/note.txt", "note");
    const std::string n3 = file("r/note.txt", "note");
    const std::string x1 = file("x1.bin", "xx");
    const std::string x2 = file("x2.bin", "xx");
    QCOMPARE(check({ copy, photo, n1, n2, n3, x1, x2 }), 3);

    QString summary;
    int preview = 0;
    int selectedOnly = 0;
    w().FileTree->setCurrentItem(w().FileTree->topLevelItem(1)->child(0));
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        // Larger, the preview and the protected folders take the room.
        CheckGrowingForm(dialog, QSize(640, 440), QSize(1000, 600),
            {
                { "GroupBox1", { 5, 5, 310, 160 } },
                { "GroupBox2", { 320, 5, 675, 160 } },
                { "ProtectList", { 8, 20, 580, 130 } },
                { "btnProtectAdd", { 593, 20, 75, 25 } },
                { "PreviewTree", { 5, 170, 990, 360 } },
                { "SelectedOnly", { 5, 535, 200, 20 } },
                { "SummaryLabel", { 210, 535, 785, 20 } },
                { "Button1", { 835, 565, 75, 25 } },
                { "Button2", { 920, 565, 75, 25 } },
            });
        auto* only = Control<QCheckBox>(dialog, "SelectedOnly");
        only->setChecked(true);
        selectedOnly = dialog.PreviewCount();
        only->setChecked(false);
        preview = dialog.PreviewCount();
        auto* tree = Control<QTreeWidget>(dialog, "PreviewTree");
        tree->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
        summary = Control<QLabel>(dialog, "SummaryLabel")->text();
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    });
    w().mCleanAll->trigger();
    QCOMPARE(selectedOnly, 1);
    QCOMPARE(preview, 3);
    QCOMPARE(summary, u"2 グループ：3 個のファイルをゴミ箱に移動、13 バイト解放"_s);
    // The name that looks like a copy went, not the first file of the list.
    QVERIFY(Exists(photo));
    QVERIFY(!Exists(copy));
    QVERIFY(Exists(TrashedPath("photo - コピー.jpg")));
    QVERIFY(Exists(n1) && !Exists(n2) && !Exists(n3));
    QVERIFY(Exists(x1) && Exists(x2));
    QCOMPARE(desktop->informations, QStringList({ u"ゴミ箱に移動したファイル：3 個（13 バイト解放）"_s }));
    // Groups left with one file leave the tree; the unticked one stays whole.
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 2);

    // The newest-file rule moved to the top keeps the newer file, though it comes second.
    const std::string older = file("s/older.jpg", "pair");
    const std::string newer = file("s/newer.jpg", "pair");
    SetModifiedTime(older, 1000000000);
    SetModifiedTime(newer, 1100000000);
    QCOMPARE(check({ older, newer }), 1);
    desktop->ClearRecords();
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        auto* rules = Control<QListWidget>(dialog, "RuleList");
        for (int row = 0; row < rules->count(); ++row) {
            if (rules->item(row)->text() == u"更新日時が新しいものを残す"_s) {
                rules->item(row)->setCheckState(Qt::Checked);
                rules->setCurrentRow(row);
            }
        }
        while (rules->currentRow() > 0)
            QTest::mouseClick(Control<QPushButton>(dialog, "btnRuleUp"), Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    });
    w().popCleanAll->trigger();
    QVERIFY(Exists(newer));
    QVERIFY(!Exists(older));
    QCOMPARE(Settings::KeepRules().front().rule, Check::KeepRule::Newest);
}

void TestUnit4::protectedFoldersAreNeverTouchedAndRemembered()
{
    const std::string kept = file("archive/a.jpg", "same");
    const std::string copy = file("work/a.jpg", "same");
    const std::string other = file("archive/b.jpg", "bbbb");
    const std::string otherCopy = file("archive/old/b.jpg", "bbbb");
    // A file of the protected folder listed through a link to it is protected too.
    const std::string workC = file("work/c.jpg", "cc");
    file("archive/c.jpg", "cc");
    QVERIFY(QFile::link(filePath(u"archive"_s), filePath(u"linked"_s)));
    QCOMPARE(check({ copy, kept, other, otherCopy, workC, path("linked/c.jpg") }), 3);
    desktop->folderAnswers.push_back(path("archive"));
    int preview = -1;
    QStringList greyed;
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        QTest::mouseClick(Control<QPushButton>(dialog, "btnProtectAdd"), Qt::LeftButton);
        preview = dialog.PreviewCount();
        auto* tree = Control<QTreeWidget>(dialog, "PreviewTree");
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = tree->topLevelItem(row);
            if (!(item->flags() & Qt::ItemIsEnabled) && item->checkState(0) == Qt::Unchecked)
                greyed << item->text(0);
        }
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    w().mCleanAll->trigger();
    QCOMPARE(desktop->browses.at(0).title, u"保護するフォルダを指定"_s);
    // The work copy goes although it comes first; the group all inside the protected
    // folder is left alone, greyed in the preview with the reason.
    QCOMPARE(preview, 3);
    QCOMPARE(greyed, QStringList { u"重複ファイル2　すべて保護フォルダ内"_s });
    QVERIFY(Exists(kept) && !Exists(copy));
    QVERIFY(Exists(path("archive/c.jpg")) && !Exists(workC));
    QVERIFY(Exists(other) && Exists(otherCopy));
    QCOMPARE(Settings::ProtectedFolders(), std::vector<std::string>({ path("archive") }));
    // Cancelled, the dialog leaves the saved folders and rules as they were.
    QCOMPARE(check({ other, otherCopy }), 1);
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        auto* folders = Control<QListWidget>(dialog, "ProtectList");
        folders->setCurrentRow(0);
        QTest::mouseClick(Control<QPushButton>(dialog, "btnProtectRemove"), Qt::LeftButton);
        QCOMPARE(folders->count(), 0);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    w().mCleanAll->trigger();
    QVERIFY(Exists(other) && Exists(otherCopy));
    QCOMPARE(Settings::ProtectedFolders(), std::vector<std::string>({ path("archive") }));

    // The delete dialog starts with protected files unchecked.
    const std::string loose = file("loose/b.jpg", "bbbb");
    file("archive/old/b2.jpg", "bbbb");
    QCOMPARE(check({ loose, otherCopy, path("linked/old/b2.jpg") }), 1);
    QList<bool> marks;
    WhenModal<QDialog>(form.get(), [&](QDialog& dialog) {
        auto* list = Control<QListWidget>(dialog, "CheckFileList");
        for (int row = 0; row < list->count(); ++row)
            marks << (list->item(row)->checkState() == Qt::Checked);
        dialog.reject();
    });
    w().FileTree->setCurrentItem(w().FileTree->topLevelItem(0));
    form->FileTreeDblClick();
    QCOMPARE(marks, QList<bool>({ false, false, false }));
}

void TestUnit4::cancelStopsBetweenGroupsAndTheSummarySaysSo()
{
    std::vector<std::string> paths;
    for (int g = 0; g < 30; ++g) {
        for (int copy = 0; copy < 2; ++copy)
            paths.push_back(file("g" + std::to_string(g) + "/" + std::to_string(copy), "group " + std::to_string(g)));
    }
    QCOMPARE(check(paths), 30);
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        // Clicked during the run, at its first pause between groups.
        QTimer::singleShot(0, &dialog, [&dialog] {
            QTest::mouseClick(Control<QPushButton>(dialog, "Button2"), Qt::LeftButton);
        });
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    });
    w().mCleanAll->trigger();
    int gone = 0;
    for (std::size_t i = 1; i < paths.size(); i += 2)
        gone += Exists(paths[i]) ? 0 : 1;
    QVERIFY(gone < 30);
    for (std::size_t i = 0; i < paths.size(); i += 2)
        QVERIFY(Exists(paths[i]));
    QCOMPARE(desktop->informations.size(), 1);
    QVERIFY(desktop->informations.at(0).startsWith(u"途中で中止しました。\nゴミ箱に移動したファイル：%1 個"_s.arg(gone)));
    QCOMPARE(w().FileTree->topLevelItemCount(), 30 - gone);
}

void TestUnit4::onlyTheFilesTheCheckFoundGo()
{
    // The copy's folder swapped for a link to a folder holding the same name and bytes
    // after the check: the copy stays, and the file elsewhere is not touched.
    const std::string kept = file("k/a.jpg", "same");
    const std::string copy = file("v/a.jpg", "same");
    const std::string elsewhere = file("outside/a.jpg", "same");
    QCOMPARE(check({ kept, copy }), 1);
    std::filesystem::rename(path("v"), path("v.away"));
    std::filesystem::create_directory_symlink(path("outside"), path("v"));
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    w().mCleanAll->trigger();
    QCOMPARE(desktop->informations,
        QStringList({ u"ゴミ箱に移動したファイル：0 個（0 バイト解放）\n次のファイルはゴミ箱に移動しませんでした：\n"_s
            + QString::fromStdString(copy) + u" (確認の後に変更されました)"_s }));
    QCOMPARE(ReadTestFile(elsewhere), QByteArray("same"));
    QCOMPARE(ReadTestFile(path("v.away/a.jpg")), QByteArray("same"));
    QCOMPARE(ReadTestFile(kept), QByteArray("same"));
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 2);
}

void TestUnit4::eachFileCountsOnceAndTheTrashApartFromDeletion()
{
    // b listed twice (the same folder added twice) goes once, into the trash; the copy
    // on a volume without a trash is deleted for good once the user agrees.
    const TempDir shm("/dev/shm");
    const std::string a = file("k/a.jpg", "12345");
    const std::string b = file("c/b.jpg", "12345");
    const std::string noTrash = WriteTestFile(shm / "t.jpg", "12345");
    QCOMPARE(check({ a, b, b, noTrash }), 1);
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 4);
    QString summary;
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        summary = Control<QLabel>(dialog, "SummaryLabel")->text();
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    desktop->confirmAnswers.push_back(true);
    w().mCleanAll->trigger();
    QCOMPARE(summary, u"1 グループ：2 個のファイルをゴミ箱に移動、10 バイト解放"_s);
    QVERIFY(Exists(a) && !Exists(b) && !Exists(noTrash));
    QCOMPARE(desktop->informations,
        QStringList({ u"ゴミ箱に移動したファイル：1 個（5 バイト解放）\n完全に削除したファイル：1 個（5 バイト解放）"_s }));

    // The clean is journaled: undo brings the trashed file back and says which cannot
    // come back.
    desktop->ClearRecords();
    WhenModal<TForm6>(form.get(), [&](TForm6& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    w().mUndoClean->trigger();
    // It runs on a thread of its own; the window takes no command that removes or
    // checks meanwhile.
    QVERIFY(form->Undoing());
    QVERIFY(!w().mChecker->isEnabled() && !w().mUndoClean->isEnabled());
    WaitForRunEnd(*form);
    QVERIFY(w().mChecker->isEnabled() && w().mUndoClean->isEnabled());
    QCOMPARE(ReadTestFile(b), QByteArray("12345"));
    QVERIFY(!Exists(noTrash));
    QCOMPARE(desktop->informations,
        QStringList({ u"元に戻したファイル：1 個\n次のファイルは元に戻しませんでした：\n"_s + QString::fromStdString(noTrash)
            + u" (完全に削除したため戻せません)"_s }));
}

namespace {

// Chooses row of "処理" from the keyboard, as a user does.
void ChooseAction(TForm4& dialog, int row)
{
    auto* combo = Control<QComboBox>(dialog, "ActionCombo");
    combo->setFocus();
    const int from = combo->currentIndex();
    for (int step = from; step != row; step += row > from ? 1 : -1)
        QTest::keyClick(combo, row > from ? Qt::Key_Down : Qt::Key_Up);
}

} // namespace

TestUnit4::Cleaned TestUnit4::cleanWith(int action, const std::string& folder)
{
    desktop->ClearRecords();
    if (!folder.empty())
        desktop->folderAnswers.push_back(folder);
    Cleaned cleaned;
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        cleaned.start = Control<QComboBox>(dialog, "ActionCombo")->currentIndex();
        ChooseAction(dialog, action);
        cleaned.summary = Control<QLabel>(dialog, "SummaryLabel")->text();
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    w().mCleanAll->trigger();
    return cleaned;
}

void TestUnit4::hardLinkAndSharedBlocksFromTheActionChoiceThenUndo()
{
    const std::size_t journals = Check::ListJournals(Check::DefaultJournalFolder()).size();
    const std::string kept = file("h/a.bin", "linked bytes");
    const std::string copy = file("h/b.bin", "linked bytes");
    QCOMPARE(check({ kept, copy }), 1);
    QStringList choices;
    int start = -1;
    int afterNoFolder = -1;
    QString summary;
    WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
        auto* combo = Control<QComboBox>(dialog, "ActionCombo");
        for (int row = 0; row < combo->count(); ++row)
            choices << combo->itemText(row);
        start = combo->currentIndex();
        // フォルダへ移動 asks for the folder; without one the choice before it stays.
        desktop->folderAnswers.push_back(std::nullopt);
        ChooseAction(dialog, 4);
        afterNoFolder = combo->currentIndex();
        ChooseAction(dialog, 2);
        summary = Control<QLabel>(dialog, "SummaryLabel")->text();
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    });
    w().mCleanAll->trigger();
    QCOMPARE(choices,
        QStringList({ u"ゴミ箱に移動"_s, u"完全に削除"_s, u"ハードリンクに置き換える"_s, u"データを共有する（reflink）"_s,
            u"フォルダへ移動"_s }));
    QCOMPARE(start, 0);
    QCOMPARE(afterNoFolder, 3);
    QCOMPARE(summary, u"1 グループ：1 個のファイルをハードリンクに置き換え、12 バイト解放"_s);
    // Both names lead to one file with the bytes; the copy takes no space and leaves
    // the tree with its group.
    QVERIFY(std::filesystem::equivalent(kept, copy));
    QCOMPARE(ReadTestFile(copy), QByteArray("linked bytes"));
    QCOMPARE(desktop->informations.size(), 1);
    QVERIFY(desktop->informations.at(0).startsWith(u"ハードリンクに置き換えたファイル：1 個（12 バイト解放）\n記録："_s));
    QCOMPARE(w().FileTree->topLevelItemCount(), 0);

    // The trash off, deleting for good is the start; a volume that cannot share blocks
    // leaves the file as it was, with the reason, and no journal.
    w().mUseTrash->trigger();
    const TempDir shm("/dev/shm");
    const std::string a = WriteTestFile(shm / "a.bin", "shared?");
    const std::string b = WriteTestFile(shm / "b.bin", "shared?");
    QCOMPARE(check({ a, b }), 1);
    QCOMPARE(cleanWith(3).start, 1);
    QVERIFY(!std::filesystem::equivalent(a, b));
    QCOMPARE(desktop->informations,
        QStringList({ u"データを共有したファイル：0 個（0 バイト解放）\n次のファイルはそのままです：\n"_s
            + QString::fromStdString(b) + u" (共有できないファイルシステム)"_s }));
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 2);
    QCOMPARE(Check::ListJournals(Check::DefaultJournalFolder()).size(), journals + 1);

    // Undo lists the hard-link clean and gives the copy a file of its own again; run
    // twice, it finds the file back.
    QStringList listed;
    for (int round = 0; round < 2; ++round) {
        desktop->ClearRecords();
        WhenModal<TForm6>(form.get(), [&](TForm6& dialog) {
            const QTreeWidgetItem* item = Control<QTreeWidget>(dialog, "JournalList")->topLevelItem(0);
            listed = { item->text(1), item->text(2) };
            QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
        });
        w().mUndoClean->trigger();
        WaitForRunEnd(*form);
        QCOMPARE(listed, QStringList({ u"ハードリンクに置き換え"_s, u"1"_s }));
        QVERIFY(!std::filesystem::equivalent(kept, copy));
        QCOMPARE(ReadTestFile(copy), QByteArray("linked bytes"));
        QCOMPARE(desktop->informations,
            QStringList(round == 0 ? u"元に戻したファイル：1 個"_s
                                   : u"元に戻したファイル：0 個\nすでに元の場所にあるファイル：1 個"_s));
    }

    // フォルダへ移動 puts the copy below the chosen folder at its full path.
    const std::string aside = path("aside");
    std::filesystem::create_directory(aside);
    QCOMPARE(cleanWith(4, aside).summary, u"1 グループ：1 個のファイルをフォルダへ移動、7 バイト移動"_s);
    QVERIFY(!Exists(b));
    QCOMPARE(ReadTestFile(aside + b), QByteArray("shared?"));
    QCOMPARE(desktop->informations.size(), 1);
    QVERIFY(desktop->informations.at(0).startsWith(u"フォルダへ移動したファイル：1 個（7 バイト）\n記録："_s));
    QCOMPARE(w().FileTree->topLevelItemCount(), 0);
}

void TestUnit4::noJournalNoCleanAndFailedStepsAreReported()
{
    const std::string kept = file("j/a.bin", "journal?");
    const std::string copy = file("k/b.bin", "journal?");
    const std::string plain = file("plain", "a file, not a folder");

    // No journal can be made (the state folder would lie below a file): the clean stops
    // before it changes anything, whatever the action, and says so; the dialog stays.
    {
        struct StateFolder {
            QByteArray was = qgetenv("XDG_STATE_HOME");
            ~StateFolder() { qputenv("XDG_STATE_HOME", was); }
        } restore;
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(plain + "/state"));
        for (const int action : { 0, 2 }) {
            QCOMPARE(check({ kept, copy }), 1);
            desktop->ClearRecords();
            bool stayedOpen = false;
            WhenModal<TForm4>(form.get(), [&](TForm4& dialog) {
                ChooseAction(dialog, action);
                QTest::keyClick(&dialog, Qt::Key_Return);
                stayedOpen = dialog.isVisible();
                dialog.reject();
            });
            w().mCleanAll->trigger();
            QVERIFY(stayedOpen);
            QCOMPARE(desktop->errors.size(), 1);
            QVERIFY2(desktop->errors.at(0).startsWith(
                         u"整理の記録を作成できません："_s + QString::fromStdString(plain) + u"/state/tessarin\n"_s),
                qPrintable(desktop->errors.at(0)));
            QVERIFY(Exists(copy) && !std::filesystem::equivalent(kept, copy));
            QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 2);
        }
    }

    // A step that fails (the folder to move to is a file now) is named with its reason
    // in an error box; the file stays.
    cleanWith(4, plain);
    QCOMPARE(ReadTestFile(copy), QByteArray("journal?"));
    QCOMPARE(desktop->errors.size(), 1);
    QVERIFY2(desktop->errors.at(0).contains(u"次のファイルを処理できません：\n"_s + QString::fromStdString(copy) + u" ("_s),
        qPrintable(desktop->errors.at(0)));
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 2);

    // Moved aside, then a file put where its folder was: undo cannot bring it back and
    // says why in an error box; the file stays aside.
    const std::string aside = path("aside");
    std::filesystem::create_directory(aside);
    cleanWith(4, aside);
    QVERIFY(!Exists(copy));
    std::filesystem::remove(path("k"));
    file("k", "in the way");
    desktop->ClearRecords();
    WhenModal<TForm6>(form.get(), [&](TForm6& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    w().mUndoClean->trigger();
    WaitForRunEnd(*form);
    QCOMPARE(ReadTestFile(aside + copy), QByteArray("journal?"));
    QCOMPARE(desktop->errors.size(), 1);
    QVERIFY2(desktop->errors.at(0).startsWith(
                 u"元に戻したファイル：0 個\n次のファイルを元に戻せません：\n"_s + QString::fromStdString(copy) + u" ("_s),
        qPrintable(desktop->errors.at(0)));

    // A temporary name a step could not remove again is named, for the user to remove.
    desktop->ClearRecords();
    Check::SpaceReport report;
    Check::SpacedFile& spaced = report.files.emplace_back();
    spaced.path = copy;
    spaced.result.outcome = Files::ActionOutcome::KeptChanged;
    spaced.result.leftover = path("k2/.tessarin-0123456789ab.tmp");
    report.stayed = 1;
    ReportSpaceClean(Check::JournalAction::HardLink, report, {});
    QCOMPARE(desktop->errors.size(), 1);
    QVERIFY2(desktop->errors.at(0).contains(u"次の一時ファイルが残っています（不要なら削除してください）：\n"_s
                 + QString::fromStdString(spaced.result.leftover + " (" + copy + " の一時ファイル)")),
        qPrintable(desktop->errors.at(0)));
}

QTEST_MAIN(TestUnit4)
#include "tst_unit4.moc"
