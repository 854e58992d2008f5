// BenchDesktop: the Desktop of the window benchmarks: the folder chooser answers with one
// folder, every box is answered yes and errors go to standard error.
#pragma once

#include "ui/Desktop.h"

#include <cstdio>
#include <string>
#include <vector>

class FolderDesktop final : public Desktop {
public:
    std::string folder;
    void Information(const QString&) override { }
    bool Confirm(const QString&) override { return true; }
    bool ConfirmDefaultCancel(const QString&) override { return true; }
    void Error(const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    QString InputBox(const QString&, const QString&, const QString& defaultText, qsizetype) override
    {
        return defaultText;
    }
    bool OpenFiles(const QString&, std::string&, std::vector<std::string>&) override { return false; }
    bool SaveFile(const QString&, const QStringList&, std::string&, int&) override { return false; }
    bool BrowseFolder(const QString&, std::string& chosen) override
    {
        chosen = folder;
        return true;
    }
    ShellOpenResult ShellOpen(const std::string&) override { return ShellOpenResult::Opened; }
};
