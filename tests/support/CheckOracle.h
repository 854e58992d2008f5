// CheckOracle: the check run's literal pairwise loop as the reference the engine is held
// to, and one recording CheckHost, shared by the core tests, the window tests and the
// check fuzzer.
#pragma once

#include "check/CheckRun.h"
#include "scan/CandidatePaths.h"
#include "scan/FileScan.h"

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace CheckOracle {

// A root node of the result tree and its children.
struct Group {
    std::string caption;
    std::vector<std::string> children;

    bool operator==(const Group&) const = default;
};

// What a run leaves behind: the candidate list, the groups it appended, what it showed
// ("checking", "idle", "page<n>", "info:<text>" in order), the text of the error that
// ended it ("" when none), whether a cancel ended it, and the host calls it made that
// break the host's contract.
struct Outcome {
    std::vector<std::string> list;
    std::vector<Group> groups;
    std::vector<std::string> log;
    std::string error;
    bool cancelled = false;
    std::vector<std::string> faults;

    bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Group& g)
{
    out << g.caption << "{";
    for (const std::string& c : g.children)
        out << " '" << c << "'";
    return out << " }";
}

inline std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    out << "list[";
    for (const std::string& e : o.list)
        out << " '" << e << "'";
    out << " ] groups[";
    for (const Group& g : o.groups)
        out << " " << g;
    out << " ] log[";
    for (const std::string& l : o.log)
        out << " " << l;
    out << " ] error '" << o.error << "'" << (o.cancelled ? " cancelled" : "");
    for (const std::string& f : o.faults)
        out << " fault: " << f;
    return out;
}

// The window as the run sees it: a list, a tree, and a record of what was shown. Calls
// that break the contract (from a worker, while idle, a child before any group) are
// recorded in faults.
class RecordingHost : public Check::CheckHost {
public:
    explicit RecordingHost(std::vector<std::string> list)
        : entries(std::move(list))
    {
    }

    std::size_t EntryCount() const override
    {
        OnHostThread();
        return entries.size();
    }
    std::string EntryText(std::size_t index) const override
    {
        OnHostThread();
        Expect(index < entries.size(), "entry index past the end of the list");
        return entries.at(index);
    }
    const FileScan::ListedFile* EntryLookedUp(std::size_t index) const override
    {
        OnHostThread();
        return index < lookedUp.size() ? &lookedUp[index] : nullptr;
    }
    void RemoveEntry(std::size_t index) override
    {
        OnHostThread();
        Expect(checking, "entry removed while idle");
        // The look-ups no longer line up with the entries.
        lookedUp.clear();
        if (Expect(index < entries.size(), "removed entry past the end of the list"))
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    }
    void AddGroup(const std::string& caption) override
    {
        OnHostThread();
        Expect(checking, "group added while idle");
        tree.push_back({ caption, {} });
    }
    void AddChild(const Check::FoundFile& file) override
    {
        OnHostThread();
        if (Expect(!tree.empty(), "child appended before any group")) {
            tree.back().children.push_back(file.path);
            stamps.push_back(file.stamp);
        }
    }
    void SetProgressMax(int maximum) override
    {
        OnHostThread();
        progressMax = maximum;
        ++progressMaxCalls;
    }
    void SetProgress(int position) override
    {
        OnHostThread();
        progress.push_back(position);
    }
    void SetCountText(const std::string& text) override
    {
        OnHostThread();
        countText = text;
    }
    void SetComparedFiles(std::size_t files) override
    {
        OnHostThread();
        compared.push_back(files);
    }
    void ProcessEvents() override
    {
        OnHostThread();
        Expect(checking, "events processed while idle");
        ++events;
        if (onEvents)
            onEvents(*this);
    }
    bool CheckCancelled() const override
    {
        OnHostThread();
        return cancelled;
    }
    void ResetCancelled() override
    {
        OnHostThread();
        Expect(focused, "cancel flag cleared before the Cancel button took the focus");
        cancelled = false;
    }
    void SetCheckCtrl(bool on) override
    {
        OnHostThread();
        Expect(on != checking, "control state switched to the state it had");
        checking = on;
        log.push_back(on ? "checking" : "idle");
    }
    void FocusCancel() override
    {
        OnHostThread();
        Expect(checking, "Cancel focused while idle");
        focused = true;
    }
    void ShowPage(int index) override
    {
        OnHostThread();
        Expect(!checking, "page switched while checking");
        log.push_back("page" + std::to_string(index));
    }
    void ShowInfo(const std::string& text) override
    {
        OnHostThread();
        log.push_back("info:" + text);
    }

