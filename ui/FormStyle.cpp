// FormStyle: the classic look of flat buttons, group boxes and tree lines.
#include "ui/FormStyle.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// The look of the classic Windows controls where the window relies on it: flat buttons
// with glyph and caption centred together, the group box caption on its frame line, and
// the tree's connecting lines and expand boxes. Everything else comes from the
// application's style.
class ClassicFormStyle final : public QProxyStyle {
public:
    ClassicFormStyle()
        : m_classic(QStyleFactory::create(u"Windows"_s))
    {
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override
    {
        if (element == PE_IndicatorBranch && m_classic) {
            m_classic->drawPrimitive(element, option, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override
    {
        const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option);
        if (element != CE_ToolButtonLabel || !button
            || button->toolButtonStyle != Qt::ToolButtonTextBesideIcon || button->icon.isNull()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The base style puts the glyph at the left edge; centre glyph and caption as one.
        QStyleOptionToolButton centred = *button;
        const int content
            = button->iconSize.width() + 4 + button->fontMetrics.horizontalAdvance(button->text);
        const int margin = std::max(0, (button->rect.width() - content) / 2 - 2);
        centred.rect.adjust(margin, 0, -margin, 0);
        QProxyStyle::drawControl(element, &centred, painter, widget);
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
        const QWidget* widget) const override
    {
        if (control == CC_GroupBox && m_classic) {
            m_classic->drawComplexControl(control, option, painter, widget);
            return;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
        const QWidget* widget) const override
    {
        if (control == CC_GroupBox && m_classic)
            return m_classic->subControlRect(control, option, subControl, widget);
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }

private:
    std::unique_ptr<QStyle> m_classic;
};

} // namespace

QStyle* FormStyle()
{
    // Owned by the application, so it outlives every window that uses it.
    static QStyle* style = [] {
        auto* created = new ClassicFormStyle;
        created->setParent(qApp);
        return created;
    }();
    return style;
}
