// AboutUnit: the About box TAboutBox.
#pragma once

#include "ui_AboutUnit.h"

#include <QDialog>

// The version box: banner, version and notice, closed by OK, Enter or the close box.
// Esc does nothing, since the box has no cancel button. Its controls come from
// AboutUnit.ui under their object names (the public base Ui::TAboutBox).
class TAboutBox final : public QDialog, public Ui::TAboutBox {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
