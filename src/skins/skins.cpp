#include "skins/skins.h"

#include "settings/settings.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QWidget>

#include <cmath>

// The style sheets live in a static library: their resources are registered by hand.
static void registerSkinResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(skins);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace skins {

namespace {

int currentSkin = -1;

// Fields stay near white in every skin: the program writes some field texts in teal, which
// needs a white ground to stay readable.
struct Look
{
    QRgb window, windowText, base, alternateBase, text, button, buttonText, highlight,
        highlightedText, readOnly, paper, paperButton;
    QRgb band[2];
    QRgb titles;
};

// clang-format off
constexpr Look kLooks[kCount] = {
    // window, windowText, base, alternateBase, text, button, buttonText, highlight,
    // highlightedText, readOnly, paper, paperButton, band, grid titles
    // 黑色经典: charcoal and gold
    {0x202020, 0xeeeeee, 0xffffff, 0xf3efe2, 0x000000, 0x3c3c3c, 0xf4f4f4, 0xd4a017, 0x000000,
     0xd8d2c0, 0xe9e4d4, 0xcfc6a8, {0x333333, 0x1c1c1c}, 0xe9cf7a},
    // 蓝色幻想: cornflower blue
    {0xd6e4f5, 0x0b2545, 0xffffff, 0xe8f0fb, 0x000000, 0xb4cdee, 0x0b2545, 0x2a62b8, 0xffffff,
     0xc9d8ec, 0xe8f0fb, 0xb4cdee, {0xc8dcf5, 0x98bce9}, 0xa6caf0},
    // 梦幻天空: lavender dusk
    {0xefe6fa, 0x3a1c5c, 0xffffff, 0xf6effd, 0x000000, 0xdac6f2, 0x3a1c5c, 0x8a4fc8, 0xffffff,
     0xe0d4ee, 0xf7f0fe, 0xdac6f2, {0xf4e8fc, 0xf6d6ea}, 0xd7c0f0},
    // 黑色遐想: midnight navy and cyan
    {0x171a2b, 0xe4e8ff, 0xffffff, 0xeef2ff, 0x000000, 0x2b3152, 0xe4e8ff, 0x3fc1c9, 0x000000,
     0xcdd3e6, 0xdfe5f5, 0xb9c3e0, {0x262c4a, 0x12152a}, 0x9fb0e0},
    // 梦想成真: warm amber
    {0xfbf0dc, 0x4a2800, 0xffffff, 0xfff7e8, 0x000000, 0xf2d3a0, 0x4a2800, 0xc0561a, 0xffffff,
     0xeedcbc, 0xfff8ea, 0xf2d3a0, {0xfeeed0, 0xf5cb88}, 0xf3c98a},
};
// clang-format on

double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor mix(const QColor& from, const QColor& to, double t)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * t),
                            float(from.greenF() + (to.greenF() - from.greenF()) * t),
                            float(from.blueF() + (to.blueF() - from.blueF()) * t));
}

// A gradient surface reads as the mean of its stops.
QColor surfaceColour(const QBrush& brush)
{
    const QGradient* g = brush.gradient();
    if (!g || g->stops().isEmpty())
        return brush.color();
    const QGradientStops stops = g->stops();
    return mix(stops.constFirst().second, stops.constLast().second, 0.5);
}

// Disabled text: moved toward its ground as far as 4.3:1 against every ground it may stand
// on allows (thin strokes render fainter than their colour), at most half way.
QColor faded(const QColor& ink, const QColor& ground, std::initializer_list<QColor> others = {})
{
    for (double t = 0.5; t > 0; t -= 0.05) {
        const QColor c = mix(ink, ground, t);
        bool readable = contrast(c, ground) >= 4.3;
        for (const QColor& other : others)
            readable = readable && contrast(c, other) >= 4.3;
        if (readable)
            return c;
    }
    return ink;
}

// A colour a window gives its text on purpose keeps its hue, deepened or lightened only as
// far as a 4.5:1 contrast with its surface needs.
QColor deepened(const QColor& own, const QColor& surface)
{
    const bool towardBlack = contrast(Qt::black, surface) >= contrast(Qt::white, surface);
    QColor c = own;
    for (double t = 0.05; contrast(c, surface) < 4.5 && t <= 1.0; t += 0.05)
        c = mix(own, towardBlack ? QColor(Qt::black) : QColor(Qt::white), t);
    return c;
}

// The colour under a widget: the nearest ancestor that colours itself, else the skin's.
QColor groundOf(const QWidget* w)
{
    for (const QWidget* a = w->parentWidget(); a; a = a->parentWidget())
        if (a->autoFillBackground() ||
            a->palette().isBrushSet(QPalette::Active, QPalette::Window) || a->isWindow())
            return surfaceColour(a->palette().brush(QPalette::Active, QPalette::Window));
    return w->palette().color(QPalette::Active, QPalette::Window);
}

