// RemovalBoxes: texts and boxes of the commands that remove files.
#include "ui/RemovalBoxes.h"

#include "scan/FileError.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"

#include <QLocale>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// A box lists at most this many files per kind; the rest are counted.
constexpr std::size_t kListedFiles = 20;

// The heading of the temporary files a step could not remove again, each listed with
// the file it was made for (leftoverOf).
constexpr char16_t kLeftoverHeading[] = u"次の一時ファイルが残っています（不要なら削除してください）：";

std::string leftoverOf(const std::string& path) { return path + " の一時ファイル"; }

// Shows one box for the files a removal left on disk, after the lines of lead: those
// kept on purpose, as information, and those that could not be removed, which make it
// an error box.
void reportLeftOnDisk(
    Files::RemoveMode mode, const Check::RemovalReport& report, QStringList lines, bool listDeclined)
{
    LeftFiles kept;
    LeftFiles notTrashed;
    LeftFiles notDeleted;
    for (const Check::RemovedFile& file : report.files) {
        if (file.removed || (file.reason == Check::KeepReason::NoTrash && !listDeclined))
            continue;
        const std::string why = Check::KeepReasonText(file.reason, file.error);
        if (file.reason != Check::KeepReason::None)
            kept.emplace_back(file.path, why);
        else if (!file.error.Ok())
            (file.how == Files::RemoveMode::Trash ? notTrashed : notDeleted).emplace_back(file.path, why);
    }
    const QString verb = RemoveVerb(mode);
    AppendListing(lines, u"次のファイルは"_s + verb + u"しませんでした："_s, kept);
    AppendListing(lines, u"次のファイルを"_s + verb + u"できません："_s,
        mode == Files::RemoveMode::Trash ? notTrashed : notDeleted);
    // With the trash on, what failed is the deletion for good asked for after all.
    if (mode == Files::RemoveMode::Trash)
        AppendListing(lines, u"次のファイルを完全に削除できません："_s, notDeleted);
    if (lines.isEmpty())
        return;
    const QString text = lines.join(u'\n');
    if (notTrashed.empty() && notDeleted.empty())
        TheDesktop().Information(text);
    else
        TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText(text.toStdString())));
}

} // namespace

QString RemoveVerb(Files::RemoveMode mode)
{
    return mode == Files::RemoveMode::Trash ? u"ゴミ箱に移動"_s : u"削除"_s;
}

void AppendListing(QStringList& lines, const QString& heading, const LeftFiles& files)
{
    if (files.empty())
        return;
    lines << heading;
    for (std::size_t i = 0; i < std::min(files.size(), kListedFiles); ++i)
        lines << PathToDisplay(files[i].first + " (" + files[i].second + ")");
    if (files.size() > kListedFiles)
        lines << u"ほか %1 件"_s.arg(files.size() - kListedFiles);
}

bool ConfirmPermanentDelete(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return false;
    LeftFiles files;
    for (const std::string& path : paths)
        files.emplace_back(path, Check::KeepReasonText(Check::KeepReason::NoTrash, {}));
    QStringList lines;
    AppendListing(lines, u"次のファイルはゴミ箱に移動できません："_s, files);
    lines << u"完全に削除しますか？"_s;
    return TheDesktop().ConfirmDefaultCancel(lines.join(u'\n'));
}

void ReportRemoval(Files::RemoveMode mode, const Check::RemovalReport& report, bool listDeclined)
{
    QStringList lead;
    const std::size_t deleted = report.removed - report.trashed;
    if (mode == Files::RemoveMode::Trash && deleted > 0)
        lead << u"ゴミ箱に移動したファイル：%1 個"_s.arg(report.trashed) << u"完全に削除したファイル：%1 個"_s.arg(deleted);
    reportLeftOnDisk(mode, report, lead, listDeclined);
}

void ReportClean(Files::RemoveMode mode, const Check::RemovalReport& report)
{
    const auto count = [](const QString& what, std::size_t files, std::uint64_t bytes) {
        return u"%1したファイル：%2 個（%3 バイト解放）"_s.arg(what)
            .arg(files)
            .arg(QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(bytes)));
    };
    QStringList lead;
    if (report.cancelled)
        lead << u"途中で中止しました。"_s;
    if (mode == Files::RemoveMode::Trash) {
        lead << count(RemoveVerb(mode), report.trashed, report.bytesTrashed);
        if (report.removed > report.trashed)
            lead << count(u"完全に削除"_s, report.removed - report.trashed, report.bytesFreed - report.bytesTrashed);
    } else {
        lead << count(RemoveVerb(mode), report.removed, report.bytesFreed);
    }
    reportLeftOnDisk(mode, report, lead, true);
}

