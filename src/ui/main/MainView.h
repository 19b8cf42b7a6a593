#pragma once

#include <QString>
#include <QWidget>

#include <array>

class AccountSheet;
class ChannelList;
class Core;
class Metric;
class MoreDots;
class ParallelVPNWarning;
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
// top-right one. It keeps one value of its own, the row picked by a single
// click (ParallelVPNWarning keeps whether its popover is open); everything
// else is read from Core and drawn again on each change Core publishes, reusing
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
    explicit MainView(Core& core, QWidget* parent = nullptr);

    // The row picked by the last single click, -1 before any.
    int selected() const { return m_selected; }
    bool showVPNWarning() const;
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
    ChannelList* channelList() const { return m_list; }
    QWidget* protectionNotice() const { return m_notice; }
    QPushButton* openInternetButton() const { return m_openInternet; }
    // Response, receive, send, peak.
    const std::array<Metric*, 4>& metrics() const { return m_metrics; }
    TextBlock* routeWarning() const { return m_routeWarning; }
    TextBlock* helperMessage() const { return m_message; }
    QWidget* helperMissing() const { return m_helperMissing; }
    QPushButton* installButton() const { return m_install; }
    WarningButton* warningButton() const;
    Popover* warningPopover() const;
    MoreDots* settingsButton() const { return m_dots; }
    SettingsMenu* settingsMenu() const { return m_menu; }
    AccountSheet* accountSheet() const { return m_sheet; }

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
    void reserveScreenForRest();
    void select(int index);
    void connectChannel(int index);
    void pressPower();
    void placeCorners();
    void applyFonts();

    Core& m_core;
    int m_selected = -1;

    PowerRow* m_power = nullptr;
    ChannelList* m_list = nullptr;
    QWidget* m_notice = nullptr;
    TextBlock* m_noticeText = nullptr;
    QPushButton* m_openInternet = nullptr;
    std::array<Metric*, 4> m_metrics{};
    TextBlock* m_routeWarning = nullptr;
    TextBlock* m_message = nullptr;
    QWidget* m_helperMissing = nullptr;
    TextBlock* m_helperMissingText = nullptr;
    QPushButton* m_install = nullptr;
    ParallelVPNWarning* m_warning = nullptr;
    MoreDots* m_dots = nullptr;
    SettingsMenu* m_menu = nullptr;
    AccountSheet* m_sheet = nullptr;
};
