// CheckRun: the duplicate check command, driven through CheckHost.
#include "check/CheckRun.h"

#include "scan/FileScan.h"

#include <string>

namespace Check {

namespace {

    const char* const kNothingToCompare = "比較するファイルがありません";
    const char* const kGroupCaption = "重複ファイル";

    // Keeps the checking state on for its lifetime, whichever way the run ends.
    class CheckingState {
    public:
        explicit CheckingState(CheckHost& host)
            : m_host(host)
        {
            m_host.SetCheckCtrl(true);
        }
        ~CheckingState() { End(); }
        CheckingState(const CheckingState&) = delete;
        CheckingState& operator=(const CheckingState&) = delete;

        void End()
        {
            if (m_on) {
                m_on = false;
                m_host.SetCheckCtrl(false);
            }
        }

    private:
        CheckHost& m_host;
        bool m_on = true;
    };

} // namespace

void RunCheck(CheckHost& host)
{
    if (host.EntryCount() < 2) {
        host.ShowInfo(kNothingToCompare);
        return;
    }
    CheckingState state(host);
    host.FocusCancel();
    host.ResetCancelled();
    host.SetProgress(0);
    int groupCounter = 0;
    for (std::size_t i = 0; i < host.EntryCount(); ++i) {
        host.SetProgressMax(static_cast<int>(host.EntryCount() - 1));
        bool groupOpen = false;
        const std::string pivot = host.EntryText(i);
        for (std::size_t j = host.EntryCount(); j-- > 0;) {
            host.ProcessEvents();
            if (host.CheckCancelled())
                return;
            if (j >= host.EntryCount() || i >= host.EntryCount())
                continue;
            const std::string other = host.EntryText(j);
            if (other == pivot)
                continue;
            if (FileScan::SameFileContent(pivot, other)) {
                if (!groupOpen) {
                    host.AddGroup(kGroupCaption + std::to_string(++groupCounter));
                    host.AddChild(pivot);
                    groupOpen = true;
                }
                host.AddChild(other);
                host.RemoveEntry(j);
            }
            host.SetCountText(std::to_string(host.EntryCount()));
        }
        host.SetProgress(static_cast<int>(i + 1));
    }
    state.End();
    host.ShowPage(1);
}

} // namespace Check
