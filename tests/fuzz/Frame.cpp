// The request frame from a fuzzed method, target, payload and headers. A
// frame that is written must read back as exactly those parts: one request
// line, the fixed head lines, one line per header, the payload after the
// first blank line. Anything else would let a value inject lines.
#include "FuzzInput.h"
#include "link/HelperSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> fields = FuzzInput(data, size).fields(3);
    const QString method = QString::fromUtf8(fields.at(0));
    const QString target = QString::fromUtf8(fields.at(1));
    const QByteArray& payload = fields.at(2);
    HelperSocket::Headers headers;
    for (qsizetype i = 3; i + 1 < fields.size(); i += 2)
        headers.insert(QString::fromUtf8(fields.at(i)), QString::fromUtf8(fields.at(i + 1)));

    const std::optional<QByteArray> frame = HelperSocket::frame(method, target, payload, headers);
    if (!frame)
        return 0;
    const qsizetype end = frame->indexOf("\r\n\r\n");
    FUZZ_REQUIRE(end >= 0 && frame->mid(end + 4) == payload);
    // The head as CR LF lines, none holding a bare CR or LF.
    QList<QByteArray> lines = frame->left(end + 2).split('\n');
    lines.removeLast();
    FUZZ_REQUIRE(lines.size() == 4 + headers.size());
    for (QByteArray& line : lines) {
        FUZZ_REQUIRE(line.endsWith('\r') && line.count('\r') == 1);
        line.chop(1);
    }
    FUZZ_REQUIRE(lines.at(0).count(' ') == 2);
    FUZZ_REQUIRE(lines.at(0) == (method + u' ' + target + u" HTTP/1.0").toUtf8());
    FUZZ_REQUIRE(lines.at(1) == "Host: ovrin" && lines.at(2) == "Content-Type: application/json");
    FUZZ_REQUIRE(lines.at(3) == "Content-Length: " + QByteArray::number(payload.size()));
    qsizetype i = 4;
    for (auto it = headers.cbegin(); it != headers.cend(); ++it, ++i) {
        const QByteArray name = it.key().toUtf8();
        FUZZ_REQUIRE(lines.at(i).indexOf(':') == name.size());
        FUZZ_REQUIRE(lines.at(i) == name + ": " + it.value().toUtf8());
    }
    return 0;
}
