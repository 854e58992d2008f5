// AboutUnit: the About box TAboutBox.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The version box: banner, version and notice, closed by OK, Enter or the close box.
// Esc does nothing, since the box has no cancel button.
class TAboutBox final : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
