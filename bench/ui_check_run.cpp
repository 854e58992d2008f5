// ui_check_run: the main window's whole run on a folder tree, as a user does it: add the
// folder, check, and wait until the results are shown. Prints the groups (fdupes' format,
// as tessarin-cli does) and the times to standard error, so that the window's run can
// be compared with tessarin-cli on the same tree. With --start-only it stops once the
// window is shown: what starting the program costs (loading Qt, more so from a cold
// cache), to take off the whole process's time, since a user's window is already open.
// The longest time the event loop went without turning, while adding and while checking,
// goes to standard error too: how long the window stood still; and the slowest events
// handled while checking, each with the object that took it: what made it stand still.
// With --browse, after the run: the longest of scrolling the results to their end and
// back, and of sorting them by each column, each with the repaint it causes.
//   usage: ui_check_run [--start-only | --browse] FOLDER   (QT_QPA_PLATFORM=offscreen on a server)
#include "bench/BenchDesktop.h"
#include "scan/Platform.h"
#include "ui/CandidateList.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMetaEnum>
#include <QScrollBar>
#include <QTreeView>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <time.h>

namespace {

// The process's resident memory now and at its peak, in MiB (Linux; 0 elsewhere).
std::pair<double, double> ResidentMiB()
{
    double now = 0, peak = 0;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            long kib = 0;
            if (std::sscanf(line, "VmRSS: %ld", &kib) == 1)
                now = static_cast<double>(kib) / 1024.0;
            else if (std::sscanf(line, "VmHWM: %ld", &kib) == 1)
                peak = static_cast<double>(kib) / 1024.0;
        }
        std::fclose(status);
    }
    return { now, peak };
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintGroups(const Check::Results& results)
{
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    for (std::size_t g = 0; g < results.GroupCount(); ++g) {
        if (g > 0)
            std::fputc('\n', stdout);
        for (const Check::FoundFile& file : results.Group(g).files) {
            std::fwrite(file.path.data(), 1, file.path.size(), stdout);
            std::fputc('\n', stdout);
        }
    }
    std::fflush(stdout);
}

// Measures the longest stretch between two turns of the event loop: a timer due every
// few milliseconds, late by as much as the window was busy. Beside it, the most processor
// time the window's thread took between two turns: its own work, which a loaded machine
// does not stretch (the stretch itself counts in the first).
class LoopGaps {
public:
    LoopGaps()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = std::chrono::steady_clock::now();
            const double busy = ThreadSeconds();
            m_longest = std::max(m_longest, now - m_last);
            m_longestBusy = std::max(m_longestBusy, busy - m_lastBusy);
            m_last = now;
            m_lastBusy = busy;
        });
    }
    void Start()
    {
        m_longest = {};
        m_longestBusy = 0;
        m_last = std::chrono::steady_clock::now();
        m_lastBusy = ThreadSeconds();
        m_timer.start();
    }
    // The longest gap since Start, in seconds.
    double Longest() const { return std::chrono::duration<double>(m_longest).count(); }
    // The most processor time between two turns since Start, in seconds.
    double LongestBusy() const { return m_longestBusy; }

private:
    static double ThreadSeconds()
    {
        timespec now {};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }

    QTimer m_timer;
    std::chrono::steady_clock::time_point m_last;
    std::chrono::steady_clock::duration m_longest {};
    double m_lastBusy = 0;
    double m_longestBusy = 0;
};

// Times each event the application delivers from its loop (not those sent while one is
// handled): which handling made a gap. Keeps the slowest few.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth > 0 || !m_timing)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const auto start = std::chrono::steady_clock::now();
        const bool handled = QApplication::notify(receiver, event);
        const double took = SecondsSince(start);
        --m_depth;
        if (m_slowest.size() < kKept || took > m_slowest.back().seconds) {
            const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
            Slow slow { took, receiver->metaObject()->className(), receiver->objectName().toStdString(),
                type ? type : "?" };
            m_slowest.insert(std::upper_bound(m_slowest.begin(), m_slowest.end(), slow,
                                 [](const Slow& a, const Slow& b) { return a.seconds > b.seconds; }),
                std::move(slow));
            if (m_slowest.size() > kKept)
                m_slowest.pop_back();
        }
        return handled;
    }
    void StartTiming()
    {
        m_slowest.clear();
        m_timing = true;
    }
    void PrintSlowest(const char* what) const
    {
        std::fprintf(stderr, "slowest events %s:", what);
        for (const Slow& slow : m_slowest)
            std::fprintf(stderr, " %.3f (%s %s %s)", slow.seconds, slow.type.c_str(), slow.className.c_str(),
                slow.name.c_str());
        std::fputc('\n', stderr);
    }

