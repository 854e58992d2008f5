// Unit1Check: the check run's side of TForm1, an adapter private to the unit.
#pragma once

#include "check/CheckRun.h"
#include "ui/Unit1.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Lets Check::RunCheck work on the window's list, tree, progress bar and cancel flag.
class TForm1::CheckAdapter final : public Check::CheckHost {
public:
    explicit CheckAdapter(TForm1& form)
        : m_form(form)
    {
    }

    std::size_t EntryCount() const override;
    std::string EntryText(std::size_t index) const override;
    void RemoveEntry(std::size_t index) override;
    void RemoveEntries(const std::vector<std::size_t>& indices) override;
    void AddGroup(const std::string& caption) override;
    void AddChild(const Check::FoundFile& file) override;
    void SetProgressMax(int maximum) override;
    void SetProgress(int position) override;
    void SetCountText(const std::string& text) override;
    void SetComparedFiles(std::size_t files) override;
    void ProcessEvents() override;
    bool CheckCancelled() const override;
    void ResetCancelled() override;
    void SetCheckCtrl(bool checking) override;
    void FocusCancel() override;
    void ShowPage(int index) override;
    void ShowInfo(const std::string& text) override;

    void setProgressClock(std::function<std::chrono::steady_clock::time_point()> clock);

private:
    // Puts the percentage, the time left and the compared files on the bar.
    void refreshProgressText();

    TForm1& m_form;
    std::function<std::chrono::steady_clock::time_point()> m_progressClock
        = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point m_runStart;
    std::size_t m_comparedFiles = 0;
    // Groups in the tree when the running check started.
    int m_groupsBeforeRun = 0;
};
