// tessarin-cli: the add-folder scan and the duplicate check run without a window, for
// scripts and benchmarks. Prints each group's paths one per line, groups separated by
// an empty line, or with --format the window's saved results as CSV or JSON; a summary
// goes to standard error. With keep rules it prints the plan for the groups instead
// ("+ " stays, "- " goes; with --format as records with their action), and carries it
// out with --trash or --delete, or wins the space with --link or --move-to (each clean
// that changes a file is journaled; --undo puts its files back).
// --io-depth sets the requests kept in flight instead of choosing them by the disk.
// The exclusion options leave files out of the scan as the window's exclusion settings
// do, and --ignore-list hides the groups marked as not duplicates in that list.
// Help() lists every option; the manual page (packaging/tessarin-cli.1) says the same.
#include "check/CheckRun.h"
#include "check/CleanPlan.h"
#include "check/NotDuplicates.h"
#include "check/ResultExport.h"
#include "check/SpaceClean.h"
#include "check/Undo.h"
#include "scan/CandidatePaths.h"
#include "scan/FileProbe.h"
#include "scan/FileScan.h"
#include "scan/PathStore.h"
#include "scan/PathText.h"
#include "scan/Platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

// The candidate list (filled as the add-folder command fills it) and the results; the
// run's progress has nowhere to go.
class ConsoleHost : public Check::CheckHost {
public:
    // files.At(k) is entry k's file as the scan that just listed it looked it up. With
    // distinct, no two entries have the same path: the run reads the list's paths in
    // place, and the list keeps them until the run ends.
    ConsoleHost(FileScan::CandidatePaths& entries, FileScan::LookUps files, bool distinct)
        : m_entries(entries)
        , m_files(std::move(files))
        , m_distinct(distinct)
    {
    }

    std::size_t EntryCount() const override { return m_entries.Count(); }
    std::string EntryText(std::size_t index) const override { return m_entries.At(index); }
    const FileScan::PathStore* DistinctPaths() const override
    {
        return m_distinct ? &m_entries.Paths() : nullptr;
    }
    // The look-up lives until the next call.
    const FileScan::ListedFile* EntryLookedUp(std::size_t index) const override
    {
        if (index >= m_files.Count())
            return nullptr;
        m_lookedUp = m_files.At(index, m_entries.IdAt(index));
        return &m_lookedUp;
    }
    void LookUpsTaken() override { m_files.Clear(); }
    void TakeStep(Check::CheckStep step) override
    {
        m_results.AppendGroups(std::move(step.groups));
        if (step.removed.empty())
            return;
        // Once entries go, the look-ups no longer line up with them.
        m_files.Clear();
        // Nothing reads the list after the run: while the run reads its paths, they stay.
        if (!m_distinct)
            m_entries.RemoveRanges(FileScan::RangesOfDescending(step.removed));
    }

    // The groups found, each file with its stamp: what a clean confirms before it acts.
    const Check::Results& Results() const { return m_results; }
    // Drops group g of the groups found where hidden[g] is set.
    void HideGroups(const std::vector<bool>& hidden)
    {
        std::vector<std::size_t> drop;
        for (std::size_t g = 0; g < hidden.size(); ++g)
            if (hidden[g])
                drop.push_back(g);
        m_results.RemoveGroups(std::move(drop));
    }

    // Writes the groups in fdupes' format.
    void PrintGroups(std::FILE* out) const
    {
        const std::vector<Check::ResultGroup>& groups = m_results.Groups();
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (g > 0)
                std::fputc('\n', out);
            for (const Check::FoundFile& file : groups[g].files) {
                std::fwrite(file.path.data(), 1, file.path.size(), out);
                std::fputc('\n', out);
            }
        }
    }

private:
    FileScan::CandidatePaths& m_entries;
    FileScan::LookUps m_files;
    const bool m_distinct;
    mutable FileScan::ListedFile m_lookedUp;
    Check::Results m_results;
};

