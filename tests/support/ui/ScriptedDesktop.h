// ScriptedDesktop: the Desktop of the window tests. It answers the boxes and dialogs from
// queues the test fills beforehand and records every call.
//
//     ScriptedDesktop& desktop = InstallScriptedDesktop();   // replaces TheDesktop()
//     desktop.confirmAnswers.push_back(false);                // next Confirm: "キャンセル"
//     desktop.folderAnswers.push_back(dir.path().toStdString()); // next BrowseFolder: this folder
//     form.btnAddFolderClick();
//     QCOMPARE(desktop.browses.at(0).title, u"画像のフォルダを指定"_s);
//
// A call whose queue is empty fails the running test (QTest::qFail) and gets the cancel
// answer, so a box nobody expected never goes unnoticed. Information and Error need no
// answers; they are only recorded, and ShellOpen opens unless told otherwise.
#pragma once

#include "ui/Desktop.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ScriptedDesktop final : public Desktop {
public:
    // Answers, taken from the front.
    std::deque<bool> confirmAnswers; // Confirm and ConfirmDefaultCancel alike; true = "はい(&Y)"
    std::deque<std::optional<QString>> inputAnswers; // InputBox; nullopt = cancelled
    std::deque<std::optional<std::vector<std::string>>> openAnswers; // OpenFiles; nullopt = cancelled
    std::deque<std::optional<std::string>> folderAnswers; // BrowseFolder; nullopt = cancelled
    struct SaveAnswer {
        std::string fileName;
        int filter = 0;
    };
    std::deque<std::optional<SaveAnswer>> saveAnswers; // SaveFile; nullopt = cancelled
    std::deque<ShellOpenResult> shellOpenAnswers; // ShellOpen; Opened once empty

    // Records, in call order.
    struct Call {
        QString kind; // "Information", "Confirm", "ConfirmDefaultCancel", "Error", "InputBox",
                      // "OpenFiles", "SaveFile", "BrowseFolder", "ShellOpen"
        QString text; // the message, prompt, filter, title or path shown
    };
    struct InputCall {
        QString caption;
        QString prompt;
        QString defaultText;
        qsizetype selected = -1;
    };
    struct OpenCall {
        QString filter;
        std::string fileName; // the name box's pre-fill as passed in
    };
    struct SaveCall {
        QString caption;
        QStringList filters;
        std::string fileName; // as passed in
        int filter = 0; // as passed in
    };
    struct BrowseCall {
        QString title;
        std::string folder; // as passed in
    };
    std::vector<Call> calls;
    QStringList informations;
    QStringList confirms; // texts of Confirm and ConfirmDefaultCancel
    QStringList errors;
    std::vector<InputCall> inputs;
    std::vector<OpenCall> opens;
    std::vector<SaveCall> saves;
    std::vector<BrowseCall> browses;
    std::vector<std::string> shellOpened;

    // Runs at every call before it is answered, with the call's kind; lets a test act
    // "while the box is open" (for example press Cancel of a running check).
    std::function<void(const QString& kind)> onCall;

    // Forgets the records (the answer queues stay).
    void ClearRecords();

    void Information(const QString& text) override;
    bool Confirm(const QString& text) override;
    bool ConfirmDefaultCancel(const QString& text) override;
    void Error(const QString& text) override;
    QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText,
        qsizetype selected) override;
    bool OpenFiles(const QString& filter, std::string& fileName, std::vector<std::string>& chosen) override;
    bool SaveFile(
        const QString& caption, const QStringList& filters, std::string& fileName, int& filter) override;
    bool BrowseFolder(const QString& title, std::string& folder) override;
    ShellOpenResult ShellOpen(const std::string& path) override;

private:
    void record(const QString& kind, const QString& text);
    void unscripted(const QString& kind);
    bool confirm(const QString& kind, const QString& text);
    // Takes the next answer from queue into answer; false when it is "cancelled" or the
    // queue is empty, which is an unscripted call of kind.
    template <typename T> bool takeAnswer(std::deque<std::optional<T>>& queue, const QString& kind, T& answer)
    {
        if (queue.empty()) {
            unscripted(kind);
            return false;
        }
        const bool given = queue.front().has_value();
        if (given)
            answer = std::move(*queue.front());
        queue.pop_front();
        return given;
    }
};

// Installs a fresh ScriptedDesktop as TheDesktop() and returns it; it stays installed until
// the next call or SetDesktop(nullptr). Also turns the trash off, so that a test starts
// with deletions for good, empties the bulk clean's settings and the exclusions, and
// forgets the groups marked as not duplicates; the test process's
// trash, settings and journals live in a temporary folder of its own (XDG_DATA_HOME,
// XDG_CONFIG_HOME, XDG_STATE_HOME).
ScriptedDesktop& InstallScriptedDesktop();
