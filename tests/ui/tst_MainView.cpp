// The main window's content against a real Core that polls the fake helper:
// what each helper state shows, what each control asks of the helper, and
// the corner controls, the settings menu and the account sheet.
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "FakeVpns.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "core/Core.h"
#include "platform/ModalDepth.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelList.h"
#include "ui/main/ChannelRow.h"
#include "ui/main/MainView.h"
#include "ui/main/Metric.h"
#include "ui/main/MoreDots.h"
#include "ui/main/Popover.h"
#include "ui/main/PowerButton.h"
#include "ui/main/SettingsMenu.h"
#include "ui/main/WarningButton.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleHints>
#include <QTest>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
using Look = PowerButton::Look;

// Core's own test hook: one status poll and one parallel-VPN scan on demand,
// each a real exchange (the socket, the tool) as the timers would start it.
class CoreProbe {
public:
    static void poll(Core& core) { core.refresh(); }
    static void scan(Core& core) { core.refreshParallelVPNs(); }
};

namespace {

const QStringList names = {u"Амстердам"_s, u"Хельсинки"_s, u"Франкфурт"_s};

Status off()
{
    Status s;
    s.helper = true;
    s.channels = names;
    return s;
}

Status connectedTo(int index)
{
    Status s = off();
    s.running = true;
    s.active = index;
    s.primary = true;
    s.verified = true;
    s.latency_ms = 42;
    return s;
}

Status checkingOn(int index)
{
    Status s = connectedTo(index);
    s.verified = false;
    return s;
}

// Presses through the platform's input path with timestamps of our own, so
// a double click is exact and needs no real waiting.
ulong fakeClock = 1'000'000;

void press(QWidget* target, int afterMs)
{
    QWindow* window = target->window()->windowHandle();
    const QPointF global = target->mapToGlobal(QPointF(20, target->height() / 2.0));
    const QPointF local = window->mapFromGlobal(global);
    fakeClock += ulong(afterMs);
    qt_handleMouseEvent(window, local, global, Qt::LeftButton, Qt::LeftButton,
                        QEvent::MouseButtonPress, {}, int(fakeClock));
    qt_handleMouseEvent(window, local, global, {}, Qt::LeftButton, QEvent::MouseButtonRelease, {},
                        int(fakeClock + 10));
    QCoreApplication::processEvents();
}

void clickRow(MainView& view, int row, int presses)
{
    fakeClock += 100'000;
    const int quick = QGuiApplication::styleHints()->mouseDoubleClickInterval() / 4;
    for (int i = 0; i < presses; ++i)
        press(view.channelList()->clickArea(row), i == 0 ? 0 : quick);
}

QStringList metricTexts(const MainView& view)
{
    QStringList texts;
    for (const Metric* metric : view.metrics())
        texts << metric->value();
    return texts;
}

} // namespace

class MainViewTest : public QObject {
    Q_OBJECT

    TestHome m_home; // before any use of HelperSocket::path()
    FakeVpns m_vpns;
    std::unique_ptr<FakeHelper> m_helper;
    std::unique_ptr<FakeDialogs> m_dialogs;
    FakeLoginItem m_loginItem;
    FakeSystemLog m_log;
    std::unique_ptr<Core> m_core;
    std::unique_ptr<QWidget> m_window;
    MainView* m_view = nullptr;

    // The helper answers every poll with `status` from now on; one poll.
    bool serve(const Status& status)
    {
        m_helper->route("GET", "/status", Reply::json(200, statusBody(status)));
        CoreProbe::poll(*m_core);
        return QTest::qWaitFor([&] { return m_core->status() == status; }, 5000);
    }

    // `vpns` are the tunnels running now; one scan.
    bool listParallel(const QStringList& vpns)
    {
        m_vpns.list(vpns);
        CoreProbe::scan(*m_core);
        return QTest::qWaitFor([&] { return m_core->parallelVPNs() == vpns; }, 5000);
    }