// The short form, on standard error, for a command line that cannot be run.
int Usage()
{
    std::fprintf(stderr,
        "usage: tessarin-cli [--no-subfolders] [--filter TEXT] [--format csv|json] [--io-depth N]\n"
        "                    [--exclude PATTERN]... [--min-size N] [--max-size N] [--skip-empty]\n"
        "                    [--ignore-list FILE]\n"
        "                    [--keep RULE[,RULE...]] [--protect DIR]...\n"
        "                    [--trash | --delete | --link hard|reflink | --move-to DIR]\n"
        "                    [--dry-run] [--journal FILE] FOLDER...\n"
        "       tessarin-cli --undo [JOURNAL] | --journals\n"
        "Try 'tessarin-cli --help' for more information.\n");
    return 2;
}

// Every option, the exit statuses and an example, on standard output.
int Help()
{
    std::fputs(R"(usage: tessarin-cli [OPTION]... FOLDER...
Finds the files with identical contents among the files of each FOLDER and its
subfolders, and prints each group's paths one per line, groups separated by an
empty line. Hidden folders, symbolic links and special files are passed over,
and a file with several names is listed once. The number of files, groups and
seconds goes to standard error.

Collecting:
  --no-subfolders         only the files directly inside each FOLDER
  --filter TEXT           file types to collect, for example "*.jpg;*.png"
                          (default "*.*": every file)
  --exclude PATTERN       leave out the files and folders PATTERN matches
                          (repeatable): without "/" a name anywhere (".git",
                          "*.tmp"), with "/" a path below FOLDER ("build/*");
                          a folder left out is not entered
  --min-size N            leave out files smaller than N bytes
  --max-size N            leave out files larger than N bytes
                          (N may end in K, M or G: 1024, 1024^2, 1024^3)
  --skip-empty            leave out empty files
  --ignore-list FILE      hide the groups marked as not duplicates in FILE
                          (the window keeps its own in
                          $XDG_DATA_HOME/tessarin/not-duplicates)
Output:
  --format csv|json       write the groups as CSV or JSON, as the window's
                          result file; with a plan, each record adds the
                          action (keep, remove, hardlink, reflink, move; once
                          carried out trashed, deleted, linked, shared, moved
                          or stayed) and the reason of a file that stayed
Cleaning (without an action, or with --dry-run, only the plan is printed):
  --keep RULE[,RULE...]   choose the file each group keeps: the first rule that
                          tells the files apart decides, list order last; print
                          "+ " before a file that stays, "- " before one to go
                          ("= " when it is to be linked or shared, "> " when it
                          is to move; paths as the window shows them: escapes
                          for control characters and bytes that are no text).
                          RULE: protected, newest, oldest, shortest,
                          not-copy-name, first (the default)
  --protect DIR           never remove a file inside DIR (repeatable)
  --trash                 move the files to go to the desktop trash
  --delete                delete the files to go for good
  --link hard             make each file to go a hard link of the kept file
                          (same file system, owner, group, permissions and
                          extended attributes only)
  --link reflink          share each file's blocks with the kept file; the
                          file keeps its name, inode, permissions and times
                          (file systems that share blocks: XFS, btrfs)
  --move-to DIR           move the files to go below DIR at their full path,
                          never replacing a file there
                          (each action first confirms that the file and its
                          kept file are the very files the check found; a
                          removal or link compares their bytes again, sharing
                          lets the kernel compare them; "! " marks a file that
                          stayed, with the reason)
  --dry-run               print what the action would do, touch nothing
  --journal FILE          record the clean in FILE (a new file) instead of a
                          new journal under $XDG_STATE_HOME/tessarin
Undoing (a clean that changed any file is journaled; its path goes to
standard error):
  --undo [JOURNAL]        put the files of JOURNAL (default: the newest
                          journal) back: from the trash, moved back, a hard
                          link made a file of its own again; never replaces a
                          file that is there now
  --journals              list the recorded cleans: time, actions, files, path
Other:
  --io-depth N            keep N reads in flight (default: chosen by the disk)
  --help                  show this help and exit
  --version               show the version and exit

Exit status:
  0  done, whether or not duplicates were found
  1  a file could not be opened, a folder could not be read (each is named on
     standard error), a file that was to go stayed, the journal could not be
     written, undo left a file unrestored, or the output could not be written
  2  the command line is wrong, a FOLDER or protected folder does not exist,
     the ignore list is missing or malformed, or the journal to undo cannot be
     read (nothing is done)

Example:
  tessarin-cli --keep not-copy-name,newest --protect ~/Pictures/best --trash ~/Pictures
  tessarin-cli --link reflink --dry-run ~/Videos
  tessarin-cli --undo
)",
        stdout);
    return 0;
}

