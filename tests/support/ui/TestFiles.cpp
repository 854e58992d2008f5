// TestFiles: real files with byte-string names, and synthetic drops.
#include "support/ui/TestFiles.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

std::string MakeTestFolder(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            QTest::qFail(("cannot create folder " + part).c_str(), __FILE__, __LINE__);
        if (slash == std::string::npos)
            break;
    }
    return path;
}

void SetModifiedTime(const std::string& path, long long seconds)
{
    const timespec times[2] = { { seconds, 0 }, { seconds, 0 } };
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        QTest::qFail(("cannot set the time of " + path).c_str(), __FILE__, __LINE__);
}

std::string TrashedPath(const std::string& name)
{
    return qEnvironmentVariable("XDG_DATA_HOME").toStdString() + "/Trash/files/" + name;
}

std::string WriteTestFile(const std::string& path, const std::string& content)
{
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        MakeTestFolder(path.substr(0, slash));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        QTest::qFail(("cannot create file " + path).c_str(), __FILE__, __LINE__);
        return path;
    }
    if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        QTest::qFail(("cannot write file " + path).c_str(), __FILE__, __LINE__);
    ::close(fd);
    return path;
}

std::string WriteTestFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return QFile::encodeName(path).toStdString();
}

QByteArray ReadTestFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

LinkedFolder::LinkedFolder(const std::string& folder)
    : root(MakeTestFolder(folder))
    , a(WriteTestFile(folder + "/a.jpg", "same"))
    , hard(folder + "/hard.jpg")
    , hardInSub(folder + "/sub/hard2.jpg")
    , c(WriteTestFile(folder + "/sub/c.jpg", "same"))
    , other(WriteTestFile(folder + "/other.jpg", "other"))
    , soft(folder + "/soft.jpg")
    , chain(folder + "/chain.jpg")
    , folderLink(folder + "/folder.jpg")
    , dangling(folder + "/dangling.jpg")
    , loop(folder + "/loop.jpg")
{
    const bool made = ::link(a.c_str(), hard.c_str()) == 0 && ::link(a.c_str(), hardInSub.c_str()) == 0
        && ::symlink("a.jpg", soft.c_str()) == 0 && ::symlink("soft.jpg", chain.c_str()) == 0
        && ::symlink("sub", folderLink.c_str()) == 0 && ::symlink("nowhere.jpg", dangling.c_str()) == 0
        && ::symlink("loop.jpg", loop.c_str()) == 0;
    if (!made)
        QTest::qFail("cannot create the links", __FILE__, __LINE__);
}

QByteArray UriList(const std::vector<std::string>& paths)
{
    QByteArray list;
    for (const std::string& path : paths)
        list += "file://" + QByteArray::fromStdString(path).toPercentEncoding("/") + "\r\n";
    return list;
}

bool DropUriList(QWidget* target, const QByteArray& uriList)
{
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), uriList);
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}
