// CheckRun: the duplicate check run, driven through CheckHost so that the window,
// the tests and the benchmark driver share one implementation.
#pragma once

#include "check/ContentEngine.h"
#include "check/Results.h"
#include "scan/CandidatePaths.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Check {

// What the check run needs of its surroundings: the candidate list and the result tree,
// and, where there is a window, progress, the count label, event processing, the cancel
// flag and the pages.
class CheckHost {
public:
    virtual ~CheckHost() = default;

    virtual std::size_t EntryCount() const = 0;
    virtual std::string EntryText(std::size_t index) const = 0;
    // The entry's file as the host's folder scan looked it up, when that scan filled
    // the list for this same check a moment ago (the one-shot tessarin-cli): the run
    // then does not look it up again. A window's list may be minutes old, so the
    // window gives nothing and every file is looked up when the check starts.
    virtual const FileScan::ListedFile* EntryLookedUp(std::size_t index) const
    {
        (void)index;
        return nullptr;
    }
    // Called once the run has taken every look-up it wants: the host may let them go.
    virtual void LookUpsTaken() { }
    virtual void RemoveEntry(std::size_t index) = 0;
    // Removes the entries at indices, which come in descending order. The default
    // removes them one by one; a list that can drop many rows at once may override it.
    virtual void RemoveEntries(const std::vector<std::size_t>& indices)
    {
        for (std::size_t index : indices)
            RemoveEntry(index);
    }

    // Appends a root node at the end of the tree.
    virtual void AddGroup(const std::string& caption) = 0;
    // Appends a child to the root node added last: the file's path is its caption, and
    // its stamp is the file as the check looked it up.
    virtual void AddChild(const FoundFile& file) = 0;

    // What follows is for a host with a window; a host without one may leave it out.
    virtual void SetProgressMax(int maximum) { (void)maximum; }
    virtual void SetProgress(int position) { (void)position; }
    virtual void SetCountText(const std::string& text) { (void)text; }
    // Tells how many files the run has compared so far (it only rises), for a display
    // beside the progress; a file whose size no other file has counts once sizes are known.
    virtual void SetComparedFiles(std::size_t files) { (void)files; }

    // Lets the window repaint and handle clicks (Cancel among them).
    virtual void ProcessEvents() { }
    virtual bool CheckCancelled() const { return false; }
    virtual void ResetCancelled() { }

    // Switches between the idle and the checking control states.
    virtual void SetCheckCtrl(bool checking) { (void)checking; }
    // Makes the page with the Cancel button current and gives the button the focus.
    virtual void FocusCancel() { }
    virtual void ShowPage(int index) { (void)index; }
    virtual void ShowInfo(const std::string& text) { (void)text; }
};

// Returns the caption of group number (from 1) of a run: "重複ファイル<number>".
std::string GroupCaption(std::size_t number);

// Runs the duplicate check: groups every set of byte-identical candidates under
// "重複ファイル<n>", removes the surplus entries from the list, and switches to the
// results page when it completes. Throws Files::FileError when a candidate cannot
// be opened, after the partial results are in place; the checking state is left on
// every path.
void RunCheck(CheckHost& host);
// Same, with the engine's block sizes and thread count chosen by the caller.
void RunCheck(CheckHost& host, const EngineOptions& options);

} // namespace Check