// What the scan leaves out, and the list of groups marked as not duplicates.
struct ExcludeOptions {
    FileScan::ExclusionRules rules;
    std::optional<std::string> ignoreList;
};

// Takes the option at argv[a] (and its value, moving a past it) when it is one of the
// exclusion options. Returns 1 when taken, 0 when it is none of them, -1 when it is
// malformed.
int ParseExcludeOption(int argc, char** argv, int& a, ExcludeOptions& options)
{
    const std::string option = argv[a];
    if (option == "--skip-empty") {
        options.rules.skipEmpty = true;
        return 1;
    }
    if (option != "--exclude" && option != "--min-size" && option != "--max-size" && option != "--ignore-list")
        return 0;
    if (++a == argc)
        return -1;
    const std::string value = argv[a];
    if (option == "--exclude")
        options.rules.patterns.push_back(value);
    else if (option == "--ignore-list")
        options.ignoreList = value;
    else if (!FileScan::ParseSize(value, option == "--min-size" ? options.rules.minSize : options.rules.maxSize))
        return -1;
    return 1;
}

// Reads the list of groups marked as not duplicates; nothing when it cannot.
std::optional<Check::NotDuplicateList> IgnoreList(const std::string& file)
{
    if (!Platform::IsFile(file)) {
        std::fprintf(stderr, "tessarin-cli: no such file: %s\n", file.c_str());
        return std::nullopt;
    }
    try {
        return Check::LoadNotDuplicates(file);
    } catch (const Files::FileError& failure) {
        std::fprintf(stderr, "tessarin-cli: %s\n", failure.what());
        return std::nullopt;
    }
}

// The keep-rule options. Any of them turns the listing into a plan.
struct CleanOptions {
    bool wanted = false;
    bool rulesGiven = false;
    std::vector<Check::KeepRule> rules;
    std::vector<std::string> protect;
    std::optional<Files::RemoveMode> mode;
    // --link or --move-to instead of a removal: HardLink, Reflink or Move.
    std::optional<Check::JournalAction> space;
    std::string moveTo;
    bool dryRun = false;
    std::string journal;
};

// Takes the option at argv[a] (and its value, moving a past it) when it is one of the
// keep-rule options. Returns 1 when taken, 0 when it is none of them, -1 when it is
// malformed.
int ParseCleanOption(int argc, char** argv, int& a, CleanOptions& options)
{
    const std::string option = argv[a];
    if (option == "--trash" || option == "--delete") {
        if (options.mode || options.space)
            return -1;
        options.mode = option == "--trash" ? Files::RemoveMode::Trash : Files::RemoveMode::Delete;
    } else if (option == "--link" || option == "--move-to") {
        if (options.mode || options.space || ++a == argc)
            return -1;
        const std::string value = argv[a];
        if (option == "--move-to" && !value.empty())
            options.moveTo = value;
        else if (option == "--link" && (value == "hard" || value == "reflink"))
            options.space = value == "hard" ? Check::JournalAction::HardLink : Check::JournalAction::Reflink;
        else
            return -1;
        if (option == "--move-to")
            options.space = Check::JournalAction::Move;
    } else if (option == "--dry-run") {
        options.dryRun = true;
    } else if (option == "--journal") {
        if (!options.journal.empty() || ++a == argc || argv[a][0] == '\0')
            return -1;
        options.journal = argv[a];
    } else if (option == "--keep" || option == "--protect") {
        if (++a == argc)
            return -1;
        const std::string value = argv[a];
        if (option == "--protect") {
            options.protect.push_back(value);
        } else {
            if (options.rulesGiven)
                return -1;
            options.rulesGiven = true;
            for (std::size_t start = 0;;) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                const std::optional<Check::KeepRule> rule = Check::KeepRuleFromName(value.substr(start, comma - start));
                if (!rule)
                    return -1;
                options.rules.push_back(*rule);
                if (comma == value.size())
                    break;
                start = comma + 1;
            }
        }
    } else {
        return 0;
    }
    options.wanted = true;
    return 1;
}

// True when every path of folders names an existing folder; says which does not.
bool AllFolders(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        if (!Platform::IsDirectory(folder)) {
            std::fprintf(stderr, "tessarin-cli: no such folder: %s\n", FileScan::DisplayPath(folder).c_str());
            return false;
        }
    }
    return true;
}

