// PathDisplay: path bytes to readable text and back.
#include "ui/PathDisplay.h"

#include "scan/PathText.h"

#include <QFile>

QString PathToDisplay(const std::string& path) { return QString::fromUtf8(FileScan::DisplayPath(path)); }

std::string PathFromUser(const QString& text) { return QFile::encodeName(text).toStdString(); }

std::string PathFromDisplay(const QString& text) { return FileScan::PathFromDisplayText(PathFromUser(text)); }
