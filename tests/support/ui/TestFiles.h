// TestFiles: real files with byte-string names for the window tests, and synthetic drops.
#pragma once

#include "support/TempDir.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

class QWidget;

// Creates (or replaces) the file path with content; creates missing parent folders.
// Fails the running test when it cannot.
std::string WriteTestFile(const std::string& path, const std::string& content);
// Same for a path given as text (encoded as the file system wants); ends the test run
// when it cannot.
std::string WriteTestFile(const QString& path, const QByteArray& content);
// Returns the bytes of the file at path, or "(missing)".
QByteArray ReadTestFile(const std::string& path);
// Creates the folder path and its missing parents.
std::string MakeTestFolder(const std::string& path);
// Sets the modification time of path to seconds since the epoch; fails the test when it cannot.
void SetModifiedTime(const std::string& path, long long seconds);
// Returns where the trash of the test's XDG_DATA_HOME keeps a file named name.
std::string TrashedPath(const std::string& name);
// Files with second names, made below root: a.jpg with hard links hard.jpg and
// sub/hard2.jpg, a copy sub/c.jpg, other.jpg, and symbolic links to a file (soft.jpg,
// and chain.jpg through it), to a folder (folder.jpg), to nowhere (dangling.jpg) and to
// itself (loop.jpg).
struct LinkedFolder {
    explicit LinkedFolder(const std::string& root);

    std::string root, a, hard, hardInSub, c, other, soft, chain, folderLink, dangling, loop;
};

// Returns a text/uri-list of file URLs for the paths, percent-encoded byte by byte.
QByteArray UriList(const std::vector<std::string>& paths);
// Sends a drag-enter and, when it was accepted, a drop of a text/uri-list to target;
// returns whether the drop was taken.
bool DropUriList(QWidget* target, const QByteArray& uriList);