// Names each folder the scan could not read on standard error; returns the exit status
// that follows: 1 when there was one.
int ReportUnread(const std::vector<FileScan::UnreadFolder>& unread)
{
    for (const FileScan::UnreadFolder& folder : unread)
        std::fprintf(stderr, "tessarin-cli: cannot read folder %s: %s\n", FileScan::DisplayPath(folder.path).c_str(),
            Files::SystemErrorText(folder.error).c_str());
    return unread.empty() ? 0 : 1;
}

// Flushes and closes standard output; a write that failed on the way, or fails now,
// ends the run with a message and status 1 (a full disk must not pass for a result).
int CloseOutput()
{
    errno = 0;
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    int reason = errno;
    if (std::fclose(stdout) != 0 && !failed)
        reason = errno;
    else if (!failed)
        return 0;
    std::fprintf(stderr, "tessarin-cli: cannot write the output: %s\n",
        reason != 0 ? std::strerror(reason) : "write error");
    return 1;
}

// The clean's journal: the file of --journal, or a new one in the state folder. One that
// ends empty (nothing changed) is removed again.
class CleanJournal {
public:
    // Opens it; says why on standard error when it cannot be written.
    bool Open(const std::string& file)
    {
        std::string where = file;
        Platform::Status opened;
        if (!file.empty()) {
            opened = m_journal.Create(file);
        } else {
            where = Check::DefaultJournalFolder();
            opened = where.empty() ? Platform::Status(Platform::Error::NotFound) : m_journal.CreateIn(where);
        }
        if (!opened.Ok())
            Failed(where, opened);
        return opened.Ok();
    }
    Check::Journal* operator->() { return &m_journal; }
    Check::Journal* Get() { return &m_journal; }
    // Appends record; false (said on standard error) when it could not be written.
    bool Append(const Check::JournalRecord& record)
    {
        const Platform::Status written = m_journal.Append(record);
        if (!written.Ok())
            Failed(m_journal.Path(), written);
        m_records += written.Ok() ? 1 : 0;
        return written.Ok();
    }
    void Counted() { ++m_records; }
    // Closes it and names it on standard error; returns the exit status: 1 when it
    // could not be written to the end.
    int Close()
    {
        if (m_journal.Path().empty())
            return 0;
        const Platform::Status closed = m_journal.Close();
        if (m_records == 0 && closed.Ok()) {
            Platform::RemoveFile(m_journal.Path());
            return 0;
        }
        if (!closed.Ok()) {
            Failed(m_journal.Path(), closed);
            return 1;
        }
        std::fprintf(stderr, "journal: %s\n", FileScan::DisplayPath(m_journal.Path()).c_str());
        return 0;
    }

private:
    static void Failed(const std::string& where, Platform::Status error)
    {
        std::fprintf(stderr, "tessarin-cli: cannot write the journal %s: %s\n", FileScan::DisplayPath(where).c_str(),
            Files::SystemErrorText(error).c_str());
    }
    Check::Journal m_journal;
    std::size_t m_records = 0;
};

// What a space action did to each file to go, in plan order, each file counted once.
struct SpaceRun {
    std::vector<Check::FileAction> files;
    std::size_t done = 0;
    std::size_t stayed = 0;
    std::uint64_t bytes = 0;
    bool journalFailed = false;
};

// The word of a file that went under options: "trashed", "deleted", "linked", "shared",
// "moved".
std::string DoneWord(const CleanOptions& options)
{
    if (options.space)
        return *options.space == Check::JournalAction::HardLink ? "linked"
            : *options.space == Check::JournalAction::Reflink   ? "shared"
                                                                : "moved";
    return options.mode == Files::RemoveMode::Trash ? "trashed" : "deleted";
}

std::string StepReason(const Files::ActionResult& result)
{
    std::string reason = Files::ActionOutcomeWord(result.outcome);
    if (result.outcome == Files::ActionOutcome::Failed)
        reason += ": " + (result.message.empty() ? Files::SystemErrorText(result.error) : result.message);
    return reason;
}

