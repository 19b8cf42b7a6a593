#include "ui/kit/Symbols.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Symbols {

namespace {

QString resourcePath(const QString& name)
{
    return u":/symbols/"_s + name + u".svg"_s;
}

} // namespace

QStringList names()
{
    static const QStringList all = [] {
        QStringList result;
        const QStringList files =
            QDir(u":/symbols"_s).entryList({u"*.svg"_s}, QDir::Files, QDir::Name);
        for (const QString& file : files)
            result << file.chopped(4);
        return result;
    }();
    return all;
}

bool exists(const QString& name)
{
    return names().contains(name);
}

QPixmap pixmap(const QString& name, const QColor& colour, int size, qreal devicePixelRatio)
{
    if (!exists(name) || size <= 0 || devicePixelRatio <= 0)
        return {};
    const int pixels = int(std::lround(size * devicePixelRatio));
    const QString key = u"ovrin-symbol:"_s + name + u':' + colour.name(QColor::HexArgb) + u':' +
                        QString::number(pixels) + u':' + QString::number(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid())
        return {};
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    QPixmap result = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, result);
    return result;
}

QIcon icon(const QString& name, const QColor& colour, int size)
{
    if (!exists(name))
        return {};
    QIcon result;
    result.addPixmap(pixmap(name, colour, size, 1.0));
    result.addPixmap(pixmap(name, colour, size, 2.0));
    return result;
}

} // namespace Symbols
