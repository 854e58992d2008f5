// AboutUnit: the About box TAboutBox.
#include "ui/AboutUnit.h"

#include "ui/FormLook.h"

#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using namespace Qt::Literals::StringLiterals;

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"AboutBox"_s);
    setWindowTitle(u"バージョン情報"_s);
    setWindowFlags(kDialogFlags);
    setFont(FormFont());
    setFixedSize(350, 100);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(u"ProgramIcon"_s);
    ProgramIcon->setGeometry(5, 5, 250, 32);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setAttribute(Qt::WA_TranslucentBackground);
    ProgramIcon->setPixmap(QIcon(u":/banner.svg"_s).pixmap(QSize(250, 32), devicePixelRatioF()));

    Version = new QLabel(u"ver 0.0.2"_s, this);
    Version->setObjectName(u"Version"_s);
    QFont versionFont = FormFont();
    versionFont.setPixelSize(16);
    versionFont.setBold(true);
    Version->setFont(versionFont);
    QPalette versionPalette = Version->palette();
    versionPalette.setColor(QPalette::WindowText, QColor(0, 128, 0));
    Version->setPalette(versionPalette);
    Version->setGeometry(188, 35, 66, 16);
    // The bold face at hand may run a little wider than the box drawn for it.
    for (int stretch = 98; stretch >= 80 && Version->sizeHint().width() > Version->width(); stretch -= 2) {
        versionFont.setStretch(stretch);
        Version->setFont(versionFont);
    }

    Copyright = new QLabel(u"© Tessarin contributors"_s, this);
    Copyright->setObjectName(u"Copyright"_s);
    Copyright->setGeometry(53, 60, 166, 12);

    OKButton = new QPushButton(u"OK"_s, this);
    OKButton->setObjectName(u"OKButton"_s);
    OKButton->setGeometry(271, 10, 75, 25);
    OKButton->setDefault(true);
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
