// ui_candidates: times the main window's candidate list on large inputs: adding a folder
// tree of many files (beside the scan alone) and removing half of a million entries; then
// the list alone with a distinct file behind every entry, for the cost of their identities.
// usage: ui_candidates [FILES [ENTRIES]]   (run with QT_QPA_PLATFORM=offscreen on a server)
#include "bench/BenchDesktop.h"
#include "scan/CandidatePaths.h"
#include "scan/FileScan.h"
#include "ui/CandidateList.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QListView>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Returns the median of three timed runs, each prepared by setup (not timed).
double Median3(const std::function<void()>& setup, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        setup();
        times.push_back(Seconds(work));
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

std::string MakeTree(int files)
{
    std::string root = (std::filesystem::temp_directory_path() / "ui-candidates-XXXXXX").string();
    if (!::mkdtemp(root.data()))
        std::abort();
    const int perFolder = 1000;
    for (int k = 0; k < files; ++k) {
        const std::string dir = root + "/d" + std::to_string(k / perFolder);
        if (k % perFolder == 0)
            ::mkdir(dir.c_str(), 0755);
        const int fd
            = ::open((dir + "/photo_" + std::to_string(k) + ".jpg").c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0)
            ::close(fd);
    }
    return root;
}

std::vector<std::string> FakePaths(int entries)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(entries));
    for (int k = 0; k < entries; ++k)
        paths.push_back(
            "/home/user/pictures/folder" + std::to_string(k / 1000) + "/photo_" + std::to_string(k) + ".jpg");
    return paths;
}

// Bytes taken from malloc, large blocks (mapped on their own) included.
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Times the list alone over entries paths whose identities identify makes up, and
// reports its heap per entry.
void TimeListAlone(const char* what, int entries, const FileScan::IdentifyFn& identify)
{
    const std::size_t heapBefore = HeapInUse();
    FileScan::CandidatePaths list(identify);
    std::vector<std::string> paths = FakePaths(entries);
    const double append = Seconds([&] { list.Append(std::move(paths)); });
    const double perEntry = static_cast<double>(HeapInUse() - heapBefore) / static_cast<double>(list.Count());
    std::vector<FileScan::RowRange> blocks;
    for (std::size_t first = 1000; first < list.Count(); first += 2000)
        blocks.emplace_back(first, std::min(first + 999, list.Count() - 1));
    const double scattered = Seconds([&] { list.RemoveRanges(blocks); });
    const double single = Seconds([&] {
        for (int k = 0; k < 1000; ++k)
            list.RemoveAt(list.Count() / 2);
    });
    std::printf("list alone, %d entries %s: append %.3f s, heap %.0f bytes per entry; remove half in %zu "
                "blocks %.3f s; one entry from the middle %.6f s each\n",
        entries, what, append, perEntry, blocks.size(), scattered, single / 1000);
}

void SelectRows(TForm1& form, const std::function<bool(int)>& selected, int count)
{
    QItemSelection selection;
    int first = -1;
    for (int row = 0; row <= count; ++row) {
        const bool on = row < count && selected(row);
        if (on && first < 0)
            first = row;
        if (!on && first >= 0) {
            selection.select(form.Candidates().index(first), form.Candidates().index(row - 1));
            first = -1;
        }
    }
    auto* list = form.findChild<QListView*>(QStringLiteral("FileList"));
    list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    list->selectionModel()->setCurrentIndex(
        form.Candidates().index(count / 2), QItemSelectionModel::NoUpdate);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int entries = argc > 2 ? std::atoi(argv[2]) : 1000000;

    auto owned = std::make_unique<FolderDesktop>();
    FolderDesktop& desktop = *owned;
    SetDesktop(std::move(owned));
    TForm1 form;
    form.show();
    QApplication::processEvents();

    desktop.folder = MakeTree(files);
    std::vector<std::string> scanned;
    FileScan::AddFolderTreeFiles(desktop.folder, "*.*", scanned); // warm the cache
    const double scan = Median3(
        [&] { scanned.clear(); }, [&] { FileScan::AddFolderTreeFiles(desktop.folder, "*.*", scanned); });
    const double window = Median3(
        [&] {
            form.Candidates().Clear();
            QApplication::processEvents();
        },
        [&] {
            form.btnAddFolderClick();
            while (form.Checking())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QApplication::processEvents();
        });
    std::printf(
        "add folder tree of %zu files: scan alone %.3f s, through the window %.3f s, window's share %.3f s\n",
        form.Candidates().Count(), scan, window, window - scan);
    std::filesystem::remove_all(desktop.folder);

    const auto fill = [&] {
        form.Candidates().Clear();
        form.Candidates().Append(FakePaths(entries));
        QApplication::processEvents();
    };
    const auto removeSelected = [&] {
        form.btnDelFileClick();
        QApplication::processEvents();
    };
    form.Candidates().Clear();
    const std::size_t heapBefore = HeapInUse();
    fill();
    const double heapPerEntry = static_cast<double>(HeapInUse() - heapBefore) / entries;
    const double fillTime = Median3([] {}, fill);
    const double firstHalf = Median3(
        [&] {
            fill();
            SelectRows(
                form, [&](int row) { return row < entries / 2; }, entries);
        },
        removeSelected);
    std::printf("list of %d entries: fill %.3f s (heap %.0f bytes per entry); remove the first half %.3f s\n",
        entries, fillTime, heapPerEntry, firstHalf);
    const double scattered = Median3(
        [&] {
            fill();
            SelectRows(
                form, [](int row) { return (row / 1000) % 2 == 1; }, entries);
        },
        removeSelected);
    std::printf("list of %d entries: remove half in 500 scattered blocks %.3f s\n", entries, scattered);
    double selectEveryOther = 0;
    const double everyOther = Median3(
        [&] {
            fill();
            selectEveryOther = Seconds([&] {
                SelectRows(
                    form, [](int row) { return row % 2 == 1; }, entries);
            });
        },
        removeSelected);
    std::printf("list of %d entries: remove every other entry %.3f s (selecting them took %.3f s)\n", entries,
        everyOther, selectEveryOther);
    fill();
    const int singles = 1000;
    const double single = Seconds([&] {
        for (int k = 0; k < singles; ++k)
            form.Candidates().RemoveAt(static_cast<std::size_t>(entries / 2));
    });
    std::printf(
        "list of %d entries: one entry removed from the middle %.6f s each\n", entries, single / singles);
    form.Candidates().Clear();

    TimeListAlone("of unknown files", entries, [](const std::string&) { return FileScan::FileId {}; });
    // Made-up identities stand in for a million files on disk.
    TimeListAlone("of distinct files", entries, [](const std::string& path) {
        return FileScan::FileId { 1, std::hash<std::string> {}(path) | 1 };
    });
    return 0;
}
