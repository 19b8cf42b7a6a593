#pragma once

#include "cabinet/CabinetData.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class Core;

// What the cabinet shows and when it is fetched. It loads on load(), and
// again whenever this device's identifier changes, dropping the old copy and
// the plan choice at once; a refresh that fails keeps the last good copy.
// The plan choice survives a refresh while the plan is still offered, else
// falls to the current plan or the first. The minute clock keeps `now` (the
// local time the time left is reckoned from) current while it runs; it runs
// under open alerts too. Lives on the main thread; every change emits
// changed().
class CabinetLoader : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CabinetLoader)

public:
    static constexpr int clockIntervalMs = 60'000;

    // `core` must outlive the loader.
    explicit CabinetLoader(Core& core, QObject* parent = nullptr);

    // Fetches the cabinet through Core::accountRequest unless a fetch is
    // already in flight or the account is not signed in. The reply is
    // applied on the main thread, and only if it still belongs to the
    // device that was signed in when it was asked for.
    void load();
    // The minute clock, while the cabinet is on screen.
    void startClock();
    void stopClock();
    void choosePlan(const QString& id);

    const std::optional<CabinetData>& cabinet() const { return m_cabinet; }
    bool isLoading() const { return m_loading; }
    const QString& failure() const { return m_failure; }
    const QString& selectedPlan() const { return m_selectedPlan; }
    // The selected plan among those on offer, or null.
    const CabinetPlan* chosenPlan() const;
    const QDateTime& now() const { return m_now; }

Q_SIGNALS:
    void changed();

private:
    void loaded(const QString& deviceId, const std::optional<QJsonObject>& json,
                const std::optional<QString>& error);
    void keepPlanChoice();
    void accountChanged();
    void tick();

    Core& m_core;
    std::optional<CabinetData> m_cabinet;
    bool m_loading = false;
    QString m_failure;
    QString m_selectedPlan;
    QDateTime m_now;
    QTimer m_minute;
    QString m_deviceId; // the last device_id seen, to notice a change
};
