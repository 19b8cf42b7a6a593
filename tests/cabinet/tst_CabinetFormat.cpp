// The cabinet's prices and dates as a Russian reader sees them. Expected
// texts are written out with their exact spaces: U+00A0 (no-break) groups
// digits and precedes the currency sign, U+202F (narrow no-break) precedes
// "г." after the year.
#include "cabinet/CabinetFormat.h"
#include "cabinet/CabinetPlan.h"

#include <QTest>

#include <unicode/timezone.h>

#include <ctime>
#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

// Makes `zone` the user's time zone, as TZ does at start-up, for one scope.
class UserTimeZone {
public:
    explicit UserTimeZone(const QByteArray& zone)
        : m_previousTz(qgetenv("TZ"))
        , m_hadTz(qEnvironmentVariableIsSet("TZ"))
        , m_previousDefault(icu::TimeZone::createDefault())
    {
        qputenv("TZ", zone);
        tzset();
        icu::TimeZone::adoptDefault(icu::TimeZone::detectHostTimeZone());
    }
    ~UserTimeZone()
    {
        if (m_hadTz)
            qputenv("TZ", m_previousTz);
        else
            qunsetenv("TZ");
        tzset();
        icu::TimeZone::adoptDefault(m_previousDefault.release());
    }
    Q_DISABLE_COPY_MOVE(UserTimeZone)

private:
    QByteArray m_previousTz;
    bool m_hadTz;
    std::unique_ptr<icu::TimeZone> m_previousDefault;
};

} // namespace

class CabinetFormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void price_data()
    {
        QTest::addColumn<qint64>("minor");
        QTest::addColumn<QString>("currency");
        QTest::addColumn<QString>("expected");

        QTest::newRow("250 RUB") << qint64(250) << u"RUB"_s << u"2,50\u00a0₽"_s;
        QTest::newRow("5 RUB") << qint64(5) << u"RUB"_s << u"0,05\u00a0₽"_s;
        QTest::newRow("0 RUB") << qint64(0) << u"RUB"_s << u"0,00\u00a0₽"_s;
        QTest::newRow("four digits grouped")
            << qint64(123456) << u"RUB"_s << u"1\u00a0234,56\u00a0₽"_s;
        QTest::newRow("millions grouped")
            << qint64(123456789) << u"RUB"_s << u"1\u00a0234\u00a0567,89\u00a0₽"_s;
        QTest::newRow("the largest amount, exact")
            << int64Max << u"RUB"_s
            << u"92\u00a0233\u00a0720\u00a0368\u00a0547\u00a0758,07\u00a0₽"_s;
        QTest::newRow("the smallest amount, exact")
            << int64Min << u"RUB"_s
            << u"-92\u00a0233\u00a0720\u00a0368\u00a0547\u00a0758,08\u00a0₽"_s;
        QTest::newRow("JPY, no fraction digits") << qint64(50000) << u"JPY"_s << u"500\u00a0¥"_s;
        QTest::newRow("JPY, fraction rounded away") << qint64(12345) << u"JPY"_s << u"123\u00a0¥"_s;
        QTest::newRow("USD") << qint64(990) << u"USD"_s << u"9,90\u00a0$"_s;
        QTest::newRow("EUR") << qint64(1250000) << u"EUR"_s << u"12\u00a0500,00\u00a0€"_s;
        QTest::newRow("code in lower case") << qint64(250) << u"rub"_s << u"2,50\u00a0₽"_s;
        QTest::newRow("unassigned code shown as is")
            << qint64(250) << u"ZZZ"_s << u"2,50\u00a0ZZZ"_s;
        // ICU would show "" as the "no currency" code and "RUBLE" as RUB.
        QTest::newRow("empty code") << qint64(250) << QString() << u"—"_s;
        QTest::newRow("two letters") << qint64(250) << u"RU"_s << u"—"_s;
        QTest::newRow("five letters") << qint64(250) << u"RUBLE"_s << u"—"_s;
        QTest::newRow("a sign, not a code") << qint64(250) << u"₽"_s << u"—"_s;
        QTest::newRow("Cyrillic letters") << qint64(250) << u"РУБ"_s << u"—"_s;
        QTest::newRow("digit") << qint64(250) << u"R1B"_s << u"—"_s;
        QTest::newRow("padded") << qint64(250) << u" RUB"_s << u"—"_s;
    }

    void price()
    {
        QFETCH(qint64, minor);
        QFETCH(QString, currency);
        QFETCH(QString, expected);

        const CabinetPlan plan(u"month"_s, u"Месяц"_s, minor, currency, 30, 3);
        QCOMPARE(plan.price(), expected);
    }

    void dateTime_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("expected");

        // 2024-06-01 12:00:00 UTC, in summer time in New York.
        QTest::newRow("June, Moscow")
            << qint64(1717243200) << u"Europe/Moscow"_s << u"1 июн. 2024\u202fг., 15:00"_s;
        QTest::newRow("June, New York")
            << qint64(1717243200) << u"America/New_York"_s << u"1 июн. 2024\u202fг., 08:00"_s;
        // 2024-12-31 23:59:59 UTC: the seconds are dropped, not rounded.
        QTest::newRow("New Year, Moscow")
            << qint64(1735689599) << u"Europe/Moscow"_s << u"1 янв. 2025\u202fг., 02:59"_s;
        QTest::newRow("New Year, New York")
            << qint64(1735689599) << u"America/New_York"_s << u"31 дек. 2024\u202fг., 18:59"_s;
        // The month in the genitive, which has no shorter form.
        QTest::newRow("May, Moscow")
            << qint64(1715247000) << u"Europe/Moscow"_s << u"9 мая 2024\u202fг., 12:30"_s;
        QTest::newRow("the epoch, New York")
            << qint64(0) << u"America/New_York"_s << u"31 дек. 1969\u202fг., 19:00"_s;
        QTest::newRow("beyond the calendar") << int64Max << u"Europe/Moscow"_s << u"—"_s;
        QTest::newRow("before the calendar") << int64Min << u"Europe/Moscow"_s << u"—"_s;
    }

    void dateTime()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, zone);
        QFETCH(QString, expected);

        QCOMPARE(CabinetFormat::dateTime(seconds, zone), expected);
    }

    void dateTimeIsInTheUsersZoneByDefault()
    {
        const UserTimeZone novosibirsk("Asia/Novosibirsk");
        QCOMPARE(CabinetFormat::dateTime(1717243200), u"1 июн. 2024\u202fг., 19:00"_s);
        QCOMPARE(CabinetFormat::dateTime(1717243200, u"Nowhere/Atlantis"),
                 u"1 июн. 2024\u202fг., 19:00"_s);
    }
};

QTEST_GUILESS_MAIN(CabinetFormatTest)
#include "tst_CabinetFormat.moc"
