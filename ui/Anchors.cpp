// Anchors: controls placed at fixed positions that follow their form's edges as it grows.
#include "ui/Anchors.h"

#include <QEvent>

Anchors::Anchors(QWidget* form)
    : QObject(form)
{
    form->setMinimumSize(form->size());
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void Anchors::Anchor(QWidget* control, Qt::Edges edges)
{
    QWidget* parent = control->parentWidget();
    m_items.push_back({ control, control->geometry(), parent->size(), edges });
    // A parent watched for one control is watched for all.
    parent->removeEventFilter(this);
    parent->installEventFilter(this);
}

bool Anchors::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        for (const Item& item : m_items)
            if (item.control && item.control->parentWidget() == watched)
                place(item);
    return QObject::eventFilter(watched, event);
}

void Anchors::place(const Item& item) const
{
    const QSize parent = item.control->parentWidget()->size();
    const int dx = parent.width() - item.parentDesigned.width();
    const int dy = parent.height() - item.parentDesigned.height();
    QRect rect = item.designed;
    if (item.edges & Qt::RightEdge) {
        if (item.edges & Qt::LeftEdge)
            rect.setWidth(std::max(0, rect.width() + dx));
        else
            rect.translate(dx, 0);
    }
    if (item.edges & Qt::BottomEdge) {
        if (item.edges & Qt::TopEdge)
            rect.setHeight(std::max(0, rect.height() + dy));
        else
            rect.translate(0, dy);
    }
    item.control->setGeometry(rect);
}
