// A second launch of the real ovrin program while this test plays the first
// copy: it must bring the first to the front, hand over its links and end
// with status 0 without touching the lock. Runs under the private session
// bus of ./test.sh.
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "app/AppBus.h"
#include "app/AppInstance.h"
#include "app/Delegate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;

class SecondLaunchTest : public QObject {
    Q_OBJECT

    TestHome m_home;
    std::unique_ptr<FakeHelper> m_helper;
    FakeDialogs m_dialogs;
    FakeLoginItem m_loginItem;
    FakeSystemLog m_log;
    std::unique_ptr<Delegate> m_delegate;
    std::unique_ptr<AppBus> m_bus;

    // Runs the real program as a user would, a second time, and waits for it.
    int launch(const QStringList& args)
    {
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, m_home.path());
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        second.setProcessEnvironment(env);
        QSignalSpy finished(&second, &QProcess::finished);
        second.start(QStringLiteral(OVRIN_PATH), args);
        if (!second.waitForStarted() || !finished.wait(20000))
            return -1;
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    QString lockFile() const { return m_home.dataDir() + u"/app.lock"_s; }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QFAIL("no session bus: run the suite through ./test.sh (dbus-run-session)");
    }

    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_helper->route("GET", "/status", Reply::json(200, statusBody(Status())));
        m_helper->route("POST", "/account/auth/verify", Reply::json(200, "{}"));
        m_delegate = std::make_unique<Delegate>(fakePorts(m_dialogs, m_loginItem, m_log));
        m_bus = std::make_unique<AppBus>();
        connect(m_bus.get(), &AppBus::activateRequested, m_delegate.get(), &Delegate::showWindow);
        connect(m_bus.get(), &AppBus::linksReceived, m_delegate.get(), &Delegate::openLinks);
        QFile::remove(lockFile());
    }

    void cleanup()
    {
        m_bus.reset();
        m_delegate.reset();
        m_helper.reset();
    }

    void bringsTheFirstCopyBackAndHandsOverItsLink()
    {
        m_delegate->start();
        QVERIFY(m_bus->publish());
        m_delegate->window()->hide();

        QCOMPARE(launch({u" ovrin://auth?challenge_id=c9&link_token=t%2B9\r\n"_s}), 0);
        QVERIFY(m_delegate->window()->isVisible());
        QVERIFY(m_delegate->core().showAccount());
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->count("POST", "/account/auth/verify"), 1, 5000);
        const QJsonObject body =
            QJsonDocument::fromJson(m_helper->requests("POST", "/account/auth/verify")[0].body)
                .object();
        QCOMPARE(body.value(u"challenge_id"_s).toString(), u"c9"_s);
        QCOMPARE(body.value(u"link_token"_s).toString(), u"t+9"_s);
        QVERIFY(!QFile::exists(lockFile())); // found over the bus: the lock was never opened
    }

    void waitsForACopyStillLaunching()
    {
        // The first copy holds the lock but appears on the bus a moment later.
        auto guard = AppInstance::acquire(m_home.dataDir());
        QVERIFY(std::holds_alternative<std::unique_ptr<AppInstance>>(guard));
        QTimer::singleShot(1500, this, [this] {
            m_delegate->start();
            m_delegate->window()->hide();
            m_bus->publish();
        });
        QSignalSpy shown(m_bus.get(), &AppBus::activateRequested);
        QCOMPARE(launch({}), 0);
        QCOMPARE(shown.size(), 1);
        QVERIFY(m_delegate->window()->isVisible());
    }
};

QTEST_MAIN(SecondLaunchTest)
#include "tst_SecondLaunch.moc"