// Carries out the space action of options on every file to go, group by group, each
// journaled as it is done; stops at a record that cannot be written. A file listed under
// several lines is acted on once, every line telling the same.
SpaceRun RunSpaceActions(const Check::CleanPlan& plan, const CleanOptions& options, CleanJournal& journal)
{
    SpaceRun run;
    std::string moveTo = options.moveTo;
    if (!moveTo.empty() && moveTo[0] != Platform::kSeparator)
        moveTo = Platform::CurrentFolder() + Platform::kSeparator + moveTo;
    const std::string doneWord = DoneWord(options);
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> byIdentity;
    std::map<std::string, std::size_t> byPath;
    for (const Check::PlannedGroup& group : plan.groups) {
        for (std::size_t i = 0; i < group.files.size(); ++i) {
            if (!group.remove[i])
                continue;
            const Check::FoundFile& file = group.files[i];
            const std::size_t first = file.stamp.Known()
                ? byIdentity.try_emplace({ file.stamp.device, file.stamp.inode }, run.files.size()).first->second
                : byPath.try_emplace(file.path, run.files.size()).first->second;
            if (first != run.files.size()) {
                run.files.push_back(run.files[first]);
                continue;
            }
            Check::FileAction& action = run.files.emplace_back();
            action.action = "stayed";
            if (run.journalFailed) {
                action.reason = "not done: no journal";
                ++run.stayed;
                continue;
            }
            const Check::SpaceStep step
                = Check::ActOnFile(*options.space, file, group.files[group.kept], moveTo, journal.Get());
            if (!step.result.leftover.empty())
                std::fprintf(stderr, "tessarin-cli: a temporary file stayed: %s\n",
                    FileScan::DisplayPath(step.result.leftover).c_str());
            run.bytes += *options.space == Check::JournalAction::Move
                ? (step.result.outcome == Files::ActionOutcome::Done ? step.result.before.size : 0)
                : step.bytesFreed;
            if (step.result.outcome != Files::ActionOutcome::Done) {
                action.reason = StepReason(step.result);
                ++run.stayed;
                continue;
            }
            action.action = doneWord;
            ++run.done;
            if (step.journalError.Ok()) {
                journal.Counted();
            } else {
                std::fprintf(stderr, "tessarin-cli: cannot write the journal %s: %s\n",
                    FileScan::DisplayPath(journal->Path()).c_str(), Files::SystemErrorText(step.journalError).c_str());
                run.journalFailed = true;
            }
        }
    }
    return run;
}

// Journals the files result removed, each once. Returns false when a record could not
// be written.
bool JournalRemovals(const Check::CleanPlan& plan, const Check::RemovalReport& result,
    const Check::StatusBefore& before, CleanJournal& journal)
{
    std::size_t written = 0;
    const Platform::Status status = Check::JournalRemovals(plan, result, before, *journal.Get(), written);
    for (std::size_t k = 0; k < written; ++k)
        journal.Counted();
    if (!status.Ok())
        std::fprintf(stderr, "tessarin-cli: cannot write the journal %s: %s\n",
            FileScan::DisplayPath(journal->Path()).c_str(), Files::SystemErrorText(status).c_str());
    return status.Ok();
}

