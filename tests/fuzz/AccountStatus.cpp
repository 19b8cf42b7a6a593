// The account record on arbitrary bytes. A record that decodes must decode
// again, equal, from its own encoding.
#include "account/AccountStatus.h"
#include "FuzzInput.h"
#include "StatusJson.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput in(data, size);
    const std::optional<AccountStatus> account = AccountStatus::fromJson(in.bytes());
    if (account && !in.mayHoldLoneSurrogates())
        FUZZ_REQUIRE(AccountStatus::fromJson(accountBody(*account)) == account);
    return 0;
}
