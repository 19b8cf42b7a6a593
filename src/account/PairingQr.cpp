#include "account/PairingQr.h"

#include <qrencode.h>

#include <memory>

namespace {

constexpr int quietZone = 4;

struct QrFree {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

} // namespace

namespace PairingQr {

QImage image(const QString& text)
{
    if (text.isEmpty())
        return {};
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, QrFree> code(QRcode_encodeData(
        int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.data()), 0, QR_ECLEVEL_M));
    if (!code || code->width <= 0)
        return {};

    const int modules = code->width;
    const int size = modules + 2 * quietZone;
    QImage symbol(size, size, QImage::Format_Grayscale8);
    if (symbol.isNull())
        return {};
    symbol.fill(255);
    for (int y = 0; y < modules; ++y) {
        uchar* line = symbol.scanLine(y + quietZone);
        for (int x = 0; x < modules; ++x) {
            if (code->data[y * modules + x] & 1)
                line[x + quietZone] = 0;
        }
    }
    return symbol.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace PairingQr
