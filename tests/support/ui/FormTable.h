// FormTable: a form's controls as a table (object name, parent, geometry, caption),
// checked against the real form by one function.
#pragma once

#include <QRect>
#include <QSize>

#include <initializer_list>

class QWidget;

struct ControlRow {
    const char* name;
    QRect geometry;
    // The text of a label, button, line edit or check box, or the title of a group
    // box; nullptr leaves it unchecked.
    const char* caption = nullptr;
    // Object name of the parent; nullptr leaves it unchecked.
    const char* parent = nullptr;
    // A label may grow wider than its row, short of the form's width, when a fallback
    // font needs the room.
    bool mayWiden = false;
};

// Checks each row against the child of form with that object name; fails the running
// test at the first difference.
void CheckControls(QWidget& form, std::initializer_list<ControlRow> rows);

// Checks that form is a dialog of that title and fixed size that stays on top.
void CheckFixedDialog(QWidget& form, const char* title, QSize size);
// Checks that form opens at size, cannot shrink below it, and, grown to grown, has the
// rows' controls where they say; then gives it its size back.
void CheckGrowingForm(QWidget& form, QSize size, QSize grown, std::initializer_list<ControlRow> rows);