// The readable ink on a surface that colours itself: the skin's own when it reads well.
QColor inkFor(const QColor& surface, const QColor& preferred)
{
    if (contrast(preferred, surface) >= 4.5)
        return preferred;
    return contrast(Qt::black, surface) >= contrast(Qt::white, surface) ? QColor(Qt::black)
                                                                        : QColor(Qt::white);
}

void setBoth(QPalette& p, QPalette::ColorRole role, const QColor& c)
{
    p.setColor(QPalette::Active, role, c);
    p.setColor(QPalette::Inactive, role, c);
}

const char* const kInkMark = "_quenvale_skin_ink";
const char* const kReadOnlyMark = "_quenvale_skin_readonly";
const char* const kOwnInk = "_quenvale_own_ink";

// What the application palette alone cannot do: surfaces the windows colour themselves get
// a readable ink, read-only fields a ground of their own, the entry panel a paper face.
void dress(QWidget* w)
{
    if (currentSkin < 0)
        return;
    const Look& look = kLooks[currentSkin];
    if (w->objectName() == u"Panel1" && w->parentWidget() &&
        w->window()->objectName() == u"MainForm") {
        // The main window's lower panel: a gradient band under the grid.
        QLinearGradient band(0, 0, 0, 1);
        band.setCoordinateMode(QGradient::ObjectMode);
        band.setColorAt(0, QColor(look.band[0]));
        band.setColorAt(1, QColor(look.band[1]));
        QPalette p = w->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setBrush(group, QPalette::Window, band);
        w->setPalette(p);
        w->setAutoFillBackground(true);
        w->setProperty(kInkMark, true);
    }
    if (w->inherits("TwoLevelHeader")) {
        w->setProperty("titleColour", QColor(look.titles));
        w->update();
    }
    // The grid's row marker strip follows the skin's highlight.
    auto* header = qobject_cast<QHeaderView*>(w);
    if (header && header->orientation() == Qt::Vertical && w->parentWidget() &&
        w->parentWidget()->inherits("RecordGrid")) {
        QPalette p = w->palette();
        p.setColor(QPalette::Button, QColor(look.highlight));
        w->setPalette(p);
    }
    if (w->inherits("EntryPanel")) {
        QPalette p = w->palette();
        setBoth(p, QPalette::Window, QColor(look.paper));
        setBoth(p, QPalette::Button, QColor(look.paperButton));
        setBoth(p, QPalette::ButtonText, QColor(look.text));
        p.setColor(QPalette::Disabled, QPalette::Window, QColor(look.paper));
        p.setColor(QPalette::Disabled, QPalette::Button, QColor(look.paperButton));
        p.setColor(QPalette::Disabled, QPalette::ButtonText,
                   faded(QColor(look.text), QColor(look.paperButton)));
        w->setPalette(p);
        w->setProperty(kInkMark, true);
    }

    QPalette p = w->palette();
    if (p.isBrushSet(QPalette::Active, QPalette::Window) &&
        (!p.isBrushSet(QPalette::Active, QPalette::WindowText) || w->property(kInkMark).toBool())) {
        const QColor surface = surfaceColour(p.brush(QPalette::Active, QPalette::Window));
        const QColor ink = inkFor(surface, QColor(look.windowText));
        // A transparent ground (the toolbar's) is no surface of its own.
        if (surface.alpha() == 255) {
            setBoth(p, QPalette::WindowText, ink);
            p.setColor(QPalette::Disabled, QPalette::WindowText, faded(ink, surface));
            w->setPalette(p);
            w->setProperty(kInkMark, true);
        }
    }

    // Labels the windows colour on purpose.
    const QPalette own = w->palette();
    QVariant kept = w->property(kOwnInk);
    if (!kept.isValid() && w->inherits("QLabel") && !w->property(kInkMark).toBool() &&
        w->parentWidget() && own.isBrushSet(QPalette::Active, QPalette::WindowText) &&
        own.color(QPalette::Active, QPalette::WindowText) !=
            w->parentWidget()->palette().color(QPalette::Active, QPalette::WindowText)) {
        kept = own.color(QPalette::Active, QPalette::WindowText);
        w->setProperty(kOwnInk, kept);
    }
    if (kept.isValid()) {
        const QColor ink = deepened(kept.value<QColor>(), groundOf(w));
        if (ink != own.color(QPalette::Active, QPalette::WindowText)) {
            QPalette q = own;
            q.setColor(QPalette::WindowText, ink);
            w->setPalette(q);
        }
    }

    auto* edit = qobject_cast<QLineEdit*>(w);
    if (edit && edit->isReadOnly() && !qobject_cast<QAbstractSpinBox*>(w->parentWidget()) &&
        !qobject_cast<QComboBox*>(w->parentWidget()) &&
        (!p.isBrushSet(QPalette::Active, QPalette::Base) || w->property(kReadOnlyMark).toBool())) {
        QPalette q = w->palette();
        setBoth(q, QPalette::Base, QColor(look.readOnly));
        q.setColor(QPalette::Disabled, QPalette::Base, QColor(look.readOnly));
        w->setPalette(q);
        w->setProperty(kReadOnlyMark, true);
    }
}