// Prints the plan, or with a mode or space action carries it out and prints what was
// done: "+ " for a file that stays, "- " for one that goes (or went; "= " linked or
// shared, "> " moved), "! " with the reason for one the re-read kept, each path in its
// one-to-one text (a line break in a name never starts a line). With format, the groups
// as saved results instead, each record with its action. Nothing is done when the check
// itself failed or with --dry-run; a clean that changed anything is journaled. Returns
// the exit status: 1 when a file to go stayed or the journal could not be written.
int RunClean(const std::vector<Check::ResultGroup>& groups, const CleanOptions& options,
    const std::vector<std::string>& protectedFolders, bool checkFailed,
    const std::optional<Check::ResultFormat>& format, std::FILE* out)
{
    const auto started = std::chrono::steady_clock::now();
    const Check::CleanPlan plan = Check::MakeCleanPlan(groups, options.rules, protectedFolders);
    const double planSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "plan: %zu files to go, %llu bytes, %.3f s\n", plan.filesToGo,
        static_cast<unsigned long long>(plan.bytesFreed), planSeconds);
    const bool acts = (options.mode || options.space) && !options.dryRun;
    const bool carryOut = acts && !checkFailed;
    if (acts && checkFailed)
        std::fprintf(stderr, "nothing removed: the check did not finish\n");
    CleanJournal journal;
    if (carryOut && plan.filesToGo > 0 && !journal.Open(options.journal))
        return 1;
    bool journalFailed = false;
    Check::RemovalReport result;
    SpaceRun space;
    if (carryOut && options.mode) {
        const Check::StatusBefore before = Check::StatusOfFilesToGo(plan);
        // The rule here for a file on a volume without a trash: under --trash it stays,
        // since nobody is there to be asked whether to delete it for good.
        result = Check::RemoveFiles(
            Check::RemovalOf(plan), *options.mode, [](const std::vector<std::string>&) { return false; });
        journalFailed = !JournalRemovals(plan, result, before, journal);
    } else if (carryOut && options.space) {
        space = RunSpaceActions(plan, options, journal);
        journalFailed = space.journalFailed;
    }
    // The word and marker of a file to go: "remove" ("- ") unless a space action wins
    // the space ("= " for a link or shared blocks, "> " for a move).
    const std::string planned = options.space ? Check::JournalActionName(*options.space) : "remove";
    const char* goMarker = !options.space ? "- " : *options.space == Check::JournalAction::Move ? "> " : "= ";

    // What became of each file, in plan order; result.files holds the files to go in
    // that order.
    std::vector<std::vector<Check::FileAction>> actions(plan.groups.size());
    Check::ResultGroups paths(plan.groups.size());
    std::size_t next = 0;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        const Check::PlannedGroup& group = plan.groups[g];
        for (std::size_t i = 0; i < group.files.size(); ++i) {
            paths[g].push_back(group.files[i].path);
            Check::FileAction& action = actions[g].emplace_back();
            action.action = group.remove[i] ? planned : "keep";
            if (carryOut && options.space && group.remove[i] && next < space.files.size()) {
                action = space.files[next++];
                continue;
            }
            if (!carryOut || !group.remove[i] || next == result.files.size())
                continue;
            const Check::RemovedFile& done = result.files[next++];
            if (done.removed) {
                action.action = done.how == Files::RemoveMode::Trash ? "trashed" : "deleted";
            } else {
                action.action = "stayed";
                action.reason = Check::KeepReasonWord(done.reason, done.error);
            }
        }
    }
    if (format) {
        const std::string text = Check::FormatResults(paths, *format, actions);
        std::fwrite(text.data(), 1, text.size(), out);
    } else {
        for (std::size_t g = 0; g < paths.size(); ++g) {
            if (g > 0)
                std::fputc('\n', out);
            for (std::size_t i = 0; i < paths[g].size(); ++i) {
                const Check::FileAction& action = actions[g][i];
                const bool stayed = action.action == "stayed";
                std::fputs(action.action == "keep" ? "+ " : stayed ? "! " : goMarker, out);
                std::fputs(FileScan::DisplayPath(paths[g][i]).c_str(), out);
                if (stayed)
                    std::fprintf(out, " (%s)", action.reason.c_str());
                std::fputc('\n', out);
            }
        }
    }
    if (!carryOut)
        return 0;
    const int journalStatus = std::max(journalFailed ? 1 : 0, journal.Close());
    if (options.space) {
        std::fprintf(stderr, "%zu %s, %zu stayed, %llu bytes %s\n", space.done, DoneWord(options).c_str(), space.stayed,
            static_cast<unsigned long long>(space.bytes),
            *options.space == Check::JournalAction::Move ? "moved" : "freed");
        return std::max(journalStatus, space.stayed > 0 ? 1 : 0);
    }
    // Each file counted once, however many lines lead to it.
    std::fprintf(stderr, "%zu trashed, %zu deleted, %zu stayed, %llu bytes freed\n", result.trashed,
        result.removed - result.trashed, result.stayed, static_cast<unsigned long long>(result.bytesFreed));
    const bool allWent = std::all_of(
        result.files.begin(), result.files.end(), [](const Check::RemovedFile& file) { return file.removed; });
    return std::max(journalStatus, allWent ? 0 : 1);
}

// Lists the journals of the state folder, newest first: time, actions, files, path.
int ListCleans()
{
    for (const Check::JournalSummary& summary : Check::ListJournals(Check::DefaultJournalFolder()))
        std::printf("%s\t%s\t%zu\t%s\n", summary.time.c_str(), summary.actions.c_str(), summary.count,
            FileScan::DisplayPath(summary.path).c_str());
    return CloseOutput();
}

