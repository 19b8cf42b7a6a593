// The power button: its four looks and the busy overlay, read back through
// the widget and through its pixels; hover; and the checking arc's rotation.
#include "WidgetPage.h"
#include "ui/kit/SystemColours.h"
#include "ui/main/PowerButton.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

struct State {
    bool on, verified, stalled, busy;
};

void apply(PowerButton& button, State s)
{
    button.setState(s.on, s.verified, s.stalled, s.busy);
}

} // namespace

Q_DECLARE_METATYPE(State)

class PowerButtonTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void looks_data();
    void looks();
    void hover_data();
    void hover();
    void arcRestartsFromZero();
    void arcTurnsOnceEveryThreeSeconds();
};

void PowerButtonTest::looks_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<QColor>("tint");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<qreal>("opacity");
    QTest::addColumn<QString>("toolTip");

    const QColor amber = QColor::fromRgbF(0.85f, 0.60f, 0.15f);
    const QColor grey = QColor::fromRgbF(0.62f, 0.62f, 0.62f);
    const QColor green = QColor::fromRgbF(0.20f, 0.72f, 0.36f);
    const QColor slate = QColor::fromRgbF(0.55f, 0.62f, 0.70f);
    const QString connect = u"Подключить"_s;
    const QString bypass = u"Канал поднят, но трафик идёт мимо"_s;

    // clang-format off
    //                                     on     verified stalled busy
    QTest::newRow("off")               << State{false, false, false, false} << grey  << true  << 1.0  << connect;
    QTest::newRow("off, busy")         << State{false, false, false, true}  << grey  << false << 0.45 << connect;
    QTest::newRow("off, verified")     << State{false, true,  false, false} << grey  << true  << 1.0  << connect;
    QTest::newRow("checking")          << State{true,  false, false, false} << slate << false << 1.0  << u"Проверяю связь"_s;
    QTest::newRow("checking, busy")    << State{true,  false, false, true}  << slate << false << 0.45 << u"Проверяю связь"_s;
    QTest::newRow("connected")         << State{true,  true,  false, false} << green << true  << 1.0  << u"Отключить"_s;
    QTest::newRow("connected, busy")   << State{true,  true,  false, true}  << green << false << 0.45 << u"Отключить"_s;
    QTest::newRow("stalled")           << State{true,  false, true,  false} << amber << true  << 1.0  << bypass;
    QTest::newRow("stalled, verified") << State{true,  true,  true,  false} << amber << true  << 1.0  << bypass;
    QTest::newRow("stalled, other row")<< State{false, false, true,  false} << amber << true  << 1.0  << bypass;
    QTest::newRow("stalled, busy")     << State{true,  false, true,  true}  << amber << false << 0.45 << bypass;
    // clang-format on
}

void PowerButtonTest::looks()
{
    QFETCH(State, state);
    QFETCH(QColor, tint);
    QFETCH(bool, enabled);
    QFETCH(qreal, opacity);
    QFETCH(QString, toolTip);

    WidgetPage<PowerButton> p(false);
    PowerButton& button = *p.widget;
    apply(button, state);
    QCOMPARE(button.tint(), tint);
    QCOMPARE(button.isEnabled(), enabled);
    QCOMPARE(button.faceOpacity(), opacity);
    QCOMPARE(button.toolTip(), toolTip);
    QCOMPARE(button.accessibleName(), toolTip);
    const bool checking = state.on && !state.verified && !state.stalled;
    QCOMPARE(button.isChecking(), checking);

    // Drawn before the window is shown, so the arc stands at its start angle.
    const QImage image = p.page.grab().toImage();
    const QPoint centre = p.onPage(button.rect().center() + QPoint(1, 1));
    const int radius = PowerButton::ringSize / 2;
    auto at = [&](int x, int y) { return image.pixelColor(centre + QPoint(x, y)); };
    // The power symbol's bar runs up from the centre in the full tint; the
    // whole face is dimmed together while busy.
    QVERIFY_COLOUR(at(0, -7), over(p.background(), SystemColours::faded(tint, opacity)));
    // Between the symbol and the disc's edge: the tint at 13 %.
    QVERIFY_COLOUR(at(0, 24), over(p.background(), SystemColours::faded(tint, 0.13 * opacity)));
    QVERIFY_COLOUR(at(0, radius + 4), p.background());
    // The ring is the tint at 35 %, except under the arc: brightest opposite its start.
    const QColor left = at(-radius, 0);
    const QColor right = at(radius - 1, 0);
    QVERIFY(near(right, over(p.background(), SystemColours::faded(tint, 0.35 * opacity)), 12));
    QCOMPARE(!near(left, right, 8), checking);

    QVERIFY(p.show());
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mouseClick(p.page.windowHandle(), Qt::LeftButton, {}, centre);
    QCOMPARE(clicked.count(), enabled ? 1 : 0);
}

