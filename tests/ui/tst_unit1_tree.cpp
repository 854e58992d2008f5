// Tests of the result tree commands of TForm1 on real files: the delete dialog of a
// group with its re-read of the files, the pop-up menu's enabling, and open, rename,
// move and delete of a file node.
#include "check/ResultExport.h"
#include "ui/Desktop.h"
#include "ui/Settings.h"
#include <QDateTime>
#include <QHeaderView>
#include "ui/PreviewPane.h"
#include "ui/PathDisplay.h"
#include "ui/Unit2.h"
#include "support/ChildProcess.h"
#include "support/ui/Controls.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Double-clicks as a mouse does: press, release, double-click, release.
void DoubleClick(QWidget* widget, const QPoint& pos)
{
    const QPointF local(pos);
    const QPointF global(widget->mapToGlobal(pos));
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
             QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease }) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

// Returns the tooltip shown for the pointer resting at pos of viewport ("" for none).
QString ToolTipAt(QWidget* viewport, const QPoint& pos)
{
    QHelpEvent event(QEvent::ToolTip, pos, viewport->mapToGlobal(pos));
    QApplication::sendEvent(viewport, &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

class TestTree : public MainWindowTest {
    Q_OBJECT

public:
    TestTree() : MainWindowTest(Shown::Active) {}

private slots:
    void init();

    void deleteDialogCancelledOrWithNothingCheckedDeletesNothing();
    void deleteDialogReportsFilesThatCannotBeDeleted();
    void deleteDialogKeepsCopiesWhoseKeptCopyChangedElseAllButTheFirstGo();
    void deleteDialogKeepsWhatNoLongerMatchesAndSaysWhy();
    void deleteDialogWithEveryLineCheckedAsksFirst();
    void deleteDialogWithTheSamePathTwiceDeletesItOnce();
    void commandsActOnlyOnTheFilesTheCheckFound();
    void doubleClickOpensAFileNodeOnlyAlsoBelowTheRows();
    void enterOnAGroupOpensTheDeleteDialog();
    void popupEnablingFollowsTheSelectedNodeAndGroupsAreNoFiles();
    void popupActsOnTheNodeSelectedBeforeTheRightClick();
    void renameTakesOnlyANewName();
    void renameSelectsTheNameBeforeItsExtension_data();
    void renameSelectsTheNameBeforeItsExtension();
    void renameNeverCutsTheNameOrMovesTheFile();
    void moveIntoAnotherFolderButNeverOntoAName();
    void moveIntoAFullFileSystem();
    void deleteAfterConfirmation();
    void withTheTrashDeletionsGoThereAndAskWhereThereIsNone();
    void saveResultsIsEnabledOnlyWithGroups();
    void saveResultsWritesTheTreeAsItShowsIt();
    void saveResultsFailureShowsTheErrorBox();
    void toolTipsShowWhatTheWindowCutsOff();
    void columnsSortFilterSummaryAndPreview();

private:
    ResultRow checkedGroup(const std::vector<std::string>& paths);
    void doubleClickAndAnswer(ResultRow node, const std::function<void(TForm2&)>& answer);

    std::string m_a, m_d, m_b;
};

void TestTree::init()
{
    MainWindowTest::init();
    w().PageControl1->setCurrentIndex(1);
    m_a = file("p/a.jpg", "same");
    m_d = file("p/d.jpg", "same");
    m_b = file("q/b.jpg", "same");
}

// Returns the group the real check run makes of paths, which must all be identical.
ResultRow TestTree::checkedGroup(const std::vector<std::string>& paths)
{
    if (CheckFromButton(*form, paths) != 1
        || w().FileTree->topLevelItem(0)->childCount() != static_cast<int>(paths.size()))
        qFatal("the check did not group the files");
    ResultRow group = w().FileTree->topLevelItem(0);
    group->setExpanded(true);
    return group;
}

// Double-clicks the row of node with the mouse and answers the delete dialog.
void TestTree::doubleClickAndAnswer(ResultRow node, const std::function<void(TForm2&)>& answer)
{
    WhenModal<TForm2>(form.get(), answer);
    const ResultRows tree = w().FileTree;
    DoubleClick(tree->viewport(), tree->visualItemRect(node).center());
}

void TestTree::deleteDialogCancelledOrWithNothingCheckedDeletesNothing()
{
    ResultRow group = addGroup({ m_a, m_d, m_b });
    selectNode(group);
    // The ways of cancelling are the dialog's own test; the window sees only the answer.
    WhenModal<TForm2>(form.get(),
        [](TForm2& dialog) { QTest::mouseClick(Control<QPushButton>(dialog, "Button2"), Qt::LeftButton); });
    form->FileTreeDblClick();
    QVERIFY(Exists(m_a) && Exists(m_d) && Exists(m_b));
    QCOMPARE(group->childCount(), 3);
    // Released when the command ends.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form->findChildren<TForm2*>().isEmpty());

    WhenModal<TForm2>(form.get(), [](TForm2& dialog) {
        auto* list = Control<QListWidget>(dialog, "CheckFileList");
        // Space on the checked lines, from the keyboard.
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_Return);
    });
    form->FileTreeDblClick();
    QVERIFY(Exists(m_a) && Exists(m_d) && Exists(m_b));
    QCOMPARE(group->childCount(), 3);
    QVERIFY(desktop->calls.empty());
}

void TestTree::deleteDialogReportsFilesThatCannotBeDeleted()
{
    // Nobody, root included, deletes a file of /proc; this one reads "Linux\n" whatever
    // size it claims, so it matches a kept copy and gets as far as its deletion.
    const std::string locked = "/proc/sys/kernel/ostype";
    if (ReadTestFile(locked) != "Linux\n")
        QSKIP("no /proc/sys/kernel/ostype");
    const std::string kept = file("k/ostype", "Linux\n");
    const std::string copy = file("k/copy", "Linux\n");
    ResultRow group = addGroup({ kept, locked, "/proc/self/status", copy });
    selectNode(group);
    WhenModal<TForm2>(form.get(), [](TForm2& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    form->FileTreeDblClick();

    QCOMPARE(ReadTestFile(kept), QByteArray("Linux\n"));
    QVERIFY(!Exists(copy));
    QCOMPARE(group->childCount(), 3);
    QCOMPARE(NodePath(group->child(0)), kept);
    QCOMPARE(NodePath(group->child(1)), locked);
    QCOMPARE(NodePath(group->child(2)), std::string("/proc/self/status"));
    // The kept file and the failure in one box, an error box.
    QVERIFY(desktop->informations.isEmpty());
    QCOMPARE(desktop->errors,
        QStringList({ u"次のファイルは削除しませんでした：\n/proc/self/status (残すファイルと内容が違います)\n"
                      u"次のファイルを削除できません：\n/proc/sys/kernel/ostype (File access denied)"_s }));
}

void TestTree::deleteDialogKeepsCopiesWhoseKeptCopyChangedElseAllButTheFirstGo()
{
    // The check lists the later copies from the end of the list: a, b, d.
    ResultRow group = checkedGroup({ m_a, m_d, m_b });
    QCOMPARE(NodePath(group->child(0)), m_a);
    QCOMPARE(NodePath(group->child(1)), m_b);
    // The first, unchecked line's file is edited after the check.
    WriteTestFile(QString::fromStdString(m_a), "SAME");
    std::optional<bool> busyAtTheBox;
    desktop->onCall = [&](const QString&) { busyAtTheBox = QApplication::overrideCursor() != nullptr; };
    doubleClickAndAnswer(
        group, [](TForm2& dialog) { QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton); });

    QCOMPARE(ReadTestFile(m_d), QByteArray("same"));
    QCOMPARE(ReadTestFile(m_b), QByteArray("same"));
    QCOMPARE(group->childCount(), 3);
    QCOMPARE(desktop->informations,
        QStringList({ u"次のファイルは削除しませんでした：\n"_s + QString::fromStdString(m_b)
            + u" (残すファイルと内容が違います)\n"_s + QString::fromStdString(m_d)
            + u" (残すファイルと内容が違います)"_s }));
    QVERIFY(desktop->errors.isEmpty());
    QCOMPARE(busyAtTheBox, std::optional<bool>(false));

    // Undone, the group deletes as the dialog lists it: all but the first line checked.
    WriteTestFile(QString::fromStdString(m_a), "same");
    desktop->ClearRecords();
    desktop->onCall = nullptr;
    QStringList lines;
    QList<bool> marks;
    doubleClickAndAnswer(group, [&](TForm2& dialog) {
        for (int i = 0; i < dialog.FileCount(); ++i) {
            lines << QString::fromStdString(dialog.FilePath(i));
            marks << dialog.IsChecked(i);
        }
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    QCOMPARE(lines,
        QStringList(
            { QString::fromStdString(m_a), QString::fromStdString(m_b), QString::fromStdString(m_d) }));
    QCOMPARE(marks, QList<bool>({ false, true, true }));
    QVERIFY(Exists(m_a));
    QVERIFY(!Exists(m_d));
    QVERIFY(!Exists(m_b));
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    QCOMPARE(group->childCount(), 1);
    QCOMPARE(NodePath(group->child(0)), m_a);
    QVERIFY(desktop->calls.empty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestTree::deleteDialogKeepsWhatNoLongerMatchesAndSaysWhy()
{
    const auto okOnDialog = [](TForm2& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); };
    const auto path = [](const std::string& p) { return QString::fromStdString(p); };

    // Two kept lines, a and c: the changed one leaves the other to compare with.
    const std::string c = file("q/c.jpg", "same");
    ResultRow group = checkedGroup({ m_a, m_d, m_b, c });
    QCOMPARE(NodePath(group->child(1)), c);
    WriteTestFile(path(m_a), "diff");
    WriteTestFile(path(m_d), "SAME");
    doubleClickAndAnswer(group, [](TForm2& dialog) {
        // The cursor is on the first line: uncheck the second.
        auto* list = Control<QListWidget>(dialog, "CheckFileList");
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_Return);
    });
    QVERIFY(!Exists(m_b));
    QCOMPARE(ReadTestFile(c), QByteArray("same"));
    QCOMPARE(ReadTestFile(m_d), QByteArray("SAME"));
    QCOMPARE(group->childCount(), 3);
    QCOMPARE(NodePath(group->child(2)), m_d);
    QCOMPARE(desktop->informations,
        QStringList({ u"次のファイルは削除しませんでした：\n"_s + path(m_d) + u" (確認の後に変更されました)"_s }));

    // The kept file gone, a checked one gone, and a checked one that is a hard link of
    // the kept file (two names of one file that met in a check).
    desktop->ClearRecords();
    w().FileTree->clear();
    const std::string k = file("r/k", "data");
    const std::string linked = this->path("r/linked");
    QVERIFY(link(k.c_str(), linked.c_str()) == 0);
    const std::string gone = file("r/gone", "data");
    group = addGroup({ k, linked, gone });
    QFile::remove(path(gone));
    doubleClickAndAnswer(group, okOnDialog);
    QCOMPARE(group->childCount(), 3);
    QCOMPARE(desktop->informations,
        QStringList({ u"次のファイルは削除しませんでした：\n"_s + path(linked) + u" (残すファイルと同じファイルです)\n"_s
            + path(gone) + u" (File not found)"_s }));

    desktop->ClearRecords();
    QFile::remove(path(k));
    doubleClickAndAnswer(group, okOnDialog);
    QVERIFY(Exists(linked));
    QCOMPARE(group->childCount(), 3);
    QCOMPARE(desktop->informations,
        QStringList({ u"次のファイルは削除しませんでした：\n"_s + path(linked) + u" (残すファイルを読み込めません)\n"_s
            + path(gone) + u" (File not found)"_s }));

    // A long list is cut short and counted.
    desktop->ClearRecords();
    w().FileTree->clear();
    std::vector<std::string> many { file("s/kept", "kept") };
    for (int i = 0; i < 22; ++i)
        many.push_back(WriteTestFile(filePath(u"s/%1"_s.arg(i)), "other"));
    group = addGroup(many);
    doubleClickAndAnswer(group, okOnDialog);
    QCOMPARE(group->childCount(), 23);
    QCOMPARE(desktop->informations.size(), 1);
    const QStringList lines = desktop->informations.at(0).split(u'\n');
    QCOMPARE(lines.size(), 22);
    QCOMPARE(lines.at(20), path(many.at(20)) + u" (残すファイルと内容が違います)"_s);
    QCOMPARE(lines.at(21), u"ほか 2 件"_s);
}

void TestTree::deleteDialogWithEveryLineCheckedAsksFirst()
{
    ResultRow group = checkedGroup({ m_a, m_d, m_b });
    // With every line checked there is no kept copy to compare with; once the user
    // confirms, every file goes that is still the one the check found.
    WriteTestFile(QString::fromStdString(m_d), "changed");
    const auto checkAll = [](TForm2& dialog) {
        // The cursor starts on the first, unchecked line.
        QTest::keyClick(Control<QListWidget>(dialog, "CheckFileList"), Qt::Key_Space);
        QTest::keyClick(&dialog, Qt::Key_Return);
    };
    const QString question
        = u"すべてのファイルにチェックがあります。\nこのファイルのコピーは一つも残りません。本当に削除しますか？"_s;

    desktop->confirmAnswers.push_back(false);
    doubleClickAndAnswer(group, checkAll);
    QCOMPARE(desktop->calls.size(), std::size_t { 1 });
    QCOMPARE(desktop->calls[0].kind, u"ConfirmDefaultCancel"_s);
    QCOMPARE(desktop->calls[0].text, question);
    QVERIFY(Exists(m_a) && Exists(m_d) && Exists(m_b));
    QCOMPARE(group->childCount(), 3);

    desktop->ClearRecords();
    desktop->confirmAnswers.push_back(true);
    doubleClickAndAnswer(group, checkAll);
    QCOMPARE(desktop->confirms, QStringList({ question }));
    QVERIFY(!Exists(m_a) && !Exists(m_b));
    QCOMPARE(ReadTestFile(m_d), QByteArray("changed"));
    QCOMPARE(group->childCount(), 1);
    QCOMPARE(NodePath(group->child(0)), m_d);
    QCOMPARE(desktop->informations,
        QStringList({ u"次のファイルは削除しませんでした：\n"_s + QString::fromStdString(m_d)
            + u" (確認の後に変更されました)"_s }));
    QCOMPARE(desktop->calls.size(), std::size_t { 2 });
}

void TestTree::deleteDialogWithTheSamePathTwiceDeletesItOnce()
{
    // Q, P, P: P goes once, and both of its lines with it.
    ResultRow group = checkedGroup({ m_a, m_d, m_d });
    doubleClickAndAnswer(group, [](TForm2& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    QVERIFY(Exists(m_a));
    QVERIFY(!Exists(m_d));
    QCOMPARE(group->childCount(), 1);
    QVERIFY(desktop->calls.empty());

}

void TestTree::commandsActOnlyOnTheFilesTheCheckFound()
{
    // After the check the copy's folder is swapped for a link to a folder holding a file
    // of the same name and bytes: every command keeps the copy and says why, and none
    // touches the file elsewhere.
    const std::string copy = file("v/b.jpg", "same");
    const std::string elsewhere = file("outside/b.jpg", "same");
    ResultRow group = checkedGroup({ m_a, copy });
    QCOMPARE(NodePath(group->child(1)), copy);
    std::filesystem::rename(path("v"), path("v.away"));
    std::filesystem::create_directory_symlink(path("outside"), path("v"));
    const QString changed = QString::fromStdString(copy) + u" (確認の後に変更されました)"_s;

    doubleClickAndAnswer(group, [](TForm2& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    selectNode(group->child(1));
    desktop->confirmAnswers.push_back(true);
    form->popDeleteClick();
    desktop->folderAnswers.push_back(MakeTestFolder(path("keep")));
    form->popMoveClick();
    QCOMPARE(desktop->informations,
        QStringList({ u"次のファイルは削除しませんでした：\n"_s + changed, u"次のファイルは削除しませんでした：\n"_s + changed,
            u"次のファイルは移動しませんでした：\n"_s + changed }));
    QVERIFY(desktop->errors.isEmpty());
    QCOMPARE(ReadTestFile(elsewhere), QByteArray("same"));
    QCOMPARE(ReadTestFile(path("v.away/b.jpg")), QByteArray("same"));
    QCOMPARE(ReadTestFile(m_a), QByteArray("same"));
    QVERIFY(!Exists(path("keep/b.jpg")));
    QCOMPARE(group->childCount(), 2);
    QCOMPARE(NodePath(group->child(1)), copy);
}

void TestTree::doubleClickOpensAFileNodeOnlyAlsoBelowTheRows()
{
    ResultRow group = addGroup({ m_a, m_d });
    group->setExpanded(true);
    selectNode(group->child(1));
    const ResultRows tree = w().FileTree;
    DoubleClick(tree->viewport(), tree->visualItemRect(group->child(1)).center());
    QCOMPARE(desktop->shellOpened, std::vector<std::string>({ m_d }));
    QVERIFY(form->findChildren<TForm2*>().isEmpty());
    QVERIFY(Exists(m_d));

    // On empty space below the rows it acts on the selected node.
    desktop->ClearRecords();
    const QPoint below(tree->viewport()->width() / 2, tree->viewport()->height() - 5);
    QVERIFY(!tree->itemAt(below));

    selectNode(group->child(1));
    DoubleClick(tree->viewport(), below);
    QCOMPARE(desktop->shellOpened, std::vector<std::string>({ m_d }));

    selectNode(group);
    bool opened = false;
    WhenModal<TForm2>(form.get(), [&](TForm2& dialog) {
        opened = true;
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    DoubleClick(tree->viewport(), below);
    QVERIFY(opened);
    QCOMPARE(tree->selectedItems(), QList<ResultRow>({ group }));
    QVERIFY(Exists(m_d));

    // Nothing selected, nothing happens; a right double-click is no double-click.
    selectNode(nullptr);
    DoubleClick(tree->viewport(), below);
    selectNode(group->child(0));
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonDblClick }) {
        QMouseEvent event(type, QPointF(below), QPointF(tree->viewport()->mapToGlobal(below)), Qt::RightButton,
            Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &event);
    }
    QCOMPARE(desktop->calls.size(), std::size_t { 1 });
}

void TestTree::enterOnAGroupOpensTheDeleteDialog()
{
    ResultRow group = addGroup({ m_a, m_d });
    group->setExpanded(true);
    const ResultRows tree = w().FileTree;
    tree->setFocus(Qt::OtherFocusReason);
    selectNode(group);
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[]
        = { { Qt::Key_Return, Qt::NoModifier }, { Qt::Key_Enter, Qt::KeypadModifier } };
    for (const auto& [key, modifiers] : keys) {
        QStringList lines;
        WhenModal<TForm2>(form.get(), [&](TForm2& dialog) {
            for (int i = 0; i < dialog.FileCount(); ++i)
                lines << QString::fromStdString(dialog.FilePath(i));
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QTest::keyClick(tree->View(), key, modifiers);
        QCOMPARE(lines, QStringList({ QString::fromStdString(m_a), QString::fromStdString(m_d) }));
    }
    QCOMPARE(group->childCount(), 2);

    // On a file node Enter opens nothing.
    selectNode(group->child(1));
    QTest::keyClick(tree->View(), Qt::Key_Return);
    QVERIFY(desktop->calls.empty());
    QVERIFY(form->findChildren<TForm2*>().isEmpty());
}

void TestTree::popupEnablingFollowsTheSelectedNodeAndGroupsAreNoFiles()
{
    ResultRow group = addGroup({ m_a, m_d });
    ResultRow emptied = addGroup({ m_b });
    form->Results().RemoveFiles(1, { 0 });
    const auto enabled = [this] {
        form->PopupMenu2Popup();
        QList<bool> states;
        for (QAction* item : { w().popRename, w().popMove, w().popShow, w().popDelete })
            states << item->isEnabled();
        return states;
    };
    const QList<bool> none { false, false, false, false };
    const QList<bool> all { true, true, true, true };
    selectNode(nullptr);
    QCOMPARE(enabled(), none);
    selectNode(group);
    QCOMPARE(enabled(), none);
    selectNode(group->child(0));
    QCOMPARE(enabled(), all);
    // A group whose children are gone is still no file.
    selectNode(emptied);
    QCOMPARE(enabled(), none);

    // Nor do the commands take a group for a file, or a double-click a childless group.
    for (ResultRow node : { group, emptied }) {
        selectNode(node);
        form->popRenameClick();
        form->popMoveClick();
        form->popShowClick();
        form->popDeleteClick();
    }
    selectNode(emptied);
    form->FileTreeDblClick();
    QVERIFY(desktop->calls.empty());
    QCOMPARE(w().FileTree->topLevelItemCount(), 2);
    QVERIFY(Exists(m_a) && Exists(m_d) && Exists(m_b));
}

void TestTree::popupActsOnTheNodeSelectedBeforeTheRightClick()
{
    ResultRow group = addGroup({ m_a, m_d });
    ResultRow other = addGroup({ m_b });
    group->setExpanded(true);
    selectNode(group->child(1));
    const ResultRows tree = w().FileTree;
    const QPoint onOther = tree->visualItemRect(other).center();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onOther);
    // The platform follows a right-click with a context menu request.
    QContextMenuEvent request(QContextMenuEvent::Mouse, onOther, tree->viewport()->mapToGlobal(onOther));
    QApplication::sendEvent(tree->viewport(), &request);
    QTRY_VERIFY(w().PopupMenu2->isVisible());
    QCOMPARE(tree->selectedItems(), QList<ResultRow>({ group->child(1) }));
    w().popShow->trigger();
    w().PopupMenu2->close();
    QCOMPARE(desktop->shellOpened, std::vector<std::string>({ m_d }));
    // The delete question names that file, under the question.
    desktop->confirmAnswers.push_back(false);
    w().popDelete->trigger();
    QCOMPARE(desktop->confirms,
        QStringList({ u"実ファイルも削除します。\n本当に削除しますか？\n"_s + QString::fromStdString(m_d) }));
    QVERIFY(Exists(m_d));
}

// A taken name and a vanished file are the hostile tests' cases.
void TestTree::renameTakesOnlyANewName()
{
    ResultRow group = addGroup({ m_a, m_d });
    selectNode(group->child(0));
    // Cancelled, unchanged or emptied: nothing changes.
    desktop->inputAnswers = { std::nullopt, u"a.jpg"_s, QString(), u"b.jpg"_s };
    for (int i = 0; i < 3; ++i)
        form->popRenameClick();
    QVERIFY(Exists(m_a));
    QCOMPARE(NodePath(group->child(0)), m_a);
    QCOMPARE(desktop->calls.size(), std::size_t { 3 });

    form->popRenameClick();
    QCOMPARE(desktop->inputs.size(), std::size_t { 4 });
    QCOMPARE(desktop->inputs[3].caption, u"ファイル名変更"_s);
    QCOMPARE(desktop->inputs[3].prompt, u"変更後の名前を入力"_s);
    QCOMPARE(desktop->inputs[3].defaultText, u"a.jpg"_s);
    const std::string renamed = path("p/b.jpg");
    QVERIFY(!Exists(m_a));
    QCOMPARE(ReadTestFile(renamed), QByteArray("same"));
    QCOMPARE(NodePath(group->child(0)), renamed);
    QCOMPARE(group->child(0)->text(0), QString::fromStdString(renamed));
    QCOMPARE(desktop->calls.size(), std::size_t { 4 });

    // A name that only looks escaped shows its backslash as one, and the edit keeps it a
    // backslash; a name that is no UTF-8 keeps its byte.
    for (const std::string name : { "note\\xE9", "note\xE9" }) {
        const std::string odd = file("p/" + name + ".jpg", "odd");
        group = addGroup({ odd, m_d });
        selectNode(group->child(0));
        desktop->inputAnswers = { PathToDisplay(name) + u" v2.jpg"_s };
        form->popRenameClick();
        QCOMPARE(desktop->inputs.back().defaultText, PathToDisplay(name + ".jpg"));
        QCOMPARE(Content(path("p/" + name + " v2.jpg")), std::string("odd"));
        QCOMPARE(NodePath(group->child(0)), path("p/" + name + " v2.jpg"));
    }
    QCOMPARE(PathToDisplay("note\\xE9"), u"note\\x5CxE9"_s);
}

void TestTree::renameSelectsTheNameBeforeItsExtension_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("selected");
    QTest::newRow("last extension only") << QByteArray("photos.tar.gz") << u"photos.tar"_s;
    QTest::newRow("japanese") << QByteArray("旅行の写真.jpeg") << u"旅行の写真"_s;
    QTest::newRow("not utf-8") << QByteArray("\xff\xfe.jpg") << u"\\xFF\\xFE"_s;
    QTest::newRow("no extension") << QByteArray("README") << u"README"_s;
    QTest::newRow("all extension") << QByteArray(".profile") << u".profile"_s;
}

void TestTree::renameSelectsTheNameBeforeItsExtension()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, selected);
    const std::string path = file(name.toStdString(), "");
    ResultRow group = addGroup({ path, m_d });
    selectNode(group->child(0));
    desktop->inputAnswers.push_back(std::nullopt);
    form->popRenameClick();
    QCOMPARE(desktop->inputs.size(), std::size_t { 1 });
    const ScriptedDesktop::InputCall& box = desktop->inputs[0];
    QCOMPARE(box.defaultText.left(box.selected), selected);
    QVERIFY(box.selected >= 0 && box.selected <= box.defaultText.size());
}

void TestTree::renameNeverCutsTheNameOrMovesTheFile()
{
    // A Latin-1 name shows with escapes, longer than 255 characters: the real box shows
    // it whole, and OK on it unchanged renames nothing.
    // (Appended rather than added: GCC 12 warns falsely on operator+ of a long string.)
    std::string name(120, '\xe9');
    name += ".jpg";
    const std::string latin = path("p") + "/" + name;
    std::ofstream(latin) << "same";
    ResultRow group = addGroup({ m_a, latin });
    selectNode(group->child(1));
    SetDesktop(CreatePlatformDesktop());
    QString shown;
    WhenModal<QDialog>(form.get(), [&](QDialog& box) {
        auto* edit = box.findChild<QLineEdit*>();
        shown = edit->text();
        QTest::keyClick(edit, Qt::Key_Return);
    });
    form->popRenameClick();
    desktop = &InstallScriptedDesktop();
    QCOMPARE(shown, PathToDisplay(name));
    QVERIFY(Exists(latin));
    QCOMPARE(NodePath(group->child(1)), latin);

    // A name with a "/" changes nothing (the names refused are RenameInFolder's table).
    QDir().mkpath(filePath(u"p/sub"_s));
    desktop->inputAnswers.push_back(u"sub/x.jpg"_s);
    form->popRenameClick();
    QCOMPARE(desktop->errors, QStringList({ u"Invalid filename."_s }));
    QVERIFY(Exists(latin));
    QCOMPARE(NodePath(group->child(1)), latin);
    QVERIFY(QDir(filePath(u"p/sub"_s)).isEmpty());
}

void TestTree::moveIntoAnotherFolderButNeverOntoAName()
{
    ResultRow group = addGroup({ m_a, m_d });
    selectNode(group->child(1));
    // Its own folder, or one where its name is taken: refused, and nothing changes.
    file("r/d.jpg", "other");
    for (const char* folder : { "p", "r" }) {
        desktop->folderAnswers.push_back(path(folder));
        form->popMoveClick();
    }
    QCOMPARE(desktop->informations, QStringList(2, u"このファイル名は存在します。"_s));
    QCOMPARE(NodePath(group->child(1)), m_d);
    QCOMPARE(ReadTestFile(path("r/d.jpg")), QByteArray("other"));
    QCOMPARE(ReadTestFile(m_d), QByteArray("same"));

    desktop->ClearRecords();
    const std::string keep = path("keep");
    QDir().mkpath(QString::fromStdString(keep));
    desktop->folderAnswers.push_back(keep + "/");
    form->popMoveClick();
    QCOMPARE(desktop->browses.at(0).title, u"画像のフォルダを指定"_s);
    // It starts in the folder chosen last, though the move there was refused.
    QCOMPARE(desktop->browses.at(0).folder, path("r"));
    const std::string target = keep + "/d.jpg";
    QVERIFY(!Exists(m_d));
    QCOMPARE(ReadTestFile(target), QByteArray("same"));
    QCOMPARE(NodePath(group->child(1)), target);
    QCOMPARE(desktop->calls.size(), std::size_t { 1 });

    // A cancelled folder choice changes nothing.
    desktop->folderAnswers.push_back(std::nullopt);
    form->popMoveClick();
    QCOMPARE(NodePath(group->child(1)), target);
    QVERIFY(Exists(target));
}

void TestTree::moveIntoAFullFileSystem()
{
    // A 1 MiB tmpfs in a mount namespace of this test's own.
    const QString small = filePath(u"small"_s);
    QDir().mkpath(small);
    if (!MountPrivateTmpfs(Bytes(small), "1m"))
        QSKIP("no private mount namespace for a small tmpfs");
    const QByteArray content(3 << 20, 'y');
    const std::string source = WriteTestFile(filePath(u"p/huge.jpg"_s), content);
    ResultRow group = addGroup({ m_a, source });
    selectNode(group->child(1));
    desktop->folderAnswers.push_back(Bytes(small));
    form->popMoveClick();
    const std::string target = Bytes(small + u"/huge.jpg"_s);
    QCOMPARE(desktop->errors, QStringList({ u"ストリームへの書き込みエラー."_s }));
    QVERIFY(!Exists(target));
    QCOMPARE(ReadTestFile(source), content);
    QCOMPARE(NodePath(group->child(1)), source);
    umount(small.toLocal8Bit().constData());
}

// A file that cannot be deleted is the group's and the hostile tests' case.
void TestTree::deleteAfterConfirmation()
{
    // The user names the exact file: its group's other files are not read.
    ResultRow group = addGroup({ m_a, m_d });
    WriteTestFile(m_a, "changed");
    selectNode(group->child(1));
    desktop->confirmAnswers.push_back(false);
    form->popDeleteClick();
    QCOMPARE(desktop->confirms,
        QStringList({ u"実ファイルも削除します。\n本当に削除しますか？\n"_s + QString::fromStdString(m_d) }));
    QVERIFY(Exists(m_d));
    QCOMPARE(group->childCount(), 2);

    desktop->confirmAnswers.push_back(true);
    form->popDeleteClick();
    QVERIFY(!Exists(m_d));
    QCOMPARE(group->childCount(), 1);
    QCOMPARE(NodePath(group->child(0)), m_a);
    QCOMPARE(desktop->calls.size(), std::size_t { 2 });
}

void TestTree::withTheTrashDeletionsGoThereAndAskWhereThereIsNone()
{
    w().mUseTrash->trigger();
    QVERIFY(w().mUseTrash->isChecked());
    ResultRow group = addGroup({ m_a, m_d, m_b });
    group->setExpanded(true);
    selectNode(group);
    QString label;
    doubleClickAndAnswer(group, [&](TForm2& dialog) {
        label = Control<QLabel>(dialog, "Label1")->text();
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    QCOMPARE(label, u"※チ ェックがあるファイルをゴミ箱に移動します"_s);
    QVERIFY(Exists(m_a));
    QCOMPARE(ReadTestFile(TrashedPath("d.jpg")), QByteArray("same"));
    QCOMPARE(ReadTestFile(TrashedPath("b.jpg")), QByteArray("same"));
    QCOMPARE(group->childCount(), 1);

    // A file on a volume without a trash: asked once, キャンセル keeps it.
    const TempDir shm("/dev/shm");
    const std::string noTrash = WriteTestFile(shm / "t.jpg", "same");
    group = addGroup({ m_a, noTrash });
    selectNode(group->child(1));
    desktop->ClearRecords();
    desktop->confirmAnswers = { true, false };
    form->popDeleteClick();
    QCOMPARE(desktop->confirms,
        QStringList({ u"実ファイルもゴミ箱に移動します。\n本当にゴミ箱に移動しますか？\n"_s + QString::fromStdString(noTrash),
            u"次のファイルはゴミ箱に移動できません：\n"_s + QString::fromStdString(noTrash)
                + u" (ゴミ箱がありません)\n完全に削除しますか？"_s }));
    QCOMPARE(desktop->calls[1].kind, u"ConfirmDefaultCancel"_s);
    QVERIFY(Exists(noTrash));
    QCOMPARE(group->childCount(), 2);
    desktop->confirmAnswers = { true, true };
    form->popDeleteClick();
    QVERIFY(!Exists(noTrash));
    QCOMPARE(group->childCount(), 1);
    // What was deleted for good is never counted as moved to the trash.
    QCOMPARE(desktop->informations, QStringList({ u"ゴミ箱に移動したファイル：0 個\n完全に削除したファイル：1 個"_s }));

    // The delete dialog: one copy into the trash, the other deleted for good once asked.
    const std::string trashable = file("t/e.jpg", "same");
    const std::string noTrash2 = WriteTestFile(shm / "u.jpg", "same");
    group = addGroup({ m_a, trashable, noTrash2 });
    desktop->ClearRecords();
    desktop->confirmAnswers = { true };
    doubleClickAndAnswer(group, [](TForm2& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    QVERIFY(Exists(m_a) && !Exists(trashable) && !Exists(noTrash2));
    QCOMPARE(group->childCount(), 1);
    QCOMPARE(desktop->informations, QStringList({ u"ゴミ箱に移動したファイル：1 個\n完全に削除したファイル：1 個"_s }));
}

void TestTree::saveResultsIsEnabledOnlyWithGroups()
{
    QAction* save = w().mSaveResults;
    QVERIFY(!save->isEnabled());
    QCOMPARE(CheckFromButton(*form, { m_a, m_d }), 1);
    QVERIFY(save->isEnabled());
    form->SetCheckCtrl(true);
    QVERIFY(!save->isEnabled());
    form->SetCheckCtrl(false);
    QVERIFY(save->isEnabled());
    desktop->confirmAnswers.push_back(true);
    form->btnClearClick();
    QCOMPARE(w().FileTree->topLevelItemCount(), 0);
    QVERIFY(!save->isEnabled());
    // A disabled item does nothing, and without groups the command asks nothing.
    save->trigger();
    form->mSaveResultsClick();
    QVERIFY(desktop->saves.empty());
}

void TestTree::saveResultsWritesTheTreeAsItShowsIt()
{
    // A folder of its own, which removes names of any bytes.
    const TempDir odd;
    const std::string nonUtf8 = WriteTestFile(odd.Path() + "/\x82\xA0.jpg", "same");
    addGroup({ m_a, m_d });
    addGroup({ m_b, nonUtf8 });
    const std::string target = path("結果.json");
    // The first save offers a name in the folder saved to last; the extension decides
    // over the filter.
    const std::string before = MakeTestFolder(path("before"));
    Settings::SetLastFolder(Settings::FolderDialog::SaveResults, before);
    desktop->saveAnswers.push_back(ScriptedDesktop::SaveAnswer { target, 0 });
    w().mSaveResults->trigger();
    QCOMPARE(desktop->saves.size(), std::size_t { 1 });
    QCOMPARE(desktop->saves[0].fileName, before + "/重複ファイル.csv");
    QCOMPARE(Settings::LastFolder(Settings::FolderDialog::SaveResults), path(""));
    QCOMPARE(desktop->saves[0].caption, u"結果を保存"_s);
    QCOMPARE(desktop->saves[0].filters, QStringList({ u"CSV (*.csv)"_s, u"JSON (*.json)"_s }));
    const Check::ResultGroups groups = { { m_a, m_d }, { m_b, nonUtf8 } };
    QCOMPARE(
        ReadTestFile(target), QByteArray::fromStdString(Check::FormatResults(groups, Check::ResultFormat::Json)));
    QVERIFY(desktop->errors.isEmpty());

    // The next save offers the last name and filter; a name without extension follows the
    // filter. A file saved over keeps who may read it.
    const std::string plain = file("plain", "old");
    QVERIFY(chmod(plain.c_str(), 0600) == 0);
    desktop->saveAnswers.push_back(ScriptedDesktop::SaveAnswer { plain, 0 });
    form->mSaveResultsClick();
    QCOMPARE(desktop->saves.at(1).fileName, target);
    QCOMPARE(desktop->saves.at(1).filter, 0);
    QCOMPARE(ReadTestFile(plain), QByteArray::fromStdString(Check::FormatResults(groups, Check::ResultFormat::Csv)));
    struct stat st { };
    QVERIFY(stat(plain.c_str(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, 0600U);

    // Cancelled: nothing written.
    desktop->saveAnswers.push_back(std::nullopt);
    form->mSaveResultsClick();
    QCOMPARE(QDir(filePath(u""_s)).entryList(QDir::Files), QStringList({ u"plain"_s, u"結果.json"_s }));
}

void TestTree::saveResultsFailureShowsTheErrorBox()
{
    addGroup({ m_a, m_d });
    const std::string missing = path("no/such/r.csv");
    desktop->saveAnswers.push_back(ScriptedDesktop::SaveAnswer { missing, 0 });
    form->mSaveResultsClick();
    QCOMPARE(desktop->errors,
        QStringList({ u"ファイル "_s + QString::fromStdString(missing) + u" を作成できません."_s }));
}

void TestTree::toolTipsShowWhatTheWindowCutsOff()
{
    const QDateTime stamp(QDate(2024, 5, 1), QTime(12, 34, 56));
    SetModifiedTime(m_a, stamp.toSecsSinceEpoch());
    // A path far wider than the window, and a file of some size.
    QString deep = QString::fromStdString(folder->Path());
    for (int i = 0; i < 6; ++i)
        deep += u"/旅行の写真とそのバックアップ"_s + QString::number(i);
    const std::string big = WriteTestFile(deep + u"/海の写真.jpg"_s, QByteArray(1500000, 'x'));
    SetModifiedTime(big, stamp.toSecsSinceEpoch());
    const QString bigShown = QString::fromStdString(big);
    QVERIFY(bigShown.size() > 120);

    ResultRow group = addGroup({ m_a, m_d, m_b });
    ResultRow other = addGroup({ big, big });
    group->setExpanded(true);
    const ResultRows tree = w().FileTree;
    const auto at = [tree](ResultRow node) {
        return ToolTipAt(tree->viewport(), tree->visualItemRect(node).center());
    };
    QCOMPARE(at(group), u"ファイル数：3\nサイズ：4 バイト\nコピーの容量：8 バイト"_s);
    QCOMPARE(at(other),
        u"ファイル数：2\nサイズ：1.4 MB（1,500,000 バイト）\nコピーの容量：1.4 MB（1,500,000 バイト）"_s);
    QCOMPARE(at(group->child(0)),
        QString::fromStdString(m_a) + u"\nサイズ：4 バイト\n更新日時：2024/05/01 12:34:56"_s);
    QFile::remove(QString::fromStdString(m_d));
    QCOMPARE(at(group->child(1)), QString::fromStdString(m_d) + u"\nファイルが見つかりません"_s);

    // The candidate list shows the same; a long path is broken after a "/" into lines
    // that hold all of it.
    w().PageControl1->setCurrentIndex(0);
    form->Candidates().Append(std::string(big));
    QListView* list = w().FileList;
    const QString shown
        = ToolTipAt(list->viewport(), list->visualRect(form->Candidates().index(0)).center());
    QStringList lines = shown.split(u'\n');
    QVERIFY(lines.size() > 3);
    QCOMPARE(lines.takeLast(), u"更新日時：2024/05/01 12:34:56"_s);
    QCOMPARE(lines.takeLast(), u"サイズ：1.4 MB（1,500,000 バイト）"_s);
    QCOMPARE(lines.join(QString()), bigShown);
    for (const QString& line : lines) {
        QVERIFY(line.size() <= 80);
        QVERIFY(line.startsWith(u'/'));
    }
}

void TestTree::columnsSortFilterSummaryAndPreview()
{
    // Group 1: two photos of 1,500,000 bytes; group 2: three notes of 4 bytes; group 3:
    // two files of 980 bytes, one of them deep in a long path.
    const std::string photo(1500000, 'p');
    const std::string big1 = file("big/a.jpg", photo);
    const std::string big2 = file("big/b.jpg", photo);
    SetModifiedTime(big1, 1700000000);
    const std::string n1 = file("n/1.txt", "note");
    const std::string n2 = file("n/2.txt", "note");
    const std::string n3 = file("n/3.txt", "note");
    const std::string deep = file(std::string(180, 'x') + "/京都/05.txt", std::string(980, 'k'));
    const std::string near = file("Kyoto/05.txt", std::string(980, 'k'));
    addGroup({ big1, big2 });
    addGroup({ n1, n2, n3 });
    addGroup({ deep, near });
    const ResultRows tree = w().FileTree;
    auto* summary = Control<QLabel>(*form, "ResultSummary");
    auto* filter = Control<QLineEdit>(*form, "ResultFilter");
    QApplication::processEvents();

    // The headers, a group's size, count and gain, a file's size and time.
    const QStringList headers = { u"サイズ"_s, u"更新日時"_s, u"ファイル数"_s, u"削減可能"_s };
    for (int column = 1; column <= 4; ++column)
        QCOMPARE(tree->View()->model()->headerData(column, Qt::Horizontal).toString(), headers[column - 1]);
    const ResultRow first = tree->topLevelItem(0);
    QCOMPARE(QStringList({ first->text(1), first->text(3), first->text(4) }),
        QStringList({ u"1.4 MB"_s, u"2"_s, u"1.4 MB"_s }));
    QCOMPARE(first->child(0)->text(1), u"1.4 MB"_s);
    QCOMPARE(first->child(0)->text(2),
        QDateTime::fromSecsSinceEpoch(1700000000).toString(u"yyyy/MM/dd HH:mm"_s));
    QCOMPARE(first.Index().siblingAtColumn(1).data(Qt::ToolTipRole).toString(), u"1,500,000 バイト"_s);
    QCOMPARE(summary->text(), u"3 グループ・4 ファイル・1.4 MB 削減可能"_s);

    // A click on 削減可能 sorts the groups by their gain, a second click the other way;
    // numbers and the files' order stay.
    const auto captions = [&] {
        QStringList list;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            list << tree->topLevelItem(row)->text(0) + u":"_s + tree->topLevelItem(row)->child(0)->text(0);
        return list;
    };
    QHeaderView* header = tree->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(4) + header->sectionSize(4) / 2, header->height() / 2));
    QCOMPARE(captions(),
        QStringList({ u"重複ファイル2:"_s + QString::fromStdString(n1), u"重複ファイル3:"_s + PathToDisplay(deep),
            u"重複ファイル1:"_s + QString::fromStdString(big1) }));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(4) + header->sectionSize(4) / 2, header->height() / 2));
    QCOMPARE(captions().first(), u"重複ファイル1:"_s + QString::fromStdString(big1));
    QCOMPARE(tree->topLevelItem(2)->child(0)->text(0), QString::fromStdString(n1));
    // Commands still act on the row selected, wherever the sort put it.
    selectNode(tree->topLevelItem(0)->child(1));
    QCOMPARE(NodePath(tree->currentItem()), big2);

    // The filter: full-width and case-blind, whole groups, the summary says so.
    filter->setText(u"ｋｙｏｔｏ"_s);
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
    QApplication::processEvents();
    QCOMPARE(summary->text(), u"1 グループ・1 ファイル・980 バイト 削減可能（絞り込み中）"_s);
    filter->clear();
    QCOMPARE(tree->topLevelItemCount(), 3);

    // A deletion keeps the summary true.
    tree->Model()->Results().RemoveFiles(1, { 2 });
    QApplication::processEvents();
    QCOMPARE(summary->text(), u"3 グループ・3 ファイル・1.4 MB 削減可能"_s);

    // However long a path, the numbers stay in sight.
    ResultRow far = tree->topLevelItem(1);
    far->setExpanded(true);
    QApplication::processEvents();
    QVERIFY(header->sectionViewportPosition(4) + header->sectionSize(4) <= tree->viewport()->width());

    // The preview shows the selected file.
    selectNode(far->child(0));
    auto* preview = form->findChild<PreviewPane*>(u"ResultPreview"_s);
    QVERIFY(preview);
    QTRY_VERIFY(!preview->Loading());
    QVERIFY(Control<QLabel>(*preview, "PreviewInfo")->text().contains(u"ファイル数：2"_s));
}

QTEST_MAIN(TestTree)
#include "tst_unit1_tree.moc"
