// The pairing link on fuzzed text, and composed from a fuzzed id and token.
// A link that parses must compose back to a link that parses the same; a
// link composed from non-empty values must parse back to exactly them.
#include "FuzzInput.h"
#include "account/OvrinLink.h"

namespace {

bool same(const std::optional<OvrinLink::Pair>& parts, const QString& id, const QString& token)
{
    return parts && parts->id == id && parts->token == token;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (const std::optional<OvrinLink::Pair> parts = OvrinLink::parsePair(text)) {
        FUZZ_REQUIRE(!parts->id.isEmpty() && !parts->token.isEmpty());
        FUZZ_REQUIRE(same(OvrinLink::parsePair(OvrinLink::composePair(parts->id, parts->token)),
                          parts->id, parts->token));
    }

    const QList<QString> values = FuzzInput(data, size).texts(2);
    const QString& id = values.at(0);
    const QString& token = values.at(1);
    const QString link = OvrinLink::composePair(id, token);
    if (id.isEmpty() || token.isEmpty())
        FUZZ_REQUIRE(!OvrinLink::parsePair(link));
    else
        FUZZ_REQUIRE(same(OvrinLink::parsePair(link), id, token));
    return 0;
}
