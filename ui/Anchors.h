// Anchors: controls placed at fixed positions that follow their form's edges as it grows.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

// Lets a form designed at one size grow: at the designed size every control stays where
// the form puts it; as the control's parent grows, a control anchored to the right (or
// bottom) edge keeps its distance to it, and one anchored to both opposite edges grows
// with the parent. Controls not anchored stay at their place (left and top).
class Anchors : public QObject {
public:
    // Makes form resizable down to its current size, which is the designed size.
    explicit Anchors(QWidget* form);
    // Anchors control, which must be at its designed place in its designed parent now.
    void Anchor(QWidget* control, Qt::Edges edges);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        QPointer<QWidget> control;
        QRect designed;
        QSize parentDesigned;
        Qt::Edges edges;
    };
    void place(const Item& item) const;

    std::vector<Item> m_items;
};
