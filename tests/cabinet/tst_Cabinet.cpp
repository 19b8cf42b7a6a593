// The cabinet: its reply decoded whole or not at all; its prices, dates and
// time left as a Russian reader sees them (U+00A0 groups digits and precedes
// the currency sign, U+202F precedes "г."); its loading against a real Core
// and the fake helper.
#include "CoreRig.h"
#include "StatusJson.h"
#include "cabinet/CabinetFormat.h"
#include "cabinet/CabinetLoader.h"
#include "core/Core.h"

#include <QTest>
#include <QTimeZone>

#include <unicode/timezone.h>

#include <ctime>
#include <limits>
#include <memory>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;

namespace {

constexpr qint64 june1 = 1717243200; // 2024-06-01 12:00 UTC, 15:00 in Moscow
constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

const QByteArray sample = R"({"subscription":{"active":true,"plan_id":"year","plan_name":"Год",
"ends_at":1717372800,"devices_limit":5},"devices":[{"id":"d-1","name":"Ноутбук","platform":"macOS",
"last_seen_at":7,"current":true},{"id":"d-2","name":"","platform":"","last_seen_at":0,
"current":false}],"plans":[{"id":"month","name":"Месяц","price_minor":25000,"currency":"RUB",
"period_days":30,"devices_limit":3},{"id":"year","name":"Год","price_minor":199000,
"currency":"RUB","period_days":365,"devices_limit":5}],"loaded_at":1717243200})";

} // namespace

class CabinetTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    std::unique_ptr<CabinetLoader> m_loader;

    void account(bool signedIn, const QString& deviceId)
    {
        const AccountStatus account{
            .signed_in = signedIn, .device_id = deviceId, .plan = {}, .error = {}};
        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(account)));
        m_rig.core->refreshAccount();
        QTRY_VERIFY(m_rig.core->account() == account);
    }
    void serve(const Reply& reply) { m_rig.helper->route("GET", "/account/cabinet", reply); }
    void loaded(int requests)
    {
        QTRY_VERIFY(!m_loader->isLoading());
        QVERIFY(settleRoundTrips());
        QCOMPARE(m_rig.helper->count("GET", "/account/cabinet"), requests);
    }

