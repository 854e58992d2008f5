// Desktop: the installed Desktop, the application title, the form font and path texts.
#include "ui/Desktop.h"

#include "scan/FileScan.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace {

std::unique_ptr<Desktop>& InstalledDesktop()
{
    static std::unique_ptr<Desktop> desktop;
    return desktop;
}

QString& TitleStore()
{
    static QString title;
    return title;
}

// Length of the well-formed UTF-8 sequence at text[k], or 0 when it is not one.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t k)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(k);
    std::size_t length = 0;
    char32_t min = 0;
    char32_t code = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (k + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(k + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(k + i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

Desktop& TheDesktop()
{
    std::unique_ptr<Desktop>& desktop = InstalledDesktop();
    if (!desktop)
        desktop = CreatePlatformDesktop();
    return *desktop;
}

void SetDesktop(std::unique_ptr<Desktop> d) { InstalledDesktop() = std::move(d); }

void InstallFolderBrowser()
{
    FileScan::SetFolderBrowser([](const std::string& title, std::string& folder) {
        return TheDesktop().BrowseFolder(QString::fromUtf8(title), folder);
    });
}

void OpenWithAssociatedProgram(const std::string& path)
{
    switch (TheDesktop().ShellOpen(path)) {
    case ShellOpenResult::Opened:
        return;
    case ShellOpenResult::NotFound:
        throw FileScan::FileError(FileScan::OpenErrorText(path));
    case ShellOpenResult::NoProgram:
        throw FileScan::FileError("ファイル " + path + " を開くプログラムがありません");
    case ShellOpenResult::NotStarted:
        break;
    }
    throw FileScan::FileError("ファイル " + path + " を開くプログラムを起動できません");
}

QString AppTitle() { return TitleStore(); }

void SetAppTitleFromExecutable(const QString& executablePath)
{
    QString name = executablePath;
    const qsizetype separator = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    name = name.mid(separator + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    TitleStore() = name.left(1) + name.mid(1).toLower();
}

bool InstallQtJapaneseTranslation(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(u"qtbase_ja"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

QFont FormFont()
{
    QFont font;
    // The proportional Gothic first; the others are the usual Japanese faces of a Linux
    // desktop. Naming them keeps Han characters in their Japanese forms.
    font.setFamilies({ u"ＭＳ Ｐゴシック"_s, u"IPAPGothic"_s, u"Noto Sans CJK JP"_s, u"Noto Sans JP"_s });
    font.setPixelSize(12);
    return font;
}

QString PathToDisplay(const std::string& path)
{
    QString text;
    text.reserve(static_cast<qsizetype>(path.size()));
    std::size_t runStart = 0;
    std::size_t k = 0;
    const auto flushRun
        = [&] { text += QString::fromUtf8(path.data() + runStart, static_cast<qsizetype>(k - runStart)); };
    while (k < path.size()) {
        const auto byte = static_cast<unsigned char>(path[k]);
        const std::size_t length = Utf8SequenceLength(path, k);
        if (length != 0 && byte >= 0x20 && byte != 0x7F) {
            k += length;
            continue;
        }
        flushRun();
        text += u"\\x"_s + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
        runStart = ++k;
    }
    flushRun();
    return text;
}

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

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), window->size());
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }
