// Removal: texts and boxes of the delete commands.
#include "ui/Removal.h"

#include "scan/FileError.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// A box lists at most this many files per kind; the rest are counted.
constexpr std::size_t kListedFiles = 20;

} // namespace

std::string KeepReasonText(Check::KeepReason reason, Platform::Status error)
{
    switch (reason) {
    case Check::KeepReason::Unreadable:
        return Files::SystemErrorText(error);
    case Check::KeepReason::KeptUnreadable:
        return "残すファイルを読み込めません";
    case Check::KeepReason::Differs:
        return "残すファイルと内容が違います";
    case Check::KeepReason::SameFile:
        return "残すファイルと同じファイルです";
    case Check::KeepReason::Changed:
        return "確認の後に変更されました";
    case Check::KeepReason::KeptChanged:
        return "残すファイルが確認の後に変更されました";
    case Check::KeepReason::NoTrash:
        return "ゴミ箱がありません";
    case Check::KeepReason::None:
        break;
    }
    return error.Ok() ? std::string() : Files::SystemErrorText(error);
}

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

void RemovalDone::Went(Files::RemoveMode how) { ++(how == Files::RemoveMode::Trash ? trashed : deleted); }

void RemovalDone::Failed(Files::RemoveMode how, const std::string& path, const std::string& reason)
{
    (how == Files::RemoveMode::Trash ? notTrashed : notDeleted).emplace_back(path, reason);
}

void ReportLeftOnDisk(Files::RemoveMode mode, const RemovalDone& done, QStringList lines)
{
    const QString verb = RemoveVerb(mode);
    AppendListing(lines, u"次のファイルは"_s + verb + u"しませんでした："_s, done.kept);
    AppendListing(lines, u"次のファイルを"_s + verb + u"できません："_s,
        mode == Files::RemoveMode::Trash ? done.notTrashed : done.notDeleted);
    // With the trash on, what failed is the deletion for good asked for after all.
    if (mode == Files::RemoveMode::Trash)
        AppendListing(lines, u"次のファイルを完全に削除できません："_s, done.notDeleted);
    if (lines.isEmpty())
        return;
    const QString text = lines.join(u'\n');
    if (done.notTrashed.empty() && done.notDeleted.empty())
        TheDesktop().Information(text);
    else
        TheDesktop().Error(QString::fromStdString(Files::ErrorBoxText(text.toStdString())));
}

void ReportRemoval(Files::RemoveMode mode, const RemovalDone& done)
{
    QStringList lead;
    if (mode == Files::RemoveMode::Trash && done.deleted > 0)
        lead << u"ゴミ箱に移動したファイル：%1 個"_s.arg(done.trashed) << u"完全に削除したファイル：%1 個"_s.arg(done.deleted);
    ReportLeftOnDisk(mode, done, lead);
}

bool ConfirmPermanentDelete(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return false;
    LeftFiles files;
    for (const std::string& path : paths)
        files.emplace_back(path, KeepReasonText(Check::KeepReason::NoTrash, {}));
    QStringList lines;
    AppendListing(lines, u"次のファイルはゴミ箱に移動できません："_s, files);
    lines << u"完全に削除しますか？"_s;
    return TheDesktop().ConfirmDefaultCancel(lines.join(u'\n'));
}
