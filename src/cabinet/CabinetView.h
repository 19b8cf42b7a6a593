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

    CabinetLoader& loader() { return m_loader; }
    void load() { m_loader.load(); }
    const std::optional<CabinetData>& cabinet() const { return m_loader.cabinet(); }
    bool isLoading() const { return m_loader.isLoading(); }
    const QString& selectedPlan() const { return m_loader.selectedPlan(); }

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

    Dialogs& m_dialogs;
    CabinetLoader m_loader;
    QString m_zone;
    bool m_showPayment = false;

    TextBlock* m_heading = nullptr;
    QPushButton* m_refreshButton = nullptr;
    QWidget* m_progress = nullptr;
    BusyIndicator* m_spinner = nullptr;
    QLabel* m_failureLabel = nullptr;
    TextBlock* m_olderNote = nullptr;
    QWidget* m_data = nullptr;
    TextBlock* m_planName = nullptr;
    TextBlock* m_remaining = nullptr;
    TextBlock* m_endDate = nullptr;
    TextBlock* m_loadedAt = nullptr;
    QList<QWidget*> m_dividers;
    TextBlock* m_devicesTitle = nullptr;
    TextBlock* m_noDevices = nullptr;
    QWidget* m_devicesBox = nullptr;
    QVBoxLayout* m_deviceBlocks = nullptr;
    QList<CabinetDevice> m_shownDevices;
    bool m_devicesStale = true;
    TextBlock* m_choiceTitle = nullptr;
    TextBlock* m_noPlans = nullptr;
    QWidget* m_pickerRow = nullptr;
    PlanPicker* m_picker = nullptr;
    TextBlock* m_planLine = nullptr;
    QPushButton* m_payButton = nullptr;
    TextBlock* m_paymentNote = nullptr;
};