    QByteArrayList targets(const QByteArray& method, const QByteArray& path) const
    {
        QByteArrayList result;
        for (const FakeHelper::Request& r : m_helper->requests(method, path))
            result << r.target;
        return result;
    }

    // Keeps `busy` true: a command the helper never answers.
    void holdBusy()
    {
        m_helper->route("POST", "/install", Reply::stall());
        m_core->install();
    }

private Q_SLOTS:
    void init()
    {
        m_vpns.list({});
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_helper->fallback(Reply::json(200, "{}"));
        m_dialogs = std::make_unique<FakeDialogs>();
        m_loginItem = FakeLoginItem();
        CorePorts ports = fakePorts(*m_dialogs, m_loginItem, m_log);
        ports.vpns = &m_vpns;
        m_core = std::make_unique<Core>(ports);

        // As the application's window holds it: sized to the view.
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        m_view = new MainView(*m_core);
        layout->addWidget(m_view);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_core.reset();
        m_helper.reset();
    }

    // Nothing received from the helper yet: nothing claims its privileged
    // part is missing until a status says so.
    void defaultState()
    {
        QCOMPARE(m_view->selected(), -1);
        QCOMPARE(m_view->showVPNWarning(), false);
        QCOMPARE(m_view->powerButton()->look(), Look::Off);
        QVERIFY(!m_view->powerButton()->isEnabled());
        QCOMPARE(m_view->channelList()->count(), 0);
        QCOMPARE(metricTexts(*m_view), (QStringList{u"—"_s, u"0"_s, u"0"_s, u"—"_s}));
        QVERIFY(!m_view->helperMissing()->isVisible());
        m_helper->route("GET", "/status", Reply::json(200, statusBody(Status())));
        CoreProbe::poll(*m_core);
        QTRY_VERIFY_WITH_TIMEOUT(m_view->helperMissing()->isVisible(), 5000);
        QCOMPARE(m_view->installButton()->text(), u"Установить"_s);
        QVERIFY(m_view->installButton()->isEnabled());
        QVERIFY(!m_view->warningButton()->isVisible());

        m_helper->route("POST", "/install", Reply::stall());
        m_view->installButton()->click();
        QVERIFY(m_core->busy());
        QVERIFY(!m_view->installButton()->isEnabled());
        // The status poll above is a request too: wait for this one.
        QTRY_COMPARE(targets("POST", "/install"), QByteArrayList{"/install"});
    }

    // The column is 400 wide, padded 16; the button's circle (not its wider
    // widget) sits 2 below the padding, the caption 14 - 8 below the circle.
    void geometry()
    {
        QVERIFY(serve(connectedTo(0)));
        QCOMPARE(m_view->width(), 400);
        const PowerButton* button = m_view->powerButton();
        const QPoint circleTop =
            button->mapTo(m_view, QPoint(button->width() / 2, PowerButton::margin));
        QCOMPARE(circleTop, QPoint(200, 16 + 2));
        const QRect caption(m_view->checkingCaption()->mapTo(m_view, QPoint(0, 0)),
                            m_view->checkingCaption()->size());
        QCOMPARE(caption.top(), 16 + 2 + PowerButton::ringSize + 14 - 8);
        QCOMPARE(caption.left(), 16);
        QCOMPARE(caption.width(), 400 - 2 * 16);
        QCOMPARE(m_view->channelList()->geometry().top(), caption.bottom() + 1 + 14);
        QCOMPARE(m_view->settingsButton()->geometry(), QRect(400 - 8 - 22, 2, 22, 28));
    }

    void metrics_data()
    {
        QTest::addColumn<qint64>("latency");
        QTest::addColumn<qint64>("down");
        QTest::addColumn<qint64>("up");
        QTest::addColumn<qint64>("peak");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("nothing measured")
            << 0LL << 0LL << 0LL << 0LL << QStringList{u"—"_s, u"0"_s, u"0"_s, u"—"_s};
        QTest::newRow("measured") << 42LL << 48'300'000LL << 2'500'000LL << 61'000'000LL
                                  << QStringList{u"42"_s, u"48"_s, u"2.5"_s, u"61"_s};
        QTest::newRow("just above nothing")
            << 1LL << 250'000LL << 999LL << 1LL << QStringList{u"1"_s, u"0.25"_s, u"0"_s, u"0"_s};
    }

