#include "ui/kit/DropShadow.h"

#include <cmath>
#include <vector>

namespace {

// One pass of a box blur of half-width `r` along a line of `count` samples
// spaced `stride` apart; outside the image counts as transparent.
void boxPass(std::vector<int>& data, qsizetype start, qsizetype stride, int count, int r,
             std::vector<int>& line)
{
    line.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        line[size_t(i)] = data[size_t(start + i * stride)];
    const int width = 2 * r + 1;
    int sum = 0;
    for (int i = 0; i <= r && i < count; ++i)
        sum += line[size_t(i)];
    for (int i = 0; i < count; ++i) {
        data[size_t(start + i * stride)] = (sum + width / 2) / width;
        const int in = i + r + 1;
        const int out = i - r;
        if (in < count)
            sum += line[size_t(in)];
        if (out >= 0)
            sum -= line[size_t(out)];
    }
}

} // namespace

QImage dropShadow(const QImage& source, const QColor& colour, qreal radius)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    std::vector<int> alpha(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            alpha[size_t(y) * size_t(w) + size_t(x)] = qAlpha(row[x]);
    }

    const qreal sigma = radius / 2 * image.devicePixelRatio();
    const int r = int(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2));
    std::vector<int> line;
    if (r > 0) {
        for (int pass = 0; pass < 3; ++pass) {
            for (int y = 0; y < h; ++y)
                boxPass(alpha, qsizetype(y) * w, 1, w, r, line);
            for (int x = 0; x < w; ++x)
                boxPass(alpha, x, w, h, r, line);
        }
    }

    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    const QRgb premultiplied = qPremultiply(colour.rgba());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = alpha[size_t(y) * size_t(w) + size_t(x)];
            row[x] = a == 0
                         ? 0
                         : qRgba(qRed(premultiplied) * a / 255, qGreen(premultiplied) * a / 255,
                                 qBlue(premultiplied) * a / 255, qAlpha(premultiplied) * a / 255);
        }
    }
    shadow.setDevicePixelRatio(image.devicePixelRatio());
    return shadow;
}
