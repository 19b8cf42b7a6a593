// The cabinet reply on arbitrary bytes, under the sanitizers. Its texts for
// any value are the cabinet_format target's; the tree's fields are checked
// one by one in tests/cabinet.
#include "FuzzInput.h"
#include "cabinet/CabinetData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)CabinetData::fromJson(FuzzInput(data, size).bytes());
    return 0;
}
