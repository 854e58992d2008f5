// check_folder: the add-folder scan and the duplicate check run without a window, for
// benchmarks and scripts. Prints each group's paths one per line, groups separated by
// an empty line, or with --format the window's saved results as CSV or JSON; a summary
// goes to standard error.
//   usage: check_folder [--no-subfolders] [--filter TEXT] [--format csv|json] FOLDER...
#include "check/CheckRun.h"
#include "check/ResultExport.h"
#include "scan/CandidatePaths.h"
#include "scan/FileScan.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// The candidate list (filled as the add-folder command fills it) and the result tree;
// the run's progress and events have nowhere to go.
class ConsoleHost : public Check::CheckHost {
public:
    explicit ConsoleHost(FileScan::CandidatePaths& entries)
        : m_entries(entries)
    {
    }

    std::size_t EntryCount() const override { return m_entries.Count(); }
    std::string EntryText(std::size_t index) const override { return m_entries.At(index); }
    void RemoveEntry(std::size_t index) override { m_entries.RemoveAt(index); }
    // Drops a whole batch in one pass over the list.
    void RemoveEntries(const std::vector<std::size_t>& indices) override
    {
        m_entries.RemoveRanges(FileScan::RangesOfDescending(indices));
    }
    void AddGroup(const std::string&) override { m_groupStarts.push_back(m_children.size()); }
    void AddChild(const std::string& caption) override { m_children.push_back(caption); }
    void SetProgressMax(int) override { }
    void SetProgress(int) override { }
    void SetCountText(const std::string&) override { }
    void ProcessEvents() override { }
    bool CheckCancelled() const override { return false; }
    void ResetCancelled() override { }
    void SetCheckCtrl(bool) override { }
    void FocusCancel() override { }
    void ShowPage(int) override { }
    void ShowInfo(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

    std::size_t GroupCount() const { return m_groupStarts.size(); }

    Check::ResultGroups Groups() const
    {
        Check::ResultGroups groups;
        for (std::size_t g = 0; g < m_groupStarts.size(); ++g) {
            const std::size_t end = g + 1 < m_groupStarts.size() ? m_groupStarts[g + 1] : m_children.size();
            groups.emplace_back(m_children.begin() + static_cast<std::ptrdiff_t>(m_groupStarts[g]),
                m_children.begin() + static_cast<std::ptrdiff_t>(end));
        }
        return groups;
    }

    // Writes the groups in fdupes' format.
    void PrintGroups(std::FILE* out) const
    {
        for (std::size_t g = 0; g < m_groupStarts.size(); ++g) {
            if (g > 0)
                std::fputc('\n', out);
            const std::size_t end = g + 1 < m_groupStarts.size() ? m_groupStarts[g + 1] : m_children.size();
            for (std::size_t c = m_groupStarts[g]; c < end; ++c) {
                std::fwrite(m_children[c].data(), 1, m_children[c].size(), out);
                std::fputc('\n', out);
            }
        }
    }

private:
    FileScan::CandidatePaths& m_entries;
    std::vector<std::size_t> m_groupStarts;
    std::vector<std::string> m_children;
};

int Usage()
{
    std::fprintf(
        stderr, "usage: check_folder [--no-subfolders] [--filter TEXT] [--format csv|json] FOLDER...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    bool subFolders = true;
    std::string filter = "*.*";
    std::optional<Check::ResultFormat> format;
    std::vector<std::string> folders;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--no-subfolders") == 0) {
            subFolders = false;
        } else if (std::strcmp(argv[a], "--filter") == 0) {
            if (++a == argc)
                return Usage();
            filter = argv[a];
        } else if (std::strcmp(argv[a], "--format") == 0) {
            if (++a == argc)
                return Usage();
            if (std::strcmp(argv[a], "csv") == 0)
                format = Check::ResultFormat::Csv;
            else if (std::strcmp(argv[a], "json") == 0)
                format = Check::ResultFormat::Json;
            else
                return Usage();
        } else if (std::strncmp(argv[a], "--", 2) == 0) {
            return Usage();
        } else {
            folders.emplace_back(argv[a]);
        }
    }
    if (folders.empty())
        return Usage();

    const auto started = std::chrono::steady_clock::now();
    // Each folder is added as the add-folder command adds it: one name per file.
    FileScan::CandidatePaths entries;
    for (const std::string& folder : folders) {
        std::vector<std::string> found;
        if (subFolders)
            FileScan::AddFolderTreeFiles(folder, filter, found);
        else
            FileScan::AddFolderFiles(folder, filter, found);
        entries.Append(std::move(found));
    }
    const std::size_t entryCount = entries.Count();
    ConsoleHost host(entries);
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    int status = 0;
    try {
        Check::RunCheck(host);
    } catch (const FileScan::FileError& error) {
        std::fprintf(stderr, "%s\n", FileScan::ErrorBoxText(error.what()).c_str());
        status = 1;
    }
    if (format) {
        const std::string text = Check::FormatResults(host.Groups(), *format);
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        host.PrintGroups(stdout);
    }
    std::fflush(stdout);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "%zu entries, %zu groups, %.3f s\n", entryCount, host.GroupCount(), seconds);
    return status;
}
