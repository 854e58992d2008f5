// MainWindow: the window tests' fixture of the main window.
#include "support/ui/MainWindow.h"

#include "scan/FileError.h"
#include "support/ui/TestFiles.h"
#include "ui/BackgroundJob.h"
#include "ui/PathDisplay.h"
#include "ui/Settings.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

void MainWindowTest::init()
{
    desktop = &InstallScriptedDesktop();
    if (m_useTrash)
        Settings::SetUseTrash(true);
    // Each step of a run waits for the window to show it, so that what a test does in
    // the event loop meanwhile falls between the same steps every time.
    BackgroundJob::SetLockStep(true);
    folder = std::make_unique<TempDir>();
    form = std::make_unique<TForm1>();
    if (m_shown == Shown::No)
        return;
    form->show();
    if (m_shown == Shown::Exposed)
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    else
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

void MainWindowTest::cleanup()
{
    form.reset();
    SetDesktop(nullptr);
    desktop = nullptr;
    folder.reset();
}

std::string MainWindowTest::file(const std::string& name, const std::string& content) const
{
    return WriteTestFile(path(name), content);
}

ResultRow MainWindowTest::addGroup(const std::vector<std::string>& paths)
{
    Check::Results& results = form->Results();
    const std::size_t number = results.GroupCount() + 1;
    results.AddGroup(static_cast<int>(number));
    for (const std::string& path : paths)
        results.AddFile(Check::LookUpNow(path));
    return w().FileTree->topLevelItem(static_cast<int>(number - 1));
}

void MainWindowTest::selectNode(const ResultRow& node)
{
    const ResultRows tree = w().FileTree;
    tree->clearSelection();
    if (node) {
        tree->setCurrentItem(node);
        node->setSelected(true);
    }
}

void MainWindowTest::selectRows(const std::vector<int>& rows, int current)
{
    QItemSelectionModel* selection = w().FileList->selectionModel();
    selection->clear();
    for (const int row : rows)
        selection->select(form->Candidates().index(row), QItemSelectionModel::Select);
    selection->setCurrentIndex(form->Candidates().index(current), QItemSelectionModel::NoUpdate);
}

QStringList MainWindowTest::disabledListControls() const
{
    QStringList names;
    const Form1Controls ui = w();
    for (QWidget* control : std::initializer_list<QWidget*> { ui.btnAddFile, ui.btnAddFolder, ui.btnDelFile,
             ui.btnClear, ui.btnChecker, ui.btnRename, ui.ExtEdit, ui.OptionCheck1 })
        if (!control->isEnabled())
            names << control->objectName();
    for (QAction* action : { ui.mAddFile, ui.mAddFolder, ui.mDelFile, ui.mClear, ui.mRename, ui.mChecker,
             ui.pAddFile, ui.pAddFolder, ui.pDelFile, ui.pClear, ui.pRename })
        if (!action->isEnabled())
            names << action->objectName();
    return names;
}

void MainWindowTest::verifyIdle()
{
    QVERIFY(!form->Checking());
    QVERIFY(w().Button1->isHidden());
    QVERIFY(w().PBar->isHidden());
    QCOMPARE(disabledListControls(), QStringList());
}

CheckOracle::Outcome MainWindowTest::windowOutcome() const
{
    CheckOracle::Outcome out;
    out.list = form->Candidates().Entries();
    // The tree shows the results: each group's caption and its files' paths.
    const ResultRows tree = w().FileTree;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        const ResultRow group = tree->topLevelItem(g);
        out.groups.push_back({ group->text(0).toStdString(), {} });
        for (int c = 0; c < group->childCount(); ++c)
            out.groups.back().children.push_back(NodePath(group->child(c)));
    }
    return out;
}

void MainWindowTest::compareWithPairwise(const std::vector<std::string>& entries)
{
    const CheckOracle::Outcome expected = CheckOracle::PairwiseCheck(entries);
    CheckOracle::Outcome actual = windowOutcome();
    // The window shows its error and page itself: checked below.
    actual.error = expected.error;
    actual.log = expected.log;
    QVERIFY2(actual == expected, (PrintOutcome(actual) + "\nexpected " + PrintOutcome(expected)).c_str());
    if (expected.error.empty()) {
        QVERIFY2(desktop->errors.isEmpty(), qPrintable(desktop->errors.join(u'\n')));
        QCOMPARE(w().PageControl1->currentIndex(), 1);
    } else {
        QCOMPARE(desktop->errors, QStringList { PathToDisplay(Files::ErrorBoxText(expected.error)) });
        QCOMPARE(w().PageControl1->currentIndex(), 0);
    }
    QCOMPARE(w().CountLabel->text(), QString::number(form->Candidates().Count()));
    verifyIdle();
}
