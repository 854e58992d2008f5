// Tests of the delete dialog TForm2: layout, texts, the kept path bytes, tooltips and the keys.
#include "ui/FormLook.h"
#include "ui/ToolTips.h"
#include "ui/Unit2.h"
#include "support/ui/Controls.h"
#include "support/ui/FormTable.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <algorithm>

class TestUnit2 : public QObject {
    Q_OBJECT

private slots:
    void layoutAndTexts();
    void linesKeepTheirBytesAndMarks();
    void focusStartsAtTheListAndTabGoesRound();
};

void TestUnit2::layoutAndTexts()
{
    TForm2 form;
    QCOMPARE(form.windowTitle(), QStringLiteral("ファイルの削除"));
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMinMaxButtonsHint));
    // Larger, the list takes the room; the label and buttons keep to their corners.
    // (Shown: a hidden form hears of its new size only when it is shown.)
    form.show();
    CheckGrowingForm(form, QSize(500, 220), QSize(900, 520),
        {
            { "CheckFileList", { 0, 0, 900, 480 } },
            { "Button1", { 740, 490, 75, 25 }, "OK" },
            { "Button2", { 825, 490, 75, 25 }, "ｷｬﾝｾﾙ" },
        });
    QCOMPARE(form.font(), FormFont());

    CheckControls(form,
        {
            { "CheckFileList", { 0, 0, 500, 180 } },
            { "Button1", { 340, 190, 75, 25 }, "OK" },
            { "Button2", { 425, 190, 75, 25 }, "ｷｬﾝｾﾙ" },
        });
    auto* label = Control<QLabel>(form, "Label1");
    QCOMPARE(label->pos(), QPoint(5, 190));
    QCOMPARE(label->height(), 20);
    // 200 wide, or as wide as the text needs in a wider fallback font, short of OK.
    QVERIFY(label->width() >= 200);
    QVERIFY(label->width() >= label->sizeHint().width());
    QVERIFY(label->geometry().right() < 340);
    QCOMPARE(label->text(), QStringLiteral("※チ ェックがあるファイルを削除します"));
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    // A longer verb widens the label, and growing the form keeps it whole.
    form.SetRemoveVerb(QStringLiteral("ゴミ箱に移動"));
    form.resize(900, 520);
    QCOMPARE(label->pos(), QPoint(5, 490));
    QVERIFY(label->width() >= label->sizeHint().width());
}

void TestUnit2::linesKeepTheirBytesAndMarks()
{
    TForm2 form;
    const std::string latin1("/p/caf\xe9.jpg");
    form.AddFile("/p/写真.jpg", false);
    form.AddFile(latin1, true);
    QCOMPARE(form.FileCount(), 2);
    QCOMPARE(form.FilePath(0), std::string("/p/写真.jpg"));
    QCOMPARE(form.FilePath(1), latin1);
    QVERIFY(!form.IsChecked(0));
    QVERIFY(form.IsChecked(1));
    auto* list = Control<QListWidget>(form, "CheckFileList");
    QCOMPARE(list->item(0)->text(), QStringLiteral("/p/写真.jpg"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("/p/caf\\xE9.jpg"));
    // The tooltip of a line is the file's, as in the main window.
    QCOMPARE(list->item(0)->toolTip(), QStringLiteral("/p/写真.jpg\nファイルが見つかりません"));
    QCOMPARE(list->item(1)->toolTip(), FileToolTip(latin1));
    form.show();
    // 12 pixels unless the font or the check box needs more.
    const int height = list->visualItemRect(list->item(0)).height();
    QCOMPARE(height, std::max(12, list->fontMetrics().height()));
    QVERIFY(height > list->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, list));
}

// Space and Enter on the list are met by the tree tests, on real files.
void TestUnit2::focusStartsAtTheListAndTabGoesRound()
{
    // Owned by a window, as the delete command creates it.
    QWidget owner;
    owner.show();
    TForm2 form(&owner);
    form.AddFile("/p/a.jpg", false);
    form.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), Control<QListWidget>(form, "CheckFileList"));
    QStringList order;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order,
        QStringList(
            { QStringLiteral("Button1"), QStringLiteral("Button2"), QStringLiteral("CheckFileList") }));
}

QTEST_MAIN(TestUnit2)
#include "tst_unit2.moc"
