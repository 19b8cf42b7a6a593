#pragma once

#include <QImage>
#include <QString>

// The QR code of a pairing link: the link's UTF-8 bytes at error-correction
// level M, one pixel per module inside a 4-module quiet zone, scaled to
// 180 × 180 without smoothing.
namespace PairingQr {

constexpr int side = 180;

// A null image when the text is empty or cannot be encoded.
QImage image(const QString& text);

} // namespace PairingQr
