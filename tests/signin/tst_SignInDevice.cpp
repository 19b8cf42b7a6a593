// A device offered for replacement, read leniently from one entry of the
// "device_limit" reply.
#include "signin/SignInDevice.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

class SignInDeviceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fromJson_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("made");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("platform");

        const QString unnamed = u"Устройство без названия"_s;

        QTest::newRow("every field")
            << R"({"id": "d-7", "name": "Ноутбук Маши", "platform": "Windows"})"_ba << true
            << u"d-7"_s << u"Ноутбук Маши"_s << u"Windows"_s;
        QTest::newRow("unknown keys ignored")
            << R"({"id": "d-7", "name": "Ноутбук", "platform": "Linux", "last_seen_at": 5})"_ba
            << true << u"d-7"_s << u"Ноутбук"_s << u"Linux"_s;

        QTest::newRow("id missing") << R"({"name": "Ноутбук", "platform": "Linux"})"_ba << false
                                    << QString() << QString() << QString();
        QTest::newRow("id empty") << R"({"id": "", "name": "Ноутбук"})"_ba << false << QString()
                                  << QString() << QString();
        QTest::newRow("id a number")
            << R"({"id": 7, "name": "Ноутбук"})"_ba << false << QString() << QString() << QString();
        QTest::newRow("id null") << R"({"id": null, "name": "Ноутбук"})"_ba << false << QString()
                                 << QString() << QString();

        QTest::newRow("name missing")
            << R"({"id": "d-7", "platform": "iOS"})"_ba << true << u"d-7"_s << unnamed << u"iOS"_s;
        QTest::newRow("name empty") << R"({"id": "d-7", "name": "", "platform": "iOS"})"_ba << true
                                    << u"d-7"_s << unnamed << u"iOS"_s;
        QTest::newRow("name a number") << R"({"id": "d-7", "name": 42, "platform": "iOS"})"_ba
                                       << true << u"d-7"_s << unnamed << u"iOS"_s;
        QTest::newRow("name null") << R"({"id": "d-7", "name": null, "platform": "iOS"})"_ba << true
                                   << u"d-7"_s << unnamed << u"iOS"_s;
        QTest::newRow("name of blanks kept")
            << R"({"id": "d-7", "name": " ", "platform": "iOS"})"_ba << true << u"d-7"_s << u" "_s
            << u"iOS"_s;

        QTest::newRow("platform missing") << R"({"id": "d-7", "name": "Ноутбук"})"_ba << true
                                          << u"d-7"_s << u"Ноутбук"_s << QString();
        QTest::newRow("platform not text")
            << R"({"id": "d-7", "name": "Ноутбук", "platform": ["macOS"]})"_ba << true << u"d-7"_s
            << u"Ноутбук"_s << QString();
        QTest::newRow("only an id")
            << R"({"id": "d-7"})"_ba << true << u"d-7"_s << unnamed << QString();
    }

    void fromJson()
    {
        QFETCH(QByteArray, entry);
        QFETCH(bool, made);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, platform);

        const QJsonDocument document = QJsonDocument::fromJson(entry);
        QVERIFY(document.isObject());
        const std::optional<SignInDevice> device = SignInDevice::fromJson(document.object());
        QCOMPARE(device.has_value(), made);
        if (made)
            QCOMPARE(*device, SignInDevice(id, name, platform));
    }
};

QTEST_GUILESS_MAIN(SignInDeviceTest)
#include "tst_SignInDevice.moc"
