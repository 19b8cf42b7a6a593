#pragma once

#include "cabinet/CabinetLoader.h"

#include <QList>
#include <QString>
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
// it, the devices that use it (this computer marked) and the plans on offer,
// drawn from a CabinetLoader. It loads when it comes on screen and again on
// "Обновить данные"; the minute clock runs while it is shown. Payment only
// shows a notice.
class CabinetView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CabinetView)

public:
    // `dialogs` shows the payment notice; `core` and `dialogs` must outlive
    // the view. The time left is reckoned from the local time of Core's
    // clock.
    CabinetView(Core& core, Dialogs& dialogs, QWidget* parent = nullptr);

    // The IANA zone dates are shown in; empty (the default) is the user's.
    void setTimeZone(const QString& zoneId);

    CabinetLoader& loader() { return loader_; }
    void load() { loader_.load(); }
    const std::optional<CabinetData>& cabinet() const { return loader_.cabinet(); }
    bool isLoading() const { return loader_.isLoading(); }
    const QString& selectedPlan() const { return loader_.selectedPlan(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showPayment();
    QString date(qint64 secondsSince1970) const;

    void build();
    QWidget* buildData();
    void render();
    void renderDevices();
    void applyStyle();

    Dialogs& dialogs_;
    CabinetLoader loader_;
    QString zone_;
    bool showPayment_ = false;

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