// Puts the files of journalPath ("" for the newest journal) back, one line each: "+ "
// for a file at its path again (restored, already back, nothing to undo), "! " for one
// that is not, with the reason. Returns the exit status: 2 when the journal cannot be
// read, 1 when a file is not back.
int UndoClean(std::string journalPath)
{
    if (journalPath.empty()) {
        const std::vector<Check::JournalSummary> journals = Check::ListJournals(Check::DefaultJournalFolder());
        if (journals.empty()) {
            std::fprintf(stderr, "tessarin-cli: no journal in %s\n",
                FileScan::DisplayPath(Check::DefaultJournalFolder()).c_str());
            return 2;
        }
        journalPath = journals.front().path;
    }
    Check::JournalContents contents;
    if (const Platform::Status read = Check::ReadJournal(journalPath, contents); !read.Ok()) {
        std::fprintf(stderr, "tessarin-cli: cannot read the journal %s: %s\n",
            FileScan::DisplayPath(journalPath).c_str(), Files::SystemErrorText(read).c_str());
        return 2;
    }
    std::fprintf(stderr, "undo: %s\n", FileScan::DisplayPath(journalPath).c_str());
    std::size_t counts[3] = {};
    std::size_t notBack = 0;
    for (const Check::JournalRecord& record : contents.records) {
        const Check::UndoneFile file = Check::UndoRecord(record);
        const bool back = file.outcome == Check::UndoOutcome::Restored || file.outcome == Check::UndoOutcome::AlreadyBack
            || file.outcome == Check::UndoOutcome::NothingToUndo;
        std::string reason = Check::UndoOutcomeWord(file.outcome);
        if (file.outcome == Check::UndoOutcome::Failed)
            reason += ": " + (file.message.empty() ? Files::SystemErrorText(file.error) : file.message);
        std::printf("%s%s (%s)\n", back ? "+ " : "! ", FileScan::DisplayPath(file.path).c_str(), reason.c_str());
        if (!file.leftover.empty())
            std::fprintf(stderr, "tessarin-cli: a temporary file stayed: %s\n", FileScan::DisplayPath(file.leftover).c_str());
        if (!back)
            ++notBack;
        else
            ++counts[file.outcome == Check::UndoOutcome::Restored ? 0 : file.outcome == Check::UndoOutcome::AlreadyBack ? 1 : 2];
    }
    if (contents.badLines > 0)
        std::fprintf(stderr, "tessarin-cli: %zu lines of the journal are no record\n", contents.badLines);
    std::fprintf(stderr, "%zu restored, %zu already back, %zu nothing to undo, %zu not restored\n", counts[0],
        counts[1], counts[2], notBack);
    return std::max(CloseOutput(), notBack > 0 || contents.badLines > 0 ? 1 : 0);
}

} // namespace

