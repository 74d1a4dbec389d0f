// The toolbar pictures: theme icons for the top toolbar, drawn glyphs for the rest and as fallbacks.
#include "glyphs.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace show {
namespace {

const char* theme_name(Glyph which)
{
    switch (which) {
    case Glyph::MainMenu: return "open-menu";
    case Glyph::Open: return "document-open";
    case Glyph::Browse: return "system-file-manager";
    case Glyph::SaveAs: return "document-save-as";
    case Glyph::Slideshow: return "x-office-presentation";
    case Glyph::FullScreen: return "view-fullscreen";
    case Glyph::FullHalf: return "zoom-original";
    case Glyph::Copy: return "edit-copy";
    case Glyph::EditDisplayed: return "accessories-text-editor";
    case Glyph::Print: return "document-print";
    case Glyph::Resize: return "zoom-fit-best";
    case Glyph::ImageProcessing: return "applications-graphics";
    case Glyph::Twain: return "scanner";
    default: return nullptr;
    }
}

// Without a desktop session Qt may know no theme at all; Adwaita and
// hicolor are what the install script puts on the machine.
void ensure_theme()
{
    static const bool done = [] {
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    (void)done;
}

QPixmap drawn(Glyph which)
{
    const bool side = which >= Glyph::SwitchSides;
    const QSize size = which == Glyph::SwitchSides ? QSize(10, 10) : side ? QSize(26, 18) : QSize(16, 16);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40);
    p.setPen(QPen(ink, 1.4));
    const int w = size.width(), h = size.height();

    // The rockers show "-" on the left half and "+" on the right around their symbol.
    const auto rocker = [&](const QColor& colour) {
        p.setPen(QPen(ink, 1.6));
        p.drawLine(QPointF(2, h / 2.0), QPointF(7, h / 2.0));
        p.drawLine(QPointF(w - 7, h / 2.0), QPointF(w - 2, h / 2.0));
        p.drawLine(QPointF(w - 4.5, h / 2.0 - 2.5), QPointF(w - 4.5, h / 2.0 + 2.5));
        p.setBrush(colour);
        p.setPen(QPen(ink, 1));
    };
    const QRectF middle(w / 2.0 - 5, h / 2.0 - 5, 10, 10);

    switch (which) {
    case Glyph::MainMenu:
        for (int y : {4, 8, 12}) p.drawLine(3, y, 13, y);
        break;
    case Glyph::Open:
        p.setBrush(QColor(230, 200, 110));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        break;
    case Glyph::Browse:
        for (int x : {2, 9}) for (int y : {2, 9}) p.drawRect(QRectF(x + 0.5, y + 0.5, 5, 5));
        break;
    case Glyph::SaveAs:
        p.setBrush(QColor(90, 120, 200));
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        p.fillRect(QRectF(5, 3, 6, 4), Qt::white);
        break;
    case Glyph::Slideshow: {
        QPainterPath play;
        play.addPolygon(QPolygonF({QPointF(5, 3), QPointF(13, 8), QPointF(5, 13)}));
        p.fillPath(play, ink);
        break;
    }
    case Glyph::FullScreen:
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.drawLine(4, 6, 7, 6), p.drawLine(4, 6, 4, 8), p.drawLine(12, 10, 9, 10), p.drawLine(12, 10, 12, 8);
        break;
    case Glyph::FullHalf:
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.fillRect(QRectF(2, 8, 6, 6), ink);
        break;
    case Glyph::Copy:
        p.drawRect(QRectF(1.5, 1.5, 8, 9)), p.drawRect(QRectF(6.5, 5.5, 8, 9));
        break;
    case Glyph::EditDisplayed:
        p.setPen(QPen(ink, 2.2));
        p.drawLine(3, 13, 12, 4);
        break;
    case Glyph::Print:
        p.drawRect(QRectF(1.5, 6.5, 13, 6)), p.drawRect(QRectF(4.5, 2.5, 7, 4));
        break;
    case Glyph::Resize:
        p.drawRect(QRectF(1.5, 1.5, 13, 13)), p.drawLine(4, 12, 12, 4);
        break;
    case Glyph::ImageProcessing:
        p.fillRect(QRectF(2, 2, 6, 6), Qt::red), p.fillRect(QRectF(8, 2, 6, 6), Qt::green);
        p.fillRect(QRectF(2, 8, 6, 6), Qt::blue), p.fillRect(QRectF(8, 8, 6, 6), Qt::yellow);
        break;
    case Glyph::Twain:
        p.drawRect(QRectF(1.5, 7.5, 13, 6)), p.drawLine(3, 7, 11, 2);
        break;
    case Glyph::SideToolbar:
        p.drawRect(QRectF(1.5, 1.5, 13, 13)), p.fillRect(QRectF(10, 2, 4, 12), ink);
        break;
    case Glyph::SwitchSides:
        p.drawLine(1, 5, 9, 5), p.drawLine(1, 5, 3, 3), p.drawLine(1, 5, 3, 7), p.drawLine(9, 5, 7, 3),
            p.drawLine(9, 5, 7, 7);
        break;
    case Glyph::Sharpness:
        rocker(Qt::white);
        p.drawPolygon(QPolygonF({middle.bottomLeft(), QPointF(middle.center().x(), middle.top()), middle.bottomRight()}));
        break;
    case Glyph::Brightness:
        rocker(QColor(255, 220, 60));
        p.drawEllipse(middle.adjusted(1, 1, -1, -1));
        break;
    case Glyph::Contrast: {
        rocker(Qt::white);
        p.drawEllipse(middle.adjusted(1, 1, -1, -1));
        QPainterPath half;
        half.moveTo(middle.center());
        half.arcTo(middle.adjusted(1, 1, -1, -1), 90, 180);
        p.fillPath(half, ink);
        break;
    }
    case Glyph::Red: rocker(Qt::red), p.drawRect(middle.adjusted(1, 1, -1, -1)); break;
    case Glyph::Green: rocker(Qt::green), p.drawRect(middle.adjusted(1, 1, -1, -1)); break;
    case Glyph::Blue: rocker(Qt::blue), p.drawRect(middle.adjusted(1, 1, -1, -1)); break;
    case Glyph::Equalise:
        for (int i = 0; i < 5; ++i) p.fillRect(QRectF(4 + i * 4, h - 3 - (i + 1) * 2.6, 3, (i + 1) * 2.6), ink);
        break;
    case Glyph::Effects:
        p.setBrush(QColor(200, 150, 90));
        p.drawEllipse(QRectF(w / 2.0 - 7, 2, 14, h - 4));
        break;
    case Glyph::PhotoAdjust:
        for (int i = 0; i < 3; ++i) {
            const qreal y = 4 + i * 5;
            p.drawLine(QPointF(4, y), QPointF(w - 4, y));
            p.setBrush(ink);
            p.drawEllipse(QPointF(7 + i * 6, y), 1.8, 1.8);
        }
        break;
    }
    return pixmap;
}

}  // namespace

QPixmap glyph(Glyph which)
{
    if (const char* name = theme_name(which)) {
        ensure_theme();
        const QIcon icon = QIcon::fromTheme(QLatin1String(name));
        if (!icon.isNull()) {
            const QPixmap themed = icon.pixmap(16, 16);
            if (!themed.isNull()) return themed;
        }
    }
    return drawn(which);
}

}  // namespace show