void PowerButtonTest::hover_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<bool>("grows");

    QTest::newRow("off") << State{false, false, false, false} << true;
    QTest::newRow("connected") << State{true, true, false, false} << true;
    QTest::newRow("stalled") << State{true, false, true, false} << true;
    QTest::newRow("busy") << State{false, false, false, true} << false;
    QTest::newRow("checking") << State{true, false, false, false} << false;
}

void PowerButtonTest::hover()
{
    QFETCH(State, state);
    QFETCH(bool, grows);

    WidgetPage<PowerButton> p(false);
    PowerButton& button = *p.widget;
    apply(button, state);
    QVERIFY(p.show());
    const QPoint centre = button.rect().center() + QPoint(1, 1);
    // Just outside the resting ring, where the grown ring and its glow reach.
    const QPoint beyondRing = centre - QPoint(PowerButton::ringSize / 2 + 2, 0);
    const QColor resting = p.pixel(beyondRing);

    // Only the circle reacts, not the widget's corners.
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    p.pointAt(QPoint(3, 3));
    QVERIFY(!button.isHovered());
    QTest::mouseClick(p.page.windowHandle(), Qt::LeftButton, {}, p.onPage({3, 3}));
    QCOMPARE(clicked.count(), 0);

    p.pointAt(centre + QPoint(20, 20));
    QCOMPARE(button.isHovered(), grows);
    if (!grows)
        return;
    QTRY_VERIFY(p.pixel(beyondRing) != resting);

    // Turning busy under the pointer takes the hover away at once.
    apply(button, {state.on, state.verified, state.stalled, true});
    QVERIFY(!button.isHovered());
    QTRY_COMPARE(p.pixel(beyondRing), resting);
}

void PowerButtonTest::arcRestartsFromZero()
{
    PowerButton button;
    const State checking{true, false, false, false};
    apply(button, checking);
    QCOMPARE(button.angle(), 0.0);
    button.show(); // the arc turns only while shown
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QTRY_VERIFY(button.angle() > 30);

    // Still checking, now also busy: the arc turns on from where it is.
    const qreal before = button.angle();
    apply(button, {true, false, false, true});
    QVERIFY(button.angle() >= before);

    // Verified, then stalled, then checking again: from 0 each time checking starts.
    for (const State& pause : {State{true, true, false, false}, State{true, false, true, false}}) {
        apply(button, pause);
        QVERIFY(button.angle() > 0); // left where it stopped
        apply(button, checking);
        QCOMPARE(button.angle(), 0.0);
        QTRY_VERIFY(button.angle() > 30);
    }

    // Shown again while checking: from 0.
    button.hide();
    button.show();
    QCOMPARE(button.angle(), 0.0);
    QTRY_VERIFY(button.angle() > 0);
}

void PowerButtonTest::arcTurnsOnceEveryThreeSeconds()
{
    PowerButton button;
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QElapsedTimer clock;
    clock.start();
    apply(button, {true, false, false, false});

    // Never ahead of 120 degrees a second.
    QTRY_VERIFY(button.angle() > 90);
    QVERIFY(button.angle() <= 0.12 * double(clock.elapsed()) + 1);

    // Round to the start after three seconds, and on again.
    qreal previous = button.angle();
    bool wrapped = false;
    auto watch = [&] {
        wrapped = wrapped || button.angle() < previous;
        previous = button.angle();
        return wrapped;
    };
    QTRY_VERIFY_WITH_TIMEOUT(watch(), 6000);
    QVERIFY(clock.elapsed() >= 2990);
    QTRY_VERIFY(button.angle() > 30);
}

QTEST_MAIN(PowerButtonTest)
#include "tst_PowerButton.moc"
