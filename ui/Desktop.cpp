// Desktop: the installed Desktop, the application title, the form font and path texts.
#include "ui/Desktop.h"

#include "scan/FileScan.h"
#include "scan/PathText.h"

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
