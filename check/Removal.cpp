// Removal: files of the results removed by the trash or for good, each confirmed first,
// with the report every command's message is made from.
#include "check/Removal.h"

#include "scan/EnumTexts.h"
#include "scan/FileError.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace Check {
namespace {

    // Why a file stayed: the window's text and tessarin-cli's word. A reason without a
    // text of its own is told by the system's text of the error.
    constexpr Files::EnumText<KeepReason> kReasonTexts[] = {
        { KeepReason::None, "not removed", nullptr },
        { KeepReason::Unreadable, "unreadable", nullptr },
        { KeepReason::KeptUnreadable, "kept file unreadable", "残すファイルを読み込めません" },
        { KeepReason::Differs, "differs", "残すファイルと内容が違います" },
        { KeepReason::SameFile, "same file", "残すファイルと同じファイルです" },
        { KeepReason::Changed, "changed", "確認の後に変更されました" },
        { KeepReason::KeptChanged, "kept file changed", "残すファイルが確認の後に変更されました" },
        { KeepReason::NoTrash, "no trash", "ゴミ箱がありません" },
    };

    const Files::EnumText<KeepReason>& TextsOf(KeepReason reason)
    {
        const auto* texts = Files::FindEnumText(kReasonTexts, reason);
        return texts ? *texts : kReasonTexts[0];
    }

    // Every 64 files to go of one group, the progress is asked again.
    constexpr std::size_t kFilesBetweenProgress = 64;

    // The outcome of one file's removal, read from the removal's status: a file already
    // gone counts as removed.
    DeleteOutcome OutcomeOf(const Platform::Status& err)
    {
        DeleteOutcome outcome;
        if (err.Ok() || err == Platform::Error::NotFound)
            outcome.deleted = true;
        else if (err == Platform::Error::NoTrash)
            outcome.reason = KeepReason::NoTrash;
        else if (err == Platform::Error::Changed)
            outcome.reason = KeepReason::Changed;
        else
            outcome.error = err;
        return outcome;
    }

    // Removes the checked files of one group by mode, appending each outcome to report:
    // read again first when the group keeps a copy, otherwise each confirmed alone.
    // goOn is asked again every kFilesBetweenProgress files; returns false when it
    // cancelled.
    //
    // Here an action other than the trash and deletion for good would be one more case:
    // the re-read tells which kept file holds the same bytes (GroupReverify::Partners).
    bool RemoveGroup(const RemovalGroup& group, std::size_t g, const std::vector<bool>& checked,
        Files::RemoveMode mode, RemovalReport& report, const std::function<bool()>& goOn)
    {
        const auto record = [&](std::size_t i, const DeleteOutcome& outcome) {
            RemovedFile& file = report.files.emplace_back();
            file.group = g;
            file.index = i;
            file.path = group.files[i].path;
            file.removed = outcome.deleted;
            file.reason = outcome.reason;
            file.error = outcome.error;
            file.how = mode;
        };
        std::optional<GroupReverify> reverify;
        if (group.keepACopy) {
            try {
                reverify.emplace(group.files, checked);
            } catch (const Files::FileError&) {
                // Out of descriptors: nothing could be compared, so everything stays.
                for (std::size_t i = 0; i < checked.size(); ++i) {
                    if (checked[i])
                        record(i, DeleteOutcome { false, KeepReason::Unreadable, Platform::Error::TooManyOpenFiles });
                }
                return true;
            }
        }
        std::size_t done = 0;
        for (std::size_t i = 0; i < checked.size(); ++i) {
            if (!checked[i])
                continue;
            if (done > 0 && done % kFilesBetweenProgress == 0 && !goOn())
                return false;
            ++done;
            const FoundFile& file = group.files[i];
            record(i, reverify ? reverify->DeleteChecked(i, mode) : OutcomeOf(Files::RemoveFileBy(file.path, mode, file.stamp)));
        }
        return true;
    }

    // Counts the files of report that went and those that stayed, each once.
    void Tally(const std::vector<RemovalGroup>& groups, RemovalReport& report)
    {
        report.removed = report.trashed = report.stayed = 0;
        report.bytesFreed = report.bytesTrashed = 0;
        CountedFiles removed;
        for (const RemovedFile& file : report.files) {
            const RemovalGroup& group = groups[file.group];
            if (!file.removed || !removed.Add(group.files[file.index]))
                continue;
            ++report.removed;
            report.bytesFreed += group.size;
            if (file.how == Files::RemoveMode::Trash) {
                ++report.trashed;
                report.bytesTrashed += group.size;
            }
        }
        // A file that went under one line went under all of them.
        CountedFiles stayed = removed;
        for (const RemovedFile& file : report.files) {
            if (!file.removed && stayed.Add(groups[file.group].files[file.index]))
                ++report.stayed;
        }
    }

} // namespace

std::string KeepReasonText(KeepReason reason, Platform::Status error)
{
    const Files::EnumText<KeepReason>& texts = TextsOf(reason);
    if (texts.text)
        return texts.text;
    return error.Ok() ? std::string() : Files::SystemErrorText(error);
}

std::string KeepReasonWord(KeepReason reason, Platform::Status error)
{
    const Files::EnumText<KeepReason>& texts = TextsOf(reason);
    if (texts.text)
        return texts.word;
    return std::string(texts.word) + ": " + Files::SystemErrorText(error);
}

RemovalReport RemoveMarked(
    const std::vector<RemovalGroup>& groups, Files::RemoveMode mode, const RemovalProgress& progress)
{
    std::vector<std::size_t> work;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::vector<bool>& remove = groups[g].remove;
        if (std::find(remove.begin(), remove.end(), true) != remove.end())
            work.push_back(g);
    }
    RemovalReport report;
    const std::size_t total = work.size();
    for (std::size_t k = 0; k < total && !report.cancelled; ++k) {
        const auto goOn = [&] { return !progress || progress(k, total); };
        const RemovalGroup& group = groups[work[k]];
        report.cancelled = !goOn() || !RemoveGroup(group, work[k], group.remove, mode, report, goOn);
    }
    Tally(groups, report);
    if (progress && !report.cancelled)
        progress(total, total);
    return report;
}

std::vector<std::string> WithoutTrash(const RemovalReport& report)
{
    std::vector<std::string> paths;
    for (const RemovedFile& file : report.files) {
        if (!file.removed && file.reason == KeepReason::NoTrash)
            paths.push_back(file.path);
    }
    return paths;
}

void DeleteWithoutTrash(const std::vector<RemovalGroup>& groups, RemovalReport& report)
{
    std::size_t k = 0;
    while (k < report.files.size()) {
        const std::size_t g = report.files[k].group;
        std::size_t end = k;
        while (end < report.files.size() && report.files[end].group == g)
            ++end;
        const RemovalGroup& group = groups[g];
        // Only the files without a trash are to go now; every other file of the group
        // that is still there may serve as their copy.
        std::vector<bool> checked(group.files.size(), false);
        bool any = false;
        for (std::size_t f = k; f < end; ++f) {
            const RemovedFile& file = report.files[f];
            if (!file.removed && file.reason == KeepReason::NoTrash) {
                checked[file.index] = true;
                any = true;
            }
        }
        if (any) {
            RemovalReport again;
            RemoveGroup(group, g, checked, Files::RemoveMode::Delete, again, [] { return true; });
            // again.files holds one entry per checked file, in index order, as the
            // entries of report do.
            std::size_t a = 0;
            for (std::size_t f = k; f < end && a < again.files.size(); ++f) {
                if (report.files[f].index != again.files[a].index)
                    continue;
                RemovedFile& file = report.files[f];
                file.removed = again.files[a].removed;
                file.reason = again.files[a].reason;
                file.error = again.files[a].error;
                file.how = again.files[a].how;
                ++a;
            }
        }
        k = end;
    }
    Tally(groups, report);
}

RemovalReport RemoveFiles(const std::vector<RemovalGroup>& groups, Files::RemoveMode mode,
    const std::function<bool(const std::vector<std::string>&)>& deleteForGood, const RemovalProgress& progress)
{
    RemovalReport report = RemoveMarked(groups, mode, progress);
    const std::vector<std::string> paths = WithoutTrash(report);
    if (!paths.empty() && deleteForGood && deleteForGood(paths))
        DeleteWithoutTrash(groups, report);
    return report;
}

void TakeOffResults(Results& results, const std::vector<GroupId>& groups, const RemovalReport& report)
{
    std::size_t k = 0;
    while (k < report.files.size()) {
        const std::size_t g = report.files[k].group;
        std::vector<std::size_t> gone;
        for (; k < report.files.size() && report.files[k].group == g; ++k) {
            if (report.files[k].removed)
                gone.push_back(report.files[k].index);
        }
        const std::optional<std::size_t> group = g < groups.size() ? results.IndexOf(groups[g]) : std::nullopt;
        if (group && !gone.empty())
            results.RemoveFiles(*group, std::move(gone));
    }
}

} // namespace Check
