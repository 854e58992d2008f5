// Desktop: the installed Desktop, opening files through it, Qt's Japanese texts and the
// busy cursor.
#include "ui/Desktop.h"

#include "scan/FileError.h"
#include "scan/Platform.h"
#include "ui/PathDisplay.h"
#include "ui/Settings.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::Literals::StringLiterals;

namespace {

std::unique_ptr<Desktop>& installedDesktop()
{
    static std::unique_ptr<Desktop> desktop;
    return desktop;
}

} // namespace

Desktop& TheDesktop()
{
    std::unique_ptr<Desktop>& desktop = installedDesktop();
    if (!desktop)
        desktop = CreatePlatformDesktop();
    return *desktop;
}

void SetDesktop(std::unique_ptr<Desktop> d) { installedDesktop() = std::move(d); }

bool PickFolder(const QString& title, std::string& folder)
{
    if (!Platform::IsDirectory(folder))
        folder.clear();
    return TheDesktop().BrowseFolder(title, folder);
}

std::string StartFolder(Settings::FolderDialog dialog)
{
    const std::string last = Settings::LastFolder(dialog);
    return Platform::IsDirectory(last) ? last : PathFromUser(QDir::homePath());
}

bool PickFolder(const QString& title, Settings::FolderDialog dialog, std::string& folder)
{
    folder = StartFolder(dialog);
    if (!PickFolder(title, folder))
        return false;
    Settings::SetLastFolder(dialog, folder);
    return true;
}

void OpenWithAssociatedProgram(const std::string& path)
{
    switch (TheDesktop().ShellOpen(path)) {
    case ShellOpenResult::Opened:
        return;
    case ShellOpenResult::NotFound:
        throw Files::FileError(Files::OpenErrorText(path));
    case ShellOpenResult::NoProgram:
        throw Files::FileError("ファイル " + path + " を開くプログラムがありません");
    case ShellOpenResult::NotStarted:
        break;
    }
    throw Files::FileError("ファイル " + path + " を開くプログラムを起動できません");
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

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }
