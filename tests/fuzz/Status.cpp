// The status record on arbitrary bytes. A record that decodes must decode
// again, equal, from its own encoding: what the strict readers accept is
// exactly what they keep.
#include "link/Status.h"
#include "FuzzInput.h"
#include "StatusJson.h"

namespace {

// Lone surrogates do not survive UTF-8; such texts cannot round-trip.
bool encodable(const Status& s)
{
    if (!s.message.isValidUtf16())
        return false;
    for (const QString& channel : s.channels) {
        if (!channel.isValidUtf16())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<Status> status = Status::fromJson(body);
    if (!status)
        return 0;
    (void)status->activeChannel();
    if (encodable(*status))
        FUZZ_REQUIRE(Status::fromJson(statusBody(*status)) == status);
    return 0;
}
