// The account record on arbitrary bytes. A record that decodes must decode
// again, equal, from its own encoding.
#include "account/AccountStatus.h"
#include "FuzzInput.h"
#include "StatusJson.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<AccountStatus> account = AccountStatus::fromJson(body);
    if (!account)
        return 0;
    // Lone surrogates do not survive UTF-8; such texts cannot round-trip.
    for (const QString* text : {&account->device_id, &account->plan, &account->error}) {
        if (!text->isValidUtf16())
            return 0;
    }
    FUZZ_REQUIRE(AccountStatus::fromJson(accountBody(*account)) == account);
    return 0;
}
