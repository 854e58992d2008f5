// Anchors: controls placed at fixed positions that follow their form's edges as it grows.
#include "ui/Anchors.h"

#include <QEvent>

#include <algorithm>

Anchors::Anchors(QWidget* form)
    : QObject(form)
    , m_form(form)
    , m_designed(form->size())
{
    form->setMinimumSize(m_designed);
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    form->installEventFilter(this);
}

void Anchors::Anchor(QWidget* control, Qt::Edges edges)
{
    m_items.push_back({ control, control->geometry(), edges });
    place(m_items.back(), m_form->size() - m_designed);
}

bool Anchors::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_form && event->type() == QEvent::Resize) {
        const QSize grown = m_form->size() - m_designed;
        for (const Item& item : m_items)
            place(item, grown);
    }
    return QObject::eventFilter(watched, event);
}

void Anchors::place(const Item& item, QSize grown) const
{
    if (!item.control)
        return;
    // A size the form's own code gave the control later (a label fitted to a new text)
    // stays, along any axis the control does not stretch on.
    QRect rect(item.designed.topLeft(), item.control->size());
    if ((item.edges & Qt::LeftEdge) && (item.edges & Qt::RightEdge))
        rect.setWidth(item.designed.width());
    if ((item.edges & Qt::TopEdge) && (item.edges & Qt::BottomEdge))
        rect.setHeight(item.designed.height());
    if (item.edges & Qt::RightEdge) {
        if (item.edges & Qt::LeftEdge)
            rect.setWidth(std::max(0, rect.width() + grown.width()));
        else
            rect.translate(grown.width(), 0);
    }
    if (item.edges & Qt::BottomEdge) {
        if (item.edges & Qt::TopEdge)
            rect.setHeight(std::max(0, rect.height() + grown.height()));
        else
            rect.translate(0, grown.height());
    }
    item.control->setGeometry(rect);
}
