// Decoding the cabinet reply as a whole, and the time left on the subscription.
#include "cabinet/CabinetData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QByteArray sampleBody = R"({
    "subscription": {"active": true, "plan_id": "year", "plan_name": "Год",
                     "ends_at": 1735689600, "devices_limit": 5, "tier": "gold"},
    "devices": [
        {"id": "d-1", "name": "Рабочий ноутбук", "platform": "macOS",
         "last_seen_at": 1717243200, "current": true},
        {"id": "d-2", "name": "", "platform": "Android", "last_seen_at": 0, "current": false}
    ],
    "plans": [
        {"id": "month", "name": "Месяц", "price_minor": 25000, "currency": "RUB",
         "period_days": 30, "devices_limit": 3},
        {"id": "year", "name": "Год", "price_minor": 199000, "currency": "RUB",
         "period_days": 365, "devices_limit": 5}
    ],
    "loaded_at": 1717250000
})"_ba;

CabinetData sample()
{
    return CabinetData(CabinetSubscription(true, u"year"_s, u"Год"_s, 1735689600, 5),
                       {CabinetDevice(u"d-1"_s, u"Рабочий ноутбук"_s, u"macOS"_s, 1717243200, true),
                        CabinetDevice(u"d-2"_s, QString(), u"Android"_s, 0, false)},
                       {CabinetPlan(u"month"_s, u"Месяц"_s, 25000, u"RUB"_s, 30, 3),
                        CabinetPlan(u"year"_s, u"Год"_s, 199000, u"RUB"_s, 365, 5)},
                       1717250000);
}

QJsonObject sampleObject()
{
    return QJsonDocument::fromJson(sampleBody).object();
}

// `value` with the element at `path` ("plans/1/currency") replaced, or
// removed when `replacement` is nothing.
QJsonValue edited(const QJsonValue& value, QStringList path,
                  const std::optional<QJsonValue>& replacement)
{
    const QString step = path.takeFirst();
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        const qsizetype index = step.toInt();
        if (path.isEmpty() && !replacement)
            array.removeAt(index);
        else
            array[index] = path.isEmpty() ? *replacement : edited(array[index], path, replacement);
        return array;
    }
    QJsonObject object = value.toObject();
    if (path.isEmpty() && !replacement)
        object.remove(step);
    else
        object[step] = path.isEmpty() ? *replacement : edited(object[step], path, replacement);
    return object;
}

QByteArray editedBody(const QString& path, const std::optional<QJsonValue>& replacement)
{
    const QJsonValue value = edited(sampleObject(), path.split(u'/'), replacement);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

enum class Kind { Boolean, Integer, Text, Object, Array };

// Every key of every record, with the JSON type it must have.
const QList<std::pair<QString, Kind>> keys = {
    {u"subscription"_s, Kind::Object},
    {u"subscription/active"_s, Kind::Boolean},
    {u"subscription/plan_id"_s, Kind::Text},
    {u"subscription/plan_name"_s, Kind::Text},
    {u"subscription/ends_at"_s, Kind::Integer},
    {u"subscription/devices_limit"_s, Kind::Integer},
    {u"devices"_s, Kind::Array},
    {u"devices/1/id"_s, Kind::Text},
    {u"devices/1/name"_s, Kind::Text},
    {u"devices/1/platform"_s, Kind::Text},
    {u"devices/1/last_seen_at"_s, Kind::Integer},
    {u"devices/1/current"_s, Kind::Boolean},
    {u"plans"_s, Kind::Array},
    {u"plans/1/id"_s, Kind::Text},
    {u"plans/1/name"_s, Kind::Text},
    {u"plans/1/price_minor"_s, Kind::Integer},
    {u"plans/1/currency"_s, Kind::Text},
    {u"plans/1/period_days"_s, Kind::Integer},
    {u"plans/1/devices_limit"_s, Kind::Integer},
    {u"loaded_at"_s, Kind::Integer},
};

const QDateTime now = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

} // namespace

class CabinetRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesTheWholeTreeInOrder()
    {
        const std::optional<CabinetData> decoded = CabinetData::fromJson(sampleBody);
        QVERIFY(decoded);
        QCOMPARE(*decoded, sample());
    }

    void acceptsEmptyListsAndUnknownKeys_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("devices");
        QTest::addColumn<int>("plans");

        QTest::newRow("no devices") << editedBody(u"devices"_s, QJsonArray()) << 0 << 2;
        QTest::newRow("no plans") << editedBody(u"plans"_s, QJsonArray()) << 2 << 0;
        QTest::newRow("unknown keys at every level")
            << editedBody(u"plans/0/discount"_s, 10) << 2 << 2;
    }

    void acceptsEmptyListsAndUnknownKeys()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, devices);
        QFETCH(int, plans);

        const std::optional<CabinetData> decoded = CabinetData::fromJson(body);
        QVERIFY(decoded);
        QCOMPARE(decoded->devices.size(), devices);
        QCOMPARE(decoded->plans.size(), plans);
        QCOMPARE(decoded->subscription, sample().subscription);
    }

    // Each key missing, null, and holding each JSON type but its own: the
    // plan without `devices_limit`, `current` as 1 and an integer with a
    // fraction among them.
    void rejectsTheWholeReplyOnAnyBadKey_data()
    {
        QTest::addColumn<QByteArray>("body");

        const QList<std::tuple<Kind, const char*, QJsonValue>> values = {
            {Kind::Boolean, "true", true},       {Kind::Integer, "1", 1},
            {Kind::Integer, "1.5", 1.5},         {Kind::Text, "\"1\"", u"1"_s},
            {Kind::Object, "{}", QJsonObject()}, {Kind::Array, "[]", QJsonArray()},
        };
        for (const auto& [path, kind] : keys) {
            const QByteArray name = path.toUtf8();
            QTest::addRow("%s missing", name.constData()) << editedBody(path, std::nullopt);
            QTest::addRow("%s null", name.constData()) << editedBody(path, QJsonValue());
            for (const auto& [valueKind, text, value] : values) {
                if (valueKind != kind)
                    QTest::addRow("%s as %s", name.constData(), text) << editedBody(path, value);
            }
        }
        QTest::newRow("a device that is not an object") << editedBody(u"devices/1"_s, 7);
        QTest::newRow("a plan that is null") << editedBody(u"plans/0"_s, QJsonValue());
    }

    void rejectsTheWholeReplyOnAnyBadKey()
    {
        QFETCH(QByteArray, body);
        QVERIFY(CabinetData::fromJson(sampleBody)); // the edit alone breaks it
        QVERIFY(!CabinetData::fromJson(body));
    }

    void rejectsABodyThatIsNotOneObject_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("array") << "[]"_ba;
        QTest::newRow("null") << "null"_ba;
        QTest::newRow("cut short") << sampleBody.left(sampleBody.size() - 2);
    }

    void rejectsABodyThatIsNotOneObject()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!CabinetData::fromJson(body));
    }

    void remaining_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<qint64>("endsAt");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("expected");

        const qint64 t = now.toSecsSinceEpoch();
        const qint64 hour = 3600;
        const qint64 day = 86'400;
        const QDateTime halfSecondLater = now.addMSecs(500);

        QTest::newRow("inactive, ends in the future")
            << false << t + 10 * day << now << u"Нет действующей подписки"_s;
        QTest::newRow("inactive, no end")
            << false << qint64(0) << now << u"Нет действующей подписки"_s;
        QTest::newRow("ends at 0") << true << qint64(0) << now << u"Бессрочная подписка"_s;
        QTest::newRow("ends at -5") << true << qint64(-5) << now << u"Бессрочная подписка"_s;
        QTest::newRow("ends at 1, long ago")
            << true << qint64(1) << now << u"Срок подписки истёк"_s;
        QTest::newRow("ends exactly now") << true << t << now << u"Срок подписки истёк"_s;
        QTest::newRow("ended half a second ago")
            << true << t << halfSecondLater << u"Срок подписки истёк"_s;
        QTest::newRow("half a second left")
            << true << t + 1 << halfSecondLater << u"Осталось меньше суток"_s;
        QTest::newRow("one second left") << true << t + 1 << now << u"Осталось меньше суток"_s;
        QTest::newRow("86 399 s left") << true << t + day - 1 << now << u"Осталось меньше суток"_s;
        QTest::newRow("86 399.5 s left")
            << true << t + day << halfSecondLater << u"Осталось меньше суток"_s;
        QTest::newRow("86 400 s left") << true << t + day << now << u"Осталось дней: 1"_s;
        QTest::newRow("86 400.5 s left")
            << true << t + day + 1 << halfSecondLater << u"Осталось дней: 2"_s;
        QTest::newRow("86 401 s left") << true << t + day + 1 << now << u"Осталось дней: 2"_s;
        QTest::newRow("36 hours left") << true << t + 36 * hour << now << u"Осталось дней: 2"_s;
        QTest::newRow("10 days exactly") << true << t + 10 * day << now << u"Осталось дней: 10"_s;
        QTest::newRow("at in another zone")
            << true << t + 36 * hour << now.toTimeZone(QTimeZone("Asia/Tokyo"))
            << u"Осталось дней: 2"_s;
        // (2^63 − 1 − 1 700 000 000) / 86 400, rounded up.
        QTest::newRow("the largest end") << true << std::numeric_limits<qint64>::max() << now
                                         << u"Осталось дней: 106751991147625"_s;
        QTest::newRow("at before 1970")
            << true << qint64(86'400) << QDateTime::fromMSecsSinceEpoch(-86'400'500, Qt::UTC)
            << u"Осталось дней: 3"_s;
    }

    void remaining()
    {
        QFETCH(bool, active);
        QFETCH(qint64, endsAt);
        QFETCH(QDateTime, at);
        QFETCH(QString, expected);

        const CabinetSubscription s(active, u"month"_s, u"Месяц"_s, endsAt, 3);
        QCOMPARE(s.remaining(at), expected);
    }
};

QTEST_GUILESS_MAIN(CabinetRecordsTest)
#include "tst_CabinetRecords.moc"
