// Unit6: the dialog TForm6 that lists the recorded cleans, newest first, to choose the
// one to undo.
#pragma once

#include "check/Journal.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TForm6;
}

class TForm6 : public QDialog {
    Q_OBJECT

public:
    // Lists journals in the order given (newest first), the first one chosen.
    explicit TForm6(std::vector<Check::JournalSummary> journals, QWidget* parent = nullptr);
    ~TForm6() override;

    // The journal chosen ("" for none).
    std::string Chosen() const;

private:
    std::unique_ptr<Ui::TForm6> m_ui;
    std::vector<Check::JournalSummary> m_journals;
};
