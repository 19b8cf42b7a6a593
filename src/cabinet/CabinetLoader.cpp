#include "cabinet/CabinetLoader.h"

#include "core/Core.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

CabinetLoader::CabinetLoader(Core& core, QObject* parent)
    : QObject(parent)
    , m_core(core)
    , m_now(core.clock().now())
    , m_deviceId(core.account().device_id)
{
    m_minute.setObjectName(u"cabinet-clock"_s);
    m_minute.setParent(this);
    m_minute.setInterval(clockIntervalMs);
    m_minute.setTimerType(Qt::PreciseTimer);
    connect(&m_minute, &QTimer::timeout, this, &CabinetLoader::tick);
    connect(&core, &Core::accountChanged, this, &CabinetLoader::accountChanged);
}

void CabinetLoader::startClock()
{
    if (!m_minute.isActive())
        m_minute.start();
}

void CabinetLoader::stopClock()
{
    m_minute.stop();
}

void CabinetLoader::choosePlan(const QString& id)
{
    m_selectedPlan = id;
    Q_EMIT changed();
}

void CabinetLoader::load()
{
    if (m_loading || !m_core.account().signed_in)
        return;
    m_loading = true;
    m_failure.clear();
    const QString deviceId = m_core.account().device_id;
    Q_EMIT changed();
    const QPointer<CabinetLoader> self(this);
    m_core.accountRequest(
        u"GET"_s, u"/account/cabinet"_s, {}, {},
        [self, deviceId](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (self)
                self->loaded(deviceId, json, error);
        });
}

void CabinetLoader::loaded(const QString& deviceId, const std::optional<QJsonObject>& json,
                           const std::optional<QString>& error)
{
    m_loading = false;
    if (!m_core.account().signed_in || m_core.account().device_id != deviceId) {
        m_cabinet.reset();
        Q_EMIT changed();
        // The change of device asked for a load while this one was in
        // flight; it is due now, for the device signed in at present.
        if (m_core.account().signed_in)
            load();
        return;
    }
    if (json) {
        if (std::optional<CabinetData> decoded = CabinetData::fromJson(*json)) {
            m_cabinet = std::move(decoded);
            m_now = m_core.clock().now();
            keepPlanChoice();
            Q_EMIT changed();
            return;
        }
    }
    m_failure =
        u"Не удалось обновить кабинет. "_s + error.value_or(u"Центр прислал неверные данные."_s);
    Q_EMIT changed();
}

void CabinetLoader::keepPlanChoice()
{
    const QList<CabinetPlan>& plans = m_cabinet->plans;
    auto withId = [](const QString& id) {
        return [&id](const CabinetPlan& plan) { return plan.id == id; };
    };
    if (std::any_of(plans.begin(), plans.end(), withId(m_selectedPlan)))
        return;
    const auto current =
        std::find_if(plans.begin(), plans.end(), withId(m_cabinet->subscription.plan_id));
    if (current != plans.end())
        m_selectedPlan = current->id;
    else
        m_selectedPlan = plans.isEmpty() ? QString() : plans.first().id;
}

void CabinetLoader::accountChanged()
{
    if (m_core.account().device_id == m_deviceId)
        return;
    m_deviceId = m_core.account().device_id;
    m_cabinet.reset();
    m_selectedPlan.clear();
    Q_EMIT changed();
    load();
}

void CabinetLoader::tick()
{
    m_now = m_core.clock().now();
    Q_EMIT changed();
}

const CabinetPlan* CabinetLoader::chosenPlan() const
{
    if (!m_cabinet)
        return nullptr;
    for (const CabinetPlan& plan : m_cabinet->plans) {
        if (plan.id == m_selectedPlan)
            return &plan;
    }
    return nullptr;
}
