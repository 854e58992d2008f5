// Tests of the exclusions: TForm5 opened from TForm1's menu, its settings remembered
// and obeyed by the folder scan, and groups marked as not duplicates from the tree,
// hidden by the next check until a file changes, and forgotten in the dialog.
#include "check/NotDuplicates.h"
#include "support/ui/Controls.h"
#include "support/ui/FormTable.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"
#include "ui/Settings.h"
#include "ui/Unit5.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

class TestUnit5 : public MainWindowTest {
    Q_OBJECT

public:
    TestUnit5()
        : MainWindowTest(Shown::Active)
    {
    }

private slots:
    void settingsAreRememberedShownAndObeyedByTheFolderScan();
    void aMarkedGroupIsHiddenUntilAFileChangesAndCanBeForgotten();

private:
    // Opens the exclusion dialog from the menu and lets act work on it.
    void openDialog(const std::function<void(TForm5&)>& act);
    // Checks paths alone and returns the captions and files of the groups, "|" between.
    QStringList check(const std::vector<std::string>& paths);
};

void TestUnit5::openDialog(const std::function<void(TForm5&)>& act)
{
    bool opened = false;
    WhenModal<TForm5>(form.get(), [&](TForm5& dialog) {
        opened = true;
        act(dialog);
    });
    w().mExclusions->trigger();
    QVERIFY(opened);
}

QStringList TestUnit5::check(const std::vector<std::string>& paths)
{
    form->Candidates().Clear();
    w().FileTree->clear();
    CheckFromButton(*form, paths);
    QStringList groups;
    for (int g = 0; g < w().FileTree->topLevelItemCount(); ++g) {
        const ResultRow group = w().FileTree->topLevelItem(g);
        QString line = group->text(0);
        for (int c = 0; c < group->childCount(); ++c)
            line += u'|' + QString::fromStdString(NodePath(group->child(c))).section(u'/', -1);
        groups << line;
    }
    return groups;
}

void TestUnit5::settingsAreRememberedShownAndObeyedByTheFolderScan()
{
    QVERIFY(w().Label2->isHidden());
    openDialog([&](TForm5& dialog) {
        CheckFixedDialog(dialog, "除外設定", QSize(480, 400));
        CheckControls(dialog,
            { { "GroupBox1", { 5, 5, 470, 150 }, "除外するファイルとフォルダ" },
                { "GroupBox2", { 5, 160, 470, 75 }, "ファイルサイズ" },
                { "CheckBox1", { 270, 20, 190, 20 }, "空のファイルを除く(&E)", "GroupBox2" },
                { "GroupBox3", { 5, 240, 470, 125 }, "重複ではないグループ（検索結果に表示しない）" },
                { "Button1", { 315, 370, 75, 25 }, "OK" }, { "Button2", { 400, 370, 75, 25 }, "ｷｬﾝｾﾙ" } });
        auto* patterns = Control<QPlainTextEdit>(dialog, "Memo1");
        QVERIFY(patterns->toPlainText().isEmpty());
        QCOMPARE(Control<QSpinBox>(dialog, "SpinBox1")->text(), u"なし"_s);
        patterns->setFocus();
        QTest::keyClicks(patterns, u"node_modules"_s);
        QTest::keyClick(patterns, Qt::Key_Return);
        QTest::keyClicks(patterns, u"  *.tmp "_s);
        // Key clicks type ASCII only.
        patterns->insertPlainText(u"\u3000\n\n写真?.jpg"_s);
        Control<QSpinBox>(dialog, "SpinBox1")->setValue(1);
        Control<QComboBox>(dialog, "ComboBox1")->setCurrentIndex(1);
        Control<QSpinBox>(dialog, "SpinBox2")->setValue(2);
        Control<QComboBox>(dialog, "ComboBox2")->setCurrentIndex(2);
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    });
    const FileScan::ExclusionRules rules { { "node_modules", "*.tmp", "写真?.jpg" }, 1024, 2 << 20, false };
    QVERIFY(Settings::Exclusions() == rules);
    QVERIFY(!w().Label2->isHidden());
    QCOMPARE(w().Label2->toolTip(),
        u"フォルダ指定で追加するファイルから：\n除外するパターン：node_modules　*.tmp　写真?.jpg\n"
        "最小サイズ：1 KB\n最大サイズ：2 MB"_s);

    // The folder scan of the window leaves out what they say.
    const std::string big(2000, 'b');
    for (const char* name : { "keep.bin", "node_modules/x.bin", "a.tmp", "写真1.jpg", "写真.jpg" })
        file(std::string("t/") + name, big);
    file("t/small.bin", "s");
    file("t/huge.bin", std::string((2 << 20) + 1, 'h'));
    desktop->folderAnswers.push_back(path("t"));
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    std::vector<std::string> added = form->Candidates().Entries();
    std::sort(added.begin(), added.end());
    QCOMPARE(added, (std::vector<std::string> { path("t/keep.bin"), path("t/写真.jpg") }));

    // A new window shows them as they were left; a maximum below the minimum is refused.
    form = std::make_unique<TForm1>();
    QVERIFY(!w().Label2->isHidden());
    openDialog([&](TForm5& dialog) {
        QCOMPARE(
            Control<QPlainTextEdit>(dialog, "Memo1")->toPlainText(), u"node_modules\n*.tmp\n写真?.jpg"_s);
        QCOMPARE(Control<QSpinBox>(dialog, "SpinBox1")->value(), 1);
        QCOMPARE(Control<QComboBox>(dialog, "ComboBox1")->currentText(), u"KB"_s);
        QCOMPARE(Control<QSpinBox>(dialog, "SpinBox2")->value(), 2);
        QCOMPARE(Control<QComboBox>(dialog, "ComboBox2")->currentText(), u"MB"_s);
        Control<QComboBox>(dialog, "ComboBox2")->setCurrentIndex(0);
        Control<QCheckBox>(dialog, "CheckBox1")->setChecked(true);
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(desktop->informations, QStringList { u"最大サイズは最小サイズ以上にしてください。"_s });
        QTest::mouseClick(Control<QPushButton>(dialog, "Button2"), Qt::LeftButton);
    });
    QVERIFY(Settings::Exclusions() == rules);
}

