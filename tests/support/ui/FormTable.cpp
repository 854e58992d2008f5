// FormTable: a form's controls as a table, checked against the real form.
#include "support/ui/FormTable.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

namespace {

// Returns the caption of a control that has one, or a null string.
QString CaptionOf(const QWidget& control)
{
    if (const auto* label = qobject_cast<const QLabel*>(&control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control))
        return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(&control))
        return edit->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(&control))
        return group->title();
    return {};
}

// The checks of one row, as a function of its own so that QCOMPARE can return from it.
void CheckRow(QWidget& form, const ControlRow& row)
{
    const QString name = QString::fromLatin1(row.name);
    const auto* control = form.findChild<QWidget*>(name);
    QVERIFY2(control, row.name);
    if (row.mayWiden) {
        QCOMPARE(control->pos(), row.geometry.topLeft());
        QCOMPARE(control->height(), row.geometry.height());
        QVERIFY2(control->width() == row.geometry.width()
                || (control->width() > row.geometry.width()
                    && control->geometry().right() < form.width()),
            row.name);
    } else {
        QCOMPARE(control->geometry(), row.geometry);
    }
    if (row.caption)
        QCOMPARE(CaptionOf(*control), QString::fromUtf8(row.caption));
    if (row.parent)
        QCOMPARE(control->parentWidget()->objectName(), QString::fromLatin1(row.parent));
}

} // namespace

void CheckControls(QWidget& form, std::initializer_list<ControlRow> rows)
{
    for (const ControlRow& row : rows) {
        CheckRow(form, row);
        if (QTest::currentTestFailed())
            return;
    }
}

void CheckFixedDialog(QWidget& form, const char* title, QSize size)
{
    QCOMPARE(form.windowTitle(), QString::fromUtf8(title));
    QCOMPARE(form.size(), size);
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
}

void CheckGrowingForm(QWidget& form, QSize size, QSize grown, std::initializer_list<ControlRow> rows)
{
    QCOMPARE(form.size(), size);
    QCOMPARE(form.minimumSize(), size);
    QVERIFY(form.maximumWidth() >= grown.width() && form.maximumHeight() >= grown.height());
    form.resize(grown);
    CheckControls(form, rows);
    form.resize(size);
}
