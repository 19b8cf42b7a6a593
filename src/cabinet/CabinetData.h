#pragma once

#include "cabinet/CabinetDevice.h"
#include "cabinet/CabinetPlan.h"
#include "cabinet/CabinetSubscription.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <optional>

// The reply of "GET /account/cabinet": the subscription, the devices that
// use it and the plans on offer, in the center's order.
struct CabinetData {
    CabinetSubscription subscription;
    QList<CabinetDevice> devices;
    QList<CabinetPlan> plans;
    qint64 loaded_at = 0; // when the center produced it, seconds since 1970

    CabinetData() = default;
    CabinetData(CabinetSubscription subscription, QList<CabinetDevice> devices,
                QList<CabinetPlan> plans, qint64 loaded_at);

    // The whole tree or nothing: one missing key, null or wrong type
    // anywhere fails the decode.
    static std::optional<CabinetData> fromJson(const QJsonObject& object);
    static std::optional<CabinetData> fromJson(const QByteArray& body);

    friend bool operator==(const CabinetData&, const CabinetData&) = default;
};
