// The update hooks: the poll after each status, the manual check and the
// requests made while quitting.
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "TestHome.h"
#include "core/AppUpdates.h"
#include "core/Core.h"
#include "link/HelperSocket.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(std::optional<HelperReply>)

class AppUpdatesTest : public QObject {
    Q_OBJECT

    TestHome m_home; // before any use of HelperSocket::path()
    std::unique_ptr<FakeHelper> m_helper;
    std::unique_ptr<FakeDialogs> m_dialogs;

    void checkUnavailableAlert()
    {
        QCOMPARE(m_dialogs->alerts.size(), 1);
        QCOMPARE(m_dialogs->alerts[0].message, u"Проверка обновлений недоступна"_s);
        QCOMPARE(m_dialogs->alerts[0].informative,
                 u"Источник подписанных обновлений пока не настроен. Наличие новой версии не "
                 u"проверялось."_s);
        QCOMPARE(m_dialogs->alerts[0].buttons, QStringList());
    }

private Q_SLOTS:
    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_dialogs = std::make_unique<FakeDialogs>();
    }

    void cleanup() { m_helper.reset(); }

    // Only while connected; a due update does nothing (no update source).
    void pollOnlyWhileConnected()
    {
        m_helper->route("GET", "/updates/status", Reply::json(200, R"({"due":true})"));
        AppUpdates updates(*m_dialogs);
        updates.poll(false);
        updates.poll(true);
        QVERIFY(m_helper->waitForRequests(1));
        HelperSocket::roundTrip(u"GET"_s, u"/sentinel"_s, 2);
        QCOMPARE(m_helper->requests().size(), 2);
        QCOMPARE(m_helper->count("GET", "/updates/status"), 1);
        QCOMPARE(m_helper->requests("GET", "/updates/status").first().raw,
                 *HelperSocket::frame(u"GET"_s, u"/updates/status"_s, {}, {}));
    }

    void due_data()
    {
        QTest::addColumn<std::optional<HelperReply>>("reply");
        QTest::addColumn<bool>("due");
        QTest::newRow("true") << std::optional(HelperReply{200, R"({"due":true})"}) << true;
        QTest::newRow("false") << std::optional(HelperReply{200, R"({"due":false})"}) << false;
        QTest::newRow("a string") << std::optional(HelperReply{200, R"({"due":"true"})"}) << false;
        QTest::newRow("the number 1") << std::optional(HelperReply{200, R"({"due":1})"}) << false;
        QTest::newRow("missing") << std::optional(HelperReply{200, R"({"next":true})"}) << false;
        QTest::newRow("array") << std::optional(HelperReply{200, R"([{"due":true}])"}) << false;
        QTest::newRow("empty body") << std::optional(HelperReply{200, {}}) << false;
        QTest::newRow("status 201") << std::optional(HelperReply{201, R"({"due":true})"}) << false;
        QTest::newRow("no reply") << std::optional<HelperReply>() << false;
    }

    void due()
    {
        QFETCH(std::optional<HelperReply>, reply);
        QFETCH(bool, due);
        QCOMPARE(AppUpdates::isDue(reply), due);
    }

    void manualCheckAlertsWithoutAsking()
    {
        FakeLoginItem loginItem;
        FakeSystemLog log;
        Core core(fakePorts(*m_dialogs, loginItem, log));
        core.checkUpdates();
        checkUnavailableAlert();
        m_helper.reset(); // the same without a helper
        m_dialogs->alerts.clear();
        core.updates().check(true);
        checkUnavailableAlert();
    }

    void quittingStopsTheTunnel()
    {
        AppUpdates updates(*m_dialogs);
        QVERIFY(updates.authorizeTermination());
        updates.disconnectForTermination();
        QCOMPARE(m_helper->requests().size(), 1);
        QCOMPARE(m_helper->requests().first().raw,
                 *HelperSocket::frame(u"POST"_s, u"/stop"_s, {}, {}));
        QVERIFY(m_dialogs->calls.isEmpty());
    }

    void quittingWhileInstalling_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("intent saved") << 200 << true;
        QTest::newRow("intent refused") << 409 << false;
    }

    void quittingWhileInstalling()
    {
        QFETCH(int, code);
        QFETCH(bool, allowed);
        m_helper->route("POST", "/updates/intent", Reply::json(code, "{}"));
        AppUpdates updates(*m_dialogs);
        updates.setInstalling(true);
        QCOMPARE(updates.authorizeTermination(), allowed);
        const FakeHelper::Request intent = m_helper->requests().first();
        QCOMPARE(intent.target, QByteArray("/updates/intent"));
        QCOMPARE(intent.body, QByteArray(R"({"build":0})"));
        QCOMPARE(intent.headers.last().first, QByteArray("X-Ovrin-Update-Session"));
        QCOMPARE(m_dialogs->alerts.size(), allowed ? 0 : 1);
        if (!allowed) {
            QCOMPARE(m_dialogs->alerts[0].message, u"Обновление приостановлено"_s);
            QCOMPARE(m_dialogs->alerts[0].informative,
                     u"Не удалось сохранить действующее подключение. Повторите установку позже."_s);
        }
        updates.disconnectForTermination();
        QCOMPARE(m_helper->requests().last().raw,
                 *HelperSocket::frame(u"POST"_s, u"/stop?reason=update"_s, {},
                                      {{u"X-Ovrin-Update-Session"_s, QString()}}));
    }
};

QTEST_GUILESS_MAIN(AppUpdatesTest)
#include "tst_AppUpdates.moc"
