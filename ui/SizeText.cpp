// SizeText: byte counts as people read them.
#include "ui/SizeText.h"

#include <QLocale>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

QString SizeText(std::uint64_t bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + u" バイト"_s;
    static const char16_t* const kUnits[] = { u"KB", u"MB", u"GB", u"TB", u"PB", u"EB" };
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    // Rounded as shown, so 1023.96 KB reads "1.0 MB", never "1024 KB".
    while (unit + 1 < std::size(kUnits) && std::round(value) >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    const bool decimal = std::round(value * 10.0) < 100.0;
    const QString number = decimal ? QString::number(value, 'f', 1) : QString::number(std::round(value), 'f', 0);
    return number + u' ' + QString::fromUtf16(kUnits[unit]);
}

QString ExactSizeText(std::uint64_t bytes)
{
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    return japanese.toString(static_cast<qulonglong>(bytes)) + u" バイト"_s;
}
