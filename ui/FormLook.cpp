// FormLook: the application title, the form font, centring, and the classic look of flat
// buttons, group boxes and tree lines.
#include "ui/FormLook.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

QString& titleStore()
{
    static QString title;
    return title;
}

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

QString AppTitle() { return titleStore(); }

void SetAppTitleFromExecutable(const QString& executablePath)
{
    QString name = executablePath;
    const qsizetype separator = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    name = name.mid(separator + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    titleStore() = name.left(1) + name.mid(1).toLower();
}

QFont FormFont()
{
    QFont font;
    // The proportional Gothic first; the others are the usual Japanese faces of a Linux
    // desktop. Naming them keeps Han characters in their Japanese forms.
    font.setFamilies({ u"ＭＳ Ｐゴシック"_s, u"IPAPGothic"_s, u"Noto Sans CJK JP"_s, u"Noto Sans JP"_s });
    font.setPixelSize(12);
    return font;
}

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), window->size());
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

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
