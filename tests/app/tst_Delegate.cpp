// The application shell: the tray icon and glyph, the window, and quitting,
// with a real Core against the fake helper.
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "account/AccountView.h"
#include "app/Delegate.h"
#include "app/TrayMenu.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelList.h"
#include "ui/main/MainView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

namespace {

Status status(bool running, qint64 latency, bool primary)
{
    Status s;
    s.running = running;
    s.latency_ms = latency;
    s.primary = primary;
    s.helper = true;
    s.channels = {u"Амстердам"_s, u"Хельсинки"_s, u"Рига"_s};
    return s;
}

// A stand-in helper program that records its pid and waits to be terminated.
void writeHelperScript(const QString& folder)
{
    QFile script(folder + u"/helper"_s);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $$ > \"$(dirname \"$0\")/helper.pid\"\nexec sleep 60\n");
    script.close();
    script.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

class DelegateTest : public QObject {
    Q_OBJECT

    TestHome m_home;
    std::unique_ptr<FakeHelper> m_helper;
    FakeDialogs m_dialogs;
    FakeLoginItem m_loginItem;
    FakeSystemLog m_log;
    QTemporaryDir m_resources;
    std::unique_ptr<Delegate> m_delegate;

    CorePorts ports()
    {
        CorePorts p = fakePorts(m_dialogs, m_loginItem, m_log);
        p.resourceFolder = m_resources.path();
        p.arguments = {u"ovrin"_s};
        return p;
    }

