// QtDesktop: the Desktop built from Qt's message boxes, file dialogs and desktop services.
#pragma once

#include "ui/Desktop.h"

class QtDesktop final : public Desktop {
public:
    void Information(const QString& text) override;
    bool Confirm(const QString& text) override;
    bool ConfirmDefaultCancel(const QString& text) override;
    void Error(const QString& text) override;
    QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText) override;
    bool OpenFiles(const QString& filter, std::string& fileName, std::vector<std::string>& chosen) override;
    bool SaveFile(
        const QString& caption, const QStringList& filters, std::string& fileName, int& filter) override;
    bool BrowseFolder(const QString& title, std::string& folder) override;
    void ShellOpen(const std::string& path) override;
};
