// PathDisplay: path bytes to readable text and back.
#include "ui/PathDisplay.h"

#include "scan/PathText.h"

#include <QFile>

QString PathToDisplay(const std::string& path) { return QString::fromUtf8(FileScan::DisplayPath(path)); }

std::string PathFromUser(const QString& text) { return QFile::encodeName(text).toStdString(); }

std::string PathFromDisplay(const QString& text)
{
    const std::string typed = PathFromUser(text);
    std::string path;
    path.reserve(typed.size());
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (std::size_t k = 0; k < typed.size(); ++k) {
        if (typed[k] == '\\' && k + 3 < typed.size() && typed[k + 1] == 'x') {
            const int high = hexValue(typed[k + 2]);
            const int low = hexValue(typed[k + 3]);
            const int byte = high * 16 + low;
            // Only bytes PathToDisplay escapes; "\x41" typed by the user stays text.
            if (high >= 0 && low >= 0 && (byte < 0x20 || byte == 0x7F || byte >= 0x80)) {
                path += static_cast<char>(byte);
                k += 3;
                continue;
            }
        }
        path += typed[k];
    }
    return path;
}
