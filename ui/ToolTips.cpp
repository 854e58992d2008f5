// ToolTips: the tooltips of files and groups.
#include "ui/ToolTips.h"

#include "scan/FileError.h"
#include "scan/Platform.h"
#include "ui/PathDisplay.h"
#include "ui/SizeText.h"

#include <QDateTime>
#include <QStringList>

#include <cstdint>

using namespace Qt::Literals::StringLiterals;

namespace {

// A path longer than this many characters is shown on several lines.
constexpr qsizetype kLineLength = 80;

QString byteCount(std::uint64_t bytes)
{
    const QString exact = ExactSizeText(bytes);
    if (bytes < 1024)
        return exact;
    return SizeText(bytes) + u"（"_s + exact + u"）"_s;
}

// Breaks the readable path after a "/" wherever a line would grow past kLineLength; a
// longer name stays whole on its own line.
QString wrappedPath(const std::string& path)
{
    const QString text = PathToDisplay(path);
    QStringList lines;
    QString line;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'/', start + 1);
        end = end < 0 ? text.size() : end;
        const QString piece = text.mid(start, end - start);
        if (!line.isEmpty() && line.size() + piece.size() > kLineLength) {
            lines << line;
            line.clear();
        }
        line += piece;
        start = end;
    }
    lines << line;
    return lines.join(u'\n');
}

} // namespace

QString FileToolTip(const std::string& path)
{
    Platform::FileInfo info;
    const Platform::Status error = Platform::Stat(path, info);
    QString text = wrappedPath(path);
    if (!error.Ok()) {
        text += u'\n'
            + (error == Platform::Error::NotFound ? u"ファイルが見つかりません"_s
                               : QString::fromUtf8(Files::SystemErrorText(error)));
        return text;
    }
    // Whole seconds; a time too far off for the clock shows no date.
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(info.mtime.seconds);
    // A dropped folder is listed as it is; its own size means nothing to the user.
    if (info.kind == Platform::EntryKind::Directory)
        text += u"\nフォルダ"_s;
    else
        text += u"\nサイズ："_s + byteCount(info.size);
    text += u"\n更新日時："_s + modified.toString(u"yyyy/MM/dd HH:mm:ss"_s);
    return text;
}

QString GroupToolTip(const std::vector<Check::FoundFile>& files)
{
    QString text = u"ファイル数："_s + QString::number(files.size());
    // The files were found identical: the first one that can still be read speaks for all.
    for (const Check::FoundFile& file : files) {
        Platform::FileInfo info;
        if (!Platform::Stat(file.path, info).Ok() || info.kind != Platform::EntryKind::Regular)
            continue;
        text += u"\nサイズ："_s + byteCount(info.size);
        if (files.size() > 1)
            text += u"\nコピーの容量："_s + byteCount(info.size * (files.size() - 1));
        break;
    }
    return text;
}