    void metrics()
    {
        QFETCH(qint64, latency);
        QFETCH(qint64, down);
        QFETCH(qint64, up);
        QFETCH(qint64, peak);
        QFETCH(QStringList, texts);
        Status status = connectedTo(1);
        status.latency_ms = latency;
        status.down_bps = down;
        status.up_bps = up;
        status.peak_bps = peak;
        QVERIFY(serve(status));
        QCOMPARE(metricTexts(*m_view), texts);
    }

    void sections_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<Look>("look");
        QTest::addColumn<bool>("pressable");
        QTest::addColumn<bool>("checking");
        QTest::addColumn<bool>("notice");
        QTest::addColumn<bool>("route");
        QTest::addColumn<bool>("install");

        Status stalled = connectedTo(1);
        stalled.primary = false;
        Status blocking = off();
        blocking.protected_ = true;
        blocking.protection_armed = true;
        Status armedWhileRunning = connectedTo(1);
        armedWhileRunning.protection_armed = true;
        Status noHelper = connectedTo(1);
        noHelper.helper = false;

        QTest::newRow("off") << off() << Look::Off << true << false << false << false << false;
        QTest::newRow("checking") << checkingOn(1) << Look::Checking << false << true << false
                                  << false << false;
        QTest::newRow("connected")
            << connectedTo(1) << Look::Connected << true << false << false << false << false;
        QTest::newRow("stalled") << stalled << Look::Stalled << true << false << false << true
                                 << false;
        QTest::newRow("strict protection blocking")
            << blocking << Look::Off << true << false << true << false << false;
        QTest::newRow("protection armed while running")
            << armedWhileRunning << Look::Connected << true << false << false << false << false;
        QTest::newRow("helper missing while running")
            << noHelper << Look::Connected << false << false << false << false << true;
    }

    // The caption keeps its place whether shown or not: nothing below moves.
    void sections()
    {
        QFETCH(Status, status);
        QFETCH(Look, look);
        QFETCH(bool, pressable);
        QFETCH(bool, checking);
        QFETCH(bool, notice);
        QFETCH(bool, route);
        QFETCH(bool, install);
        QVERIFY(serve(off()));
        const int listTop = m_view->channelList()->geometry().top();

        QVERIFY(serve(status));
        QCOMPARE(m_view->powerButton()->look(), look);
        QCOMPARE(m_view->powerButton()->isEnabled(), pressable);
        QCOMPARE(m_view->checking(), checking);
        QVERIFY(m_view->checkingCaption()->isVisible());
        QCOMPARE(m_view->checkingCaption()->colour().alpha() > 0, checking);
        QCOMPARE(m_view->checkingCaption()->text(), u"Проверяю связь…"_s);
        QTRY_COMPARE(m_view->channelList()->geometry().top(), listTop);
        QCOMPARE(m_view->protectionNotice()->isVisible(), notice);
        QCOMPARE(m_view->routeWarning()->isVisible(), route);
        QCOMPARE(m_view->helperMissing()->isVisible(), install);
        QVERIFY(!m_view->helperMessage()->isVisible());
    }

    void openInternet()
    {
        Status blocking = off();
        blocking.protection_armed = true;
        QVERIFY(serve(blocking));
        m_helper->route("POST", "/stop", Reply::stall());
        m_view->openInternetButton()->click();
        QVERIFY(!m_view->openInternetButton()->isEnabled());
        QTRY_COMPARE(targets("POST", "/stop"), QByteArrayList{"/stop"});
    }

    void helperMessage_data()
    {
        QTest::addColumn<QString>("text");
        const QString longer = u"Сервер не отвечает по UDP, пробую TCP. "_s.repeated(6);
        QTest::newRow("plain") << longer;
        QTest::newRow("markup") << u"<b>x</b><!-- "_s + longer;
        QTest::newRow("link") << u"<a href='file:///etc/passwd'>y</a> "_s + longer;
        QTest::newRow("entity") << u"1 &lt; 2 & "_s + longer;
    }
    // The helper's text as it came, cut to two lines with the whole text as
    // tooltip, both never read as markup.
    void helperMessage()
    {
        QFETCH(QString, text);
        Status status = checkingOn(0);
        status.message = text;
        QVERIFY(serve(status));
        TextBlock* message = m_view->helperMessage();
        QVERIFY(message->isVisible());
        QCOMPARE(message->text(), status.message);
        QCOMPARE(message->colour(), SystemColours::orange(message->palette()));
        QTRY_COMPARE(message->lineCount(), 2);
        QVERIFY(message->isTruncated());
        // What the tooltip shows: rich text when it looks like markup.
        QString tip = message->toolTip();
        if (Qt::mightBeRichText(tip)) {
            QTextDocument shown;
            shown.setHtml(tip);
            tip = shown.toPlainText();
        }
        QCOMPARE(tip, status.message);
        QCOMPARE(m_view->channelList()->row(0)->dotColour(),
                 SystemColours::orange(m_view->palette()));
    }

    // Connected to channel 2, a single click on row 0 picks it as the target.
    void selectAnotherRowWhileConnected()
    {
        QVERIFY(serve(connectedTo(2)));
        clickRow(*m_view, 0, 1);
        QCOMPARE(m_view->selected(), 0);
        QCOMPARE(m_view->target(), 0);
        QVERIFY(!m_view->on());
        QVERIFY(m_view->channelList()->row(0)->isSelected());
        QVERIFY(!m_view->channelList()->row(2)->isSelected());
        QCOMPARE(m_view->channelList()->row(2)->dotColour(),
                 SystemColours::green(m_view->palette()));
        QCOMPARE(m_view->powerButton()->look(), Look::Off);
        QVERIFY(m_view->powerButton()->isEnabled());
        QTRY_COMPARE(targets("POST", "/autoconnect/cancel").size(), 1);

        m_view->powerButton()->click();
        QTRY_COMPARE(targets("POST", "/connect"), QByteArrayList{"/connect?i=0"});
        QCOMPARE(m_helper->requests("POST", "/connect").first().requestLine,
                 QByteArray("POST /connect?i=0 HTTP/1.0"));
    }

    void powerPress_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<int>("click");
        QTest::addColumn<QByteArray>("target");
        Status activeThree = off();
        activeThree.channels << u"Рига"_s;
        activeThree.active = 3;
        QTest::newRow("connected: disconnect") << connectedTo(1) << -1 << QByteArray("/stop");
        QTest::newRow("off: the active channel") << activeThree << -1 << QByteArray("/connect?i=3");
        QTest::newRow("off: the picked row") << activeThree << 1 << QByteArray("/connect?i=1");
        QTest::newRow("stalled: disconnect") << [] {
            Status s = connectedTo(0);
            s.primary = false;
            return s;
        }() << -1 << QByteArray("/stop");
    }

    void powerPress()
    {
        QFETCH(Status, status);
        QFETCH(int, click);
        QFETCH(QByteArray, target);
        QVERIFY(serve(status));
        if (click >= 0) {
            clickRow(*m_view, click, 1);
            QTRY_COMPARE(targets("POST", "/autoconnect/cancel").size(), 1);
        }
        m_view->powerButton()->click();
        QVERIFY(m_core->busy());
        const QByteArray path = target.split('?').first();
        QTRY_COMPARE(targets("POST", path), QByteArrayList{target});
    }

    void clicks_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("presses");
        QTest::addColumn<int>("connected"); // the channel asked for, -1: none
        Status noHelper = off();
        noHelper.helper = false;
        QTest::newRow("single") << off() << false << 1 << 1 << -1;
        QTest::newRow("double") << off() << false << 1 << 2 << 1;
        QTest::newRow("triple connects once") << off() << false << 1 << 3 << 1;
        QTest::newRow("double on another channel while connected")
            << connectedTo(2) << false << 0 << 2 << 0;
        QTest::newRow("double on the active channel while connected")
            << connectedTo(2) << false << 2 << 2 << -1;
        QTest::newRow("double on the active channel while checking")
            << checkingOn(2) << false << 2 << 2 << -1;
        QTest::newRow("double while busy") << off() << true << 1 << 2 << -1;
        QTest::newRow("double without the privileged part") << noHelper << false << 1 << 2 << -1;
    }

    // Every press selects (and cancels the automatic choice); the second of
    // a double click connects unless that would do nothing useful.
    void clicks()
    {
        QFETCH(Status, status);
        QFETCH(bool, busy);
        QFETCH(int, row);
        QFETCH(int, presses);
        QFETCH(int, connected);
        QVERIFY(serve(status));
        if (busy)
            holdBusy();
        m_helper->route("POST", "/connect", Reply::stall());
        const bool wasBusy = m_core->busy();
        clickRow(*m_view, row, presses);
        QCOMPARE(m_view->selected(), row);
        QVERIFY(m_view->channelList()->row(row)->isSelected());
        QTRY_COMPARE(targets("POST", "/autoconnect/cancel").size(), presses);
        if (connected >= 0) {
            QVERIFY(m_core->busy());
            QTRY_COMPARE(targets("POST", "/connect"),
                         QByteArrayList{"/connect?i=" + QByteArray::number(connected)});
            return;
        }
        QCOMPARE(m_core->busy(), wasBusy);
        // Whatever was sent before it has arrived once this has.
        m_core->selectManually();
        QTRY_COMPARE(targets("POST", "/autoconnect/cancel").size(), presses + 1);
        QCOMPARE(targets("POST", "/connect"), QByteArrayList());
    }

    // The view keeps the pick when the list shrinks below it: no row is
    // highlighted, and the button still asks for that index.
    void pickOutlivesShorterList()
    {
        QVERIFY(serve(off()));
        clickRow(*m_view, 2, 1);
        Status shorter = off();
        shorter.channels = names.mid(0, 2);
        QVERIFY(serve(shorter));
        QCOMPARE(m_view->channelList()->count(), 2);
        QVERIFY(!m_view->channelList()->row(0)->isSelected());
        QVERIFY(!m_view->channelList()->row(1)->isSelected());
        m_view->powerButton()->click();
        QTRY_COMPARE(targets("POST", "/connect"), QByteArrayList{"/connect?i=2"});
    }

    // Rows stay the same widgets while the names stay; a new list reuses
    // them by position and only adds or removes at the end.
    void rowsReused()
    {
        QVERIFY(serve(off()));
        const QList<ChannelRow*> before = {m_view->channelList()->row(0),
                                           m_view->channelList()->row(1),
                                           m_view->channelList()->row(2)};
        Status status = connectedTo(1);
        status.down_bps = 12'000'000;
        QVERIFY(serve(status));
        status.channels = {u"Рига"_s, u"Стокгольм"_s, u"Варшава"_s, u"Прага"_s};
        QVERIFY(serve(status));
        QCOMPARE(m_view->channelList()->count(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(m_view->channelList()->row(i), before[i]);
            QCOMPARE(m_view->channelList()->row(i)->name(), status.channels[i]);
        }
        QVERIFY(m_view->channelList()->row(1)->isSelected());
        status.channels.clear();
        QVERIFY(serve(status));
        QCOMPARE(m_view->channelList()->count(), 0);
        QVERIFY(!m_view->channelList()->isVisible());
    }

    void longList_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("everythingShown");
        QTest::addColumn<int>("fontPixels"); // 0: the default font
        QTest::newRow("300") << 300 << false << 0;
        QTest::newRow("100,000") << 100'000 << false << 0;
        QTest::newRow("300 under the notice, a message and the install row, large font")
            << 300 << true << 20;
    }

    // A list taller than the screen allows scrolls instead of growing the
    // window past the screen's edge, whatever else the window shows. Only
    // the rows on screen have widgets, and a row far down, scrolled to,
    // answers clicks as its own.
    void longList()
    {
        QFETCH(int, channels);
        QFETCH(bool, everythingShown);
        QFETCH(int, fontPixels);
        if (fontPixels > 0) {
            QFont font = m_window->font();
            font.setPixelSize(fontPixels);
            m_window->setFont(font);
        }
        Status status = off();
        status.channels.clear();
        for (int i = 0; i < channels; ++i)
            status.channels << u"Канал %1"_s.arg(i);
        if (everythingShown) {
            status.helper = false;
            status.protection_armed = true;
            status.message = u"Сервер не отвечает по UDP, пробую TCP. "_s.repeated(3);
        }
        QVERIFY(serve(status));
        QCOMPARE(m_view->protectionNotice()->isVisible(), everythingShown);
        QCOMPARE(m_view->helperMissing()->isVisible(), everythingShown);

        ChannelList* list = m_view->channelList();
        const QRect screen = m_window->screen()->availableGeometry();
        QTRY_VERIFY(m_window->frameGeometry().height() <= screen.height());
        QTRY_COMPARE(list->height(), list->maximumListHeight());
        QVERIFY(list->verticalScrollBar()->maximum() > 0);
        const int rowsOnScreen = list->height() / list->row(0)->height() + 1;
        QTRY_VERIFY(list->findChildren<ChannelRow*>().size() <= 2 * rowsOnScreen);

        const int far = channels - 2;
        list->scrollToRow(far);
        QTRY_VERIFY(list->clickArea(far) &&
                    list->clickArea(far)->visibleRegion().boundingRect().height() ==
                        list->clickArea(far)->height());
        QTRY_VERIFY(list->findChildren<ChannelRow*>().size() <= 2 * rowsOnScreen);
        m_helper->route("POST", "/connect", Reply::stall());
        clickRow(*m_view, far, 2);
        QCOMPARE(m_view->selected(), far);
        QVERIFY(list->row(far)->isSelected());
        QVERIFY(!list->row(far - 1)->isSelected());
        QTRY_COMPARE(targets("POST", "/autoconnect/cancel").size(), 2);
        if (!everythingShown)
            QTRY_COMPARE(targets("POST", "/connect"),
                         QByteArrayList{"/connect?i=" + QByteArray::number(far)});
    }

    void parallelVpnWarning()
    {
        QVERIFY(serve(connectedTo(0)));
        WarningButton* button = m_view->warningButton();
        Popover* popover = m_view->warningPopover();
        QVERIFY(listParallel({u"Office"_s}));
        const QString office = u"Одновременно подключён другой VPN: Office. Он может влиять на "
                               u"соединение и внешний IP."_s;
        QVERIFY(button->isVisible());
        QCOMPARE(button->toolTip(), office);
        QCOMPARE(button->accessibleName(), office);
        QCOMPARE(button->size(), QSize(30, 30));
        QCOMPARE(button->pos(), QPoint(10, 10));

        button->click();
        QVERIFY(m_view->showVPNWarning());
        QTRY_VERIFY(popover->isVisible());
        QCOMPARE(popover->text(), office);
        QCOMPARE(popover->width(), 290);

        // Another list, still not empty: the popover stays, with the new names.
        QVERIFY(listParallel({u"Home"_s, u"Office"_s}));
        QVERIFY(popover->isVisible());
        QCOMPARE(popover->text(), u"Одновременно подключён другой VPN: Home, Office. Он может "
                                  u"влиять на соединение и внешний IP."_s);

        QVERIFY(listParallel({}));
        QVERIFY(!m_view->showVPNWarning());
        QVERIFY(!button->isVisible());
        QVERIFY(!popover->isVisible());

        // Back again: the icon, but the popover stays closed until pressed.
        QVERIFY(listParallel({u"Office"_s}));
        QVERIFY(button->isVisible());
        QVERIFY(!popover->isVisible());
    }

    void popoverCloses_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("the button again") << true;
        QTest::newRow("by itself") << false;
    }

    void popoverCloses()
    {
        QFETCH(bool, byButton);
        QVERIFY(listParallel({u"Office"_s}));
        m_view->warningButton()->click();
        QTRY_VERIFY(m_view->warningPopover()->isVisible());
        if (byButton)
            m_view->warningButton()->click();
        else
            m_view->warningPopover()->close();
        QVERIFY(!m_view->showVPNWarning());
        QVERIFY(!m_view->warningPopover()->isVisible());
        QVERIFY(m_view->warningButton()->isVisible());
    }

    void protectionSwitch_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("enabled");
        Status noHelper = off();
        noHelper.helper = false;
        QTest::newRow("idle") << off() << false << true;
        QTest::newRow("running") << connectedTo(0) << false << false;
        QTest::newRow("stalled") << [] {
            Status s = connectedTo(0);
            s.primary = false;
            return s;
        }() << false << false;
        QTest::newRow("busy") << off() << true << false;
        QTest::newRow("without the privileged part") << noHelper << false << false;
    }

    void protectionSwitch()
    {
        QFETCH(Status, status);
        QFETCH(bool, busy);
        QFETCH(bool, enabled);
        QVERIFY(serve(status));
        if (busy)
            holdBusy();
        QCOMPARE(m_view->settingsMenu()->protection()->isEnabled(), enabled);
    }

    void launchAtLogin_data()
    {
        QTest::addColumn<bool>("awaitsApproval");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("shown");
        QTest::newRow("registered") << false << false << true;
        QTest::newRow("awaiting approval") << true << false << false;
        QTest::newRow("refused") << false << true << false;
    }

    // The switch shows what the login item says after the attempt.
    void launchAtLogin()
    {
        QFETCH(bool, awaitsApproval);
        QFETCH(bool, refused);
        QFETCH(bool, shown);
        m_loginItem.awaitsApproval = awaitsApproval;
        if (refused)
            m_loginItem.refusal = u"нет доступа"_s;
        QAction* item = m_view->settingsMenu()->launchAtLogin();
        QVERIFY(!item->isChecked());
        item->trigger();
        QCOMPARE(m_loginItem.registers, 1);
        QCOMPARE(item->isChecked(), shown);
        QCOMPARE(m_core->launchAtLogin(), shown);
    }

    void helperSwitches_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QByteArray>("request"); // empty: none is sent
        QTest::newRow("connect at start-up") << u"autoconnect"_s << QByteArray("/autoconnect?on=1");
        QTest::newRow("strict protection confirmed")
            << u"protection"_s << QByteArray("/protection?on=1");
        QTest::newRow("strict protection cancelled") << u"protection"_s << QByteArray();
    }

    // The switch springs back until the helper reports the new setting.
    void helperSwitches()
    {
        QFETCH(QString, item);
        QFETCH(QByteArray, request);
        QVERIFY(serve(off()));
        SettingsMenu* menu = m_view->settingsMenu();
        QAction* action = item == u"autoconnect" ? menu->autoconnect() : menu->protection();
        m_helper->route("POST", "/protection", Reply::text(204, {}));
        m_dialogs->alertAnswers = {request.isEmpty() ? 1 : 0};

        action->trigger();
        QVERIFY(!action->isChecked());
        if (request.isEmpty()) {
            QVERIFY(!m_core->busy());
            // Whatever was sent before it has arrived once this has.
            m_core->selectManually();
            QTRY_COMPARE(targets("POST", "/autoconnect/cancel").size(), 1);
            QCOMPARE(targets("POST", "/protection"), QByteArrayList());
            return;
        }
        QTRY_COMPARE(targets("POST", request.split('?').first()), QByteArrayList{request});
        QTRY_VERIFY(!m_core->busy());
        QVERIFY(!action->isChecked());

        Status changed = off();
        changed.autoconnect = item == u"autoconnect";
        changed.protected_ = item == u"protection";
        QVERIFY(serve(changed));
        QVERIFY(action->isChecked());
        QCOMPARE(m_dialogs->alerts.size(), item == u"protection" ? 1 : 0);
    }

    void logsMenu()
    {
        SettingsMenu* menu = m_view->settingsMenu();
        QCOMPARE(menu->logs()->title(), u"Логи"_s);
        QVERIFY(!menu->logs()->menuAction()->icon().isNull());
        QAction* exporting = menu->exportLogs();
        QAction* clearing = menu->clearLogs();
        QCOMPARE(exporting->text(), u"Экспорт…"_s);
        QVERIFY(exporting->isEnabled());
        QVERIFY(!exporting->icon().isNull());
        QCOMPARE(clearing->text(), u"Очистить…"_s);
        QVERIFY(PullDownMenu::isDestructive(clearing));
        QVERIFY(!PullDownMenu::isDestructive(exporting));
        QVERIFY(!clearing->icon().isNull());

        m_dialogs->saveAnswer = u"/tmp/журналы.zip"_s;
        m_helper->route("POST", "/export", Reply::stall());
        exporting->trigger();
        QVERIFY(m_core->exporting());
        QCOMPARE(exporting->text(), u"Выгружаю…"_s);
        QVERIFY(!exporting->isEnabled());

        m_dialogs->alertAnswers = {1};
        clearing->trigger();
        QCOMPARE(m_dialogs->alerts.size(), 1);
        QCOMPARE(m_dialogs->alerts.first().message, u"Очистить журналы?"_s);
    }

    // An open settings menu holds the status poll and the scans, as any menu does.
    void settingsMenuHoldsTicks()
    {
        QVERIFY(!m_core->modalDepth().blocked());
        m_view->settingsMenu()->popup(m_view->settingsButton()->mapToGlobal(QPoint(0, 28)));
        QTRY_VERIFY(m_view->settingsMenu()->isVisible());
        QVERIFY(m_core->modalDepth().blocked());
        m_view->settingsMenu()->close();
        QVERIFY(!m_core->modalDepth().blocked());
    }

    void accountSheet_data()
    {
        QTest::addColumn<QString>("closedBy");
        QTest::newRow("Escape") << u"escape"_s;
        QTest::newRow("the window's close button") << u"close"_s;
        QTest::newRow("Core") << u"core"_s;
    }

    // Bound both ways to showAccount; each opening starts with fresh content.
    void accountSheet()
    {
        QFETCH(QString, closedBy);
        AccountSheet* sheet = m_view->accountSheet();
        QVERIFY(!sheet->isVisible());
        m_view->settingsMenu()->account()->trigger();
        QVERIFY(m_core->showAccount());
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->parentWidget()->window(), m_window.get());
        const QPointer<QWidget> first = sheet->content();
        QVERIFY(first);

        if (closedBy == u"escape")
            QTest::keyClick(sheet, Qt::Key_Escape);
        else if (closedBy == u"close")
            sheet->close();
        else
            m_core->setShowAccount(false);
        QVERIFY(!m_core->showAccount());
        QVERIFY(!sheet->isVisible());
        QTRY_VERIFY(!first);

        m_core->setShowAccount(true);
        QTRY_VERIFY(sheet->isVisible());
        QVERIFY(sheet->content());
    }

    void accountSheetTakesContent()
    {
        QPointer<QWidget> made;
        m_view->accountSheet()->setContentFactory([&made](Core& core) {
            auto* content = new QPushButton(u"Закрыть"_s);
            QObject::connect(content, &QPushButton::clicked, &core,
                             [&core] { core.setShowAccount(false); });
            made = content;
            return content;
        });
        m_core->setShowAccount(true);
        QTRY_VERIFY(made && made->isVisible());
        qobject_cast<QPushButton*>(made.data())->click();
        QVERIFY(!m_view->accountSheet()->isVisible());
        QTRY_VERIFY(!made);
    }
};

QTEST_MAIN(MainViewTest)
#include "tst_MainView.moc"
