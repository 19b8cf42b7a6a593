#include "FakeLoginItem.h"

std::optional<QString> FakeLoginItem::registerItem()
{
    ++registers;
    if (refusal)
        return refusal;
    enabled = !awaitsApproval;
    return std::nullopt;
}

std::optional<QString> FakeLoginItem::unregisterItem()
{
    ++unregisters;
    if (refusal)
        return refusal;
    enabled = false;
    return std::nullopt;
}
