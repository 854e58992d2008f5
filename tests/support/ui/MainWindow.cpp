// MainWindow: the window tests' fixture of the main window.
#include "support/ui/MainWindow.h"

#include "scan/FileError.h"
#include "support/ui/TestFiles.h"
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

QTreeWidgetItem* MainWindowTest::addGroup(const std::vector<std::string>& paths)
{
    const int number = form->FileTree->topLevelItemCount() + 1;
    form->Host().AddGroup("重複ファイル" + std::to_string(number));
    for (const std::string& path : paths)
        form->Host().AddChild(Check::LookUpNow(path));
    return form->FileTree->topLevelItem(number - 1);
}

void MainWindowTest::selectNode(QTreeWidgetItem* node)
{
    form->FileTree->clearSelection();
    if (node) {
        form->FileTree->setCurrentItem(node);
        node->setSelected(true);
    }
}

void MainWindowTest::selectRows(const std::vector<int>& rows, int current)
{
    QItemSelectionModel* selection = form->FileList->selectionModel();
    selection->clear();
    for (const int row : rows)
        selection->select(form->Candidates().index(row), QItemSelectionModel::Select);
    selection->setCurrentIndex(form->Candidates().index(current), QItemSelectionModel::NoUpdate);
}

QStringList MainWindowTest::disabledListControls() const
{
    QStringList names;
    for (QWidget* control :
        std::initializer_list<QWidget*> { form->btnAddFile, form->btnAddFolder, form->btnDelFile,
            form->btnClear, form->btnChecker, form->btnRename, form->ExtEdit, form->OptionCheck1 })
        if (!control->isEnabled())
            names << control->objectName();
    for (QAction* action : { form->mAddFile, form->mAddFolder, form->mDelFile, form->mClear, form->mRename,
             form->mChecker, form->pAddFile, form->pAddFolder, form->pDelFile, form->pClear, form->pRename })
        if (!action->isEnabled())
            names << action->objectName();
    return names;
}

void MainWindowTest::verifyIdle()
{
    QVERIFY(!form->Checking());
    QVERIFY(form->Button1->isHidden());
    QVERIFY(form->PBar->isHidden());
    QCOMPARE(disabledListControls(), QStringList());
}

CheckOracle::Outcome MainWindowTest::windowOutcome() const
{
    CheckOracle::Outcome out;
    out.list = form->Candidates().Entries();
    for (int g = 0; g < form->FileTree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = form->FileTree->topLevelItem(g);
        out.groups.push_back({ group->text(0).toStdString(), {} });
        for (int c = 0; c < group->childCount(); ++c)
            out.groups.back().children.push_back(TForm1::NodePath(group->child(c)));
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
        QCOMPARE(form->PageControl1->currentIndex(), 1);
    } else {
        QCOMPARE(desktop->errors, QStringList { PathToDisplay(Files::ErrorBoxText(expected.error)) });
        QCOMPARE(form->PageControl1->currentIndex(), 0);
    }
    QCOMPARE(form->CountLabel->text(), QString::number(form->Candidates().Count()));
    verifyIdle();
}
