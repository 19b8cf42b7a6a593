#include "cabinet/CabinetLoader.h"

#include "core/Core.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

CabinetLoader::CabinetLoader(Core& core, QObject* parent)
    : QObject(parent)
    , core_(core)
    , now_(core.clock().now())
    , deviceId_(core.account().device_id)
{
    minute_.setObjectName(u"cabinet-clock"_s);
    minute_.setParent(this);
    minute_.setInterval(clockIntervalMs);
    minute_.setTimerType(Qt::PreciseTimer);
    connect(&minute_, &QTimer::timeout, this, &CabinetLoader::tick);
    connect(&core, &Core::accountChanged, this, &CabinetLoader::accountChanged);
}

void CabinetLoader::startClock()
{
    if (!minute_.isActive())
        minute_.start();
}

void CabinetLoader::stopClock()
{
    minute_.stop();
}

void CabinetLoader::choosePlan(const QString& id)
{
    selectedPlan_ = id;
    Q_EMIT changed();
}

void CabinetLoader::load()
{
    if (loading_ || !core_.account().signed_in)
        return;
    loading_ = true;
    failure_.clear();
    const QString deviceId = core_.account().device_id;
    Q_EMIT changed();
    const QPointer<CabinetLoader> self(this);
    core_.accountRequest(
        u"GET"_s, u"/account/cabinet"_s, {}, {},
        [self, deviceId](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (self)
                self->loaded(deviceId, json, error);
        });
}

void CabinetLoader::loaded(const QString& deviceId, const std::optional<QJsonObject>& json,
                           const std::optional<QString>& error)
{
    loading_ = false;
    if (!core_.account().signed_in || core_.account().device_id != deviceId) {
        cabinet_.reset();
        Q_EMIT changed();
        // The change of device asked for a load while this one was in
        // flight; it is due now, for the device signed in at present.
        if (core_.account().signed_in)
            load();
        return;
    }
    if (json) {
        if (std::optional<CabinetData> decoded = CabinetData::fromJson(*json)) {
            cabinet_ = std::move(decoded);
            now_ = core_.clock().now();
            keepPlanChoice();
            Q_EMIT changed();
            return;
        }
    }
    failure_ =
        u"Не удалось обновить кабинет. "_s + error.value_or(u"Центр прислал неверные данные."_s);
    Q_EMIT changed();
}

void CabinetLoader::keepPlanChoice()
{
    const QList<CabinetPlan>& plans = cabinet_->plans;
    auto withId = [](const QString& id) {
        return [&id](const CabinetPlan& plan) { return plan.id == id; };
    };
    if (std::any_of(plans.begin(), plans.end(), withId(selectedPlan_)))
        return;
    const auto current =
        std::find_if(plans.begin(), plans.end(), withId(cabinet_->subscription.plan_id));
    if (current != plans.end())
        selectedPlan_ = current->id;
    else
        selectedPlan_ = plans.isEmpty() ? QString() : plans.first().id;
}

void CabinetLoader::accountChanged()
{
    if (core_.account().device_id == deviceId_)
        return;
    deviceId_ = core_.account().device_id;
    cabinet_.reset();
    selectedPlan_.clear();
    Q_EMIT changed();
    load();
}

void CabinetLoader::tick()
{
    now_ = core_.clock().now();
    Q_EMIT changed();
}

const CabinetPlan* CabinetLoader::chosenPlan() const
{
    if (!cabinet_)
        return nullptr;
    for (const CabinetPlan& plan : cabinet_->plans) {
        if (plan.id == selectedPlan_)
            return &plan;
    }
    return nullptr;
}
