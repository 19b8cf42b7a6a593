// Decoding the helper's status record, the strict JSON rules, and rate().
#include "StatusJson.h"
#include "link/JsonReader.h"
#include "link/Rate.h"
#include "link/Status.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Status sample()
{
    Status s;
    s.running = true;
    s.active = 1;
    s.auto_ = false;
    s.latency_ms = 42;
    s.down_bps = 48'000'000;
    s.up_bps = 12'500'000;
    s.peak_bps = 61'000'000;
    s.best_bps = {10, 20};
    s.check_wait_ms = 100;
    s.check_total_ms = 2000;
    s.check_next_ms = 1500;
    s.message = u"Канал перегружен"_s;
    s.channels = {u"Амстердам"_s, u"Frankfurt UDP"_s};
    s.helper = true;
    s.primary = true;
    s.autoconnect = true;
    s.protected_ = true;
    s.protection_armed = false;
    s.verified = true;
    return s;
}

const QStringList allKeys = {
    u"running"_s,       u"active"_s,           u"auto"_s,          u"latency_ms"_s,
    u"down_bps"_s,      u"up_bps"_s,           u"peak_bps"_s,      u"best_bps"_s,
    u"check_wait_ms"_s, u"check_total_ms"_s,   u"check_next_ms"_s, u"message"_s,
    u"channels"_s,      u"helper"_s,           u"primary"_s,       u"autoconnect"_s,
    u"protected"_s,     u"protection_armed"_s, u"verified"_s,
};

QByteArray withValue(const QString& key, const QByteArray& json)
{
    // Splice raw JSON text in, so numbers keep their written form (5.0, 1e2).
    QJsonObject o = statusObject(sample());
    o.insert(key, u"@@"_s);
    QByteArray body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return body.replace("\"@@\"", json);
}

} // namespace

class StatusTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultsAreThoseShownBeforeTheFirstPoll()
    {
        const Status s;
        QVERIFY(!s.running);
        QCOMPARE(s.active, 0);
        QVERIFY(s.auto_);
        QCOMPARE(s.check_next_ms, 5000);
        QCOMPARE(s.latency_ms + s.down_bps + s.up_bps + s.peak_bps + s.check_wait_ms +
                     s.check_total_ms,
                 0);
        QVERIFY(s.best_bps.isEmpty() && s.channels.isEmpty() && s.message.isEmpty());
        QVERIFY(!s.helper && !s.primary && !s.autoconnect && !s.protected_ && !s.protection_armed &&
                !s.verified);
    }

    void decodesEveryField()
    {
        const auto decoded = Status::fromJson(statusBody(sample()));
        QVERIFY(decoded);
        QCOMPARE(*decoded, sample());
    }

    void eachMissingKeyFailsTheWhole_data()
    {
        QTest::addColumn<QString>("key");
        for (const QString& key : allKeys)
            QTest::newRow(qPrintable(key)) << key;
    }

    void eachMissingKeyFailsTheWhole()
    {
        QFETCH(QString, key);
        QJsonObject o = statusObject(sample());
        QVERIFY(o.contains(key));
        o.remove(key);
        QVERIFY(!Status::fromJson(QJsonDocument(o).toJson()));
        QVERIFY(!Status::fromJson(withValue(key, "null")));
    }

    void valueTypes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");

        QTest::newRow("bool as 1") << u"running"_s << QByteArray("1") << false;
        QTest::newRow("bool as string") << u"verified"_s << QByteArray("\"true\"") << false;
        QTest::newRow("int as string") << u"active"_s << QByteArray("\"1\"") << false;
        QTest::newRow("int as bool") << u"latency_ms"_s << QByteArray("true") << false;
        QTest::newRow("int 5.0") << u"latency_ms"_s << QByteArray("5.0") << true;
        QTest::newRow("int 1e2") << u"down_bps"_s << QByteArray("1e2") << true;
        QTest::newRow("int 5.5") << u"latency_ms"_s << QByteArray("5.5") << false;
        QTest::newRow("int -0.5") << u"active"_s << QByteArray("-0.5") << false;
        QTest::newRow("int 2^63-1") << u"peak_bps"_s << QByteArray("9223372036854775807") << true;
        QTest::newRow("int 2^63") << u"peak_bps"_s << QByteArray("9223372036854775808") << false;
        QTest::newRow("int -2^63") << u"active"_s << QByteArray("-9223372036854775808") << true;
        QTest::newRow("int 1e19") << u"up_bps"_s << QByteArray("1e19") << false;
        QTest::newRow("int -1e19") << u"up_bps"_s << QByteArray("-1e19") << false;
        QTest::newRow("text as number") << u"message"_s << QByteArray("7") << false;
        QTest::newRow("text as array") << u"message"_s << QByteArray("[]") << false;
        QTest::newRow("array as object") << u"channels"_s << QByteArray("{}") << false;
        QTest::newRow("array of mixed") << u"channels"_s << QByteArray("[\"a\", 1]") << false;
        QTest::newRow("array of null") << u"best_bps"_s << QByteArray("[1, null]") << false;
        QTest::newRow("array with 2.0") << u"best_bps"_s << QByteArray("[1, 2.0]") << true;
        QTest::newRow("array with 2.5") << u"best_bps"_s << QByteArray("[1, 2.5]") << false;
        QTest::newRow("empty channels") << u"channels"_s << QByteArray("[]") << true;
        QTest::newRow("empty best") << u"best_bps"_s << QByteArray("[]") << true;
        QTest::newRow("empty message") << u"message"_s << QByteArray("\"\"") << true;
        QTest::newRow("unknown key") << u"engine_version"_s << QByteArray("{\"x\":[1]}") << true;
    }

    void valueTypes()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QCOMPARE(Status::fromJson(withValue(key, json)).has_value(), decodes);
    }

    void integralNumbersKeepTheirValue()
    {
        auto s = Status::fromJson(withValue(u"down_bps"_s, "1e2"));
        QVERIFY(s);
        QCOMPARE(s->down_bps, 100);
        s = Status::fromJson(withValue(u"peak_bps"_s, "9223372036854775807"));
        QVERIFY(s);
        QCOMPARE(s->peak_bps, std::numeric_limits<qint64>::max());
        s = Status::fromJson(withValue(u"best_bps"_s, "[9007199254740993, -3]"));
        QVERIFY(s);
        QCOMPARE(s->best_bps, (QList<qint64>{9007199254740993LL, -3}));
    }

    void bodiesThatAreNotOneObject_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("array") << QByteArray("[") + statusBody(sample()) + "]";
        QTest::newRow("truncated") << statusBody(sample()).chopped(1);
        QTest::newRow("trailing garbage") << statusBody(sample()) + "x";
        QTest::newRow("null") << QByteArray("null");
    }

    void bodiesThatAreNotOneObject()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!Status::fromJson(body));
    }

    void activeChannelOnlyInsideTheList_data()
    {
        QTest::addColumn<qint64>("active");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << qint64(0) << u"Амстердам"_s;
        QTest::newRow("last") << qint64(1) << u"Frankfurt UDP"_s;
        QTest::newRow("past the end") << qint64(2) << QString();
        QTest::newRow("negative") << qint64(-1) << QString();
    }

    void activeChannelOnlyInsideTheList()
    {
        QFETCH(qint64, active);
        QFETCH(QString, name);
        Status s = sample();
        s.active = active;
        QCOMPARE(s.activeChannel().value_or(QString()), name);
    }

    void rates_data()
    {
        QTest::addColumn<qint64>("bps");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << qint64(-5'000'000) << u"0"_s;
        QTest::newRow("zero") << qint64(0) << u"0"_s;
        QTest::newRow("999") << qint64(999) << u"0"_s;
        QTest::newRow("1000") << qint64(1000) << u"0.00"_s;
        QTest::newRow("250000") << qint64(250'000) << u"0.25"_s;
        QTest::newRow("999999") << qint64(999'999) << u"1.00"_s;
        QTest::newRow("1000000") << qint64(1'000'000) << u"1.0"_s;
        QTest::newRow("2500000") << qint64(2'500'000) << u"2.5"_s;
        QTest::newRow("9999999") << qint64(9'999'999) << u"10.0"_s;
        QTest::newRow("10000000") << qint64(10'000'000) << u"10"_s;
        QTest::newRow("48400000") << qint64(48'400'000) << u"48"_s;
        QTest::newRow("huge") << qint64(1'000'000'000'000) << u"1000000"_s;
    }

    void rates()
    {
        QFETCH(qint64, bps);
        QTEST(rate(bps), "text");
    }
};

QTEST_GUILESS_MAIN(StatusTest)
#include "tst_Status.moc"
