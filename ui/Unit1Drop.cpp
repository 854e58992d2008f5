// Unit1Drop: files and folders dropped on TForm1, taken as their own path bytes.
// Commands: DropFiles (refused, as the add commands are, while a check runs).
#include "ui/Unit1.h"

#include "ui/CandidateList.h"
#include "ui/PathDisplay.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace {

const char* const kUriListFormat = "text/uri-list";

// Returns the local path bytes of one line of a text/uri-list, or "" when the line is
// no local file URL. The percent escapes are decoded byte for byte, so names that are
// not UTF-8 and paths of any length arrive unchanged.
std::string localPathOfUri(QByteArray line)
{
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#'))
        return {};
    if (!line.left(5).toLower().startsWith("file:"))
        return {};
    QByteArray rest = line.mid(5);
    if (rest.startsWith("//")) {
        const qsizetype slash = rest.indexOf('/', 2);
        if (slash < 0)
            return {};
        const QByteArray host = rest.mid(2, slash - 2).toLower();
        if (!host.isEmpty() && host != "localhost")
            return {};
        rest = rest.mid(slash);
    }
    // A raw "?" or "#" starts the query or fragment; in names they arrive escaped.
    const qsizetype end = std::min(rest.indexOf('?') < 0 ? rest.size() : rest.indexOf('?'),
        rest.indexOf('#') < 0 ? rest.size() : rest.indexOf('#'));
    const QByteArray path = QByteArray::fromPercentEncoding(rest.left(end));
    if (!path.startsWith('/') || path.contains('\0'))
        return {};
    return path.toStdString();
}

std::vector<std::string> droppedPaths(const QMimeData& data)
{
    std::vector<std::string> paths;
    if (data.hasFormat(QString::fromLatin1(kUriListFormat))) {
        const QByteArray list = data.data(QString::fromLatin1(kUriListFormat));
        for (const QByteArray& line : list.split('\n')) {
            std::string path = localPathOfUri(line);
            if (!path.empty())
                paths.push_back(std::move(path));
        }
        return paths;
    }
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            paths.push_back(PathFromUser(url.toLocalFile()));
    }
    return paths;
}

} // namespace

bool TForm1::acceptsDrop(const QMimeData* data) const
{
    return !busy() && data && (data->hasFormat(QString::fromLatin1(kUriListFormat)) || data->hasUrls());
}

void TForm1::DropFiles(const QMimeData& data)
{
    RunCommand([&] {
        m_candidates->Append(droppedPaths(data));
        RefreshCount();
    });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (!acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    DropFiles(*event->mimeData());
}