    // Asks the run to stop at its next look at the flag.
    void Cancel() { cancelled = true; }

    // Runs run (the real check by default) on this host and returns what it left behind.
    Outcome Run(const std::function<void(Check::CheckHost&)>& run)
    {
        Outcome out;
        try {
            run(*this);
        } catch (const Files::FileError& e) {
            out.error = e.what();
        }
        Expect(!checking, "checking state left on");
        out.list = entries;
        out.groups = tree;
        out.log = log;
        // The flag starts set, so that a run that never clears it shows; only a cancel
        // after the clearing ends a run.
        out.cancelled = cancelled && focused;
        out.faults = faults;
        return out;
    }
    Outcome Run(const Check::EngineOptions& options = {})
    {
        return Run([&](Check::CheckHost& h) { Check::RunCheck(h, options); });
    }

    std::vector<std::string> entries;
    // Entry k's file as a folder scan looked it up, for as many entries as it holds
    // until the list changes.
    std::vector<FileScan::ListedFile> lookedUp;
    std::vector<Group> tree;
    // The stamp of every child, in the order the children came.
    std::vector<Platform::FileStamp> stamps;
    std::vector<std::string> log;
    std::vector<int> progress;
    std::vector<std::size_t> compared;
    std::string countText;
    int progressMax = -1;
    int progressMaxCalls = 0;
    int events = 0;
    // Runs at every ProcessEvents, so a test can act "while the window is live".
    std::function<void(RecordingHost&)> onEvents;
    bool cancelled = true;
    bool checking = false;
    bool focused = false;
    mutable std::vector<std::string> faults;

private:
    bool Expect(bool condition, const char* fault) const
    {
        if (!condition)
            faults.emplace_back(fault);
        return condition;
    }
    void OnHostThread() const { Expect(std::this_thread::get_id() == m_thread, "host called from a worker"); }

    std::thread::id m_thread = std::this_thread::get_id();
};

// Tells whether two listed files have the same content.
using SameFn = std::function<bool(const std::string&, const std::string&)>;

// The pairwise run the engine must equal: pivot i from the top, every entry j from the
// bottom up, equal path strings skipped, one same() per other pair (SameFileContent
// unless a test models the files in memory), with the host's progress, cancel and
// control states where the engine has them.
inline void PairwiseRun(Check::CheckHost& host, const SameFn& same = FileScan::SameFileContent)
{
    if (host.EntryCount() < 2) {
        host.ShowInfo("比較するファイルがありません");
        return;
    }
    host.SetCheckCtrl(true);
    try {
        host.FocusCancel();
        host.ResetCancelled();
        host.SetProgress(0);
        int groupCounter = 0;
        for (std::size_t i = 0; i + 1 <= host.EntryCount(); ++i) {
            host.SetProgressMax(static_cast<int>(host.EntryCount() - 1));
            bool open = false;
            const std::size_t count = host.EntryCount();
            for (std::size_t j = count; j-- > 0;) {
                host.ProcessEvents();
                if (host.CheckCancelled()) {
                    host.SetCheckCtrl(false);
                    return;
                }
                if (host.EntryText(i) == host.EntryText(j))
                    continue;
                if (same(host.EntryText(i), host.EntryText(j))) {
                    if (!open) {
                        host.AddGroup("重複ファイル" + std::to_string(++groupCounter));
                        host.AddChild(Check::LookUpNow(host.EntryText(i)));
                        open = true;
                    }
                    host.AddChild(Check::LookUpNow(host.EntryText(j)));
                    host.RemoveEntry(j);
                }
                host.SetCountText(std::to_string(host.EntryCount()));
            }
            host.SetProgress(static_cast<int>(i + 1));
        }
    } catch (...) {
        host.SetCheckCtrl(false);
        throw;
    }
    host.SetCheckCtrl(false);
    host.ShowPage(1);
}

// Runs the pairwise run over entries with a fresh host.
inline Outcome PairwiseCheck(std::vector<std::string> entries, const SameFn& same = FileScan::SameFileContent)
{
    RecordingHost host(std::move(entries));
    return host.Run([&](Check::CheckHost& h) { PairwiseRun(h, same); });
}

// Runs the real check over entries with a fresh host.
inline Outcome EngineCheck(std::vector<std::string> entries, const Check::EngineOptions& options = {})
{
    RecordingHost host(std::move(entries));
    return host.Run(options);
}

} // namespace CheckOracle
