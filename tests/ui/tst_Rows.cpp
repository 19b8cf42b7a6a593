// The channel row's dot and backgrounds, the settings face and the metric
// cells, checked through their pixels in a light and a dark palette.
#include "WidgetPage.h"
#include "ui/kit/SystemColours.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelRow.h"
#include "ui/main/Metric.h"
#include "ui/main/MoreDots.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMenu>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace SystemColours;

namespace {

enum class Dot { Faint, Green, Grey, Orange };

QColor expected(Dot dot, const QPalette& p)
{
    switch (dot) {
    case Dot::Faint:
        return faded(secondaryLabel(p), 0.25);
    case Dot::Green:
        return green(p);
    case Dot::Grey:
        return faded(secondaryLabel(p), 0.6);
    case Dot::Orange:
        break;
    }
    return orange(p);
}

// Equal colours; every fully transparent colour is the same.
bool same(const QColor& a, const QColor& b)
{
    return a.alpha() == 0 ? b.alpha() == 0 : a == b;
}

const std::pair<const char*, bool> themes[] = {{"light", false}, {"dark", true}};

} // namespace

class RowsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dot_data();
    void dot();
    void background_data();
    void background();
    void unchangedRowIsNotRepainted();
    void moreDots_data();
    void moreDots();
    void metricTexts_data();
    void metricTexts();
    void metricCell();
};

void RowsTest::dot_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("live");
    QTest::addColumn<bool>("waiting");
    QTest::addColumn<Dot>("dot");
    for (const auto& [theme, dark] : themes) {
        auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", theme, name) << dark;
        };
        row("elsewhere, live") << false << true << true << Dot::Faint;
        row("elsewhere, message") << false << false << false << Dot::Faint;
        row("active, waiting") << true << false << true << Dot::Grey;
        row("active, message") << true << false << false << Dot::Orange;
        row("active, live") << true << true << true << Dot::Green;
        row("active, live, message") << true << true << false << Dot::Green;
    }
}

void RowsTest::dot()
{
    QFETCH(bool, dark);
    QFETCH(bool, active);
    QFETCH(bool, live);
    QFETCH(bool, waiting);
    QFETCH(Dot, dot);

    WidgetPage<ChannelRow> p(dark);
    p.widget->set(u"Амстердам"_s, active, false, live, waiting);
    QCOMPARE(p.widget->dotColour(), expected(dot, p.page.palette()));
    QVERIFY_COLOUR(p.pixel({12, p.widget->height() / 2}),
                   over(p.background(), expected(dot, p.page.palette())));
}

void RowsTest::background_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("hovered");
    for (const auto& [theme, dark] : themes) {
        QTest::addRow("%s: plain", theme) << dark << false << false;
        QTest::addRow("%s: hovered", theme) << dark << false << true;
        QTest::addRow("%s: selected", theme) << dark << true << false;
        QTest::addRow("%s: selected, hovered", theme) << dark << true << true;
    }
}

void RowsTest::background()
{
    QFETCH(bool, dark);
    QFETCH(bool, selected);
    QFETCH(bool, hovered);

    WidgetPage<ChannelRow> p(dark);
    ChannelRow& row = *p.widget;
    new ChannelClickArea(&row);
    row.set(u"Амстердам"_s, false, selected, false, true);
    QVERIFY(p.show());
    const QPalette& palette = p.page.palette();
    const QColor fill = selected  ? faded(accent(palette), 0.18)
                        : hovered ? faded(label(palette), 0.06)
                                  : QColor(Qt::transparent);
    const QPoint emptyEnd(row.width() - 10, row.height() / 2);

    p.pointAt(hovered ? std::optional(emptyEnd) : std::nullopt);
    QCOMPARE(row.isHovered(), hovered);
    QTRY_VERIFY(same(row.background(), fill));
    QVERIFY_COLOUR(p.pixel(emptyEnd), over(p.background(), fill));
    QVERIFY_COLOUR(p.pixel({0, 0}), p.background()); // outside the rounded corner
    QCOMPARE(row.toolTip(), u"Двойной щелчок — подключиться"_s);

    // Leaving fades the hover out; the selection stays.
    p.pointAt(std::nullopt);
    const QColor rest = selected ? fill : QColor(Qt::transparent);
    QTRY_VERIFY(same(row.background(), rest));
    QVERIFY_COLOUR(p.pixel(emptyEnd), over(p.background(), rest));
}

// Rows are kept across re-renders; one given the same values is not redrawn.
void RowsTest::unchangedRowIsNotRepainted()
{
    WidgetPage<ChannelRow> p(false);
    p.widget->set(u"Амстердам"_s, true, false, false, true);
    QVERIFY(p.show());
    struct Counter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    p.widget->installEventFilter(&counter);

    p.widget->set(u"Амстердам"_s, true, false, false, true);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 0);
    p.widget->set(u"Амстердам"_s, true, false, true, true);
    QTRY_VERIFY(counter.paints > 0);
}

