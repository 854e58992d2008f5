// Desktop: the modal boxes and the platform dialogs behind one interface that tests
// replace, and the busy cursor shown while the windows wait.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class QCoreApplication;
namespace Settings {
enum class FolderDialog;
}

// What became of asking the desktop to open a file.
enum class ShellOpenResult {
    Opened, // a program took it
    NotFound, // the file is gone or cannot be read
    NoProgram, // the desktop has no program for its type
    NotStarted, // the program failed to start
};

// Desktop: the modal boxes and the platform dialogs, behind one interface that tests replace.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Shows a modal, centred box captioned AppTitle() with a single "OK" (also Esc) and no icon.
    virtual void Information(const QString& text) = 0;
    // Asks in a box captioned "確認" with a question icon; "はい(&Y)" (the default) gives
    // true, "キャンセル" (also Esc and the close box) gives false.
    virtual bool Confirm(const QString& text) = 0;
    // Asks like Confirm, but with "キャンセル" as the default button.
    virtual bool ConfirmDefaultCancel(const QString& text) = 0;
    // Shows text as given in a box captioned AppTitle() with the stop icon and "OK".
    virtual void Error(const QString& text) = 0;
    // Asks for one line with the whole defaultText pre-filled and its first selected
    // characters selected (all of it when selected is negative or larger);
    // returns the text on "OK", defaultText on "キャンセル", Esc or the close box.
    virtual QString InputBox(
        const QString& caption, const QString& prompt, const QString& defaultText, qsizetype selected)
        = 0;
    // Shows the multi-select open-file dialog. filter is "description|patterns" with the
    // patterns separated by ";"; fileName pre-fills the name box and on success becomes the
    // first chosen path. Returns false when cancelled or nothing was chosen.
    virtual bool OpenFiles(const QString& filter, std::string& fileName, std::vector<std::string>& chosen)
        = 0;
    // Shows the save-file dialog captioned caption with the name filters ("CSV (*.csv)");
    // a name typed without an extension gets the selected filter's, and the dialog itself
    // asks before an existing file is replaced. fileName pre-fills the name and receives
    // the choice; filter selects a filter by index and receives the one chosen. Returns
    // false when cancelled.
    virtual bool SaveFile(
        const QString& caption, const QStringList& filters, std::string& fileName, int& filter)
        = 0;
    // Lets the user choose a folder (directories only) while the application's windows are
    // blocked; folder pre-selects when not empty and receives the choice. False on cancel.
    virtual bool BrowseFolder(const QString& title, std::string& folder) = 0;
    // Asks the desktop to open path with its associated program.
    virtual ShellOpenResult ShellOpen(const std::string& path) = 0;
};

// Returns the installed Desktop: the platform one unless a test installed another.
Desktop& TheDesktop();
// Replaces the installed Desktop (tests install a scripted fake); null restores the platform one.
void SetDesktop(std::unique_ptr<Desktop> d);
// Creates the platform implementation (one back end per platform, chosen by the build).
std::unique_ptr<Desktop> CreatePlatformDesktop();
// Shows the folder chooser of TheDesktop() with title, starting in folder when that is an
// existing directory; on success sets folder and returns true.
bool PickFolder(const QString& title, std::string& folder);
// Same, starting in the folder last chosen in dialog (at home the first time, or when that
// folder is gone), and remembering the choice.
bool PickFolder(const QString& title, Settings::FolderDialog dialog, std::string& folder);
// Returns the folder dialog starts in: the one last chosen there if it still exists, else home.
std::string StartFolder(Settings::FolderDialog dialog);

// Opens path with its associated program through TheDesktop(); throws Files::FileError
// with the reason when no program took it.
void OpenWithAssociatedProgram(const std::string& path);

// Loads Qt's own Japanese texts so that the platform dialogs read in Japanese. Returns
// false when the translation is not installed.
bool InstallQtJapaneseTranslation(QCoreApplication& app);

// Shows the busy cursor over the application's windows for the guard's lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
