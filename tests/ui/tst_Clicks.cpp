// How presses on a channel row become select and connect requests: click
// counting from the events' own timestamps and positions, as the platform
// delivers them, also to a window that is not active.
#include "Presses.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelRow.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

struct Press {
    int afterMs;   // since the previous press
    QPoint offset; // from the first press's position
    Qt::MouseButton button = Qt::LeftButton;
};

// A window holding one row with its click area, recording the requests in order.
struct RowWindow {
    QWidget window;
    ChannelRow* row = new ChannelRow;
    ChannelClickArea* area = new ChannelClickArea(row);
    QStringList requests;

    RowWindow()
    {
        (new QVBoxLayout(&window))->addWidget(row);
        row->set(u"Амстердам"_s, false, false, false, true);
        window.resize(300, 80);
        QObject::connect(area, &ChannelClickArea::selectRequested, [this] { requests << u"s"_s; });
        QObject::connect(area, &ChannelClickArea::connectRequested, [this] { requests << u"c"_s; });
    }
};

using Presses::press;
using Presses::quick;

} // namespace

class ClicksTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sequences_data();
    void sequences();
    void pressOnInactiveWindow();
    void pressRepeatedAsDoubleClickCountsOnce();
};

void ClicksTest::sequences_data()
{
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const int distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
    const int q = quick();
    const QPoint far(distance + 2, 0);
    const QPoint within(distance, distance);

    QTest::addColumn<QList<Press>>("presses");
    QTest::addColumn<bool>("atRightEnd");
    QTest::addColumn<QString>("requests");

    QTest::newRow("single") << QList<Press>{{0, {}}} << false << u"s"_s;
    QTest::newRow("double") << QList<Press>{{0, {}}, {q, {}}} << false << u"ssc"_s;
    QTest::newRow("triple") << QList<Press>{{0, {}}, {q, {}}, {q, {}}} << false << u"sscs"_s;
    QTest::newRow("quadruple") << QList<Press>{{0, {}}, {q, {}}, {q, {}}, {q, {}}} << false
                               << u"sscss"_s;
    QTest::newRow("two doubles apart")
        << QList<Press>{{0, {}}, {q, {}}, {interval + 50, {}}, {q, {}}} << false << u"sscssc"_s;
    QTest::newRow("second too late")
        << QList<Press>{{0, {}}, {interval + 1, {}}} << false << u"ss"_s;
    QTest::newRow("second too far") << QList<Press>{{0, {}}, {q, far}} << false << u"ss"_s;
    QTest::newRow("second within the distance")
        << QList<Press>{{0, {}}, {q, within}} << false << u"ssc"_s;
    // The area follows the row as the layout sizes it, empty end included.
    QTest::newRow("double on the empty end") << QList<Press>{{0, {}}, {q, {}}} << true << u"ssc"_s;
    QTest::newRow("other buttons") << QList<Press>{{0, {}, Qt::RightButton},
                                                   {q, {}, Qt::RightButton},
                                                   {q, {}, Qt::MiddleButton}}
                                   << false << QString();
}

void ClicksTest::sequences()
{
    QFETCH(QList<Press>, presses);
    QFETCH(bool, atRightEnd);
    QFETCH(QString, requests);

    RowWindow w;
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    const QPoint start(atRightEnd ? w.row->width() - 3 : 30, w.row->height() / 2);
    Presses::later(100'000);
    for (const Press& p : presses)
        press(w.row, start + p.offset, p.afterMs, p.button);
    QCOMPARE(w.requests.join(QString()), requests);
}

void ClicksTest::pressOnInactiveWindow()
{
    RowWindow w;
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    QVERIFY(!w.window.isActiveWindow());

    Presses::later(100'000);
    press(w.row, {30, 10}, 0);
    QCOMPARE(w.requests, QStringList{u"s"_s});
    press(w.row, {30, 10}, quick());
    QCOMPARE(w.requests, (QStringList{u"s"_s, u"s"_s, u"c"_s}));
}

// Some input paths deliver the second press twice, as a press and then as a
// double-click event with the same time and place: still one press.
void ClicksTest::pressRepeatedAsDoubleClickCountsOnce()
{
    RowWindow w;
    const QPointF at(30, 10);
    auto send = [&](QEvent::Type type, ulong time) {
        QMouseEvent event(type, at, at, w.area->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          {});
        event.setTimestamp(time);
        QCoreApplication::sendEvent(w.area, &event);
    };
    const ulong start = 5'000'000;
    send(QEvent::MouseButtonPress, start);
    send(QEvent::MouseButtonPress, start + ulong(quick()));
    send(QEvent::MouseButtonDblClick, start + ulong(quick()));
    QCOMPARE(w.requests, (QStringList{u"s"_s, u"s"_s, u"c"_s}));
}

QTEST_MAIN(ClicksTest)
#include "tst_Clicks.moc"
