// MainWindow: the main window as the window tests meet it: a fixture that gives each
// test function a new TForm1 on a new ScriptedDesktop, and the check run as a user
// starts it.
#pragma once

#include "support/CheckOracle.h"
#include "support/TempDir.h"
#include "support/ui/Form1Controls.h"
#include "support/ui/ScriptedDesktop.h"
#include "ui/CandidateList.h"
#include "ui/Unit1.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QToolButton>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

// Base of the main window's test classes. Before each test function: a fresh
// ScriptedDesktop (see InstallScriptedDesktop), an empty temporary folder and a new
// window, shown as the class asks; after it, all three go. A class that needs more
// declares its own init() and cleanup() and calls these.
class MainWindowTest : public QObject {
    Q_OBJECT

public:
    // Active waits until the window has the keys, so that a late activation never
    // takes them from a dialog the test opens.
    enum class Shown { No, Exposed, Active };
    explicit MainWindowTest(Shown shown = Shown::No, bool useTrash = false)
        : m_shown(shown)
        , m_useTrash(useTrash)
    {
    }

protected slots:
    void init();
    void cleanup();

protected:
    // Returns the path of name below the temporary folder.
    std::string path(const std::string& name) const { return folder->Path() + "/" + name; }
    QString filePath(const QString& name) const { return QString::fromStdString(path(name.toStdString())); }
    // Writes content to name below the temporary folder and returns its path.
    std::string file(const std::string& name, const std::string& content = "x") const;
    // Adds a group "重複ファイルN" of paths to the result tree, as a run does (each file
    // with its stamp as looked up now), and returns it.
    ResultRow addGroup(const std::vector<std::string>& paths);
    // Makes node (no row: none) the only selected and the current node of the tree.
    void selectNode(const ResultRow& node);
    // Selects rows of the candidate list, alone, and puts its focus on row current.
    void selectRows(const std::vector<int>& rows, int current);
    // Returns the object names of the disabled controls and menu items that change the list.
    QStringList disabledListControls() const;
    // Checks that no run goes on and every control and menu item that changes the list
    // is enabled.
    void verifyIdle();
    // Returns the window's candidate list and result tree (no error, no log).
    CheckOracle::Outcome windowOutcome() const;
    // Checks the window after a check over entries against the pairwise run: the list,
    // the tree, the error box or none, the page, the count label, the idle controls.
    void compareWithPairwise(const std::vector<std::string>& entries);

    // The window's controls, found anew on every call.
    Form1Controls w() const { return Form1Controls(*form); }

    std::unique_ptr<TempDir> folder;
    std::unique_ptr<TForm1> form;
    ScriptedDesktop* desktop = nullptr;

private:
    Shown m_shown;
    bool m_useTrash;
};

inline std::string PrintOutcome(const CheckOracle::Outcome& outcome)
{
    std::ostringstream out;
    out << outcome;
    return out.str();
}

// Lets form run its events until the check and the undo that run, if any, have ended:
// each goes on its own thread and hands its end to the window's event loop.
inline void WaitForRunEnd(TForm1& form)
{
    while (form.Checking() || form.Undoing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Lists paths after what form already lists, brings the count label up to date and
// clicks the check button, then lets the window run until the run ended; returns the
// number of groups in the result tree. Forgets
// the records of desktop first when given, so that they hold only what the run showed.
inline int CheckFromButton(
    TForm1& form, std::vector<std::string> paths = {}, ScriptedDesktop* desktop = nullptr)
{
    if (desktop)
        desktop->ClearRecords();
    if (!paths.empty())
        form.Candidates().Append(std::move(paths));
    form.RefreshCount();
    const Form1Controls controls(form);
    controls.btnChecker->click();
    WaitForRunEnd(form);
    return controls.FileTree->topLevelItemCount();
}
