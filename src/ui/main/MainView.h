#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class AccountSheet;
class ChannelList;
class Core;
class Metric;
class MoreDots;
class Popover;
class PowerButton;
class PowerRow;
class QPushButton;
class SettingsMenu;
class TextBlock;
class WarningButton;

// The whole content of the main window: the power button, the channels, the
// live metrics and the warnings the helper's state calls for, with a
// parallel-VPN warning in the top-left corner and the settings menu in the
// top-right one. It keeps two values of its own (the row picked by a single
// click and whether the parallel-VPN popover is open); everything else is
// read from Core and drawn again on each change Core publishes, reusing
// every widget that is still needed. Every control calls a Core operation.
//
// 400 points wide and as tall as what it shows: put it in a layout that
// gives it its size hint. Main thread only.
class MainView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainView)

public:
    static constexpr int contentWidth = 400;

    // `core` must outlive the view.
    explicit MainView(Core* core, QWidget* parent = nullptr);

    // The row picked by the last single click, -1 before any.
    int selected() const { return selected_; }
    bool showVPNWarning() const { return showVPNWarning_; }
    // The channel the power button would connect: the picked row, else the active one.
    int target() const;
    // The tunnel runs on `target`.
    bool on() const;
    // On, not verified yet, and holding the route.
    bool checking() const;
    // The parallel-VPN warning's text.
    QString vpnWarning() const;

    // The parts, for the window (the account sheet takes the account view) and tests.
    PowerButton* powerButton() const;
    TextBlock* checkingCaption() const;
    ChannelList* channelList() const { return list_; }
    QWidget* protectionNotice() const { return notice_; }
    QPushButton* openInternetButton() const { return openInternet_; }
    // Response, receive, send, peak.
    const std::array<Metric*, 4>& metrics() const { return metrics_; }
    TextBlock* routeWarning() const { return routeWarning_; }
    TextBlock* helperMessage() const { return message_; }
    QWidget* helperMissing() const { return helperMissing_; }
    QPushButton* installButton() const { return install_; }
    WarningButton* warningButton() const { return warning_; }
    Popover* warningPopover() const { return popover_; }
    MoreDots* settingsButton() const { return dots_; }
    SettingsMenu* settingsMenu() const { return menu_; }
    AccountSheet* accountSheet() const { return sheet_; }

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build();
    QWidget* buildProtectionNotice();
    QWidget* buildMetrics();
    QWidget* buildHelperMissing();
    void render();
    void renderCorner();
    void reserveScreenForRest();
    void select(int index);
    void connectChannel(int index);
    void pressPower();
    void parallelVPNsChanged();
    void setShowVPNWarning(bool show);
    void placeCorners();
    void applyFonts();

    QPointer<Core> core_;
    int selected_ = -1;
    bool showVPNWarning_ = false;

    PowerRow* power_ = nullptr;
    ChannelList* list_ = nullptr;
    QWidget* notice_ = nullptr;
    TextBlock* noticeText_ = nullptr;
    QPushButton* openInternet_ = nullptr;
    std::array<Metric*, 4> metrics_{};
    TextBlock* routeWarning_ = nullptr;
    TextBlock* message_ = nullptr;
    QWidget* helperMissing_ = nullptr;
    TextBlock* helperMissingText_ = nullptr;
    QPushButton* install_ = nullptr;
    WarningButton* warning_ = nullptr;
    Popover* popover_ = nullptr;
    MoreDots* dots_ = nullptr;
    SettingsMenu* menu_ = nullptr;
    AccountSheet* sheet_ = nullptr;
};
