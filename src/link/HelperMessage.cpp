// The messages of the socket contract, apart from any I/O: a request framed
// and checked for injection, a reply's head parsed.
#include "link/HelperSocket.h"

#include <QStringDecoder>

#include <algorithm>
#include <charconv>

namespace {

bool hasControl(QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            return true;
    }
    return false;
}

bool isSafeToken(QStringView text)
{
    return !text.isEmpty() && !hasControl(text) && !text.contains(u' ') && !text.contains(u':');
}

std::optional<qint64> parseCode(QStringView piece)
{
    // One optional sign, then ASCII digits only, within 64 bits.
    const QByteArray ascii = piece.toLatin1();
    const char* first = ascii.constData();
    const char* last = first + ascii.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '+' || *first == '-'))
        ++first;
    if (first == last || !std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    qint64 magnitude = 0;
    if (negative)
        --first; // from_chars reads the minus itself, so -2^63 stays in range
    const auto [end, ec] = std::from_chars(first, last, magnitude);
    if (ec != std::errc() || end != last)
        return std::nullopt;
    return magnitude;
}

} // namespace

std::optional<QByteArray> HelperSocket::frame(const QString& method, const QString& target,
                                              const QByteArray& payload, const Headers& headers)
{
    if (method.isEmpty() || hasControl(method) || method.contains(u' '))
        return std::nullopt;
    if (target.isEmpty() || hasControl(target) || target.contains(u' '))
        return std::nullopt;
    QString head = method + u' ' + target + u" HTTP/1.0\r\n" + u"Host: ovrin\r\n" +
                   u"Content-Type: application/json\r\n" + u"Content-Length: " +
                   QString::number(payload.size()) + u"\r\n";
    for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
        if (!isSafeToken(it.key()) || hasControl(it.value()))
            return std::nullopt;
        head += it.key() + u": " + it.value() + u"\r\n";
    }
    head += u"\r\n";
    return head.toUtf8() + payload;
}

std::optional<HelperReply> HelperSocket::parseReply(QByteArray bytes)
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString head = decoder.decode(QByteArrayView(bytes.constData(), end));
    if (decoder.hasError())
        return std::nullopt;
    const QList<QStringView> pieces = QStringView(head).split(u' ', Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return std::nullopt;
    const std::optional<qint64> code = parseCode(pieces.at(1));
    if (!code)
        return std::nullopt;
    bytes.remove(0, end + 4); // in place when unshared: a large reply is not copied
    return HelperReply{*code, std::move(bytes)};
}
