// Core's commands: the connection, the logs and launch at login, against the
// fake helper with fake dialogs.
#include "FakeClock.h"
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "core/Core.h"
#include "link/HelperSocket.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

#include <functional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeHelper::Reply;
using Command = std::function<void(Core&)>;
Q_DECLARE_METATYPE(FakeHelper::Reply)
Q_DECLARE_METATYPE(std::optional<FakeHelper::Reply>)
Q_DECLARE_METATYPE(Command)

namespace {

const QString noAnswer = u"Помощник не ответил."_s;

} // namespace

class CoreCommandsTest : public QObject {
    Q_OBJECT

    TestHome m_home; // before any use of HelperSocket::path()
    std::unique_ptr<FakeHelper> m_helper;
    std::unique_ptr<FakeDialogs> m_dialogs;
    FakeLoginItem m_loginItem;
    std::unique_ptr<FakeSystemLog> m_log;
    FakeClock m_clock;
    std::unique_ptr<Core> m_core;

    CorePorts ports()
    {
        CorePorts p = fakePorts(*m_dialogs, m_loginItem, *m_log);
        m_clock.setNow(QDateTime(QDate(2026, 3, 7), QTime(9, 45, 59)));
        p.clock = &m_clock;
        return p;
    }

    // Answers `reply`, or leaves no helper at all when there is none.
    void answer(const QByteArray& method, const QByteArray& path, const std::optional<Reply>& reply)
    {
        if (reply)
            m_helper->route(method, path, *reply);
        else
            m_helper.reset();
    }

private Q_SLOTS:
    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_helper->route("GET", "/status", Reply::json(200, statusBody(Status())));
        m_dialogs = std::make_unique<FakeDialogs>();
        m_log = std::make_unique<FakeSystemLog>();
        m_loginItem = FakeLoginItem();
        m_core = std::make_unique<Core>(ports());
    }

    void cleanup()
    {
        m_core.reset();
        m_helper.reset();
    }

    void requestLines_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("setsBusy");
        QTest::newRow("connect") << Command([](Core& c) { c.connect(3); }) << u"/connect?i=3"_s
                                 << true;
        QTest::newRow("autoconnect off")
            << Command([](Core& c) { c.setAutoconnect(false); }) << u"/autoconnect?on=0"_s << true;
        QTest::newRow("autoconnect on")
            << Command([](Core& c) { c.setAutoconnect(true); }) << u"/autoconnect?on=1"_s << true;
        QTest::newRow("install") << Command([](Core& c) { c.install(); }) << u"/install"_s << true;
        QTest::newRow("disconnect")
            << Command([](Core& c) { c.disconnect(); }) << u"/stop"_s << true;
        QTest::newRow("protection on")
            << Command([](Core& c) { c.setProtection(true); }) << u"/protection?on=1"_s << true;
        QTest::newRow("protection off")
            << Command([](Core& c) { c.setProtection(false); }) << u"/protection?on=0"_s << true;
        QTest::newRow("select manually")
            << Command([](Core& c) { c.selectManually(); }) << u"/autoconnect/cancel"_s << false;
    }

    // Byte for byte: the request line, no payload, no extra header. Commands
    // that set `busy` clear it when answered and poll once more.
    void requestLines()
    {
        QFETCH(Command, command);
        QFETCH(QString, target);
        QFETCH(bool, setsBusy);
        m_helper->fallback(Reply::json(200, "{}").after(300ms));
        command(*m_core);
        QCOMPARE(m_core->busy(), setsBusy);
        QVERIFY(m_helper->waitForRequests(1));
        QCOMPARE(m_helper->requests().first().raw, *HelperSocket::frame(u"POST"_s, target, {}, {}));
        if (setsBusy) {
            QTRY_VERIFY(!m_core->busy());
            QTRY_COMPARE(m_helper->count("GET", "/status"), 1);
        }
    }

    void busyClearedBeforeTheExtraPoll()
    {
        m_helper->route("POST", "/connect", Reply::json(200, "{}"));
        QList<std::pair<bool, int>> seen;
        QObject::connect(m_core.get(), &Core::busyChanged, m_core.get(), [&] {
            seen.append({m_core->busy(), m_helper->count("GET", "/status")});
        });
        m_core->connect(0);
        QTRY_COMPARE(m_helper->count("GET", "/status"), 1);
        QCOMPARE(seen, (QList<std::pair<bool, int>>{{true, 0}, {false, 0}}));
    }

    void protectionConfirmation_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("informative");
        QTest::addColumn<QString>("action");
        QTest::newRow("on")
            << true << u"Включить строгую защиту?"_s
            << u"Включение прервёт текущие интернет-соединения. Напрямую останутся доступны "
               u"локальная сеть и проверенные серверы VPN. Привычные исключения пойдут через VPN. "
               u"При сбое процесса интернет останется закрыт до явного отключения."_s
            << u"Включить"_s;
        QTest::newRow("off") << false << u"Выключить строгую защиту?"_s
                             << u"Компьютер сможет выходить в интернет напрямую."_s
                             << u"Выключить"_s;
    }

    // Cancelled: nothing is sent (the sentinel request is the only one).
    void protectionConfirmation()
    {
        QFETCH(bool, on);
        QFETCH(QString, message);
        QFETCH(QString, informative);
        QFETCH(QString, action);
        m_dialogs->alertAnswers = {1};
        m_core->setProtection(on);
        QCOMPARE(m_dialogs->alerts.size(), 1);
        QCOMPARE(m_dialogs->alerts[0].message, message);
        QCOMPARE(m_dialogs->alerts[0].informative, informative);
        QCOMPARE(m_dialogs->alerts[0].buttons, (QStringList{action, u"Отмена"_s}));
        QVERIFY(!m_core->busy());
        m_core->selectManually();
        QVERIFY(m_helper->waitForRequests(1));
        QCOMPARE(m_helper->requests().first().target, QByteArray("/autoconnect/cancel"));
        QCOMPARE(m_helper->requests().size(), 1);
    }

    void failureAlerts_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<std::optional<Reply>>("reply");
        QTest::addColumn<QString>("title"); // empty: no alert
        QTest::addColumn<QString>("text");
        const Command disconnect = [](Core& c) { c.disconnect(); };
        const Command protect = [](Core& c) { c.setProtection(true); };
        const QString stopFailed = u"Не удалось завершить отключение"_s;
        const QString notChanged = u"Защита не изменена"_s;
        QTest::newRow("disconnect 200")
            << disconnect << QByteArray("/stop") << std::optional(Reply::json(200, "{}"))
            << QString() << QString();
        QTest::newRow("disconnect 204") << disconnect << QByteArray("/stop")
                                        << std::optional(Reply::text(204, "туннель уже остановлен"))
                                        << stopFailed << u"туннель уже остановлен"_s;
        QTest::newRow("disconnect 500 empty")
            << disconnect << QByteArray("/stop") << std::optional(Reply::text(500, {}))
            << stopFailed << QString();
        QTest::newRow("disconnect body not UTF-8")
            << disconnect << QByteArray("/stop") << std::optional(Reply::text(500, "\xff\xfe"))
            << stopFailed << noAnswer;
        QTest::newRow("disconnect no answer")
            << disconnect << QByteArray("/stop") << std::optional(Reply::closeWithoutAnswer())
            << stopFailed << noAnswer;
        QTest::newRow("disconnect no helper") << disconnect << QByteArray("/stop")
                                              << std::optional<Reply>() << stopFailed << noAnswer;
        QTest::newRow("protection 204")
            << protect << QByteArray("/protection") << std::optional(Reply::text(204, {}))
            << QString() << QString();
        QTest::newRow("protection 200") << protect << QByteArray("/protection")
                                        << std::optional(Reply::text(200, "правила не применены"))
                                        << notChanged << u"правила не применены"_s;
        QTest::newRow("protection no helper") << protect << QByteArray("/protection")
                                              << std::optional<Reply>() << notChanged << noAnswer;
    }

    void failureAlerts()
    {
        QFETCH(Command, command);
        QFETCH(QByteArray, path);
        QFETCH(std::optional<Reply>, reply);
        QFETCH(QString, title);
        QFETCH(QString, text);
        answer("POST", path, reply);
        const qsizetype confirmations = m_dialogs->alerts.size() + (path == "/protection" ? 1 : 0);
        command(*m_core);
        QVERIFY(m_core->busy());
        QTRY_VERIFY(!m_core->busy());
        // The alert follows `busy` on the main thread, in the same hand-over.
        QCOMPARE(m_dialogs->alerts.size(), confirmations + (title.isEmpty() ? 0 : 1));
        if (!title.isEmpty()) {
            QCOMPARE(m_dialogs->alerts.last().message, title);
            QCOMPARE(m_dialogs->alerts.last().informative, text);
            QCOMPARE(m_dialogs->alerts.last().buttons, QStringList());
        }
        if (m_helper)
            QTRY_COMPARE(m_helper->count("GET", "/status"), 1);
    }

    void exportRequest()
    {
        const QString destination = u"/tmp/Мои журналы/a+b & c#1?%.zip"_s;
        m_dialogs->saveAnswer = destination;
        m_helper->route("POST", "/export",
                        Reply::json(200, QJsonDocument(QJsonObject{{u"path"_s, destination}})
                                             .toJson(QJsonDocument::Compact))
                            .after(200ms));
        m_core->exportLogs();
        QCOMPARE(m_dialogs->calls, (QStringList{u"activateApp"_s, u"savePanel"_s}));
        const FakeDialogs::SavePanel panel = m_dialogs->savePanels.first();
        QCOMPARE(panel.title, u"Экспорт журналов"_s);
        QCOMPARE(panel.suggestedName, u"Оврин-журналы-2026-03-07-0945.zip"_s);
        QVERIFY(panel.filter.endsWith(u"(*.zip)"_s));
        QCOMPARE(panel.folder, QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
        QVERIFY(m_core->exporting());
        // A status poll may come first.
        QTRY_COMPARE(m_helper->count("POST", "/export"), 1);
        const QByteArray target = m_helper->requests("POST", "/export").first().target;
        QCOMPARE(target, QByteArray("/export?to=/tmp/%D0%9C%D0%BE%D0%B8%20%D0%B6%D1%83%D1%80%D0%BD"
                                    "%D0%B0%D0%BB%D1%8B/a%2Bb%20%26%20c%231%3F%25.zip"));
        QCOMPARE(QUrlQuery(QUrl::fromEncoded(target).query(QUrl::FullyEncoded))
                     .queryItemValue(u"to"_s, QUrl::FullyDecoded),
                 destination);
        QTRY_VERIFY(!m_core->exporting());
        QCOMPARE(m_dialogs->revealed, QStringList{destination});
        QCOMPARE(m_dialogs->alerts.size(), 0);
    }

    void exportReplies_data()
    {
        QTest::addColumn<std::optional<Reply>>("reply");
        QTest::addColumn<QString>("alert"); // empty: revealed instead
        const QByteArray path = R"({"path":"/d/x.zip"})";
        QTest::newRow("200 with path") << std::optional(Reply::json(200, path)) << QString();
        QTest::newRow("201 with path")
            << std::optional(Reply::json(201, path)) << QString::fromUtf8(path);
        QTest::newRow("member not a string")
            << std::optional(Reply::json(200, R"({"path":"/d/x.zip","size":5})"))
            << u"{\"path\":\"/d/x.zip\",\"size\":5}"_s;
        QTest::newRow("path not a string")
            << std::optional(Reply::json(200, R"({"path":1})")) << u"{\"path\":1}"_s;
        QTest::newRow("no path") << std::optional(Reply::json(200, R"({"file":"/d/x.zip"})"))
                                 << u"{\"file\":\"/d/x.zip\"}"_s;
        QTest::newRow("error status")
            << std::optional(Reply::text(500, "диск заполнен")) << u"диск заполнен"_s;
        QTest::newRow("no helper") << std::optional<Reply>() << noAnswer;
    }

    void exportReplies()
    {
        QFETCH(std::optional<Reply>, reply);
        QFETCH(QString, alert);
        answer("POST", "/export", reply);
        m_dialogs->saveAnswer = u"/d/x.zip"_s;
        m_core->exportLogs();
        QVERIFY(m_core->exporting());
        QTRY_VERIFY(!m_core->exporting());
        if (alert.isEmpty()) {
            QCOMPARE(m_dialogs->revealed, QStringList{u"/d/x.zip"_s});
            QCOMPARE(m_dialogs->alerts.size(), 0);
        } else {
            QCOMPARE(m_dialogs->revealed, QStringList());
            QCOMPARE(m_dialogs->alerts.size(), 1);
            QCOMPARE(m_dialogs->alerts[0].message, u"Не удалось выгрузить журналы"_s);
            QCOMPARE(m_dialogs->alerts[0].informative, alert);
        }
    }

    void cancelledDialogsSendNothing_data()
    {
        QTest::addColumn<Command>("command");
        QTest::newRow("export") << Command([](Core& c) { c.exportLogs(); });
        QTest::newRow("clear") << Command([](Core& c) { c.clearLogs(); });
    }

    void cancelledDialogsSendNothing()
    {
        QFETCH(Command, command);
        m_dialogs->alertAnswers = {1};
        QSignalSpy exporting(m_core.get(), &Core::exportingChanged);
        command(*m_core);
        QCOMPARE(exporting.count(), 0);
        m_core->selectManually(); // the sentinel: the only request
        QVERIFY(m_helper->waitForRequests(1));
        QCOMPARE(m_helper->requests().size(), 1);
        QCOMPARE(m_helper->requests().first().target, QByteArray("/autoconnect/cancel"));
    }

    void clearLogs_data()
    {
        QTest::addColumn<std::optional<Reply>>("reply");
        QTest::addColumn<QString>("alert"); // empty: none
        QTest::newRow("204") << std::optional(Reply::text(204, {})) << QString();
        QTest::newRow("200") << std::optional(Reply::text(200, "очищено частично"))
                             << u"очищено частично"_s;
        QTest::newRow("no helper") << std::optional<Reply>() << noAnswer;
    }

    void clearLogs()
    {
        QFETCH(std::optional<Reply>, reply);
        QFETCH(QString, alert);
        answer("POST", "/clear-logs", reply);
        m_core->clearLogs();
        QCOMPARE(m_dialogs->alerts.first().message, u"Очистить журналы?"_s);
        QCOMPARE(m_dialogs->alerts.first().informative,
                 u"Будут удалены все журналы и снимки сбоев на этом Mac."_s);
        QCOMPARE(m_dialogs->alerts.first().buttons, (QStringList{u"Очистить"_s, u"Отмена"_s}));
        if (alert.isEmpty()) {
            // A silent success: a later command's hand-over finds no alert.
            QVERIFY(m_helper->waitForRequests(1));
            m_core->connect(0);
            QTRY_VERIFY(!m_core->busy());
            QCOMPARE(m_dialogs->alerts.size(), 1);
            return;
        }
        QTRY_COMPARE(m_dialogs->alerts.size(), 2);
        QCOMPARE(m_dialogs->alerts[1].message, u"Журналы очищены не полностью"_s);
        QCOMPARE(m_dialogs->alerts[1].informative, alert);
        QCOMPARE(m_dialogs->alerts[1].buttons, QStringList());
    }

    void launchAtLoginReadsBack_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<std::optional<QString>>("refusal");
        QTest::addColumn<bool>("awaitsApproval");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("on") << true << std::optional<QString>() << false << true;
        QTest::newRow("on, awaiting approval") << true << std::optional<QString>() << true << false;
        QTest::newRow("on, refused") << true << std::optional(u"нет доступа"_s) << false << false;
        QTest::newRow("off") << false << std::optional<QString>() << false << false;
    }

    void launchAtLoginReadsBack()
    {
        QFETCH(bool, on);
        QFETCH(std::optional<QString>, refusal);
        QFETCH(bool, awaitsApproval);
        QFETCH(bool, enabled);
        m_loginItem.enabled = !on;
        m_loginItem.refusal = refusal;
        m_loginItem.awaitsApproval = awaitsApproval;
        Core core(ports());
        QCOMPARE(core.launchAtLogin(), !on); // read at construction
        core.setLaunchAtLogin(on);
        QCOMPARE(core.launchAtLogin(), enabled);
        QCOMPARE(m_log->lines(),
                 refusal ? QStringList{u"автозапуск: "_s + *refusal} : QStringList());
        QVERIFY(m_dialogs->calls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CoreCommandsTest)
#include "tst_CoreCommands.moc"
