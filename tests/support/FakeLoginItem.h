#pragma once

#include "platform/LoginItem.h"

// A login item whose platform answers are scripted.
class FakeLoginItem final : public LoginItem {
public:
    bool enabled = false;
    // When set, register and unregister fail with this reason.
    std::optional<QString> refusal;
    // Register is accepted but the item stays disabled (awaiting approval).
    bool awaitsApproval = false;
    int registers = 0;
    int unregisters = 0;

    bool isEnabled() const override { return enabled; }
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;
};