int main(int argc, char** argv)
{
    Platform::UseOneHeap();
    // The check reads each file through its folder when it may hold the folders open.
    Platform::RaiseOpenFileLimit();
    bool subFolders = true;
    std::string filter = "*.*";
    std::optional<Check::ResultFormat> format;
    std::vector<std::string> folders;
    CleanOptions clean;
    ExcludeOptions exclude;
    Check::EngineOptions engineOptions;
    // --undo [JOURNAL] and --journals stand alone: no folder, no clean.
    std::optional<std::string> undo;
    bool listJournals = false;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--undo") == 0) {
            if (undo)
                return Usage();
            undo = a + 1 < argc && std::strncmp(argv[a + 1], "--", 2) != 0 ? argv[++a] : "";
        } else if (std::strcmp(argv[a], "--journals") == 0) {
            listJournals = true;
        } else if (const int taken = ParseCleanOption(argc, argv, a, clean); taken != 0) {
            if (taken < 0)
                return Usage();
        } else if (const int excluding = ParseExcludeOption(argc, argv, a, exclude); excluding != 0) {
            if (excluding < 0)
                return Usage();
        } else if (std::strcmp(argv[a], "--no-subfolders") == 0) {
            subFolders = false;
        } else if (std::strcmp(argv[a], "--filter") == 0) {
            if (++a == argc)
                return Usage();
            filter = argv[a];
        } else if (std::strcmp(argv[a], "--io-depth") == 0) {
            if (++a == argc || std::atoi(argv[a]) < 1)
                return Usage();
            engineOptions.ioDepth = static_cast<unsigned>(std::atoi(argv[a]));
        } else if (std::strcmp(argv[a], "--format") == 0) {
            if (++a == argc)
                return Usage();
            if (std::strcmp(argv[a], "csv") == 0)
                format = Check::ResultFormat::Csv;
            else if (std::strcmp(argv[a], "json") == 0)
                format = Check::ResultFormat::Json;
            else
                return Usage();
        } else if (std::strcmp(argv[a], "--help") == 0) {
            Help();
            return CloseOutput();
        } else if (std::strcmp(argv[a], "--version") == 0) {
            std::printf("tessarin-cli %s\n", TESSARIN_VERSION);
            return CloseOutput();
        } else if (std::strncmp(argv[a], "--", 2) == 0) {
            return Usage();
        } else {
            folders.emplace_back(argv[a]);
        }
    }
    if (undo || listJournals) {
        if (!folders.empty() || clean.wanted || format || (undo && listJournals))
            return Usage();
        return undo ? UndoClean(*undo) : ListCleans();
    }
    if (folders.empty())
        return Usage();
    // Nothing is done unless every folder named is there; a protected folder counts by
    // its identity (Check::ProtectedFolders), however the scan spells the paths below it.
    if (!AllFolders(folders) || !AllFolders(clean.protect))
        return 2;
    std::optional<Check::NotDuplicateList> ignored;
    if (exclude.ignoreList && !(ignored = IgnoreList(*exclude.ignoreList)))
        return 2;
    const FileScan::Exclusions exclusions(exclude.rules);

    const auto started = std::chrono::steady_clock::now();
    // Each folder is added as the add-folder command adds it: one name per file. The
    // check follows at once, so it takes the files as the scan looked them up.
    FileScan::CandidatePaths entries;
    FileScan::LookUps entryFiles;
    std::vector<FileScan::UnreadFolder> unread;
    for (const std::string& folder : folders) {
        FileScan::PathStore found;
        std::vector<FileScan::ListedFile> listed;
        if (subFolders)
            FileScan::AddFolderTreeFiles(folder, filter, found, &listed, &unread, &exclusions);
        else
            FileScan::AddFolderFiles(folder, filter, found, &listed, &unread, &exclusions);
        FileScan::LookUps files;
        std::vector<FileScan::FileId> ids = files.Take(std::move(listed));
        // The list keeps found in order, less each second name of a file listed already.
        std::vector<std::size_t> passedOver;
        entries.Append(found, std::move(ids), &passedOver);
        found.Clear();
        files.Drop(passedOver);
        entryFiles.Append(std::move(files));
    }
    // The scan's paths and look-ups are gone: their room goes back to the system.
    Platform::GiveBackFreeMemory();
    const std::size_t entryCount = entries.Count();
    // One folder's scan lists each path once.
    ConsoleHost host(entries, std::move(entryFiles), folders.size() == 1);
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    // A folder that could not be read is named, and fails the run, but what was read is
    // checked (and cleaned) all the same.
    int status = ReportUnread(unread);
    bool checkFailed = false;
    try {
        if (Check::RunCheck(host, engineOptions) == Check::CheckEnd::NothingToCompare)
            std::fprintf(stderr, "%s\n", Check::kNothingToCompare);
    } catch (const Files::FileError& error) {
        std::fprintf(stderr, "%s\n", Files::ErrorBoxText(error.what()).c_str());
        checkFailed = true;
        status = 1;
    }
    if (ignored) {
        const std::vector<bool> hidden = Check::HiddenGroups(*ignored, host.Results().Groups());
        host.HideGroups(hidden);
        std::fprintf(stderr, "%zu groups marked as not duplicates hidden\n",
            static_cast<std::size_t>(std::count(hidden.begin(), hidden.end(), true)));
    }
    if (clean.wanted)
        status = std::max(
            status, RunClean(host.Results().Groups(), clean, clean.protect, checkFailed, format, stdout));
    else if (format) {
        const std::string text = Check::FormatResults(host.Results().Paths(), *format);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    else
        host.PrintGroups(stdout);
    status = std::max(status, CloseOutput());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "%zu entries, %zu groups, %.3f s\n", entryCount, host.Results().GroupCount(), seconds);
    return status;
}
