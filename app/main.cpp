// main: starts the application and runs the main window until it closes.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tessarin"));
    window.resize(710, 400);
    window.show();
    return QApplication::exec();
}
