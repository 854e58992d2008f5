// CheckModel: the check run's literal pairwise loop as a test oracle, and a recording
// CheckHost, shared by the hostile-input tests and the check fuzzer.
#pragma once

#include "check/CheckRun.h"
#include "scan/FileScan.h"

#include <cstddef>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace CheckModel {

// What a run leaves behind: the candidate list, the groups it appended (caption and
// children) and the text of the error that ended it ("" when none).
struct Outcome {
    std::vector<std::string> list;
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    std::string error;
    bool cancelled = false;

    bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    out << "list[";
    for (const std::string& e : o.list)
        out << " '" << e << "'";
    out << " ] groups[";
    for (const auto& [caption, children] : o.groups) {
        out << " " << caption << ":";
        for (const std::string& c : children)
            out << " '" << c << "'";
    }
    return out << " ] error '" << o.error << "'" << (o.cancelled ? " cancelled" : "");
}

// The run as the window's command is defined: pivot i from the top, j from the bottom
// up, equal path strings skipped, every other pair given to same (SameFileContent
// unless a test models the files in memory).
using SameFn = std::function<bool(const std::string&, const std::string&)>;
inline Outcome PairwiseCheck(std::vector<std::string> entries, const SameFn& same = FileScan::SameFileContent)
{
    Outcome out;
    try {
        int groupCounter = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            bool groupOpen = false;
            const std::size_t count = entries.size();
            for (std::size_t j = count; j-- > 0;) {
                if (entries[i] == entries[j])
                    continue;
                if (same(entries[i], entries[j])) {
                    if (!groupOpen) {
                        out.groups.push_back(
                            { "重複ファイル" + std::to_string(++groupCounter), { entries[i] } });
                        groupOpen = true;
                    }
                    out.groups.back().second.push_back(entries[j]);
                    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(j));
                }
            }
        }
    } catch (const FileScan::FileError& e) {
        out.error = e.what();
    }
    out.list = std::move(entries);
    return out;
}

// A CheckHost over plain vectors that records what the run does to it.
class RecordingHost : public Check::CheckHost {
public:
    explicit RecordingHost(std::vector<std::string> entries)
        : m_entries(std::move(entries))
    {
    }

    // Runs at every ProcessEvents, so a test can act "while the window is live".
    std::function<void(RecordingHost&)> onEvents;
    std::size_t eventCalls = 0;
    std::vector<std::string> infos;
    bool checking = false;
    int checkCtrlCalls = 0;
    int pageShown = -1;

    std::size_t EntryCount() const override { return m_entries.size(); }
    std::string EntryText(std::size_t index) const override { return m_entries.at(index); }
    void RemoveEntry(std::size_t index) override
    {
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(index)));
    }
    void AddGroup(const std::string& caption) override { m_groups.push_back({ caption, {} }); }
    void AddChild(const std::string& caption) override
    {
        if (m_groups.empty())
            throw std::logic_error("child appended before any group");
        m_groups.back().second.push_back(caption);
    }
    void SetProgressMax(int) override { }
    void SetProgress(int) override { }
    void SetCountText(const std::string&) override { }
    void ProcessEvents() override
    {
        ++eventCalls;
        if (onEvents)
            onEvents(*this);
    }
    bool CheckCancelled() const override { return m_cancelled; }
    void ResetCancelled() override { m_cancelled = false; }
    void SetCheckCtrl(bool on) override
    {
        checking = on;
        ++checkCtrlCalls;
    }
    void FocusCancel() override { }
    void ShowPage(int index) override { pageShown = index; }
    void ShowInfo(const std::string& text) override { infos.push_back(text); }

    void Cancel() { m_cancelled = true; }
    const std::vector<std::string>& Entries() const { return m_entries; }

    // Runs the check (with the engine's default options unless given) and returns what
    // it left behind.
    Outcome Run(const Check::EngineOptions* options = nullptr)
    {
        Outcome out;
        try {
            if (options)
                Check::RunCheck(*this, *options);
            else
                Check::RunCheck(*this);
        } catch (const FileScan::FileError& e) {
            out.error = e.what();
        }
        out.cancelled = m_cancelled;
        out.list = m_entries;
        out.groups = m_groups;
        return out;
    }

private:
    std::size_t CheckedIndex(std::size_t index) const
    {
        if (index >= m_entries.size())
            throw std::out_of_range("entry index past the end of the list");
        return index;
    }

    std::vector<std::string> m_entries;
    std::vector<std::pair<std::string, std::vector<std::string>>> m_groups;
    bool m_cancelled = false;
};

// Runs the real check over entries with a fresh host.
inline Outcome EngineCheck(std::vector<std::string> entries)
{
    RecordingHost host(std::move(entries));
    return host.Run();
}

} // namespace CheckModel
