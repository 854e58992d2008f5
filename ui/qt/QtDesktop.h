// QtDesktop: the Desktop built from Qt's message boxes and file dialogs, opening files
// through GIO.
#pragma once

#include "ui/Desktop.h"

class QtDesktop final : public Desktop {
public:
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
};
