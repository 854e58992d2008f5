// Unit5: the exclusion settings dialog TForm5: the patterns and size limits the folder
// scan obeys, and the groups marked as not duplicates, any of which it can forget.
#pragma once

#include "check/NotDuplicates.h"
#include "scan/Exclusions.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TForm5;
}

class TForm5 : public QDialog {
    Q_OBJECT

public:
    // Shows rules and the marked groups of list.
    TForm5(const FileScan::ExclusionRules& rules, Check::NotDuplicateList list, QWidget* parent = nullptr);
    ~TForm5() override;

    // The rules as the controls say them: one pattern a line, a size of "なし" no limit.
    FileScan::ExclusionRules Rules() const;
    // The marked groups less those forgotten.
    const Check::NotDuplicateList& List() const { return m_list; }
    bool ListChanged() const { return m_listChanged; }

public slots:
    // Closes with OK unless the maximum size is below the minimum, which a box says.
    void accept() override;

private:
    void forgetGroup();

    std::unique_ptr<Ui::TForm5> m_ui;
    Check::NotDuplicateList m_list;
    bool m_listChanged = false;
};
