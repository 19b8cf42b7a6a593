// The application shell: the single-instance lock, a second launch of the
// real program meeting the running copy on the session bus, the tray menu
// and glyph, and the Delegate (tray, window, quitting) with a real Core
// against the fake helper. Needs a session bus (dbus-run-session).
#include "CoreProbe.h"
#include "CoreRig.h"
#include "FakePorts.h"
#include "app/AppBus.h"
#include "app/AppInstance.h"
#include "app/Delegate.h"
#include "app/OvrinApp.h"
#include "app/TrayGlyph.h"
#include "app/TrayMenu.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <signal.h>
#include <sys/stat.h> // mkfifo
#include <unistd.h>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

class AppTest : public QObject {
    Q_OBJECT

    CoreRig m_rig; // its fakes for the shell's Core
    QTemporaryDir m_resources;
    QByteArray m_glyph; // the shipped menubar.svg
    std::unique_ptr<Delegate> m_delegate;

    QString resource(const QString& name) const { return m_resources.filePath(name); }

    bool serve(const Status& s) { return ::serve(*m_rig.helper, m_delegate->core(), s); }

    // The shell started on the resource folder, against a new fake helper.
    bool startShell()
    {
        QFile::remove(resource(u"helper.pid"_s));
        if (!m_rig.start())
            return false;
        m_rig.helper->fallback(Reply::json(200, "{}"));
        CorePorts ports = fakePorts(m_rig.dialogs, m_rig.loginItem, m_rig.log);
        ports.resourceFolder = m_resources.path();
        m_delegate = std::make_unique<Delegate>(ports);
        m_delegate->start();
        return true;
    }

private Q_SLOTS:
    // The resource folder: the glyph, and a stand-in helper program that
    // records its pid and waits.
    void initTestCase()
    {
        QFile glyph(QCoreApplication::applicationDirPath() + u"/../lib/ovrin/menubar.svg"_s);
        QVERIFY(glyph.copy(resource(u"menubar.svg"_s)) && glyph.open(QIODevice::ReadOnly));
        m_glyph = glyph.readAll();
        QFile script(resource(u"helper"_s));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho $$ > \"$(dirname \"$0\")/helper.pid\"\nexec sleep 60\n");
        script.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
    }

    void cleanup()
    {
        m_delegate.reset();
        m_rig.stop();
    }

    void lock_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code"); // 0: acquired
        QTest::newRow("first start") << u"new"_s << 0;
        QTest::newRow("held by a running copy") << u"held"_s << int(EWOULDBLOCK);
        QTest::newRow("left by a copy that died") << u"stale"_s << 0;
        QTest::newRow("symbolic link") << u"symlink"_s << int(ELOOP);
        QTest::newRow("directory") << u"directory"_s << int(EISDIR);
        QTest::newRow("named pipe") << u"fifo"_s << int(EACCES);
        QTest::newRow("another user's file") << u"foreign"_s << int(EACCES);
    }

    // The first copy holds the lock against every other process. A refusal leaves no descriptor
    // open, and the alert gives the system's words for its cause.
    void lock()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QTemporaryDir root;
        const QString dir = root.filePath(u"a/Ovrin"_s);
        const QString file = dir + u"/app.lock"_s;
        const QByteArray path = QFile::encodeName(file);
        // Whether another process can take the lock right now (util-linux flock).
        const auto lockIsFree = [&] {
            return QProcess::execute(u"flock"_s, {u"-n"_s, file, u"true"_s}) == 0;
        };
        const auto descriptors = [] {
            return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System);
        };
        QVERIFY(kind == u"new" || QDir().mkpath(dir));
        QProcess holder; // -o: flock itself holds the lock; cat ends with our pipe
        if (kind == u"held") {
            holder.start(u"flock"_s, {u"-o"_s, file, u"cat"_s});
            QTRY_VERIFY(!lockIsFree());
        }
        // A stale file is kept; the lock goes with its holder.
        QVERIFY((kind != u"stale" || QFile(file).open(QIODevice::WriteOnly)) &&
                (kind != u"symlink" || QFile::link(root.filePath(u"elsewhere"_s), file)) &&
                (kind != u"directory" || QDir().mkdir(file)) &&
                (kind != u"fifo" || ::mkfifo(path.constData(), 0600) == 0));
        if (kind == u"foreign" && (!QFile(file).open(QIODevice::WriteOnly) || ::getuid() != 0 ||
                                   ::chown(path.constData(), 65534, 65534) != 0))
            QSKIP("giving a file to another user needs root");

        const auto mode = [](const QString& path) {
            struct stat info {};
            return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777
                                                                            : 0u;
        };
        const QList<uint> modes = {mode(root.filePath(u"a"_s)), mode(dir)};
        const qsizetype before = descriptors().size();
        const AppInstance::Result result = AppInstance::acquire(dir);
        // The folders it makes and the lock file are the user's alone; a folder already there
        // keeps its mode.
        QCOMPARE((QList<uint>{mode(root.filePath(u"a"_s)), mode(dir)}),
                 kind == u"new" ? QList<uint>({0700, 0700}) : modes);
        const auto* error = std::get_if<AppInstance::Error>(&result);
        QCOMPARE(descriptors().size() - before, error ? 0 : 1);
        holder.closeWriteChannel();
        holder.waitForFinished(5000);
        QCOMPARE(error ? error->code : 0, code);
        QVERIFY(!QFile::exists(root.filePath(u"elsewhere"_s))); // no link followed
        if (error) {
            QCOMPARE(error->description, QString::fromLocal8Bit(std::strerror(code)));
            return;
        }
        QVERIFY(!lockIsFree());
        if (kind == u"new")
            QCOMPARE(mode(file), 0600u);
    }

    void secondLaunch_data()
    {
        QTest::addColumn<bool>("launching");
        QTest::newRow("running copy") << false;
        QTest::newRow("copy still launching") << true;
    }

    // The real program started again finds this copy on the bus, also one
    // that holds the lock but appears on the bus a moment later: it brings
    // the window back, hands over its link as sent ("+" kept, the line's
    // white space trimmed) and ends with status 0.
    void secondLaunch()
    {
        QFETCH(bool, launching);
        const QString lockFile = m_rig.home.dataDir() + u"/app.lock"_s;
        QFile::remove(lockFile);
        AppBus bus;
        auto guard = launching ? AppInstance::acquire(m_rig.home.dataDir()) : AppInstance::Error{};
        auto first = [&] {
            QVERIFY(startShell());
            connect(&bus, &AppBus::activateRequested, m_delegate.get(), &Delegate::showWindow);
            connect(&bus, &AppBus::linksReceived, m_delegate.get(), &Delegate::openLinks);
            m_delegate->window()->hide();
            QVERIFY(bus.publish());
        };
        if (launching) {
            QTimer::singleShot(1500, this, first);
        } else {
            first();
            AppBus other(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"other"_s));
            QVERIFY(!other.publish()); // the name is held once
        }

        QProcess second; // on our HOME
        second.start(QStringLiteral(OVRIN_PATH),
                     {u" ovrin://auth?challenge_id=c9&link_token=t%2B9\r\n"_s});
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(m_delegate->window()->isVisible());
        QVERIFY(m_delegate->core().showAccount());
        QTRY_COMPARE(m_rig.helper->count("POST", "/account/auth/verify"), 1);
        QVERIFY(m_rig.helper->requests("POST", "/account/auth/verify")[0].body.startsWith(
            R"({"challenge_id":"c9","link_token":"t+9",)"));
        QCOMPARE(QFile::exists(lockFile), launching); // found over the bus: no lock opened
    }

    void trayMenu_data()
    {
        QTest::addColumn<Status>("state");
        // The items before the commands, as Qt's popup reads them ("&&" for "&");
        // [x]: checked, (off): disabled.
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("tooltip");
        // clang-format off
        const Status on = with(status(1, true, true, true, 52), [](Status& s) { s.down_bps = 48'000'000; s.up_bps = 2'500'000; });
        const Status named = with(status(0, true), [](Status& s) { s.channels = {u"R&D\tLab_1"_s, QString(200, u'я')}; });
        QTest::newRow("connected") << on << u"(off) Подключено: Frankfurt UDP|-|Амстердам|[x] Frankfurt UDP|Хельсинки|-|Отключить"_s << u"Подключено: Frankfurt UDP · 52 мс · ↓ 48 ↑ 2.5 Мбит/с"_s;
        QTest::newRow("bypassed, not measured yet") << status(2, true, true, false, 0) << u"(off) Трафик идёт мимо: Хельсинки|-|Амстердам|Frankfurt UDP|[x] Хельсинки|-|Отключить"_s << u"Трафик идёт мимо: Хельсинки · ↓ 0 ↑ 0 Мбит/с"_s;
        QTest::newRow("active outside the list") << status(5, true) << u"(off) Подключено: —|-|Амстердам|Frankfurt UDP|Хельсинки|-|Отключить"_s << u"Подключено: — · 42 мс · ↓ 0 ↑ 0 Мбит/с"_s;
        QTest::newRow("off: no check, no disconnect") << status(1) << u"(off) Отключено|-|Амстердам|Frankfurt UDP|Хельсинки|-"_s << u"Отключено"_s;
        QTest::newRow("names as sent, on one line, long ones cut") << named << u"(off) Подключено: R&&D Lab_1|-|[x] R&&D Lab_1|"_s + QString(59, u'я') + u"…|-|Отключить"_s << u"Подключено: R&D Lab_1 · 42 мс · ↓ 0 ↑ 0 Мбит/с"_s;
        // clang-format on
    }

    // What the menu shows never depends on the state shown before.
    void trayMenu()
    {
        QFETCH(Status, state);
        QFETCH(QString, items);
        QFETCH(QString, tooltip);
        QMenu menu;
        TrayMenu tray(&menu, {[](int) {}, [] {}, [] {}, [] {}, [] {}});
        tray.update(status(0, true));
        const QList<QAction*> before = menu.actions();
        tray.update(state);
        QStringList shown;
        for (const QAction* a : menu.actions()) {
            if (a->isVisible())
                shown << (a->isSeparator()
                              ? u"-"_s
                              : (a->isChecked() ? u"[x] "_s : QString()) +
                                    (a->isEnabled() ? QString() : u"(off) "_s) + a->text());
        }
        QCOMPARE(shown.join(u'|'),
                 items + u"|Показать окно|Проверить обновления|-|Выйти и отключить"_s);
        QCOMPARE(TrayMenu::tooltip(state), tooltip);
        // A D-Bus host reads "_" and the first "&" as marks.
        QCOMPARE(TrayMenu::label(u"A & B_1 & C"_s, TrayMenu::Host::DBusMenu), u"A && B__1 & C"_s);
        for (QAction* a : menu.actions()) // kept, not made again: a D-Bus host keeps their ids
            QVERIFY(before.contains(a));
    }

    // Each item calls its action; a list too long to read is cut; Qt's own words are Russian.
    void trayMenuActionsAndQtTexts()
    {
        QStringList calls;
        QMenu menu;
        const auto call = [&](const QString& name) { return [&calls, name] { calls << name; }; };
        TrayMenu tray(&menu, {[&](int i) { calls << QString::number(i); }, call(u"off"_s),
                              call(u"show"_s), call(u"updates"_s), call(u"quit"_s)});
        Status fewer = status(2, true);
        fewer.channels.removeLast();
        tray.update(fewer);
        for (QAction* a : menu.actions()) {
            if (!a->isSeparator() && a->isEnabled())
                a->trigger();
        }
        QCOMPARE(calls.join(u' '), u"0 1 off show updates quit"_s);
        for (int i = 0; i < 3 * TrayMenu::maxChannelItems; ++i)
            fewer.channels << QString::number(i);
        tray.update(fewer);
        // The header, the channels between two separators, "Отключить", the commands.
        QCOMPARE(menu.actions().size(), 8 + TrayMenu::maxChannelItems);
        // The file panels and standard buttons speak Russian like the rest.
        QVERIFY(OvrinApp::loadQtTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Отмена"_s);
    }

    void glyph_data()
    {
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<QColor>("halo");
        QTest::newRow("light theme") << QColor(0x1e1e1e) << QColor(0xefefef);
        QTest::newRow("dark theme") << QColor(0xeeeeee) << QColor(0x2a2a2a);
    }

    // Seen on light and dark panels whatever our own colours, at every size
    // panels ask for; the dim glyph fainter than the bright, yet never lost.
    void glyph()
    {
        QFETCH(QColor, ink);
        QFETCH(QColor, halo);
        // The largest difference in grey between the glyph on `panel` and the bare panel.
        const auto contrast = [&](int height, qreal alpha, const QColor& panel) {
            const QImage glyph = TrayGlyph::render(m_glyph, height, alpha, ink, halo);
            QImage shown(glyph.size(), QImage::Format_RGB32);
            shown.fill(panel);
            QPainter(&shown).drawImage(0, 0, glyph);
            int best = 0;
            for (int i = 0; i < shown.width() * shown.height(); ++i)
                best = std::max(best,
                                std::abs(qGray(shown.pixel(i % shown.width(), i / shown.width())) -
                                         qGray(panel.rgb())));
            return best;
        };
        for (const int h : TrayGlyph::pixelHeights()) {
            QCOMPARE(TrayGlyph::render(m_glyph, h, 1, ink, halo).size(),
                     QSize(qRound(h * 14.0 / 13), h));
            for (const QColor panel : {QColor(Qt::black), QColor(0x303030), QColor(Qt::white)})
                QVERIFY(contrast(h, 1, panel) >= 150 && contrast(h, 0.4, panel) >= 70);
            QVERIFY(contrast(h, 0.4, halo) < contrast(h, 1, halo));
        }
        QVERIFY(TrayGlyph::icon("<svg this is not", 1, ink, halo).isNull());
    }

    void quitting_data()
    {
        QTest::addColumn<Reply>("stop");
        QTest::newRow("answered") << Reply::json(200, "{}");
        // A byte every 0.3 s forever: the request still ends within its 5 s.
        QTest::newRow("dripping helper") << Reply::drip(std::chrono::milliseconds(300));
    }

    // Asked twice, quitting sends one "POST /stop" and ends the helper.
    void quitting()
    {
        QFETCH(Reply, stop);
        QVERIFY(startShell());
        m_rig.helper->route("POST", "/stop", stop);
        pid_t pid = 0;
        const auto started = [&] {
            QFile file(resource(u"helper.pid"_s));
            return file.open(QIODevice::ReadOnly) && (pid = file.readAll().trimmed().toInt()) > 0;
        };
        QTRY_VERIFY(started());
        m_rig.helper->clearRequests();
        const QDeadlineTimer bound(10'000);
        m_delegate->quit();
        QVERIFY(!bound.hasExpired());
        m_delegate->quit();
        const QList<FakeHelper::Request> stops = m_rig.helper->requests("POST", "/stop");
        QCOMPARE(stops.size(), 1);
        QCOMPARE(stops[0].requestLine, "POST /stop HTTP/1.0");
        QTRY_VERIFY(::kill(pid, 0) != 0);
    }

    // The window stays on its screen when it grows; its close button only hides it, and the
    // tray brings the same window back. Without its glyph file the tray shows a symbol.
    void windowAndTrayFallback()
    {
        QVERIFY(QFile::rename(resource(u"menubar.svg"_s), resource(u"away.svg"_s)));
        const bool started = startShell();
        QVERIFY(QFile::rename(resource(u"away.svg"_s), resource(u"menubar.svg"_s)) && started);
        QVERIFY(!m_delegate->trayIcon()->icon().isNull());
        QWidget* window = m_delegate->window();
        const QRect area = window->screen()->availableGeometry();
        window->move(window->x(), area.bottom() - window->frameGeometry().height() - 10);
        QVERIFY(serve(with(status(), [](Status& s) { s.channels = QStringList(30, u"Канал"_s); })));
        QTRY_VERIFY(window->height() > 400);
        QTRY_VERIFY(window->frameGeometry().bottom() <= area.bottom());
        QVERIFY(!window->close() && !window->isVisible());
        Q_EMIT m_delegate->trayIcon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(m_delegate->window() == window && window->isVisible());
    }

    // The menu and the tooltip are current before any host says it opens the
    // menu, and an opening that never ends pauses nothing; the glyph is
    // bright only while the tunnel carries the traffic and answers, and
    // follows the palette.
    void trayFollowsTheState()
    {
        QVERIFY(startShell());
        const std::pair<Status, bool> states[] = {{status(0, true, true, true, 40), true},
                                                  {status(0, true, true, false, 40), false},
                                                  {status(0, true, true, true, 0), false}};
        for (const auto& [state, bright] : states) {
            QVERIFY(serve(state));
            QTRY_COMPARE_WITH_TIMEOUT(m_delegate->trayIcon()->toolTip(), TrayMenu::tooltip(state),
                                      5000);
            QCOMPARE(m_delegate->glyphBright(), bright);
            QCOMPARE(m_delegate->menu()->actions().constFirst()->text(), TrayMenu::header(state));
            Q_EMIT m_delegate->menu()->aboutToShow();
        }
        // Drawn again in the colours of a new palette.
        const qint64 before = m_delegate->trayIcon()->icon().cacheKey();
        const QPalette original = QApplication::palette();
        QApplication::setPalette(QPalette(QColor(0x202020)));
        QTRY_VERIFY(m_delegate->trayIcon()->icon().cacheKey() != before);
        QApplication::setPalette(original);
    }
};

QTEST_MAIN(AppTest)
#include "tst_App.moc"