private Q_SLOTS:
    // The user's time zone, as TZ sets it at start-up.
    void initTestCase()
    {
        qputenv("TZ", "Asia/Novosibirsk");
        tzset();
        icu::TimeZone::adoptDefault(icu::TimeZone::detectHostTimeZone());
    }
    void cleanup()
    {
        m_loader.reset();
        m_rig.stop();
    }

    void decoding()
    {
        const auto decoded = CabinetData::fromJson(QByteArray(sample).replace(
            "\"price_minor\":25000", "\"price_minor\":9223372036854775807"));
        QVERIFY(decoded);
        QCOMPARE(*decoded,
                 CabinetData(CabinetSubscription(true, u"year"_s, u"Год"_s, june1 + 129600, 5),
                             {CabinetDevice(u"d-1"_s, u"Ноутбук"_s, u"macOS"_s, 7, true),
                              CabinetDevice(u"d-2"_s, {}, {}, 0, false)},
                             {CabinetPlan(u"month"_s, u"Месяц"_s, int64Max, u"RUB"_s, 30, 3),
                              CabinetPlan(u"year"_s, u"Год"_s, 199000, u"RUB"_s, 365, 5)},
                             june1));
        // A key missing or of another type anywhere fails the whole reply.
        for (const auto& [from, to] : {std::pair(",\"devices_limit\":3}"_ba, "}"_ba),
                                       std::pair("\"current\":false"_ba, "\"current\":0"_ba),
                                       std::pair("}]"_ba, "}, 7]"_ba)})
            QVERIFY2(!CabinetData::fromJson(QByteArray(sample).replace(from, to)),
                     from.constData());
    }

    void remaining_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<qint64>("endsAt");
        QTest::addColumn<qint64>("atMs");
        QTest::addColumn<QString>("expected");
        constexpr qint64 t = 1'700'000'000;
        constexpr qint64 day = 86'400;
        const auto row = [](const char* name, bool active, qint64 endsAt, qint64 atMs,
                            const QString& expected) {
            QTest::newRow(name) << active << endsAt << atMs << expected;
        };
        row("inactive", false, t + day, t * 1000, u"Нет действующей подписки"_s);
        row("no end", true, 0, t * 1000, u"Бессрочная подписка"_s);
        row("ends now", true, t, t * 1000, u"Срок подписки истёк"_s);
        row("half a second left", true, t + 1, t * 1000 + 500, u"Осталось меньше суток"_s);
        row("a day less half a second", true, t + day, t * 1000 + 500, u"Осталось меньше суток"_s);
        row("a day", true, t + day, t * 1000, u"Осталось дней: 1"_s);
        row("a day and half a second", true, t + day + 1, t * 1000 + 500, u"Осталось дней: 2"_s);
        row("the largest end", true, int64Max, t * 1000, u"Осталось дней: 106751991147625"_s);
        row("before 1970", true, day, -86'400'500, u"Осталось дней: 3"_s);
    }
    void remaining()
    {
        QFETCH(bool, active);
        QFETCH(qint64, endsAt);
        QFETCH(qint64, atMs);
        const CabinetSubscription s(active, u"m"_s, u"M"_s, endsAt, 3);
        QTEST(s.remaining(QDateTime::fromMSecsSinceEpoch(atMs, QTimeZone(3600))), "expected");
    }

    // Prices exact to the last digit, "—" for a code that is not three
    // ASCII letters; dates in the zone asked for, else in the user's, "—" beyond the calendar.
    void format_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("code"); // a currency, or "@" and the zone for a date
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, qint64 value, const QString& code,
                            const QString& expected) {
            QTest::newRow(name) << value << code << expected;
        };
        // clang-format off
        row("grouped", 123456789, u"rub"_s, u"1\u00a0234\u00a0567,89\u00a0₽"_s);
        row("largest", int64Max, u"RUB"_s, u"92\u00a0233\u00a0720\u00a0368\u00a0547\u00a0758,07\u00a0₽"_s);
        row("smallest", int64Min, u"EUR"_s, u"-92\u00a0233\u00a0720\u00a0368\u00a0547\u00a0758,08\u00a0€"_s);
        // clang-format on
        // ICU would show "" as the "no currency" code and "RUBLE" as RUB.
        row("yen, no minor unit", 50000, u"JPY"_s, u"500\u00a0¥"_s);
        for (const char* bad : {"", "RU", "RUBLE", "₽", "РУБ", "R1B", " RUB"})
            row(*bad ? bad : "empty", 250, QString::fromUtf8(bad), u"—"_s);
        row("Moscow", june1, u"@Europe/Moscow"_s, u"1 июн. 2024\u202fг., 15:00"_s);
        // The seconds are dropped, not rounded.
        row("New Year", 1735689599, u"@Europe/Moscow"_s, u"1 янв. 2025\u202fг., 02:59"_s);
        row("beyond the calendar", int64Max, u"@Europe/Moscow"_s, u"—"_s);
        row("before the calendar", int64Min, u"@Europe/Moscow"_s, u"—"_s);
        row("no zone", june1, u"@"_s, u"1 июн. 2024\u202fг., 19:00"_s);
        row("unknown zone", june1, u"@Nowhere/Atlantis"_s, u"1 июн. 2024\u202fг., 19:00"_s);
    }
    void format()
    {
        QFETCH(qint64, value);
        QFETCH(QString, code);
        QTEST(code.startsWith(u'@') ? CabinetFormat::dateTime(value, QStringView(code).sliced(1))
                                    : CabinetPlan(u"m"_s, u"M"_s, value, code, 30, 3).price(),
              "expected");
    }

    // Two loads in a row send one request. A failed refresh keeps the last
    // good copy; a whole cabinet under an error status is taken. A reply
    // that comes after the account changed belongs to the old device: it is
    // dropped, and the device signed in now gets its own.
    void replies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("deviceId"); // null: the account stays
        QTest::addColumn<QString>("failure");
        const Reply good = Reply::json(200, sample);
        // clang-format off
        QTest::newRow("center error") << Reply::json(502, R"({"error":"center_down"})") << true << QString() << u"Не удалось обновить кабинет. center_down"_s;
        QTest::newRow("not a cabinet") << Reply::json(200, R"({"subscription":{}})") << true << QString() << u"Не удалось обновить кабинет. Центр прислал неверные данные."_s;
        QTest::newRow("a cabinet under a 500") << Reply::json(500, sample) << true << QString() << QString();
        QTest::newRow("signed out") << good << false << u"d-1"_s << QString();
        QTest::newRow("signed out, no device id") << good << false << u""_s << QString();
        QTest::newRow("this device replaced") << good << true << u"d-9"_s << QString();
        // clang-format on
    }
    void replies()
    {
        QFETCH(Reply, reply);
        QFETCH(bool, signedIn);
        QFETCH(QString, deviceId);
        QVERIFY(m_rig.start());
        account(true, u"d-1"_s);
        m_loader = std::make_unique<CabinetLoader>(*m_rig.core);
        serve(Reply::json(200, sample));
        m_loader->load();
        m_loader->load();
        loaded(1);
        m_loader->choosePlan(u"month"_s);
        serve(deviceId.isNull() ? reply : Reply::json(200, sample).after(FakeHelper::ms(1000)));
        m_loader->load();
        if (!deviceId.isNull()) {
            QTRY_COMPARE(m_rig.helper->count("GET", "/account/cabinet"), 2);
            serve(reply);
            account(signedIn, deviceId);
            // A new device id drops the old copy and the plan choice at once.
            QCOMPARE(!m_loader->cabinet() && m_loader->selectedPlan().isEmpty(),
                     deviceId != u"d-1");
        }
        loaded(signedIn && !deviceId.isNull() ? 3 : 2);
        QTEST(m_loader->failure(), "failure");
        // The user's plan while offered, else the current one.
        if (m_loader->cabinet())
            QCOMPARE(m_loader->selectedPlan(), deviceId.isNull() ? u"month"_s : u"year"_s);
        // Signed out, no cabinet is kept.
        QCOMPARE(m_loader->cabinet() ? m_loader->cabinet()->subscription.plan_name : QString(),
                 signedIn ? u"Год"_s : QString());
    }
};

QTEST_GUILESS_MAIN(CabinetTest)
#include "tst_Cabinet.moc"
