// ui_check_run: the main window's whole run on a folder tree, as a user does it: add the
// folder, check, and wait until the results are shown. Prints the groups (fdupes' format,
// as tessarin-cli does) and the times to standard error, so that the window's run can
// be compared with tessarin-cli on the same tree. With --start-only it stops once the
// window is shown: what starting the program costs (loading Qt, more so from a cold
// cache), to take off the whole process's time, since a user's window is already open.
//   usage: ui_check_run [--start-only] FOLDER   (QT_QPA_PLATFORM=offscreen on a server)
#include "bench/BenchDesktop.h"
#include "ui/CandidateList.h"
#include "ui/Unit1.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

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

} // namespace

int main(int argc, char* argv[])
{
    const auto started = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    const bool startOnly = argc == 3 && std::strcmp(argv[1], "--start-only") == 0;
    if (argc != 2 && !startOnly) {
        std::fprintf(stderr, "usage: ui_check_run [--start-only] FOLDER\n");
        return 2;
    }
    auto owned = std::make_unique<FolderDesktop>();
    owned->folder = argv[argc - 1];
    SetDesktop(std::move(owned));
    TForm1 form;
    form.show();
    QApplication::processEvents();
    const double shown = SecondsSince(started);
    // A user's window stays open after a run: taking it down (tens of thousands of rows
    // and nodes) is no part of what is timed, so both modes leave without destroying it.
    if (startOnly)
        std::_Exit(0);

    const auto runStart = std::chrono::steady_clock::now();
    form.btnAddFolderClick();
    QApplication::processEvents();
    const std::size_t entries = form.Candidates().Count();
    const double added = SecondsSince(runStart);
    // The run goes on its own thread; the window takes its steps, and its end, as events.
    form.btnCheckerClick();
    while (form.Checking())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    const double run = SecondsSince(runStart);

    PrintGroups(form.Results());
    std::fprintf(stderr, "%zu entries, %zu groups; window shown %.3f s, folder added %.3f s, run %.3f s\n", entries,
        form.Results().GroupCount(), shown, added, run);
    std::fflush(stderr);
    std::_Exit(0);
}