void ReportSpaceClean(Check::JournalAction action, const Check::SpaceReport& report, const std::string& journal)
{
    const QString bytes = QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(report.bytes));
    QStringList lines;
    if (report.cancelled)
        lines << u"途中で中止しました。"_s;
    switch (action) {
    case Check::JournalAction::HardLink:
        lines << u"ハードリンクに置き換えたファイル：%1 個（%2 バイト解放）"_s.arg(report.done).arg(bytes);
        break;
    case Check::JournalAction::Reflink:
        lines << u"データを共有したファイル：%1 個（%2 バイト解放）"_s.arg(report.done).arg(bytes);
        break;
    default:
        lines << u"フォルダへ移動したファイル：%1 個（%2 バイト）"_s.arg(report.done).arg(bytes);
        break;
    }
    if (!journal.empty())
        lines << u"記録："_s + PathToDisplay(journal);
    LeftFiles kept;
    LeftFiles failed;
    LeftFiles leftovers;
    // A file two lines lead to is listed once.
    std::vector<std::string> listed;
    for (const Check::SpacedFile& file : report.files) {
        if (std::find(listed.begin(), listed.end(), file.path) != listed.end())
            continue;
        listed.push_back(file.path);
        if (!file.result.leftover.empty())
            leftovers.emplace_back(file.result.leftover, leftoverOf(file.path));
        if (file.done)
            continue;
        if (file.reason != Check::KeepReason::None) {
            kept.emplace_back(file.path, Check::KeepReasonText(file.reason, file.error));
        } else if (file.result.outcome == Files::ActionOutcome::Failed) {
            failed.emplace_back(file.path,
                file.result.message.empty() ? Files::SystemErrorText(file.result.error) : file.result.message);
        } else {
            kept.emplace_back(file.path, Files::ActionOutcomeText(file.result.outcome));
        }
    }
    AppendListing(lines, u"次のファイルはそのままです："_s, kept);
    AppendListing(lines, u"次のファイルを処理できません："_s, failed);
    AppendListing(lines, QString::fromUtf16(kLeftoverHeading), leftovers);
    if (!report.journalError.Ok())
        lines << u"整理の記録を書き込めません："_s + QString::fromStdString(Files::SystemErrorText(report.journalError));
    const QString text = lines.join(u'\n');
    if (failed.empty() && leftovers.empty() && report.journalError.Ok())
        TheDesktop().Information(text);
    else
        TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText(text.toStdString())));
}

void ReportUndo(const Check::UndoResult& result)
{
    std::size_t back = 0;
    LeftFiles notBack;
    LeftFiles failed;
    LeftFiles leftovers;
    for (const Check::UndoneFile& file : result.files) {
        if (!file.leftover.empty())
            leftovers.emplace_back(file.leftover, leftoverOf(file.path));
        switch (file.outcome) {
        case Check::UndoOutcome::Restored:
        case Check::UndoOutcome::AlreadyBack:
        case Check::UndoOutcome::NothingToUndo:
            ++back;
            break;
        case Check::UndoOutcome::Failed:
            failed.emplace_back(file.path,
                file.message.empty() ? Files::SystemErrorText(file.error) : file.message);
            break;
        default:
            notBack.emplace_back(file.path, Check::UndoOutcomeText(file.outcome));
            break;
        }
    }
    QStringList lines;
    lines << u"元に戻したファイル：%1 個"_s.arg(result.restored);
    if (back > result.restored)
        lines << u"すでに元の場所にあるファイル：%1 個"_s.arg(back - result.restored);
    AppendListing(lines, u"次のファイルは元に戻しませんでした："_s, notBack);
    AppendListing(lines, u"次のファイルを元に戻せません："_s, failed);
    AppendListing(lines, QString::fromUtf16(kLeftoverHeading), leftovers);
    const QString text = lines.join(u'\n');
    if (failed.empty() && leftovers.empty())
        TheDesktop().Information(text);
    else
        TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText(text.toStdString())));
}
