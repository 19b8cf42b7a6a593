#pragma once

#include "cabinet/CabinetData.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>

class BusyIndicator;
class Core;
class Dialogs;
class PlanPicker;
class QLabel;
class QPushButton;
class QVBoxLayout;
class TextBlock;

// The signed-in account's cabinet: the subscription and the time left on
// it, the devices that use it (this computer marked) and the plans on offer.
// It loads when it comes on screen, again on "Обновить данные" and whenever
// this device's identifier changes, and keeps the last good copy when a
// refresh fails. A minute clock keeps the time left current while it is
// shown; it runs under open alerts too. Payment only shows a notice.
class CabinetView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CabinetView)

public:
    static constexpr int clockIntervalMs = 60'000;

    // `dialogs` shows the payment notice; `core` and `dialogs` must outlive
    // the view. The time left is reckoned from the local time of Core's
    // clock.
    CabinetView(Core* core, Dialogs& dialogs, QWidget* parent = nullptr);

    // The IANA zone dates are shown in; empty (the default) is the user's.
    void setTimeZone(const QString& zoneId);

    // Fetches the cabinet through Core::accountRequest unless a fetch is
    // already in flight or the account is not signed in. The reply is
    // applied on the main thread, and only if it still belongs to the
    // device that was signed in when it was asked for.
    void load();

    const std::optional<CabinetData>& cabinet() const { return cabinet_; }
    bool isLoading() const { return loading_; }
    QString failure() const { return failure_; }
    QString selectedPlan() const { return selectedPlan_; }
    QDateTime now() const { return now_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void loaded(const QString& deviceId, const std::optional<QJsonObject>& json,
                const std::optional<QString>& error);
    void keepPlanChoice();
    void accountChanged();
    void tick();
    void showPayment();
    QString date(qint64 secondsSince1970) const;
    const CabinetPlan* chosenPlan() const;

    void build();
    QWidget* buildData();
    void render();
    void renderDevices();
    void applyStyle();

    QPointer<Core> core_;
    Dialogs& dialogs_;
    QString zone_;

    std::optional<CabinetData> cabinet_;
    bool loading_ = false;
    QString failure_;
    QString selectedPlan_;
    bool showPayment_ = false;
    QDateTime now_;
    QTimer minute_;
    QString deviceId_; // the last device_id seen, to notice a change

    TextBlock* heading_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QWidget* progress_ = nullptr;
    BusyIndicator* spinner_ = nullptr;
    QLabel* failureLabel_ = nullptr;
    TextBlock* olderNote_ = nullptr;
    QWidget* data_ = nullptr;
    TextBlock* planName_ = nullptr;
    TextBlock* remaining_ = nullptr;
    TextBlock* endDate_ = nullptr;
    TextBlock* loadedAt_ = nullptr;
    QList<QWidget*> dividers_;
    TextBlock* devicesTitle_ = nullptr;
    TextBlock* noDevices_ = nullptr;
    QWidget* devicesBox_ = nullptr;
    QVBoxLayout* deviceBlocks_ = nullptr;
    QList<CabinetDevice> shownDevices_;
    bool devicesStale_ = true;
    TextBlock* choiceTitle_ = nullptr;
    TextBlock* noPlans_ = nullptr;
    QWidget* pickerRow_ = nullptr;
    PlanPicker* picker_ = nullptr;
    TextBlock* planLine_ = nullptr;
    QPushButton* payButton_ = nullptr;
    TextBlock* paymentNote_ = nullptr;
};