    void serve(const Status& s)
    {
        m_helper->route("GET", "/status", Reply::json(200, statusBody(s)));
    }

private Q_SLOTS:
    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_helper->route("POST", "/stop", Reply::json(200, "{}"));
        serve(status(false, 0, false));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/../lib/ovrin/menubar.svg"_s,
                            m_resources.path() + u"/menubar.svg"_s));
        writeHelperScript(m_resources.path());
        m_delegate = std::make_unique<Delegate>(ports());
    }

    void cleanup()
    {
        m_delegate.reset();
        m_helper.reset();
        QDir(m_resources.path()).removeRecursively();
        QDir().mkpath(m_resources.path());
    }

    void startShowsTheWindowAndTheTray()
    {
        m_delegate->start();
        QVERIFY(m_delegate->window());
        QVERIFY(m_delegate->window()->isVisible());
        QCOMPARE(m_delegate->window()->windowTitle(), u"Оврин"_s);
        QVERIFY(m_delegate->window()->windowFlags().testFlag(Qt::Tool));
        QVERIFY(m_delegate->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!m_delegate->window()->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QCOMPARE(m_delegate->window()->minimumSize(), m_delegate->window()->maximumSize());
        QVERIFY(m_delegate->trayIcon());
        QVERIFY(!m_delegate->trayIcon()->icon().isNull());
        QCOMPARE(m_delegate->trayIcon()->contextMenu(), m_delegate->menu());
    }

    void glyphFollowsTheConnection_data()
    {
        QTest::addColumn<Status>("state");
        QTest::addColumn<bool>("bright");
        QTest::newRow("connected") << status(true, 40, true) << true;
        QTest::newRow("connected, no latency yet") << status(true, 0, true) << false;
        QTest::newRow("route bypassed") << status(true, 40, false) << false;
        QTest::newRow("off") << status(false, 40, true) << false;
    }

    void glyphFollowsTheConnection()
    {
        QFETCH(Status, state);
        QFETCH(bool, bright);
        QCOMPARE(Delegate::connected(state), bright);
        m_delegate->start();
        serve(state);
        QTRY_COMPARE_WITH_TIMEOUT(m_delegate->core().status(), state, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_delegate->glyphBright(), bright, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_delegate->trayIcon()->toolTip(), TrayMenu::tooltip(state),
                                  3000);
    }

    void missingGlyphFallsBackForGood()
    {
        QFile::remove(m_resources.path() + u"/menubar.svg"_s);
        m_delegate->start();
        const QImage fallback = m_delegate->trayIcon()->icon().pixmap(16).toImage();
        QVERIFY(!fallback.isNull());
        // Put the resource back: the failure is kept, nothing is read again.
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/../lib/ovrin/menubar.svg"_s,
                            m_resources.path() + u"/menubar.svg"_s));
        serve(status(true, 40, true));
        QTRY_VERIFY_WITH_TIMEOUT(m_delegate->glyphBright(), 5000);
        serve(status(false, 0, false));
        QTRY_VERIFY_WITH_TIMEOUT(!m_delegate->glyphBright(), 5000);
        QCOMPARE(m_delegate->trayIcon()->icon().pixmap(16).toImage(), fallback);
    }

    void closingHidesAndTheSameWindowComesBack()
    {
        serve(status(false, 0, false));
        m_delegate->start();
        MainWindow* window = m_delegate->window();
        QTRY_COMPARE_WITH_TIMEOUT(m_delegate->core().status().channels.size(), 3, 5000);
        MainView* view = window->view();
        QTest::mouseClick(view->channelList()->clickArea(1), Qt::LeftButton);
        QCOMPARE(view->selected(), 1);

        QVERIFY(!window->close()); // refused: only hidden
        QVERIFY(!window->isVisible());
        Q_EMIT m_delegate->trayIcon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isVisible());
        QCOMPARE(m_delegate->window(), window);
        QCOMPARE(view->selected(), 1);

        Q_EMIT m_delegate->trayIcon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!window->isVisible());
        Q_EMIT m_delegate->trayIcon()->activated(QSystemTrayIcon::Context);
        QVERIFY(!window->isVisible()); // the menu is the platform's, not a toggle
    }

    void windowStaysOnItsScreenWhenItGrows()
    {
        m_delegate->start();
        MainWindow* window = m_delegate->window();
        const QRect area = window->screen()->availableGeometry();
        window->move(window->x(), area.bottom() - window->frameGeometry().height() - 10);
        Status many = status(false, 0, false);
        for (int i = 0; i < 30; ++i)
            many.channels << u"Канал %1"_s.arg(i);
        serve(many);
        QTRY_VERIFY_WITH_TIMEOUT(window->height() > 400, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(window->frameGeometry().bottom() <= area.bottom(), 3000);
    }

    void accountSheetHoldsAFreshAccountWindow()
    {
        m_helper->route("GET", "/account/status", Reply::json(500, "{}"));
        m_delegate->start();
        AccountSheet* sheet = m_delegate->window()->view()->accountSheet();
        m_delegate->core().setShowAccount(true);
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), 5000);
        QPointer<AccountView> first = qobject_cast<AccountView*>(sheet->content());
        QVERIFY(first);
        QCOMPARE(first->size(), AccountView::contentSize);
        first->pairing().setMessage(u"от прошлого раза"_s);
        // Bringing the window back (the tray, a second launch) keeps the
        // sheet in front of it.
        m_delegate->window()->hide();
        m_delegate->showWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), sheet, 5000);

        m_delegate->core().setShowAccount(false);
        QVERIFY(!sheet->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!first, 5000);
        m_delegate->core().setShowAccount(true);
        auto* second = qobject_cast<AccountView*>(sheet->content());
        QVERIFY(second);
        QVERIFY(second->pairing().message().isEmpty());
    }

    void menuFollowsTheStateAndPausesNothing()
    {
        m_delegate->start();
        // Current before any host says it opens the menu.
        serve(status(true, 40, true));
        QTRY_COMPARE_WITH_TIMEOUT(m_delegate->menu()->actions().constFirst()->text(),
                                  u"Подключено: Амстердам"_s, 5000);
        // A D-Bus host may announce an opening and never its end: the status
        // poll and the glyph go on.
        Q_EMIT m_delegate->menu()->aboutToShow();
        serve(status(false, 0, false));
        QTRY_COMPARE_WITH_TIMEOUT(m_delegate->menu()->actions().constFirst()->text(),
                                  u"Отключено"_s, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_delegate->glyphBright(), 3000);
    }

    void glyphIsDrawnAgainForANewPalette()
    {
        m_delegate->start();
        const qint64 before = m_delegate->trayIcon()->icon().cacheKey();
        const QPalette original = QApplication::palette();
        QPalette dark = original;
        dark.setColor(QPalette::Window, QColor(0x202020));
        dark.setColor(QPalette::WindowText, QColor(0xf0f0f0));
        QApplication::setPalette(dark);
        QTRY_VERIFY_WITH_TIMEOUT(m_delegate->trayIcon()->icon().cacheKey() != before, 3000);
        QApplication::setPalette(original);
    }

    void quittingStopsTheTunnelOnceAndEndsTheHelper_data()
    {
        QTest::addColumn<Reply>("stop");
        QTest::newRow("answered") << Reply::json(200, "{}");
        // A byte every 0.3 s forever: the stop request still ends within its 5 s.
        QTest::newRow("dripping helper") << Reply::drip(std::chrono::milliseconds(300));
    }

    void quittingStopsTheTunnelOnceAndEndsTheHelper()
    {
        QFETCH(Reply, stop);
        m_helper->route("POST", "/stop", stop);
        m_delegate->start();
        const QString pidFile = m_resources.path() + u"/helper.pid"_s;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile) && QFileInfo(pidFile).size() > 0, 5000);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 pid = file.readAll().trimmed().toLongLong();
        QVERIFY(pid > 0);

        m_helper->clearRequests();
        QElapsedTimer quitting;
        quitting.start();
        m_delegate->quit();
        QVERIFY(quitting.elapsed() < 6000);
        m_delegate->quit(); // a second request does nothing more
        QVERIFY(m_delegate->quitting());
        QList<QByteArray> posts;
        for (const auto& r : m_helper->requests()) {
            if (r.method == "POST")
                posts << r.requestLine;
        }
        QCOMPARE(posts, QList<QByteArray>{"POST /stop HTTP/1.0"});
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(pid), 0) != 0, 5000);
    }
};

QTEST_MAIN(DelegateTest)
#include "tst_Delegate.moc"
