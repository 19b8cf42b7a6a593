// The symbol set: every name renders at 1x and 2x in the caller's tint.
#include "ui/kit/Symbols.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The names the main window, its menus and the tray ask for.
const QStringList required = {u"power"_s,    u"exclamationmark.triangle.fill"_s,
                              u"doc.text"_s, u"square.and.arrow.up"_s,
                              u"trash"_s,    u"cloud.fog.fill"_s,
                              u"cloud.fog"_s};

struct Coverage {
    int painted = 0; // pixels with any alpha
    int solid = 0;   // pixels at the tint's full alpha
    double ink = 0;  // total coverage, in whole pixels
    bool tinted = true;
};

Coverage inspect(const QImage& image, const QColor& tint)
{
    Coverage c;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor pixel = argb.pixelColor(x, y);
            if (pixel.alpha() == 0)
                continue;
            ++c.painted;
            c.ink += pixel.alphaF() / tint.alphaF();
            if (pixel.alpha() >= tint.alpha() - 1)
                ++c.solid;
            // Faint edge pixels lose colour precision to premultiplication.
            const int tolerance = pixel.alpha() >= 64 ? 3 : 255;
            if (pixel.alpha() > tint.alpha() + 1 ||
                std::abs(pixel.red() - tint.red()) > tolerance ||
                std::abs(pixel.green() - tint.green()) > tolerance ||
                std::abs(pixel.blue() - tint.blue()) > tolerance)
                c.tinted = false;
        }
    }
    return c;
}

} // namespace

class SymbolsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void renders_data();
    void renders();
    void iconCarriesBothRatios();
    void names();
};

void SymbolsTest::renders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("tint");
    QTest::addColumn<int>("size");

    const QList<QPair<const char*, QColor>> tints = {
        {"orange", QColor(255, 149, 0)},
        {"black", QColor(Qt::black)},
        {"white", QColor(Qt::white)},
        {"slate, translucent", QColor(140, 158, 179, 128)}};
    // The names the main window, its menus and the tray ask for.
    const QStringList names = {u"power"_s,    u"exclamationmark.triangle.fill"_s,
                               u"doc.text"_s, u"square.and.arrow.up"_s,
                               u"trash"_s,    u"cloud.fog.fill"_s,
                               u"cloud.fog"_s};
    QCOMPARE(QSet(Symbols::names().cbegin(), Symbols::names().cend()),
             QSet(names.cbegin(), names.cend()));
    for (const QString& name : names)
        for (const auto& [label, tint] : tints)
            for (int size : {16, 28})
                QTest::addRow("%s, %s, %d", qPrintable(name), label, size) << name << tint << size;
}

void SymbolsTest::renders()
{
    QFETCH(QString, name);
    QFETCH(QColor, tint);
    QFETCH(int, size);

    QVERIFY(Symbols::exists(name));
    Coverage at[2];
    for (int ratio : {1, 2}) {
        const QPixmap pixmap = Symbols::pixmap(name, tint, size, ratio);
        QVERIFY(!pixmap.isNull());
        QCOMPARE(pixmap.devicePixelRatio(), qreal(ratio));
        QCOMPARE(pixmap.size(), QSize(size, size) * ratio);
        QCOMPARE(pixmap.deviceIndependentSize(), QSizeF(size, size));
        const Coverage c = inspect(pixmap.toImage(), tint);
        QVERIFY2(c.tinted, "a pixel is not the tint");
        QVERIFY2(c.solid > 0, "no pixel reaches the tint's full alpha");
        at[ratio - 1] = c;
    }
    // The same drawing at both ratios (as much ink per logical pixel), drawn
    // afresh at 2x rather than enlarged: relatively fewer half-covered pixels.
    const double ink1 = at[0].ink / (size * size);
    const double ink2 = at[1].ink / (size * size * 4);
    QVERIFY2(std::abs(ink1 - ink2) < 0.08 * ink1, QByteArray::number(ink2 / ink1).constData());
    QVERIFY(double(at[1].solid) / at[1].painted > double(at[0].solid) / at[0].painted);
}

void SymbolsTest::iconCarriesBothRatios()
{
    const QIcon icon = Symbols::icon(u"trash"_s, QColor(Qt::red), 16);
    QVERIFY(!icon.isNull());
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = icon.pixmap(QSize(16, 16), ratio);
        QCOMPARE(pixmap.devicePixelRatio(), ratio);
        QCOMPARE(pixmap.size(), QSize(16, 16) * ratio);
    }
}

void SymbolsTest::names()
{
    const QStringList names = Symbols::names();
    QCOMPARE(QSet(names.cbegin(), names.cend()), QSet(required.cbegin(), required.cend()));
    QVERIFY(!Symbols::exists(u"gear"_s));
    QVERIFY(Symbols::pixmap(u"gear"_s, QColor(Qt::black), 16, 1).isNull());
    QVERIFY(Symbols::icon(u"gear"_s, QColor(Qt::black), 16).isNull());
}

QTEST_MAIN(SymbolsTest)
#include "tst_Symbols.moc"
