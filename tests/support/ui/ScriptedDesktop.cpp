// ScriptedDesktop: scripted answers and call records for the window tests.
#include "support/ui/ScriptedDesktop.h"

#include "ui/PathDisplay.h"
#include "ui/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The trash, the settings and the journals of the test process live in a folder of its own, so
// that no test touches the user's; set before anything reads them.
struct PrivateHome {
    QTemporaryDir dir;
    PrivateHome()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(u"data"_s)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(u"config"_s)));
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(u"state"_s)));
    }
};
const PrivateHome privateHome;

} // namespace

void ScriptedDesktop::ClearRecords()
{
    calls.clear();
    informations.clear();
    confirms.clear();
    errors.clear();
    inputs.clear();
    opens.clear();
    saves.clear();
    browses.clear();
    shellOpened.clear();
}

void ScriptedDesktop::record(const QString& kind, const QString& text)
{
    calls.push_back({ kind, text });
    if (onCall)
        onCall(kind);
}

void ScriptedDesktop::unscripted(const QString& kind)
{
    const QByteArray message = "unscripted call of ScriptedDesktop::" + kind.toUtf8();
    QTest::qFail(message.constData(), __FILE__, __LINE__);
}

void ScriptedDesktop::Information(const QString& text)
{
    informations << text;
    record(u"Information"_s, text);
}

bool ScriptedDesktop::confirm(const QString& kind, const QString& text)
{
    confirms << text;
    record(kind, text);
    if (confirmAnswers.empty()) {
        unscripted(kind);
        return false;
    }
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

bool ScriptedDesktop::Confirm(const QString& text) { return confirm(u"Confirm"_s, text); }

bool ScriptedDesktop::ConfirmDefaultCancel(const QString& text)
{
    return confirm(u"ConfirmDefaultCancel"_s, text);
}

void ScriptedDesktop::Error(const QString& text)
{
    errors << text;
    record(u"Error"_s, text);
}

QString ScriptedDesktop::InputBox(
    const QString& caption, const QString& prompt, const QString& defaultText, qsizetype selected)
{
    inputs.push_back({ caption, prompt, defaultText, selected });
    record(u"InputBox"_s, prompt);
    QString answer;
    return takeAnswer(inputAnswers, u"InputBox"_s, answer) ? answer : defaultText;
}

bool ScriptedDesktop::OpenFiles(
    const QString& filter, std::string& fileName, std::vector<std::string>& chosen)
{
    opens.push_back({ filter, fileName });
    record(u"OpenFiles"_s, filter);
    std::vector<std::string> answer;
    if (!takeAnswer(openAnswers, u"OpenFiles"_s, answer) || answer.empty())
        return false;
    chosen = answer;
    fileName = chosen.front();
    return true;
}

bool ScriptedDesktop::SaveFile(
    const QString& caption, const QStringList& filters, std::string& fileName, int& filter)
{
    saves.push_back({ caption, filters, fileName, filter });
    record(u"SaveFile"_s, caption);
    SaveAnswer answer;
    if (!takeAnswer(saveAnswers, u"SaveFile"_s, answer))
        return false;
    fileName = answer.fileName;
    filter = answer.filter;
    return true;
}

bool ScriptedDesktop::BrowseFolder(const QString& title, std::string& folder)
{
    browses.push_back({ title, folder });
    record(u"BrowseFolder"_s, title);
    std::string answer;
    if (!takeAnswer(folderAnswers, u"BrowseFolder"_s, answer))
        return false;
    folder = answer;
    return true;
}

ShellOpenResult ScriptedDesktop::ShellOpen(const std::string& path)
{
    shellOpened.push_back(path);
    record(u"ShellOpen"_s, PathToDisplay(path));
    if (shellOpenAnswers.empty())
        return ShellOpenResult::Opened;
    const ShellOpenResult answer = shellOpenAnswers.front();
    shellOpenAnswers.pop_front();
    return answer;
}

ScriptedDesktop& InstallScriptedDesktop()
{
    // Every test starts with deletions for good, as the windows' own texts say them,
    // and with the bulk clean's defaults.
    Settings::SetUseTrash(false);
    Settings::SetProtectedFolders({});
    Settings::SetKeepRules({});
    Settings::SetExclusions({});
    QFile::remove(QFile::decodeName(QByteArray::fromStdString(Settings::NotDuplicatesFile())));
    auto desktop = std::make_unique<ScriptedDesktop>();
    ScriptedDesktop& installed = *desktop;
    SetDesktop(std::move(desktop));
    return installed;
}
