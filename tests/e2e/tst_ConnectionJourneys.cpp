// The application and the reference helper together, driven as a person
// drives them: the first start, connecting, strict protection, a lost route,
// a parallel VPN, the logs and quitting. Each journey starts on an empty
// data folder.
#include "Journey.h"
#include "Presses.h"
#include "app/MainWindow.h"
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

QAction* menuAction(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class ConnectionJourneys : public QObject {
    Q_OBJECT

    std::unique_ptr<Journey> m_journey;

    Journey& j() { return *m_journey; }
    MainView& view() { return j().view(); }
    const Status& status() { return j().core().status(); }

    // An installed helper, connected to channel 1 and verified.
    bool connectSecond()
    {
        if (!status().helper) {
            QTest::mouseClick(view().installButton(), Qt::LeftButton);
            if (!QTest::qWaitFor([&] { return status().helper; }, patience))
                return false;
        }
        Presses::doubleClick(view().channelList()->clickArea(1));
        return QTest::qWaitFor([&] { return status().running && status().verified; }, patience);
    }

private Q_SLOTS:
    // One HOME for the whole program: the socket path is read from it once.
    void initTestCase()
    {
        m_journey = std::make_unique<Journey>();
        QVERIFY(j().valid());
    }
    void init() { j().wipe(); }
    void cleanup()
    {
        QVERIFY(j().stop());
        j().dialogs() = FakeDialogs();
    }
    void cleanupTestCase() { m_journey.reset(); }

    void firstStartInstallAndConnect()
    {
        QVERIFY(j().start());
        QVERIFY(view().isVisible());
        QCOMPARE(view().channelList()->count(), 7);
        QVERIFY(view().helperMissing()->isVisible());

        QTest::mouseClick(view().installButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view().helperMissing()->isVisible(), patience);

        Presses::doubleClick(view().channelList()->clickArea(1));
        QTRY_VERIFY_WITH_TIMEOUT(status().running, patience);
        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Checking, patience);
        QVERIFY(view().checkingCaption()->isVisible());
        QCOMPARE(view().checkingCaption()->text(), u"Проверяю связь…"_s);

        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Connected, patience);
        QCOMPARE(view().channelList()->row(1)->dotColour(), SystemColours::green(view().palette()));

        // The figures are live: the receive rate moves within a few ticks.
        const QString before = view().metrics()[1]->value();
        QTRY_VERIFY_WITH_TIMEOUT(view().metrics()[1]->value() != before, patience);
        QVERIFY(view().metrics()[0]->value() != Metric::placeholder());

        QMenu* menu = j().app().menu();
        Q_EMIT menu->aboutToShow();
        QCOMPARE(menu->actions().constFirst()->text(), u"Подключено: Финляндия — Хельсинки"_s);
        QAction* channel = menuAction(menu, u"Финляндия — Хельсинки"_s);
        QVERIFY(channel && channel->isChecked());
        QVERIFY(menuAction(menu, u"Отключить"_s));
        Q_EMIT menu->aboutToHide();
        QTRY_VERIFY_WITH_TIMEOUT(j().app().glyphBright(), patience);
    }

    void strictProtection()
    {
        QVERIFY(j().start());
        QVERIFY(connectSecond());
        // Switched while disconnected only: disconnect first.
        QTest::mouseClick(view().powerButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!status().running, patience);

        j().dialogs().alertAnswers = {0};
        QAction* protection = view().settingsMenu()->protection();
        QTRY_VERIFY_WITH_TIMEOUT(protection->isEnabled(), patience);
        protection->trigger();
        QCOMPARE(j().dialogs().alerts.constLast().message, u"Включить строгую защиту?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(status().protected_, patience);
        QTRY_VERIFY_WITH_TIMEOUT(view().protectionNotice()->isVisible(), patience);
        QVERIFY(
            Journey::showsText(view().protectionNotice(), u"Интернет закрыт строгой защитой."_s));

        // Connected, the notice goes; disconnected, it is back.
        QVERIFY(connectSecond());
        QVERIFY(!view().protectionNotice()->isVisible());
        QTest::mouseClick(view().powerButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().protectionNotice()->isVisible(), patience);

        QTest::mouseClick(view().openInternetButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view().protectionNotice()->isVisible(), patience);
        QVERIFY(status().protected_);
    }

    void stalledRouteAndHelperMessage()
    {
        const QString message = u"Маршрут потерян: трафик идёт мимо туннеля."_s;
        j().setScenario(R"({"stall_after_ms": 6000,
                            "message": "Маршрут потерян: трафик идёт мимо туннеля."})");
        QVERIFY(j().start());
        QTRY_VERIFY_WITH_TIMEOUT(view().helperMessage()->isVisible(), patience);
        QCOMPARE(view().helperMessage()->text(), message);
        QVERIFY(connectSecond());

        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Stalled, patience);
        QVERIFY(view().routeWarning()->isVisible());
        QCOMPARE(view().channelList()->row(1)->dotColour(),
                 SystemColours::orange(view().palette()));
        QVERIFY(view().helperMessage()->isVisible());
        QMenu* menu = j().app().menu();
        Q_EMIT menu->aboutToShow();
        QCOMPARE(menu->actions().constFirst()->text(),
                 u"Трафик идёт мимо: Финляндия — Хельсинки"_s);
        Q_EMIT menu->aboutToHide();
        QTRY_VERIFY_WITH_TIMEOUT(!j().app().glyphBright(), patience);
    }

    void parallelVpn()
    {
        QVERIFY(j().start());
        QVERIFY(!view().warningButton()->isVisible());
        j().listVpns({u"Рабочий WireGuard"_s});
        QTRY_VERIFY_WITH_TIMEOUT(view().warningButton()->isVisible(), patience);
        QTest::mouseClick(view().warningButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().warningPopover()->isVisible(), patience);
        QVERIFY(view().warningPopover()->text().contains(u"Рабочий WireGuard"_s));

        j().listVpns({});
        QTRY_VERIFY_WITH_TIMEOUT(!view().warningButton()->isVisible(), patience);
        QVERIFY(!view().warningPopover()->isVisible());
    }

    void logsExportedAndCleared()
    {
        QVERIFY(j().start());
        QVERIFY(connectSecond());
        const QString folder = j().scratch() + u"/Мои журналы с пробелами"_s;
        QVERIFY(QDir().mkpath(folder));
        const QString archive = folder + u"/журнал Оврин.zip"_s;
        j().dialogs().saveAnswer = archive;
        view().settingsMenu()->exportLogs()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(j().dialogs().revealed.contains(archive), patience);
        QVERIFY(!j().core().exporting());

        QProcess unzip;
        unzip.start(u"unzip"_s, {u"-p"_s, archive, u"summary.txt"_s});
        QVERIFY(unzip.waitForFinished(patience));
        QCOMPARE(unzip.exitCode(), 0);
        const QString summary = QString::fromUtf8(unzip.readAllStandardOutput());
        QVERIFY2(summary.contains(u"Финляндия — Хельсинки"_s), qPrintable(summary));
        unzip.start(u"unzip"_s, {u"-tq"_s, archive});
        QVERIFY(unzip.waitForFinished(patience));
        QCOMPARE(unzip.exitCode(), 0);

        QVERIFY(j().helperLog().contains(u"connect Финляндия — Хельсинки"_s));
        j().dialogs().alertAnswers = {0};
        view().settingsMenu()->clearLogs()->trigger();
        QCOMPARE(j().dialogs().alerts.constLast().message, u"Очистить журналы?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!j().helperLog().contains(u"connect Финляндия — Хельсинки"_s),
                                 patience);
    }

    void quitting()
    {
        QVERIFY(j().start());
        QVERIFY(connectSecond());
        const qint64 helper = j().helperPid();
        QVERIFY(helper > 0);

        QMenu* menu = j().app().menu();
        QTimer::singleShot(0, menu, [menu] {
            Q_EMIT menu->aboutToShow();
            menuAction(menu, u"Выйти и отключить"_s)->trigger();
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(j().app().quitting());
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(helper), 0) != 0, patience);
        QVERIFY(!QFile::exists(j().dataDir() + u"/control.sock"_s));
        QCOMPARE(j().helperLog().count(u"POST /stop -> 200"_s), 1);
    }
};

QTEST_MAIN(ConnectionJourneys)
#include "tst_ConnectionJourneys.moc"
