// The pairing link on fuzzed text, and composed from a fuzzed id and token.
// A link that parses must compose back to a link that parses the same; a
// link composed from non-empty values must parse back to exactly them.
#include "FuzzInput.h"
#include "account/OvrinLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput in(data, size);
    if (const std::optional<OvrinLink::Pair> parts = OvrinLink::parsePair(in.text())) {
        FUZZ_REQUIRE(!parts->id.isEmpty() && !parts->token.isEmpty());
        const auto again = OvrinLink::parsePair(OvrinLink::composePair(parts->id, parts->token));
        FUZZ_REQUIRE(again && again->id == parts->id && again->token == parts->token);
    }

    const QList<QString> values = in.texts(2);
    const std::optional<OvrinLink::Pair> parsed =
        OvrinLink::parsePair(OvrinLink::composePair(values.at(0), values.at(1)));
    if (values.at(0).isEmpty() || values.at(1).isEmpty())
        FUZZ_REQUIRE(!parsed);
    else
        FUZZ_REQUIRE(parsed && parsed->id == values.at(0) && parsed->token == values.at(1));
    return 0;
}
