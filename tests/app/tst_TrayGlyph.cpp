// The tray glyph cut from the shipped menubar.svg.
#include "app/TrayGlyph.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString shippedGlyph()
{
    return QCoreApplication::applicationDirPath() + u"/../lib/ovrin/menubar.svg"_s;
}

int maxAlpha(const QImage& image)
{
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, qAlpha(image.pixel(x, y)));
    }
    return best;
}

} // namespace

class TrayGlyphTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizeAndOpacity_data()
    {
        QTest::addColumn<qreal>("alpha");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("bright, 1x") << 1.0 << 1.0;
        QTest::newRow("dim, 1x") << 0.4 << 1.0;
        QTest::newRow("bright, 2x") << 1.0 << 2.0;
        QTest::newRow("dim, 1.5x") << 0.4 << 1.5;
    }

    void sizeAndOpacity()
    {
        QFETCH(qreal, alpha);
        QFETCH(qreal, ratio);
        const QImage glyph = TrayGlyph::load(shippedGlyph(), alpha, Qt::white, ratio);
        QVERIFY(!glyph.isNull());
        QCOMPARE(glyph.size(), QSize(qRound(17 * ratio), qRound(16 * ratio)));
        QVERIFY(qAbs(glyph.deviceIndependentSize().width() - 17) < 0.5);
        QCOMPARE(glyph.deviceIndependentSize().height(), 16);
        QVERIFY(qAbs(maxAlpha(glyph) - qRound(255 * alpha)) <= 2);
        // Ink is the requested colour (premultiplied: compare a solid pixel).
        const QColor centre = glyph.pixelColor(glyph.width() / 2, int(glyph.height() * 0.15));
        QVERIFY(centre.alpha() > 0);
        QCOMPARE(centre.red(), 255);
    }

    void cropKeepsTheShapeInside()
    {
        // Nothing of the shield is cut off: the outer rows and columns of the
        // 20 × 20 box are empty, the crop's edges hold ink near the middle.
        const QImage glyph = TrayGlyph::load(shippedGlyph(), 1.0, Qt::black, 4.0);
        QVERIFY(qAlpha(glyph.pixel(glyph.width() / 2, 2)) > 0); // top of the shield
        QVERIFY(qAlpha(glyph.pixel(glyph.width() / 2, glyph.height() - 3)) > 0); // its point
        QCOMPARE(qAlpha(glyph.pixel(0, 0)), 0);
    }

    void missingOrBrokenResourceGivesNoImage()
    {
        QTemporaryDir dir;
        QVERIFY(TrayGlyph::load(dir.path() + u"/menubar.svg"_s, 1.0, Qt::white).isNull());
        QFile broken(dir.path() + u"/broken.svg"_s);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<svg this is not");
        broken.close();
        QVERIFY(TrayGlyph::load(broken.fileName(), 1.0, Qt::white).isNull());
    }
};

QTEST_MAIN(TrayGlyphTest)
#include "tst_TrayGlyph.moc"
