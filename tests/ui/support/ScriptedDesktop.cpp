// ScriptedDesktop: scripted answers and call records for the window tests.
#include "ui/support/ScriptedDesktop.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

void ScriptedDesktop::ClearRecords()
{
    calls.clear();
    informations.clear();
    confirms.clear();
    errors.clear();
    inputs.clear();
    opens.clear();
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
    if (allowUnscripted)
        return;
    const QByteArray message = "unscripted call of ScriptedDesktop::" + kind.toUtf8();
    QTest::qFail(message.constData(), __FILE__, __LINE__);
}

void ScriptedDesktop::Information(const QString& text)
{
    informations << text;
    record(u"Information"_s, text);
}

bool ScriptedDesktop::Confirm(const QString& text)
{
    confirms << text;
    record(u"Confirm"_s, text);
    if (confirmAnswers.empty()) {
        unscripted(u"Confirm"_s);
        return false;
    }
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

bool ScriptedDesktop::ConfirmDefaultCancel(const QString& text)
{
    confirms << text;
    record(u"ConfirmDefaultCancel"_s, text);
    if (confirmAnswers.empty()) {
        unscripted(u"ConfirmDefaultCancel"_s);
        return false;
    }
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
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
    if (inputAnswers.empty()) {
        unscripted(u"InputBox"_s);
        return defaultText;
    }
    const std::optional<QString> answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer ? answer->left(255) : defaultText;
}

bool ScriptedDesktop::OpenFiles(
    const QString& filter, std::string& fileName, std::vector<std::string>& chosen)
{
    opens.push_back({ filter, fileName });
    record(u"OpenFiles"_s, filter);
    if (openAnswers.empty()) {
        unscripted(u"OpenFiles"_s);
        return false;
    }
    const std::optional<std::vector<std::string>> answer = openAnswers.front();
    openAnswers.pop_front();
    if (!answer || answer->empty())
        return false;
    chosen = *answer;
    fileName = chosen.front();
    return true;
}

bool ScriptedDesktop::BrowseFolder(const QString& title, std::string& folder)
{
    browses.push_back({ title, folder });
    record(u"BrowseFolder"_s, title);
    if (folderAnswers.empty()) {
        unscripted(u"BrowseFolder"_s);
        return false;
    }
    const std::optional<std::string> answer = folderAnswers.front();
    folderAnswers.pop_front();
    if (!answer)
        return false;
    folder = *answer;
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
    auto desktop = std::make_unique<ScriptedDesktop>();
    ScriptedDesktop& installed = *desktop;
    SetDesktop(std::move(desktop));
    return installed;
}
