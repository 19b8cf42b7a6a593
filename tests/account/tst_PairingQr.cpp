// The pairing link and its QR code, read back by an independent decoder.
#include "account/OvrinLink.h"
#include "account/PairingQr.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class PairingQrTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // zbarimg's reading of the image, or a null string when it read nothing.
    QString decode(const QImage& image)
    {
        const QString file = m_dir.filePath(u"qr.png"_s);
        if (!image.save(file))
            return {};
        QProcess zbar;
        zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, file});
        if (!zbar.waitForFinished(10000) || zbar.exitCode() != 0)
            return {};
        QByteArray out = zbar.readAllStandardOutput();
        if (out.endsWith('\n'))
            out.chop(1);
        return QString::fromUtf8(out);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty())
            QFAIL("zbarimg (zbar-tools) is needed to read the QR code back");
    }

    void values_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("link"); // null: only the round trip is checked

        QTest::newRow("plain") << u"p-1"_s << u"tok_A9"_s << u"ovrin://pair?id=p-1&token=tok_A9"_s;
        QTest::newRow("query syntax")
            << u"a&b=c#d"_s << u"x y+z"_s << u"ovrin://pair?id=a%26b%3Dc%23d&token=x%20y%2Bz"_s;
        QTest::newRow("literal escapes")
            << u"%41"_s << u"a%2Bb"_s << u"ovrin://pair?id=%2541&token=a%252Bb"_s;
        QTest::newRow("broken escapes") << u"%41%"_s << u"%zz"_s << QString();
        QTest::newRow("non-ASCII") << u"ключ"_s << u"é/?"_s << QString();
        QTest::newRow("control characters") << u"a\r\nb"_s << u"\t"_s << QString();
    }

    void values()
    {
        QFETCH(QString, id);
        QFETCH(QString, token);
        QFETCH(QString, link);

        const QString composed = OvrinLink::composePair(id, token);
        QVERIFY(composed.startsWith(u"ovrin://pair?id="_s));
        if (!link.isNull())
            QCOMPARE(composed, link);
        for (const QChar c : composed)
            QVERIFY2(c.unicode() > 0x20 && c.unicode() < 0x7f, qPrintable(composed));
        const auto parts = OvrinLink::parsePair(composed);
        QVERIFY(parts);
        QCOMPARE(parts->id, id);
        QCOMPARE(parts->token, token);
    }

    void refusedLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("another scheme") << u"https://pair?id=p1&token=t1"_s;
        QTest::newRow("another host") << u"ovrin://auth?id=p1&token=t1"_s;
        QTest::newRow("host in the path") << u"ovrin:pair?id=p1&token=t1"_s;
        QTest::newRow("no token") << u"ovrin://pair?id=p1"_s;
        QTest::newRow("empty token") << u"ovrin://pair?id=p1&token="_s;
        QTest::newRow("first token empty") << u"ovrin://pair?id=p1&token=&token=t2"_s;
        QTest::newRow("no id") << u"ovrin://pair?token=t1"_s;
        QTest::newRow("not a link") << u"скан QR"_s;
        QTest::newRow("empty") << QString();
    }

    void refusedLinks()
    {
        QFETCH(QString, link);
        QVERIFY(!OvrinLink::parsePair(link));
    }

    void firstItemsWin()
    {
        const auto parts = OvrinLink::parsePair(u"ovrin://pair?token=t1&id=p1&id=p2&token=t2"_s);
        QVERIFY(parts);
        QCOMPARE(parts->id, u"p1"_s);
        QCOMPARE(parts->token, u"t1"_s);
    }

    void qrReadsBack_data() { values_data(); }

    void qrReadsBack()
    {
        QFETCH(QString, id);
        QFETCH(QString, token);
        const QString link = OvrinLink::composePair(id, token);

        const QImage image = PairingQr::image(link);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSize(180, 180));
        QCOMPARE(decode(image), link);

        // Drawn without smoothing: only black and white, and a white margin.
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < grey.height(); ++y) {
            const uchar* line = grey.constScanLine(y);
            for (int x = 0; x < grey.width(); ++x)
                QVERIFY(line[x] == 0 || line[x] == 255);
        }
        for (int i = 0; i < 180; ++i) {
            QCOMPARE(grey.pixelColor(i, 0), QColor(Qt::white));
            QCOMPARE(grey.pixelColor(0, i), QColor(Qt::white));
            QCOMPARE(grey.pixelColor(i, 179), QColor(Qt::white));
        }
    }

    void noImage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("beyond a QR code's capacity") << QString(3000, u'x');
    }

    void noImage()
    {
        QFETCH(QString, text);
        QVERIFY(PairingQr::image(text).isNull());
    }
};

QTEST_GUILESS_MAIN(PairingQrTest)
#include "tst_PairingQr.moc"
