// The program's own icons: reading the built-in SVG drawings and rendering them at device pixels.
#include "artwork.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

// The resources live in a static library: nothing would pull them into a
// program unless they are registered by name.
static void register_icons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace artwork {
namespace {

QString resource_path(const QString& name)
{
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

QPixmap render(QSvgRenderer& renderer, QSize size, qreal device_pixel_ratio)
{
    const QSize pixels(int(std::lround(size.width() * device_pixel_ratio)),
                       int(std::lround(size.height() * device_pixel_ratio)));
    if (pixels.isEmpty()) return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);  // a wide drawing in a square icon stays wide
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    image.setDevicePixelRatio(device_pixel_ratio);
    return QPixmap::fromImage(image);
}

}  // namespace

QStringList names()
{
    register_icons();
    QStringList found;
    for (const QString& file : QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")}, QDir::Files))
        found << file.chopped(4);
    return found;
}

QByteArray source(const QString& name)
{
    register_icons();
    QFile file(resource_path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QPixmap pixmap(const QString& name, QSize size, qreal device_pixel_ratio)
{
    QSvgRenderer renderer(source(name));
    if (!renderer.isValid()) return {};
    return render(renderer, size, device_pixel_ratio > 0 ? device_pixel_ratio : 1.0);
}

QIcon icon(const QString& name)
{
    QSvgRenderer renderer(source(name));
    if (!renderer.isValid()) return {};
    QIcon drawn;
    for (const int side : {16, 20, 24, 32, 48}) {
        for (const qreal ratio : {1.0, 2.0}) drawn.addPixmap(render(renderer, QSize(side, side), ratio));
    }
    return drawn;
}

}  // namespace artwork