void TestUnit5::aMarkedGroupIsHiddenUntilAFileChangesAndCanBeForgotten()
{
    const std::string a = file("p1/LICENSE", "same");
    const std::string b = file("p2/LICENSE", "same");
    const std::string c = file("c.jpg", "pair");
    const std::string d = file("d.jpg", "pair");
    QCOMPARE(check({ a, b, c, d }),
        QStringList({ u"重複ファイル1|LICENSE|LICENSE"_s, u"重複ファイル2|c.jpg|d.jpg"_s }));
    selectNode(w().FileTree->topLevelItem(0)->child(1));
    emit w().PopupMenu2->aboutToShow();
    QVERIFY(w().popNotDuplicates->isEnabled());
    w().popNotDuplicates->trigger();
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    QVERIFY(!w().Label2->isHidden());
    const Check::NotDuplicateList list = Check::LoadNotDuplicates(Settings::NotDuplicatesFile());
    QCOMPARE(list.groups.size(), std::size_t { 1 });
    QCOMPARE(list.groups[0].size(), std::size_t { 2 });
    QCOMPARE(list.groups[0][0].path, a);

    // The next check does not show it, and numbers the others from 1.
    QCOMPARE(check({ a, b, c, d }), QStringList({ u"重複ファイル1|c.jpg|d.jpg"_s }));
    // One file changed (in time only) brings it back.
    SetModifiedTime(b, 1500000000);
    QCOMPARE(check({ a, b, c, d }),
        QStringList({ u"重複ファイル1|LICENSE|LICENSE"_s, u"重複ファイル2|c.jpg|d.jpg"_s }));

    // The dialog lists it by its paths and forgets it.
    openDialog([&](TForm5& dialog) {
        auto* groups = Control<QListWidget>(dialog, "ListBox1");
        QCOMPARE(groups->count(), 1);
        QVERIFY(groups->item(0)->text().contains(QString::fromStdString(b)));
        auto* forget = Control<QPushButton>(dialog, "btnForget");
        QVERIFY(!forget->isEnabled());
        groups->setCurrentRow(0);
        QTest::mouseClick(forget, Qt::LeftButton);
        QCOMPARE(groups->count(), 0);
        QTest::mouseClick(Control<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    });
    QVERIFY(Check::LoadNotDuplicates(Settings::NotDuplicatesFile()).groups.empty());
    QVERIFY(w().Label2->isHidden());
}

QTEST_MAIN(TestUnit5)
#include "tst_unit5.moc"
