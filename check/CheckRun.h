// CheckRun: the duplicate check run, driven through CheckHost so that the window (on a
// thread of its own), tessarin-cli, the tests and the benchmark driver share one
// implementation.
#pragma once

#include "check/ContentEngine.h"
#include "check/Results.h"
#include "scan/CandidatePaths.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Check {

// The progress bar's range in a run: 0 to kProgressMax.
inline constexpr int kProgressMax = 1000;
// What a run with fewer than two entries says.
inline constexpr const char* kNothingToCompare = "比較するファイルがありません";

// What a run did since its step before: the host takes it over in one piece.
struct CheckStep {
    // The groups found since, in check order, each whole; the last step of a run that
    // stopped early also brings the group it was filling.
    std::vector<ResultGroup> groups;
    // The entries those groups took from the list: their indices in the list as the
    // steps before left it, in descending order.
    std::vector<std::size_t> removed;
    // The number of entries left, once the list changed and at the end of a run.
    std::optional<std::size_t> entriesLeft;
    // The progress bar's position (0 to kProgressMax), when it rose.
    std::optional<int> progress;
    // How many files have been compared, when it rose; a file whose size no other file
    // has counts once sizes are known.
    std::optional<std::size_t> comparedFiles;
};

// Adds later, the step that came after step, to step, so that the two are taken as one:
// a host whose steps queue up while it is busy takes the entries they remove off its
// list in one pass.
void MergeSteps(CheckStep& step, CheckStep&& later);

// What the check run needs of its surroundings. The run calls it only on the thread that
// runs it, never from its workers.
class CheckHost {
public:
    virtual ~CheckHost() = default;

    // The candidate list as it stands when the run starts; read before the first step
    // only, and the list must not change until the run ends but by the run's steps.
    virtual std::size_t EntryCount() const = 0;
    virtual std::string EntryText(std::size_t index) const = 0;
    // The entries' paths, row k entry k's, when no two entries have the same path
    // string and the store stays as it is until the run ends (the host takes the steps'
    // removals off a list of its own, or after the run): the run then reads them there
    // instead of copying them. nullptr (the default) makes the run copy them.
    virtual const FileScan::PathStore* DistinctPaths() const { return nullptr; }
    // The entry's file as the host's folder scan looked it up, when that scan filled
    // the list for this same check a moment ago (the one-shot tessarin-cli, a window's
    // check at once after a folder's add): the run then does not look it up again. A
    // list that is older, or changed since, gives nothing: its files are looked up
    // when the check starts.
    virtual const FileScan::ListedFile* EntryLookedUp(std::size_t index) const
    {
        (void)index;
        return nullptr;
    }
    // Called once the run has taken every look-up it wants: the host may let them go.
    virtual void LookUpsTaken() { }

    // Takes one step of the run's output (groups to append, entries to remove from the
    // list, progress). Steps come about every 25 ms while the run goes on, and once at
    // its end.
    virtual void TakeStep(CheckStep step) = 0;
    // True once the run is to stop; read after every step.
    virtual bool Cancelled() const { return false; }
};

enum class CheckEnd {
    // Fewer than two entries: nothing was done (the host shows kNothingToCompare).
    NothingToCompare,
    Cancelled,
    Completed,
};

// Runs the duplicate check on the calling thread: groups every set of byte-identical
// candidates, numbered from 1 ("重複ファイル<n>"), and takes the surplus entries off the
// list, all through the host's steps. Throws Files::FileError when a candidate cannot be
// opened, after the step that brings the partial results.
CheckEnd RunCheck(CheckHost& host, const EngineOptions& options = {});

} // namespace Check
