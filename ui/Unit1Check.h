// Unit1Check: the check run's side of TForm1, an adapter private to the unit.
#pragma once

#include "check/CheckRun.h"
#include "ui/CandidateList.h"
#include "ui/Unit1.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

// Lets Check::RunCheck, on the run's own thread, read the window's list as it stood
// when the run started and hand its steps to the window's thread.
class TForm1::CheckAdapter final : public Check::CheckHost {
public:
    explicit CheckAdapter(TForm1& form)
        : m_form(form)
    {
    }

    std::size_t EntryCount() const override;
    std::string EntryText(std::size_t index) const override;
    const FileScan::PathStore* DistinctPaths() const override;
    // The look-up a folder add made of the entry's file, when the run takes that add's.
    // It lives until the next call.
    const FileScan::ListedFile* EntryLookedUp(std::size_t index) const override;
    void LookUpsTaken() override;
    void TakeStep(Check::CheckStep step) override;
    bool Cancelled() const override;
    // The look-ups of a folder add for the next run to take (none to look every file
    // up); set before the run starts.
    void SetLookUps(CandidateList::AddedLookUps lookUps) { m_lookUps = std::move(lookUps); }

private:
    TForm1& m_form;
    CandidateList::AddedLookUps m_lookUps;
    mutable FileScan::ListedFile m_lookedUp;
    // The step handed over that the window has not taken yet: steps that come
    // meanwhile join it (Check::MergeSteps), so a busy window takes them in one go.
    std::mutex m_pendingMutex;
    std::shared_ptr<Check::CheckStep> m_pending;
};
