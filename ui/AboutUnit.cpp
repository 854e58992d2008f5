// AboutUnit: the About box TAboutBox.
#include "ui/AboutUnit.h"

#include "ui/FormLook.h"

#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
{
    setupUi(this);
    setWindowFlags(kDialogFlags);
    setFont(FormFont());
    // Drawn at the label's size in device pixels, so the banner stays sharp.
    ProgramIcon->setAttribute(Qt::WA_TranslucentBackground);
    ProgramIcon->setPixmap(QIcon(u":/banner.svg"_s).pixmap(QSize(250, 32), devicePixelRatioF()));

    QFont versionFont = FormFont();
    versionFont.setPixelSize(16);
    versionFont.setBold(true);
    Version->setFont(versionFont);
    QPalette versionPalette = Version->palette();
    versionPalette.setColor(QPalette::WindowText, QColor(0, 128, 0));
    Version->setPalette(versionPalette);
    // The bold face at hand may run a little wider than the box drawn for it.
    for (int stretch = 98; stretch >= 80 && Version->sizeHint().width() > Version->width(); stretch -= 2) {
        versionFont.setStretch(stretch);
        Version->setFont(versionFont);
    }

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    CentreOnScreen(this);
}

void TAboutBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
