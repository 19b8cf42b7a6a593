// The status record on arbitrary bytes. A record that decodes must decode
// again, equal, from its own encoding: what the strict readers accept is
// exactly what they keep.
#include "link/Status.h"
#include "FuzzInput.h"
#include "StatusJson.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput in(data, size);
    const std::optional<Status> status = Status::fromJson(in.bytes());
    if (!status)
        return 0;
    (void)status->activeChannel();
    if (!in.mayHoldLoneSurrogates())
        FUZZ_REQUIRE(Status::fromJson(statusBody(*status)) == status);
    return 0;
}
