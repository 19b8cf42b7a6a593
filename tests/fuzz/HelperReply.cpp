// The helper's reply parser on arbitrary bytes, and on replies composed from
// a fuzzed status code and body, which must come back exactly.
#include "FuzzInput.h"
#include "link/HelperSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    if (const std::optional<HelperReply> reply = HelperSocket::parseReply(in.bytes())) {
        // The body is every byte after the first blank line, untouched.
        const qsizetype end = in.bytes().indexOf("\r\n\r\n");
        FUZZ_REQUIRE(end >= 0 && reply->body == in.bytes().mid(end + 4));
    }

    const qint64 status = in.integer<qint64>();
    const QByteArray body = in.rest();
    const QByteArray composed =
        "HTTP/1.0 " + QByteArray::number(status) +
        " Reason Phrase\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    FUZZ_REQUIRE(HelperSocket::parseReply(composed) == (HelperReply{status, body}));
    return 0;
}
