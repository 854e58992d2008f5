// main: starts the application and runs the main window until it closes.
#include "scan/Platform.h"
#include "ui/Desktop.h"
#include "ui/FormLook.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QIcon>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char* argv[])
{
    // First: so that the room a large folder's listing frees can go back to the system.
    Platform::UseOneHeap();
    QApplication app(argc, argv);
    // Ties the window to its menu entry, so the desktop shows the entry's name and icon.
    QGuiApplication::setDesktopFileName(u"io.github.tessarin.Tessarin"_s);
    SetAppTitleFromExecutable(QCoreApplication::applicationFilePath());
    InstallQtJapaneseTranslation(app);
    QApplication::setWindowIcon(QIcon(u":/tessarin.svg"_s));
    TForm1 form;
    form.show();
    return QApplication::exec();
}
