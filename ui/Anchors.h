// Anchors: controls placed at fixed positions that follow their form's edges as it grows.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

// Lets a form designed at one size grow: at the designed size every control stays where
// the form puts it; as the form grows, a control anchored to the right (or bottom) edge
// keeps its distance to it, and one anchored to both opposite edges grows with it.
// Controls not anchored stay at their place (left and top). A control may sit in a page
// or a box that itself grows with the form by as much.
class Anchors : public QObject {
public:
    // Makes form resizable down to its current size, which is the designed size.
    explicit Anchors(QWidget* form);
    // Anchors control, which must be at its designed place now.
    void Anchor(QWidget* control, Qt::Edges edges);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        QPointer<QWidget> control;
        QRect designed;
        Qt::Edges edges;
    };
    void place(const Item& item, QSize grown) const;

    QWidget* m_form;
    QSize m_designed;
    std::vector<Item> m_items;
};