// Windows opened later are dressed as they show.
class Dresser final : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            dress(static_cast<QWidget*>(watched));
        return false;
    }
};

QPalette palette(int index)
{
    const Look& look = kLooks[index];
    const QColor window(look.window), windowText(look.windowText), base(look.base), text(look.text),
        button(look.button), buttonText(look.buttonText), highlight(look.highlight);
    QPalette p(button, window);
    setBoth(p, QPalette::Window, window);
    setBoth(p, QPalette::WindowText, windowText);
    setBoth(p, QPalette::Base, base);
    setBoth(p, QPalette::AlternateBase, QColor(look.alternateBase));
    setBoth(p, QPalette::Text, text);
    setBoth(p, QPalette::Button, button);
    setBoth(p, QPalette::ButtonText, buttonText);
    setBoth(p, QPalette::BrightText, Qt::red);
    setBoth(p, QPalette::Highlight, highlight);
    setBoth(p, QPalette::HighlightedText, QColor(look.highlightedText));
    setBoth(p, QPalette::ToolTipBase, base);
    setBoth(p, QPalette::ToolTipText, text);
    setBoth(p, QPalette::PlaceholderText, faded(text, base));
    setBoth(p, QPalette::Link, inkFor(base, highlight.darker(140)));
    setBoth(p, QPalette::Light, button.lighter(150));
    setBoth(p, QPalette::Midlight, button.lighter(120));
    setBoth(p, QPalette::Mid, button.darker(130));
    setBoth(p, QPalette::Dark, button.darker(160));
    setBoth(p, QPalette::Shadow, button.darker(300));

    // Disabled: the same grounds, text faded but still readable.
    for (QPalette::ColorRole role :
         {QPalette::Window, QPalette::Button, QPalette::Light, QPalette::Midlight, QPalette::Mid,
          QPalette::Dark, QPalette::Shadow, QPalette::AlternateBase, QPalette::ToolTipBase})
        p.setColor(QPalette::Disabled, role, p.color(QPalette::Active, role));
    const QColor disabledBase = mix(base, window, 0.1);
    p.setColor(QPalette::Disabled, QPalette::Base, disabledBase);
    // Tab pages and raised frames are drawn a little lighter than the button face.
    p.setColor(QPalette::Disabled, QPalette::WindowText,
               faded(windowText, window, {button.lighter(125), button}));
    p.setColor(QPalette::Disabled, QPalette::Text,
               faded(text, disabledBase, {QColor(look.readOnly), QColor(look.paperButton)}));
    p.setColor(QPalette::Disabled, QPalette::ButtonText,
               faded(buttonText, button, {button.lighter(125)}));
    p.setColor(QPalette::Disabled, QPalette::Highlight, mix(highlight, window, 0.5));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(look.highlightedText));
    return p;
}

} // namespace

void apply(int index)
{
    if (index < 0 || index >= kCount)
        return;
    registerSkinResources();
    QFile file(QStringLiteral(":/skins/skin%1.qss").arg(index));
    if (!file.open(QIODevice::ReadOnly))
        return;
    static Dresser* dresser = [] {
        auto* d = new Dresser(qApp);
        qApp->installEventFilter(d);
        return d;
    }();
    Q_UNUSED(dresser);
    // Colours a window sets on a panel reach the panel's labels even under a style sheet.
    QCoreApplication::setAttribute(Qt::AA_UseStyleSheetPropagationInWidgetStyles);
    currentSkin = index;
    QApplication::setPalette(palette(index));
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    const QList<QWidget*> all = QApplication::allWidgets();
    for (QWidget* w : all)
        dress(w);
}

int current()
{
    return currentSkin;
}

void choose(int index)
{
    apply(index);
    settings::write(settings::kSkin, QString::number(index));
}

void restore()
{
    // Anything but "0" to "4" (a value of another type too) leaves the built-in look.
    const QString text = settings::readText(settings::kSkin);
    if (text.size() == 1 && text.at(0) >= u'0' && text.at(0) <= u'4')
        apply(text.at(0).unicode() - u'0');
}

} // namespace skins
