// The application and the reference helper together, driven as a person
// drives them: the first start, installing, connecting, the logs, strict
// protection and quitting in one journey; a lost route, a helper message and
// a parallel VPN in another. Each starts on an empty data folder.
#include "Journey.h"
#include "Presses.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelList.h"
#include "ui/main/ChannelRow.h"
#include "ui/main/MainView.h"
#include "ui/main/Metric.h"
#include "ui/main/Popover.h"
#include "ui/main/PowerButton.h"
#include "ui/main/SettingsMenu.h"
#include "ui/main/WarningButton.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <signal.h>

using namespace Qt::StringLiterals;
using Look = PowerButton::Look;

namespace {

constexpr int patience = Journey::patienceMs;
const QString helsinki = u"Финляндия — Хельсинки"_s;

QAction* menuAction(QMenu* menu, const QString& text)
{
    const QList<QAction*> actions = menu->actions();
    const auto found = std::find_if(actions.begin(), actions.end(),
                                    [&](QAction* action) { return action->text() == text; });
    return found == actions.end() ? nullptr : *found;
}

} // namespace

class ConnectionJourneys : public QObject {
    Q_OBJECT

    // One HOME for the whole program: the socket path is read from it once.
    Journey j;

    MainView& view() { return j.view(); }
    const Status& status() { return j.core().status(); }

    // Installs the helper unless it is, then double-clicks the channel in
    // row 1 and waits until it is connected and checked.
    bool connectHelsinki()
    {
        if (!status().helper) {
            QTest::mouseClick(view().installButton(), Qt::LeftButton);
            if (!QTest::qWaitFor([&] { return status().helper; }, patience))
                return false;
        }
        Presses::doubleClick(view().channelList()->clickArea(1));
        return QTest::qWaitFor([&] { return status().running && status().verified; }, patience);
    }
    // The tray menu's items as it shows them when opened, "✓ " before a
    // checked one.
    QStringList trayMenu()
    {
        QMenu* menu = j.app().menu();
        Q_EMIT menu->aboutToShow();
        QStringList items;
        for (const QAction* action : menu->actions())
            items << (action->isChecked() ? u"✓ "_s : QString()) + action->text();
        Q_EMIT menu->aboutToHide();
        return items;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(j.valid());
        j.wipe();
    }
    void cleanup() { QVERIFY(j.stop()); }

