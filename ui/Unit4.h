// Unit4: the bulk clean dialog TForm4: keep rules in the user's order, protected
// folders, a preview of what every group keeps and loses, and the run with its progress
// (on a thread of its own, cancelled between groups).
#pragma once

#include "check/CleanPlan.h"
#include "check/Journal.h"
#include "check/SpaceClean.h"
#include "scan/FileOps.h"

#include <QDialog>
#include <QString>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundJob;
class QTreeWidgetItem;

namespace Ui {
class TForm4;
}

class TForm4 : public QDialog {
    Q_OBJECT

public:
    // groups are the result groups in tree order, each file as the check found it,
    // selected[i] whether group i is selected in the tree (the dialog can limit itself
    // to those); mode is the choice of "処理" the dialog starts with (the trash or
    // deleting for good). Rules and protected folders start as remembered.
    TForm4(std::vector<Check::ResultGroup> groups, std::vector<bool> selected, Files::RemoveMode mode,
        QWidget* parent = nullptr);
    ~TForm4() override;

    // The plan the preview shows.
    const Check::CleanPlan& Plan() const { return m_plan; }
    // included[i]: group i of the plan is ticked in the preview.
    std::vector<bool> Included() const;
    // What OK did, once the dialog has closed with it; rethrows what stopped the run.
    // A removal fills Result, a space action (SpaceAction set) SpaceResult.
    const Check::RemovalReport& Result() const;
    const Check::SpaceReport& SpaceResult() const;
    // The removal chosen in "処理" (the trash or deleting for good), or, with a space
    // action chosen, what the combo box started with.
    Files::RemoveMode Mode() const { return m_mode; }
    // The space action chosen in "処理" (hard link, shared blocks, move), if any.
    std::optional<Check::JournalAction> SpaceAction() const;
    // The files to go as they were right before a removal, for its journal.
    const Check::StatusBefore& Before() const { return m_before; }
    // The folder フォルダへ移動 moves the files below.
    const std::string& MoveTo() const { return m_moveTo; }
    // The journal of a space action's run ("" when it changed nothing).
    const std::string& JournalPath() const { return m_journalPath; }
    // The journal a removal's files are to be written to, created before the run (closed
    // when the dialog was cancelled before it).
    Check::Journal& RemovalJournal() { return m_journal; }

    // Preview lines of the groups with files to go, in plan order.
    int PreviewCount() const;
    // Rule and protected-folder editing, as the buttons do it.
    void AddProtectedFolder(const std::string& folder);

public slots:
    void reject() override;

private:
    void replan();
    void fillPreview();
    void updateSummary();
    void showGroupFiles(QTreeWidgetItem* item);
    void moveRule(int step);
    void addProtected();
    void removeProtected();
    void run();
    void chooseAction(int index);
    QString verb() const;
    void saveChoices() const;
    std::vector<Check::KeepRule> rules() const;
    std::vector<std::string> protectedFolders() const;

    std::unique_ptr<Ui::TForm4> m_ui;
    std::vector<Check::ResultGroup> m_groups;
    std::vector<bool> m_selected;
    Files::RemoveMode m_mode;
    Check::CleanPlan m_plan;
    Check::RemovalReport m_result;
    Check::SpaceReport m_spaceResult;
    Check::StatusBefore m_before;
    // The choice of "処理" before the current one: a folder not chosen goes back to it.
    int m_lastAction = 0;
    std::string m_moveTo;
    Check::Journal m_journal;
    std::string m_journalPath;
    std::exception_ptr m_error;
    // The run, on a thread of its own; last, so that it stops before the rest goes.
    std::unique_ptr<BackgroundJob> m_job;
};
