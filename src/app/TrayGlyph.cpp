#include "app/TrayGlyph.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

QImage TrayGlyph::load(const QString& svgPath, qreal alpha, const QColor& colour,
                       qreal devicePixelRatio)
{
    if (!QFile::exists(svgPath))
        return {};
    QSvgRenderer svg(svgPath);
    if (!svg.isValid())
        return {};

    // The visible part in the 20 × 20 box, measured from the top.
    const QRectF source(3.0, 20.0 - 3.98 - 13.0, 14.0, 13.0);
    const qreal scale = qreal(height) / source.height();

    QImage glyph(QSize(width, height) * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    {
        QPainter p(&glyph);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(devicePixelRatio * scale, devicePixelRatio * scale);
        p.translate(-source.topLeft());
        svg.render(&p, QRectF(0, 0, 20, 20));
        // One colour, like a template image: keep the shape, replace the ink.
        p.resetTransform();
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(glyph.rect(), colour);
    }
    QImage faded(glyph.size(), QImage::Format_ARGB32_Premultiplied);
    faded.fill(Qt::transparent);
    {
        QPainter p(&faded);
        p.setOpacity(alpha);
        p.drawImage(0, 0, glyph);
    }
    faded.setDevicePixelRatio(devicePixelRatio);
    return faded;
}
