// QtDesktop: the modal boxes and platform dialogs built from Qt's own widgets; files open
// through GIO.
#include "ui/qt/QtDesktop.h"

#include "ui/FormLook.h"
#include "ui/PathDisplay.h"
#include "ui/qt/GioOpen.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// Lifts the busy cursor while a platform dialog is open, so that the user picks files
// with the ordinary pointer; the cursors come back in their order afterwards.
class OverrideCursorPause {
public:
    OverrideCursorPause()
    {
        while (const QCursor* cursor = QApplication::overrideCursor()) {
            m_saved.prepend(*cursor);
            QApplication::restoreOverrideCursor();
        }
    }
    ~OverrideCursorPause()
    {
        for (const QCursor& cursor : m_saved)
            QApplication::setOverrideCursor(cursor);
    }
    OverrideCursorPause(const OverrideCursorPause&) = delete;
    OverrideCursorPause& operator=(const OverrideCursorPause&) = delete;

private:
    QList<QCursor> m_saved;
};

bool askConfirmation(const QString& text, bool cancelIsDefault)
{
    QMessageBox box(QMessageBox::Question, u"確認"_s, text);
    QPushButton* yes = box.addButton(u"はい(&Y)"_s, QMessageBox::YesRole);
    QPushButton* cancel = box.addButton(u"キャンセル"_s, QMessageBox::RejectRole);
    box.setDefaultButton(cancelIsDefault ? cancel : yes);
    // Esc and the close box both answer with the escape button.
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == yes;
}

void showBox(QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, AppTitle(), text);
    QPushButton* ok = box.addButton(u"OK"_s, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

QString qtNameFilter(const QString& filter)
{
    const QString description = filter.section(u'|', 0, 0);
    const QStringList patterns = filter.section(u'|', 1).split(u';', Qt::SkipEmptyParts);
    return description + u" ("_s + patterns.join(u' ') + u')';
}

QString decodedPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// Runs a file dialog with the ordinary pointer; returns the chosen paths, none when cancelled.
std::vector<std::string> chosenPaths(QFileDialog& dialog)
{
    OverrideCursorPause pause;
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(PathFromUser(file));
    return paths;
}

} // namespace

std::unique_ptr<Desktop> CreatePlatformDesktop() { return std::make_unique<QtDesktop>(); }

void QtDesktop::Information(const QString& text) { showBox(QMessageBox::NoIcon, text); }

bool QtDesktop::Confirm(const QString& text) { return askConfirmation(text, false); }

bool QtDesktop::ConfirmDefaultCancel(const QString& text) { return askConfirmation(text, true); }

void QtDesktop::Error(const QString& text) { showBox(QMessageBox::Critical, text); }

QString QtDesktop::InputBox(
    const QString& caption, const QString& prompt, const QString& defaultText, qsizetype selected)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(u"InputBox"_s);
    dialog.setWindowTitle(caption);
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(defaultText, &dialog);
    // No limit of its own: a name cut in the box would rename the file to the cut name.
    if (selected < 0 || selected > defaultText.size())
        edit->selectAll();
    else
        edit->setSelection(0, static_cast<int>(selected));
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(u"OK"_s, QDialogButtonBox::AcceptRole);
    buttons->addButton(u"キャンセル"_s, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(320);
    if (dialog.exec() != QDialog::Accepted)
        return defaultText;
    return edit->text();
}

bool QtDesktop::OpenFiles(const QString& filter, std::string& fileName, std::vector<std::string>& chosen)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // The description already lists the patterns in upper case.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(qtNameFilter(filter));
    if (!fileName.empty())
        dialog.selectFile(decodedPath(fileName));
    std::vector<std::string> files = chosenPaths(dialog);
    if (files.empty())
        return false;
    chosen = std::move(files);
    fileName = chosen.front();
    return true;
}

bool QtDesktop::SaveFile(
    const QString& caption, const QStringList& filters, std::string& fileName, int& filter)
{
    QFileDialog dialog(QApplication::activeWindow(), caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    if (filter >= 0 && filter < filters.size())
        dialog.selectNameFilter(filters[filter]);
    // The extension follows the filter, so that the overwrite question sees the final name.
    const auto useSuffixOf = [&dialog](const QString& nameFilter) {
        const qsizetype star = nameFilter.indexOf(u"*."_s);
        dialog.setDefaultSuffix(star < 0 ? QString() : nameFilter.mid(star + 2).section(u')', 0, 0));
    };
    useSuffixOf(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useSuffixOf);
    if (!fileName.empty())
        dialog.selectFile(decodedPath(fileName));
    const std::vector<std::string> files = chosenPaths(dialog);
    if (files.empty())
        return false;
    fileName = files.front();
    filter = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return true;
}

bool QtDesktop::BrowseFolder(const QString& title, std::string& folder)
{
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Without a folder to show, the chooser starts at the user's home (the desktop's root
    // here), never in whatever folder the program was started from.
    dialog.setDirectory(folder.empty() ? QDir::homePath() : decodedPath(folder));
    const std::vector<std::string> folders = chosenPaths(dialog);
    if (folders.empty())
        return false;
    folder = folders.front();
    return true;
}

ShellOpenResult QtDesktop::ShellOpen(const std::string& path)
{
    switch (GioOpen::OpenWithDefaultProgram(path)) {
    case GioOpen::Outcome::Opened:
        return ShellOpenResult::Opened;
    case GioOpen::Outcome::NotFound:
        return ShellOpenResult::NotFound;
    case GioOpen::Outcome::NoProgram:
        return ShellOpenResult::NoProgram;
    case GioOpen::Outcome::NotStarted:
        break;
    }
    return ShellOpenResult::NotStarted;
}
