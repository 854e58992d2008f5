// Tests of the About box TAboutBox and of the main window's About command.
#include "ui/AboutUnit.h"
#include "ui/Unit1.h"
#include "support/ui/ScriptedDesktop.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void layout();
    void enterCloses();
    void escDoesNothing();
    void closeBoxCloses();
    void commandShowsAndReleases();
};

void TestAbout::layout()
{
    TAboutBox box;
    QCOMPARE(box.windowTitle(), u"バージョン情報"_s);
    QCOMPARE(box.size(), QSize(350, 100));
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QVERIFY(box.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(box.ProgramIcon->objectName(), u"ProgramIcon"_s);
    QCOMPARE(box.ProgramIcon->geometry(), QRect(5, 5, 250, 32));
    QVERIFY(!box.ProgramIcon->pixmap().isNull());
    QVERIFY(box.ProgramIcon->hasScaledContents());
    QCOMPARE(box.Version->objectName(), u"Version"_s);
    QCOMPARE(box.Version->text(), u"ver 0.0.2"_s);
    QCOMPARE(box.Version->geometry(), QRect(188, 35, 66, 16));
    QVERIFY(box.Version->font().bold());
    QCOMPARE(box.Version->font().pixelSize(), 16);
    QCOMPARE(box.Version->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    QCOMPARE(box.Copyright->geometry(), QRect(53, 60, 166, 12));
    QVERIFY(!box.Copyright->text().isEmpty());
    QVERIFY(box.Copyright->sizeHint().width() <= box.Copyright->width());
    QVERIFY(box.Version->sizeHint().width() <= box.Version->width());
    QCOMPARE(box.OKButton->objectName(), u"OKButton"_s);
    QCOMPARE(box.OKButton->text(), u"OK"_s);
    QCOMPARE(box.OKButton->geometry(), QRect(271, 10, 75, 25));
    QVERIFY(box.OKButton->isDefault());
}

void TestAbout::enterCloses()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Return);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void TestAbout::escDoesNothing()
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

void TestAbout::closeBoxCloses()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(box.close());
    QVERIFY(!box.isVisible());
}

void TestAbout::commandShowsAndReleases()
{
    InstallScriptedDesktop();
    TForm1 form;
    form.show();
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
    form.About1->trigger();
    QCOMPARE(name, u"AboutBox"_s);
    QCOMPARE(owner, &form);
    QVERIFY(modal);
    // Released once the command has returned.
    QVERIFY(form.findChildren<TAboutBox*>().isEmpty());
    SetDesktop(nullptr);
}

QTEST_MAIN(TestAbout)
#include "tst_aboutunit.moc"
