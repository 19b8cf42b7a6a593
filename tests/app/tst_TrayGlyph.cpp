// The tray glyph cut from the shipped menubar.svg: visible on light and dark
// panels whatever the application's own colours, at the sizes panels ask for.
#include "app/TrayGlyph.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray shippedGlyph()
{
    QFile file(QCoreApplication::applicationDirPath() + u"/../lib/ovrin/menubar.svg"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The largest difference in grey between the glyph laid on `panel` and the
// bare panel.
int contrastOn(const QImage& glyph, const QColor& panel)
{
    QImage shown(glyph.size(), QImage::Format_RGB32);
    shown.fill(panel);
    QPainter(&shown).drawImage(0, 0, glyph);
    int best = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x)
            best = std::max(best, std::abs(qGray(shown.pixel(x, y)) - qGray(panel.rgb())));
    }
    return best;
}

} // namespace

class TrayGlyphTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void visibleOnEveryPanel_data()
    {
        QTest::addColumn<qreal>("alpha");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<QColor>("halo");
        // A light theme's colours, and a dark one's.
        QTest::newRow("bright, light theme") << 1.0 << QColor(0x1e1e1e) << QColor(0xefefef);
        QTest::newRow("dim, light theme") << 0.4 << QColor(0x1e1e1e) << QColor(0xefefef);
        QTest::newRow("bright, dark theme") << 1.0 << QColor(0xeeeeee) << QColor(0x2a2a2a);
        QTest::newRow("dim, dark theme") << 0.4 << QColor(0xeeeeee) << QColor(0x2a2a2a);
    }

    void visibleOnEveryPanel()
    {
        QFETCH(qreal, alpha);
        QFETCH(QColor, ink);
        QFETCH(QColor, halo);
        // The dim glyph is faint on purpose, yet never lost.
        const int least = alpha < 1 ? 70 : 150;
        for (const int height : TrayGlyph::pixelHeights()) {
            const QImage glyph = TrayGlyph::render(shippedGlyph(), height, alpha, ink, halo);
            QCOMPARE(glyph.height(), height);
            QCOMPARE(glyph.width(), qRound(height * 14.0 / 13.0));
            // A dark top bar under a light theme, a light panel under a dark one.
            for (const QColor panel : {QColor(Qt::black), QColor(0x303030), QColor(Qt::white)})
                QVERIFY2(contrastOn(glyph, panel) >= least, qPrintable(panel.name()));
        }
    }

    void dimIsFainterThanBright()
    {
        const auto darkest = [](qreal alpha) {
            const QImage glyph = TrayGlyph::render(shippedGlyph(), 32, alpha, Qt::black, Qt::white);
            QImage shown(glyph.size(), QImage::Format_RGB32);
            shown.fill(QColor(128, 128, 128));
            QPainter(&shown).drawImage(0, 0, glyph);
            int least = 255;
            for (int y = 0; y < shown.height(); ++y) {
                for (int x = 0; x < shown.width(); ++x)
                    least = std::min(least, qGray(shown.pixel(x, y)));
            }
            return least;
        };
        QVERIFY(darkest(1.0) < 10);
        // 40 % black ink over the mid-grey panel.
        QVERIFY(qAbs(darkest(0.4) - 77) <= 8);
    }

    void iconCarriesEverySize()
    {
        const QIcon icon = TrayGlyph::icon(shippedGlyph(), 1.0, Qt::black, Qt::white);
        QList<int> heights;
        for (const QSize& size : icon.availableSizes())
            heights << size.height();
        QCOMPARE(heights, TrayGlyph::pixelHeights());
    }

    void brokenResourceGivesNoImage_data()
    {
        QTest::addColumn<QByteArray>("svg");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not an svg") << QByteArray("<svg this is not");
    }

    void brokenResourceGivesNoImage()
    {
        QFETCH(QByteArray, svg);
        QVERIFY(TrayGlyph::render(svg, 16, 1.0, Qt::white, Qt::black).isNull());
        QVERIFY(TrayGlyph::icon(svg, 1.0, Qt::white, Qt::black).isNull());
    }
};

QTEST_MAIN(TrayGlyphTest)
#include "tst_TrayGlyph.moc"
