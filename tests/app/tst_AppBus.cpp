// The running copy on the session bus, reached from another process the way
// a second launch reaches it. Runs under the private bus of ./test.sh.
#include "app/AppBus.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Starts the peer and spins the event loop (this process must answer it).
int runPeer(const QStringList& args)
{
    QProcess peer;
    QSignalSpy finished(&peer, &QProcess::finished);
    peer.start(QStringLiteral(BUS_PEER_PATH), args);
    if (!peer.waitForStarted() || !finished.wait(15000))
        return -1;
    return peer.exitStatus() == QProcess::NormalExit ? peer.exitCode() : -1;
}

} // namespace

class AppBusTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QFAIL("no session bus: run the suite through ./test.sh (dbus-run-session)");
    }

    void noRunningCopyIsFoundAtOnce() { QCOMPARE(runPeer({u"finished"_s}), 1); }

    void secondLaunchActivatesTheFirst()
    {
        AppBus bus;
        QVERIFY(bus.publish());
        QSignalSpy activated(&bus, &AppBus::activateRequested);
        QSignalSpy links(&bus, &AppBus::linksReceived);
        QCOMPARE(runPeer({u"finished"_s}), 0);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(links.size(), 0);
    }

    void linksArriveInOrder()
    {
        AppBus bus;
        QVERIFY(bus.publish());
        QSignalSpy links(&bus, &AppBus::linksReceived);
        const QStringList sent = {u"ovrin://auth?challenge_id=c1&link_token=t1"_s,
                                  u"ovrin://auth?challenge_id=c2&link_token=%D1%8F"_s};
        QCOMPARE(runPeer(QStringList{u"finished"_s} + sent), 0);
        QCOMPARE(links.size(), 1);
        QCOMPARE(links.at(0).at(0).toStringList(), sent);
    }

    void ownCopyIsNeverTheRunningOne()
    {
        AppBus bus;
        QVERIFY(bus.publish());
        QSignalSpy activated(&bus, &AppBus::activateRequested);
        QVERIFY(!AppBus::activateRunning({}, AppBus::Search::Finished));
        QCOMPARE(activated.size(), 0);
    }

    void nameIsTakenOnce()
    {
        AppBus first;
        QVERIFY(first.publish());
        AppBus second(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"second"_s));
        QVERIFY(!second.publish());
        QDBusConnection::disconnectFromBus(u"second"_s);
    }

    void launchingCopyIsWaitedForOnlyWhenAsked()
    {
        // The first copy holds the lock but publishes a moment later.
        AppBus bus;
        QSignalSpy activated(&bus, &AppBus::activateRequested);
        QTimer::singleShot(1000, &bus, [&bus] { bus.publish(); });
        QCOMPARE(runPeer({u"finished"_s}), 1);
        QCOMPARE(runPeer({u"any"_s}), 0);
        QCOMPARE(activated.size(), 1);
    }

    void releasedNameIsFreeAgain()
    {
        {
            AppBus bus;
            QVERIFY(bus.publish());
        }
        QCOMPARE(runPeer({u"finished"_s}), 1);
        AppBus again;
        QVERIFY(again.publish());
    }
};

QTEST_GUILESS_MAIN(AppBusTest)
#include "tst_AppBus.moc"
