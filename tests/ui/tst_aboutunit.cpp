// Tests of the About box TAboutBox and of the main window's About command.
#include "ui/AboutUnit.h"
#include "support/ui/FormTable.h"
#include "support/ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

class TestAbout : public MainWindowTest {
    Q_OBJECT

private slots:
    void layout();
    void escDoesNothingOkCloses();
    void commandShowsAndReleases();
};

void TestAbout::layout()
{
    TAboutBox box;
    CheckFixedDialog(box, "バージョン情報", QSize(350, 100));
    CheckControls(box,
        {
            { "ProgramIcon", { 5, 5, 250, 32 } },
            { "Version", { 188, 35, 66, 16 }, "ver 0.0.2" },
            { "Copyright", { 53, 60, 166, 12 } },
            { "OKButton", { 271, 10, 75, 25 }, "OK" },
        });
    // What the table does not say: the image, the fonts and colour, and that the texts fit.
    QVERIFY(!box.ProgramIcon->pixmap().isNull());
    QVERIFY(box.Version->font().bold());
    QCOMPARE(box.Version->font().pixelSize(), 16);
    QCOMPARE(box.Version->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    QVERIFY(!box.Copyright->text().isEmpty());
    QVERIFY(box.Copyright->sizeHint().width() <= box.Copyright->width());
    QVERIFY(box.Version->sizeHint().width() <= box.Version->width());
}

// Enter closes it in commandShowsAndReleases.
void TestAbout::escDoesNothingOkCloses()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(box.isVisible());
    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void TestAbout::commandShowsAndReleases()
{
    form->show();
    QString name;
    QWidget* owner = nullptr;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        QWidget* shown = QApplication::activeModalWidget();
        if (!shown)
            return;
        name = shown->objectName();
        owner = shown->parentWidget();
        modal = shown->isModal();
        QTest::keyClick(shown, Qt::Key_Return);
    });
    w().About1->trigger();
    QCOMPARE(name, u"AboutBox"_s);
    QCOMPARE(owner, form.get());
    QVERIFY(modal);
    // Released once the command has returned.
    QVERIFY(form->findChildren<TAboutBox*>().isEmpty());
}

QTEST_MAIN(TestAbout)
#include "tst_aboutunit.moc"