    void firstStartConnectLogsProtectionQuit()
    {
        QVERIFY(j.start());
        QVERIFY(view().isVisible());
        QCOMPARE(view().channelList()->count(), 7);
        QVERIFY(view().helperMissing()->isVisible());
        QTest::mouseClick(view().installButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view().helperMissing()->isVisible(), patience);

        Presses::doubleClick(view().channelList()->clickArea(1));
        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Checking, patience);
        QVERIFY(view().checkingCaption()->isVisible());
        QCOMPARE(view().checkingCaption()->text(), u"Проверяю связь…"_s);
        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Connected, patience);
        QCOMPARE(view().channelList()->row(1)->dotColour(), SystemColours::green(view().palette()));
        // The figures are live: the receive rate moves within a few ticks.
        const QString rate = view().metrics()[1]->value();
        QTRY_VERIFY_WITH_TIMEOUT(view().metrics()[1]->value() != rate, patience);
        QVERIFY(view().metrics()[0]->value() != Metric::placeholder());
        const QStringList menu = trayMenu();
        QCOMPARE(menu.constFirst(), u"Подключено: "_s + helsinki);
        QVERIFY(menu.contains(u"✓ "_s + helsinki));
        QVERIFY(menu.contains(u"Отключить"_s));
        QTRY_VERIFY_WITH_TIMEOUT(j.app().glyphBright(), patience);

        // The logs, to a folder with spaces and Cyrillic, and cleared.
        const QString archive = j.scratch() + u"/Мои журналы с пробелами/журнал Оврин.zip"_s;
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
        j.dialogs().saveAnswer = archive;
        view().settingsMenu()->exportLogs()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(j.dialogs().revealed.contains(archive), patience);
        QVERIFY(!j.core().exporting());
        QProcess unzip;
        const auto unzipped = [&](const QStringList& arguments) {
            unzip.start(u"unzip"_s, arguments);
            return unzip.waitForFinished(patience) && unzip.exitCode() == 0;
        };
        QVERIFY(unzipped({u"-tq"_s, archive}));
        QVERIFY(unzipped({u"-p"_s, archive, u"summary.txt"_s}));
        QVERIFY(QString::fromUtf8(unzip.readAllStandardOutput()).contains(helsinki));
        QVERIFY(j.helperLog().contains(u"connect "_s + helsinki));
        view().settingsMenu()->clearLogs()->trigger();
        QCOMPARE(j.dialogs().alerts.constLast().message, u"Очистить журналы?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!j.helperLog().contains(u"connect "_s + helsinki), patience);

        // Strict protection, switched while disconnected only.
        QTest::mouseClick(view().powerButton(), Qt::LeftButton);
        QAction* protection = view().settingsMenu()->protection();
        QTRY_VERIFY_WITH_TIMEOUT(!status().running && protection->isEnabled(), patience);
        protection->trigger();
        QCOMPARE(j.dialogs().alerts.constLast().message, u"Включить строгую защиту?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(view().protectionNotice()->isVisible(), patience);
        QVERIFY(status().protected_);
        QVERIFY(
            Journey::showsText(view().protectionNotice(), u"Интернет закрыт строгой защитой."_s));
        // Connected, the notice goes; disconnected, it is back until the
        // internet is opened.
        QVERIFY(connectHelsinki());
        QVERIFY(!view().protectionNotice()->isVisible());
        QTest::mouseClick(view().powerButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().protectionNotice()->isVisible(), patience);
        QTest::mouseClick(view().openInternetButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view().protectionNotice()->isVisible(), patience);
        QVERIFY(status().protected_);

        // Quitting while connected: one "POST /stop", and the helper ends.
        QVERIFY(connectHelsinki());
        const qint64 helper = j.helperPid();
        QVERIFY(helper > 0);
        const qsizetype stops = j.helperLog().count(u"POST /stop -> 200"_s);
        QMenu* tray = j.app().menu();
        QTimer::singleShot(0, tray, [tray] {
            Q_EMIT tray->aboutToShow();
            menuAction(tray, u"Выйти и отключить"_s)->trigger();
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(j.app().quitting());
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(helper), 0) != 0, patience);
        QVERIFY(!QFile::exists(j.dataDir() + u"/control.sock"_s));
        QCOMPARE(j.helperLog().count(u"POST /stop -> 200"_s), stops + 1);
    }

    void lostRouteHelperMessageAndParallelVpn()
    {
        const QString message = u"Маршрут потерян: трафик идёт мимо туннеля."_s;
        j.setScenario(R"({"stall_after_ms": 4000,
                          "message": "Маршрут потерян: трафик идёт мимо туннеля."})");
        QVERIFY(j.vpns().list({u"Рабочий WireGuard"_s}));
        QVERIFY(j.start());
        QTRY_VERIFY_WITH_TIMEOUT(view().helperMessage()->isVisible(), patience);
        QCOMPARE(view().helperMessage()->text(), message);
        QTRY_VERIFY_WITH_TIMEOUT(view().warningButton()->isVisible(), patience);

        QVERIFY(connectHelsinki());
        QTRY_VERIFY_WITH_TIMEOUT(j.app().glyphBright(), patience);
        // No more presses from here: the popover takes them.
        QTest::mouseClick(view().warningButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().warningPopover()->isVisible(), patience);
        QVERIFY(view().warningPopover()->text().contains(u"Рабочий WireGuard"_s));
        QVERIFY(j.vpns().list({}));

        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Stalled, patience);
        QVERIFY(view().routeWarning()->isVisible());
        QCOMPARE(view().channelList()->row(1)->dotColour(),
                 SystemColours::orange(view().palette()));
        QVERIFY(view().helperMessage()->isVisible());
        QCOMPARE(trayMenu().constFirst(), u"Трафик идёт мимо: "_s + helsinki);
        QTRY_VERIFY_WITH_TIMEOUT(!j.app().glyphBright(), patience);

        // The other VPN ends: the warning goes at the next scan.
        QTRY_VERIFY_WITH_TIMEOUT(!view().warningButton()->isVisible(), patience);
        QVERIFY(!view().warningPopover()->isVisible());
    }
};

QTEST_MAIN(ConnectionJourneys)
#include "tst_ConnectionJourneys.moc"
