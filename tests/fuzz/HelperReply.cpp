// The helper's reply parser on arbitrary bytes, and on replies composed from
// a fuzzed status code and body, which must come back exactly.
#include "FuzzInput.h"
#include "link/HelperSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<HelperReply> reply = HelperSocket::parseReply(bytes)) {
        // The body is every byte after the first blank line, untouched.
        const qsizetype end = bytes.indexOf("\r\n\r\n");
        FUZZ_REQUIRE(end >= 0 && reply->body == bytes.mid(end + 4));
        const QByteArray again =
            "HTTP/1.0 " + QByteArray::number(reply->status) + " OK\r\n\r\n" + reply->body;
        FUZZ_REQUIRE(HelperSocket::parseReply(again) == reply);
    }

    FuzzInput in(data, size);
    const qint64 status = in.integer<qint64>();
    const QByteArray body = in.rest();
    const QByteArray composed =
        "HTTP/1.0 " + QByteArray::number(status) +
        " Reason Phrase\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    FUZZ_REQUIRE(HelperSocket::parseReply(composed) == (HelperReply{status, body}));
    return 0;
}
