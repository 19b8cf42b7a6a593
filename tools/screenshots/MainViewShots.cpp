// Renders the main window in each state a user meets, in a light and a dark
// palette, one PNG per state and palette, for a visual check. A real Core
// polls a fake helper that serves each state; the picture is taken from the
// screen, so open menus and popovers are in it. Not a test: run it under an
// X server (scripts/screenshots.sh runs it under Xvfb).
//   ui_main_screenshots [OUTPUT_FOLDER]   (default build/screenshots)
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "FakeVpns.h"
#include "ShotKit.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "core/Core.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelList.h"
#include "ui/main/MainView.h"
#include "ui/main/MoreDots.h"
#include "ui/main/Popover.h"
#include "ui/main/PowerButton.h"
#include "ui/main/SettingsMenu.h"
#include "ui/main/WarningButton.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;

// Core's own test hook: one status poll and one parallel-VPN scan on demand.
class CoreProbe {
public:
    static void poll(Core& core) { core.refresh(); }
    static void scan(Core& core) { core.refreshParallelVPNs(); }
};

using ShotKit::darkPalette;
using ShotKit::wait;
using ShotKit::waitFor;

namespace {

const QPoint windowAt(120, 90);
constexpr int margin = 28;

const QStringList channels = {u"Нидерланды — Амстердам"_s, u"Финляндия — Хельсинки"_s,
                              u"Германия — Франкфурт"_s,   u"Latvia — Riga"_s,
                              u"Казахстан — Алматы"_s,     u"Türkiye — Istanbul"_s,
                              u"USA — New York"_s};

Status off()
{
    Status s;
    s.helper = true;
    s.channels = channels;
    s.active = 2;
    s.auto_ = false;
    return s;
}

Status connected()
{
    Status s = off();
    s.running = true;
    s.primary = true;
    s.verified = true;
    s.latency_ms = 52;
    s.down_bps = 48'300'000;
    s.up_bps = 12'100'000;
    s.peak_bps = 61'000'000;
    s.autoconnect = true;
    return s;
}

enum class Extra { None, SelectAndConnect, Popover, Menu, LogsMenu };

struct Shot {
    QString name;
    Status status;
    QStringList parallel;
    Extra extra = Extra::None;
};

QList<Shot> shots()
{
    Status checking = connected();
    checking.verified = false;
    checking.latency_ms = 0;
    checking.down_bps = 0;
    checking.up_bps = 0;
    checking.peak_bps = 0;

    Status stalled = connected();
    stalled.primary = false;
    stalled.down_bps = 0;
    stalled.up_bps = 12'000;

    Status blocking = off();
    blocking.protected_ = true;
    blocking.protection_armed = true;

    Status message = checking;
    message.active = 3;
    message.message = u"Сервер не отвечает по UDP, пробую TCP. Это может занять до двадцати "
                      u"секунд, если сеть блокирует VPN-протоколы."_s;

    return {
        {u"nothing-received"_s, Status(), {}, Extra::None},
        {u"off"_s, off(), {}, Extra::None},
        {u"checking"_s, checking, {}, Extra::None},
        {u"connected"_s, connected(), {}, Extra::None},
        {u"stalled"_s, stalled, {}, Extra::None},
        {u"busy"_s, off(), {}, Extra::SelectAndConnect},
        {u"protection-blocking"_s, blocking, {}, Extra::None},
        {u"helper-message"_s, message, {}, Extra::None},
        {u"parallel-vpn"_s, connected(), {u"Office WireGuard"_s}, Extra::Popover},
        {u"settings-menu"_s, connected(), {}, Extra::Menu},
        {u"settings-logs"_s, connected(), {}, Extra::LogsMenu},
    };
}

// Everything a window needs for one picture: a Core of its own, so that no
// state (busy, a choice of row) carries over from the previous picture.
class Stage {
public:
    Stage(FakeHelper& helper, FakeVpns& vpns, const Shot& shot)
    {
        helper.route("GET", "/status", Reply::json(200, statusBody(shot.status)));
        helper.route("POST", "/connect", Reply::stall());
        helper.fallback(Reply::json(200, "{}"));
        m_loginItem.enabled = shot.extra == Extra::Menu || shot.extra == Extra::LogsMenu;
        CorePorts ports = fakePorts(m_dialogs, m_loginItem, m_log);
        ports.vpns = &vpns;
        m_core = std::make_unique<Core>(ports);

        m_window.setWindowTitle(u"Оврин"_s);
        auto* layout = new QVBoxLayout(&m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        m_view = new MainView(*m_core);
        layout->addWidget(m_view);
    }

    Core& core() { return *m_core; }
    MainView& view() { return *m_view; }
    QWidget& window() { return m_window; }

private:
    FakeDialogs m_dialogs;
    FakeLoginItem m_loginItem;
    FakeSystemLog m_log;
    std::unique_ptr<Core> m_core;
    QWidget m_window;
    MainView* m_view;
};

void press(QWidget* target)
{
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(30, target->height() / 2));
}

QRect shownArea(QWidget& window)
{
    QRect area = window.frameGeometry();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top != &window && top->windowType() == Qt::Popup)
            area |= top->frameGeometry();
    }
    return area.adjusted(-margin, -margin, margin, margin) & window.screen()->geometry();
}