void RowsTest::moreDots_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("pointerStays"); // over the face while the menu is open
    QTest::newRow("light, pointer moves away") << false << false;
    QTest::newRow("dark, pointer stays") << true << true;
}

void RowsTest::moreDots()
{
    QFETCH(bool, dark);
    QFETCH(bool, pointerStays);
    WidgetPage<MoreDots> p(dark);
    MoreDots& dots = *p.widget;
    QMenu menu;
    menu.addAction(u"Учётная запись…"_s);
    dots.setMenu(&menu);
    QVERIFY(p.show());
    QCOMPARE(dots.size(), QSize(22, 28));
    QCOMPARE(dots.toolTip(), u"Настройки"_s);

    const QPalette& palette = p.page.palette();
    const QPoint middleDot = dots.rect().center();
    const QPoint side(3, 14);
    QVERIFY_COLOUR(p.pixel(middleDot), over(p.background(), secondaryLabel(palette)));
    QVERIFY_COLOUR(p.pixel(side), p.background());

    p.pointAt(std::nullopt);
    p.pointAt(middleDot);
    QVERIFY(dots.isHovered());
    QTRY_COMPARE(dots.background(), faded(label(palette), 0.1));
    const QColor hoverFill = over(p.background(), faded(label(palette), 0.1));
    QVERIFY_COLOUR(p.pixel(side), hoverFill);
    QVERIFY_COLOUR(p.pixel(middleDot), over(hoverFill, label(palette)));

    // A press opens the menu at once; the menu runs its own loop until it
    // closes: an item picked with the pointer, or Escape with the pointer
    // still on the face. The open menu holds the pointer, so on X11 the face
    // keeps its hover meanwhile and hears nothing of the pointer leaving (this
    // test platform sends a leave as the menu opens: the hover is put back as
    // X11 keeps it). Once the menu is gone the face shows where the pointer is.
    QAction* item = menu.actions().constFirst();
    QCursor::setPos(dots.mapToGlobal(middleDot));
    bool closed = false;
    connect(&menu, &QMenu::aboutToHide, &menu, [&] { closed = true; });
    connect(&menu, &QMenu::aboutToShow, &menu, [&] {
        QTimer::singleShot(0, &menu, [&] {
            QEnterEvent enter(middleDot, p.onPage(middleDot), dots.mapToGlobal(middleDot));
            QCoreApplication::sendEvent(&dots, &enter);
            QTest::mouseRelease(p.page.windowHandle(), Qt::LeftButton, {}, p.onPage(middleDot));
            if (pointerStays) {
                QTest::keyClick(&menu, Qt::Key_Escape);
                return;
            }
            const QPoint onItem = menu.actionGeometry(item).center();
            QCursor::setPos(menu.mapToGlobal(onItem));
            QTest::mouseClick(menu.windowHandle(), Qt::LeftButton, {}, onItem);
        });
    });
    QTest::mousePress(p.page.windowHandle(), Qt::LeftButton, {}, p.onPage(middleDot));
    QTRY_VERIFY(closed);
    QTRY_COMPARE(dots.isHovered(), pointerStays);
    QTRY_VERIFY(same(dots.background(),
                     pointerStays ? faded(label(palette), 0.1) : QColor(Qt::transparent)));
    QVERIFY_COLOUR(p.pixel(side), pointerStays ? hoverFill : p.background());
}

void RowsTest::metricTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("latency 0") << Metric::latencyText(0) << u"—"_s;
    QTest::newRow("latency negative") << Metric::latencyText(-3) << u"—"_s;
    QTest::newRow("latency 1") << Metric::latencyText(1) << u"1"_s;
    QTest::newRow("latency 148") << Metric::latencyText(148) << u"148"_s;
    QTest::newRow("down 0") << Metric::rateText(0) << u"0"_s;
    QTest::newRow("down 48.3 M") << Metric::rateText(48'300'000) << u"48"_s;
    QTest::newRow("peak 0") << Metric::peakText(0) << u"—"_s;
    QTest::newRow("peak negative") << Metric::peakText(-1) << u"—"_s;
    QTest::newRow("peak 1 bit/s") << Metric::peakText(1) << u"0"_s;
    QTest::newRow("peak 61 M") << Metric::peakText(61'000'000) << u"61"_s;
}

void RowsTest::metricTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
    QCOMPARE(Metric::placeholder(), QString(QChar(0x2014)));
}

void RowsTest::metricCell()
{
    const QString hint = u"Лучшая скорость с момента подключения."_s;
    WidgetPage<Metric> p(false, u"пик, Мбит/с"_s, 78, hint);
    Metric& metric = *p.widget;
    QCOMPARE(metric.width(), 78);
    QCOMPARE(metric.toolTip(), hint);
    QCOMPARE(metric.value(), Metric::placeholder());

    const QImage dash = p.page.grab().toImage();
    metric.setValue(Metric::peakText(61'000'000));
    QCOMPARE(metric.value(), u"61"_s);
    QVERIFY(p.page.grab().toImage() != dash);
}

QTEST_MAIN(RowsTest)
#include "tst_Rows.moc"
