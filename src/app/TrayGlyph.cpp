#include "app/TrayGlyph.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <cmath>

const QList<int>& TrayGlyph::pixelHeights()
{
    static const QList<int> heights{16, 22, 24, 32, 48};
    return heights;
}

QImage TrayGlyph::render(const QByteArray& svg, int pixelHeight, qreal alpha, const QColor& ink,
                         const QColor& halo)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid() || pixelHeight <= 0)
        return {};

    // The visible part in the 20 × 20 box, measured from the top.
    const QRectF source(3.0, 20.0 - 3.98 - 13.0, 14.0, 13.0);
    const int ring = std::max(1, pixelHeight / 16);
    // The shape keeps its height less the ring above and below it.
    const qreal scale = qreal(pixelHeight - 2 * ring) / source.height();
    const int width = int(std::lround(pixelHeight * source.width() / source.height()));

    QImage shape(width, pixelHeight, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    {
        QPainter p(&shape);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate((width - source.width() * scale) / 2, ring);
        p.scale(scale, scale);
        p.translate(-source.topLeft());
        renderer.render(&p, QRectF(0, 0, 20, 20));
    }
    const auto tinted = [&shape](const QColor& colour) {
        QImage image = shape;
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), colour);
        return image;
    };

    QImage glyph(shape.size(), QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    const QImage ringImage = tinted(halo);
    for (int dx = -ring; dx <= ring; ++dx) {
        for (int dy = -ring; dy <= ring; ++dy) {
            if (dx * dx + dy * dy <= ring * ring + 1)
                p.drawImage(dx, dy, ringImage);
        }
    }
    // The ink replaces the halo where the shape is, then fades.
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.drawImage(0, 0, shape);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setOpacity(alpha);
    p.drawImage(0, 0, tinted(ink));
    p.end();
    return glyph;
}

QIcon TrayGlyph::icon(const QByteArray& svg, qreal alpha, const QColor& ink, const QColor& halo)
{
    QIcon icon;
    for (const int height : pixelHeights()) {
        const QImage image = render(svg, height, alpha, ink, halo);
        if (image.isNull())
            return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