private:
    struct Slow {
        double seconds;
        std::string className;
        std::string name;
        std::string type;
    };
    static constexpr std::size_t kKept = 5;
    int m_depth = 0;
    bool m_timing = false;
    std::vector<Slow> m_slowest;
};

} // namespace

int main(int argc, char* argv[])
{
    const auto started = std::chrono::steady_clock::now();
    // As the program's main does.
    Platform::UseOneHeap();
    TimedApplication app(argc, argv);
    const bool startOnly = argc == 3 && std::strcmp(argv[1], "--start-only") == 0;
    const bool browse = argc == 3 && std::strcmp(argv[1], "--browse") == 0;
    if (argc != 2 && !startOnly && !browse) {
        std::fprintf(stderr, "usage: ui_check_run [--start-only | --browse] FOLDER\n");
        return 2;
    }
    auto owned = std::make_unique<FolderDesktop>();
    owned->folder = argv[argc - 1];
    SetDesktop(std::move(owned));
    TForm1 form;
    form.show();
    QApplication::processEvents();
    const double shown = SecondsSince(started);
    const auto shownMemory = ResidentMiB();
    // A user's window stays open after a run: taking it down (tens of thousands of rows
    // and nodes) is no part of what is timed, so both modes leave without destroying it.
    if (startOnly)
        std::_Exit(0);

    const auto runStart = std::chrono::steady_clock::now();
    LoopGaps gaps;
    gaps.Start();
    // The folder is listed on a thread of its own, the check as well; the window takes
    // their steps, and their ends, as events.
    form.btnAddFolderClick();
    while (form.Checking())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    const std::size_t entries = form.Candidates().Count();
    const double added = SecondsSince(runStart);
    const double addGap = gaps.Longest();
    const double addBusy = gaps.LongestBusy();
    const auto addMemory = ResidentMiB();
    gaps.Start();
    app.StartTiming();
    form.btnCheckerClick();
    while (form.Checking())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    const double run = SecondsSince(runStart);
    const double runGap = gaps.Longest();
    const double runBusy = gaps.LongestBusy();

    PrintGroups(form.Results());
    std::fprintf(stderr, "%zu entries, %zu groups; window shown %.3f s, folder added %.3f s, run %.3f s\n", entries,
        form.Results().GroupCount(), shown, added, run);
    std::fprintf(stderr, "longest event loop gap: adding %.3f s, checking %.3f s\n", addGap, runGap);
    std::fprintf(stderr, "most processor time between two turns: adding %.3f s, checking %.3f s\n", addBusy, runBusy);
    app.PrintSlowest("while checking");
    const auto runMemory = ResidentMiB();
    std::fprintf(stderr, "resident memory: shown %.0f MiB, added %.0f MiB (peak %.0f), run %.0f MiB (peak %.0f)\n",
        shownMemory.first, addMemory.first, addMemory.second, runMemory.first, runMemory.second);
    if (browse) {
        auto* tree = form.findChild<QTreeView*>(QStringLiteral("FileTree"));
        const auto timed = [&](const char* what, const std::function<void()>& action) {
            const auto start = std::chrono::steady_clock::now();
            action();
            tree->viewport()->repaint();
            QApplication::processEvents();
            std::fprintf(stderr, "  %s %.3f s\n", what, SecondsSince(start));
        };
        std::fprintf(stderr, "browsing %d rows:\n", tree->model()->rowCount());
        timed("scroll to the end", [&] { tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->maximum()); });
        timed("scroll to the top", [&] { tree->verticalScrollBar()->setValue(0); });
        for (int column = 0; column < tree->model()->columnCount(); ++column) {
            for (const Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
                const std::string what = "sort by column " + std::to_string(column)
                    + (order == Qt::AscendingOrder ? " up" : " down");
                timed(what.c_str(), [&] { tree->header()->setSortIndicator(column, order); });
            }
        }
    }
    std::fflush(stderr);
    std::_Exit(0);
}