bool take(FakeHelper& helper, FakeVpns& vpns, const Shot& shot, const QString& path)
{
    vpns.list(shot.parallel);

    Stage stage(helper, vpns, shot);
    Core& core = stage.core();
    if (shot.status != Status()) {
        CoreProbe::poll(core);
        if (!waitFor([&] { return core.status() == shot.status; }))
            return false;
    }
    if (!shot.parallel.isEmpty()) {
        CoreProbe::scan(core);
        if (!waitFor([&] { return core.parallelVPNs() == shot.parallel; }))
            return false;
    }

    stage.window().move(windowAt);
    stage.window().show();
    if (!QTest::qWaitForWindowExposed(&stage.window()))
        return false;
    MainView& view = stage.view();

    bool saved = false;
    const auto shoot = [&] {
        const QRect area = shownArea(stage.window());
        QScreen* screen = stage.window().screen();
        saved = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->windowType() == Qt::Popup)
                top->close();
        }
    };
    // Layout and the popups' first paint; a quarter turn of the checking arc.
    const int settle = shot.name == u"checking" ? 750 : 300;

    switch (shot.extra) {
    case Extra::None:
        break;
    case Extra::SelectAndConnect:
        press(view.channelList()->clickArea(0));
        view.powerButton()->click();
        if (!core.busy())
            return false;
        break;
    case Extra::Popover:
        view.warningButton()->click();
        if (!waitFor([&] { return view.warningPopover()->isVisible(); }))
            return false;
        break;
    case Extra::Menu:
    case Extra::LogsMenu: {
        // As a press opens it: the button's own menu loop, which the picture ends.
        SettingsMenu* menu = view.settingsMenu();
        QTimer::singleShot(settle, menu, [&, menu] {
            if (shot.extra == Extra::Menu)
                return shoot();
            QAction* logs = menu->logs()->menuAction();
            menu->setActiveAction(logs);
            menu->logs()->popup(menu->mapToGlobal(menu->actionGeometry(logs).topRight()));
            QTimer::singleShot(settle, menu, shoot);
        });
        view.settingsButton()->showMenu();
        return saved;
    }
    }
    wait(settle);
    shoot();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    TestHome home; // before anything asks for the socket path
    QApplication app(argc, argv);
    const QString folder = ShotKit::prepare(argc, argv);
    if (folder.isEmpty())
        return 1;

    FakeVpns vpns;
    FakeHelper helper(home.socketPath());
    if (!helper.listening())
        return 1;

    ShotKit::Report report;
    ShotKit::eachTheme([&](const QString& theme) {
        for (const Shot& shot : shots()) {
            const QString path = folder + u'/' + shot.name + u'-' + theme + u".png"_s;
            report(take(helper, vpns, shot, path), path);
        }
    });
    helper.stop();
    return report.exitCode();
}
