// CheckOracle: the check run's literal pairwise loop as the reference the engine is held
// to, and one recording CheckHost, shared by the core tests, the window tests and the
// check fuzzer.
#pragma once

#include "check/CheckRun.h"
#include "scan/CandidatePaths.h"
#include "scan/FileScan.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
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

// What a run leaves behind: the candidate list, the groups it appended, what the window
// showed ("checking", "idle", "page<n>", "info:<text>" in order), the text of the error that
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

// The window as the run sees it: a list, a tree, and a record of what was shown. The run
// itself shows nothing: as the window does, Run shows the checking state around it
// ("checking", "idle"), then the results page or the box of a list too short. Calls that
// break the contract (from a worker, while idle, a list change out of order) are
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
        Expect(!inPlace, "entry text read though the paths are offered in place");
        return entries.at(index);
    }
    const FileScan::PathStore* DistinctPaths() const override { return inPlace ? &*inPlace : nullptr; }
    const FileScan::ListedFile* EntryLookedUp(std::size_t index) const override
    {
        OnHostThread();
        return index < lookedUp.size() ? &lookedUp[index] : nullptr;
    }
    void TakeStep(Check::CheckStep step) override
    {
        OnHostThread();
        Expect(checking, "step taken while idle");
        ++events;
        for (Check::ResultGroup& group : step.groups) {
            Group& shown = tree.emplace_back(Group { group.Caption(), {} });
            for (Check::FoundFile& file : group.files) {
                shown.children.push_back(file.path);
                stamps.push_back(file.stamp);
            }
        }
        Expect(std::is_sorted(step.removed.rbegin(), step.removed.rend())
                && std::adjacent_find(step.removed.begin(), step.removed.end()) == step.removed.end(),
            "removed entries not in descending order");
        for (std::size_t index : step.removed) {
            // The look-ups no longer line up with the entries.
            lookedUp.clear();
            if (Expect(index < entries.size(), "removed entry past the end of the list"))
                entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
        }
        if (step.entriesLeft) {
            Expect(*step.entriesLeft == entries.size(), "count text not the entry count");
            countText = std::to_string(*step.entriesLeft);
        }
        if (step.progress)
            progress.push_back(*step.progress);
        if (step.comparedFiles)
            compared.push_back(*step.comparedFiles);
        if (onEvents)
            onEvents(*this);
    }
    bool Cancelled() const override
    {
        OnHostThread();
        return cancelled;
    }

    // Asks the run to stop at its next look at the flag.
    void Cancel() { cancelled = true; }

    // Runs run (the real check by default) on this host as the window runs it, and
    // returns what it left behind.
    Outcome Run(const std::function<Check::CheckEnd(Check::CheckHost&)>& run)
    {
        Outcome out;
        const bool start = entries.size() >= 2;
        if (start) {
            checking = true;
            log.push_back("checking");
            cancelled = false;
            progressMax = Check::kProgressMax;
            ++progressMaxCalls;
            progress.push_back(0);
        }
        Check::CheckEnd end = Check::CheckEnd::Cancelled;
        try {
            end = run(*this);
        } catch (const Files::FileError& e) {
            out.error = e.what();
        }
        Expect(start == (end != Check::CheckEnd::NothingToCompare), "a short list run, or a long one refused");
        if (checking) {
            checking = false;
            log.push_back("idle");
        }
        if (out.error.empty() && end == Check::CheckEnd::Completed)
            log.push_back("page1");
        else if (out.error.empty() && end == Check::CheckEnd::NothingToCompare)
            log.push_back(std::string("info:").append(Check::kNothingToCompare));
        out.list = entries;
        out.groups = tree;
        out.log = log;
        out.cancelled = out.error.empty() && end == Check::CheckEnd::Cancelled;
        out.faults = faults;
        return out;
    }
    Outcome Run(const Check::EngineOptions& options = {})
    {
        return Run([&](Check::CheckHost& h) { return Check::RunCheck(h, options); });
    }

    std::vector<std::string> entries;
    // Entry k's file as a folder scan looked it up, for as many entries as it holds
    // until the list changes.
    std::vector<FileScan::ListedFile> lookedUp;
    // The entries' paths as they were when the run started, when offered in place.
    std::optional<FileScan::PathStore> inPlace;
    std::vector<Group> tree;
    // The stamp of every child, in the order the children came.
    std::vector<Platform::FileStamp> stamps;
    std::vector<std::string> log;
    std::vector<int> progress;
    std::vector<std::size_t> compared;
    std::string countText;
    int progressMax = -1;
    int progressMaxCalls = 0;
    // The steps taken.
    int events = 0;
    // Runs after every step, so a test can act "while the window is live".
    std::function<void(RecordingHost&)> onEvents;
    bool cancelled = false;
    bool checking = false;
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
// unless a test models the files in memory), with a step before every comparison (where
// a cancel is read). What it found goes to the host in one step at its end, also when
// it is cancelled or fails.
inline Check::CheckEnd PairwiseRun(Check::CheckHost& host, const SameFn& same = FileScan::SameFileContent)
{
    if (host.EntryCount() < 2)
        return Check::CheckEnd::NothingToCompare;
    // The list as the run changes it, each entry with its first position.
    std::vector<std::pair<std::string, std::size_t>> list;
    for (std::size_t k = 0; k < host.EntryCount(); ++k)
        list.emplace_back(host.EntryText(k), k);
    Check::CheckStep found;
    const auto handOver = [&] {
        std::sort(found.removed.rbegin(), found.removed.rend());
        found.entriesLeft = list.size();
        host.TakeStep(std::move(found));
    };
    int groupCounter = 0;
    try {
        for (std::size_t i = 0; i < list.size(); ++i) {
            bool open = false;
            for (std::size_t j = list.size(); j-- > 0;) {
                host.TakeStep({});
                if (host.Cancelled()) {
                    handOver();
                    return Check::CheckEnd::Cancelled;
                }
                if (list[i].first == list[j].first)
                    continue;
                if (same(list[i].first, list[j].first)) {
                    if (!open) {
                        found.groups.push_back({ ++groupCounter, { Check::LookUpNow(list[i].first) } });
                        open = true;
                    }
                    found.groups.back().files.push_back(Check::LookUpNow(list[j].first));
                    found.removed.push_back(list[j].second);
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
                }
            }
        }
    } catch (...) {
        handOver();
        throw;
    }
    handOver();
    return Check::CheckEnd::Completed;
}

// Runs the pairwise run over entries with a fresh host.
inline Outcome PairwiseCheck(std::vector<std::string> entries, const SameFn& same = FileScan::SameFileContent)
{
    RecordingHost host(std::move(entries));
    return host.Run([&](Check::CheckHost& h) { return PairwiseRun(h, same); });
}

// Runs the real check over entries with a fresh host.
inline Outcome EngineCheck(std::vector<std::string> entries, const Check::EngineOptions& options = {})
{
    RecordingHost host(std::move(entries));
    return host.Run(options);
}

} // namespace CheckOracle
