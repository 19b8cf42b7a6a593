// The main window's content against a real Core that polls the fake helper:
// how each helper state looks and what each control then asks of the
// helper, presses on the rows as the platform delivers them, the scrolling
// list and the settings menu.
#include "CoreProbe.h"
#include "CoreRig.h"
#include "Presses.h"
#include "app/MainWindow.h"
#include "platform/ModalDepth.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelList.h"
#include "ui/main/ChannelRow.h"
#include "ui/main/MainView.h"
#include "ui/main/Metric.h"
#include "ui/main/PowerButton.h"
#include "ui/main/SettingsMenu.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>
#include <QTextDocument>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;

struct Press {
    int afterMs;   // since the previous press
    QPoint offset; // from the first press's position
    Qt::MouseButton button = Qt::LeftButton;
};

class UiTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    std::unique_ptr<MainWindow> m_window; // the application's, sized to the view
    MainView* m_view = nullptr;

    bool serve(const Status& s) { return ::serve(*m_rig.helper, *m_rig.core, s); }

    // The commands sent to these paths, "-" for none.
    QString sent(const QByteArrayList& paths) const
    {
        QByteArrayList targets;
        for (const QByteArray& path : paths)
            for (const FakeHelper::Request& r : m_rig.helper->requests("POST", path))
                targets << r.target;
        return targets.isEmpty() ? u"-"_s : QString::fromLatin1(targets.join(' '));
    }

    // Keeps Core busy: a command the helper never answers.
    void holdBusy()
    {
        m_rig.helper->route("POST", "/install", Reply::stall());
        m_rig.core->install();
    }

    // Whatever was sent before it (`n` cancels among it) has arrived once this has.
    bool settled(int n)
    {
        m_rig.core->selectManually();
        return QTest::qWaitFor(
            [&] { return m_rig.helper->count("POST", "/autoconnect/cancel") > n; });
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_rig.start());
        m_rig.helper->fallback(Reply::json(200, "{}"));
        m_window = std::make_unique<MainWindow>(*m_rig.core, m_rig.dialogs, [] {});
        m_view = m_window->view();
        m_window->present();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_rig.stop();
    }

    void states_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<int>("pick"); // the row clicked once before, -1: none
        QTest::addColumn<bool>("busy");
        // The power button's look, the rows' dots (faint, waiting, green or
        // orange), the response time, rates and peak, what else is shown or
        // can be used, and what a press on the button sends ("-": the button
        // is disabled).
        QTest::addColumn<QString>("expected");
        // clang-format off
        const Status stalled = with(status(1, true, false, false), [](auto& s) { s.message = u"x"_s; });
        const auto blocking = [](Status& s) { s.protection_armed = s.protected_ = true; };
        const auto missing = [](Status& s) { s.helper = false; };
        QTest::newRow("off") << status(2) << -1 << false << u"Off fff — 0 0 — switch → /connect?i=2"_s;
        QTest::newRow("off, busy") << status(2) << -1 << true << u"Off fff — 0 0 — → -"_s;
        QTest::newRow("checking") << status(1, true, false) << -1 << false << u"Checking fwf 42 0 0 — checking → -"_s;
        QTest::newRow("connected, measured") << with(status(1, true), [](auto& s) { s.down_bps = 48'300'000; s.up_bps = 2'500'000; s.peak_bps = 61'000'000; }) << -1 << false << u"Connected fgf 42 48 2.5 61 → /stop"_s;
        QTest::newRow("connected, barely measured") << with(status(1, true, true, true, 1), [](auto& s) { s.down_bps = 250'000; s.up_bps = 999; s.peak_bps = 1; }) << -1 << false << u"Connected fgf 1 0.25 0 0 → /stop"_s;
        QTest::newRow("connected, busy") << status(1, true) << -1 << true << u"Connected fgf 42 0 0 — → -"_s;
        QTest::newRow("connected, another row picked") << status(1, true) << 0 << false << u"Off fgf 42 0 0 — → /connect?i=0"_s;
        QTest::newRow("stalled, a message") << stalled << -1 << false << u"Stalled fof 42 0 0 — route message → /stop"_s;
        QTest::newRow("stalled, another row picked") << stalled << 2 << false << u"Stalled fof 42 0 0 — route message → /connect?i=2"_s;
        QTest::newRow("strict protection blocking") << with(status(), blocking) << -1 << false << u"Off fff — 0 0 — notice open switch → /connect?i=0"_s;
        QTest::newRow("strict protection blocking, busy") << with(status(), blocking) << -1 << true << u"Off fff — 0 0 — notice → -"_s;
        QTest::newRow("protection armed, running") << with(status(1, true), blocking) << -1 << false << u"Connected fgf 42 0 0 — → /stop"_s;
        QTest::newRow("helper missing") << with(status(), missing) << -1 << false << u"Off fff — 0 0 — install → -"_s;
        QTest::newRow("helper missing, busy") << with(status(), missing) << -1 << true << u"Off fff — 0 0 — → -"_s;
        QTest::newRow("helper missing, running") << with(status(1, true), missing) << -1 << false << u"Connected fgf 42 0 0 — install → -"_s;
        QTest::newRow("pick past a shorter list") << with(status(), [](auto& s) { s.channels.removeLast(); }) << 2 << false << u"Off ff — 0 0 — switch → /connect?i=2"_s;
        // clang-format on
    }

    // Each state's looks; the checking caption keeps its place, so nothing
    // below it moves. Only the circle of a pressable button answers the
    // pointer; a press sends one command and disables the button while
    // Core is busy. Nothing claims the privileged part is missing before a
    // status says so.
    void states()
    {
        QFETCH(Status, status);
        QFETCH(int, pick);
        QFETCH(bool, busy);
        QFETCH(QString, expected);
        QVERIFY(!m_view->helperMissing()->isVisible());
        QVERIFY(serve(::status()));
        const int listTop = m_view->channelList()->geometry().top();
        Presses::later(100'000);
        if (pick >= 0)
            Presses::press(m_view->channelList()->clickArea(pick), {20, 10}, 0);
        QVERIFY(serve(status));
        PowerButton* power = m_view->powerButton();
        QWindow* window = m_window->windowHandle();
        const QPoint corner = power->mapTo(m_window.get(), QPoint(3, 3));
        const QPoint centre = power->mapTo(m_window.get(), power->rect().center());
        QTest::mouseMove(window, corner);
        QVERIFY(!power->isHovered());
        QTest::mouseMove(window, centre);
        if (busy)
            holdBusy();
        QCOMPARE(power->isHovered(), power->isEnabled());
        QTRY_COMPARE(m_view->channelList()->geometry().top(), listTop);

        QString seen = QVariant::fromValue(power->look()).toString() + u' ';
        const QPalette& p = m_view->palette();
        using namespace SystemColours;
        const QList<QColor> dots = {faded(secondaryLabel(p), 0.25), faded(secondaryLabel(p), 0.6),
                                    green(p), orange(p)};
        for (int i = 0; i < m_view->channelList()->count(); ++i)
            seen += u"?fwgo"_s.at(dots.indexOf(m_view->channelList()->row(i)->dotColour()) + 1);
        for (const Metric* metric : m_view->metrics())
            seen += u' ' + metric->value();
        const auto mark = [&](const QString& name, bool on) {
            seen += on ? u' ' + name : QString();
        };
        mark(u"checking"_s, m_view->checkingCaption()->colour().alpha() > 0);
        mark(u"notice"_s, m_view->protectionNotice()->isVisible());
        mark(u"open"_s,
             m_view->protectionNotice()->isVisible() && m_view->openInternetButton()->isEnabled());
        mark(u"route"_s, m_view->routeWarning()->isVisible());
        mark(u"message"_s, m_view->helperMessage()->isVisible());
        mark(u"install"_s,
             m_view->helperMissing()->isVisible() && m_view->installButton()->isEnabled());
        mark(u"switch"_s, m_view->settingsMenu()->protection()->isEnabled());
        QTest::mouseClick(window, Qt::LeftButton, {}, corner);
        QTest::mouseClick(window, Qt::LeftButton, {}, centre);
        QVERIFY(!power->isEnabled() || !m_rig.core->busy());
        QVERIFY(settled(pick >= 0 ? 1 : 0));
        QTRY_COMPARE(seen + u" → "_s + sent({"/connect", "/stop"}), expected);
    }

    void rowPresses_data()
    {
        const int q = Presses::quick();
        const QList<Press> twice = {{0, {}}, {q, {}}};
        // `n` channels; with the strict protection notice and a message above them if `more`.
        const auto many = [](int n, bool more) {
            Status s = status();
            s.channels.clear();
            for (int i = 0; i < n; ++i)
                s.channels << u"Канал %1"_s.arg(i);
            s.protection_armed = more;
            s.message = more ? u"Сервер не отвечает по UDP, пробую TCP. "_s.repeated(3) : QString();
            return s;
        };
        QTest::addColumn<Status>("status");
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<Press>>("presses");
        // At the row's empty "end", on an "inactive" window, while "busy".
        QTest::addColumn<QString>("where");
        // What the list asks, s(elect) and c(onnect), and the channel connected.
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("double") << status() << 1 << twice << u""_s << u"ssc 1"_s;
        QTest::newRow("double on the empty end") << status() << 1 << twice << u"end"_s << u"ssc 1"_s;
        QTest::newRow("double on an inactive window") << status() << 1 << twice << u"inactive"_s << u"ssc 1"_s;
        QTest::newRow("triple connects once") << status() << 1 << twice + QList<Press>{{q, {}}} << u""_s << u"sscs 1"_s;
        QTest::newRow("second too late") << status() << 1 << QList<Press>{{0, {}}, {QGuiApplication::styleHints()->mouseDoubleClickInterval() + 1, {}}} << u""_s << u"ss -"_s;
        QTest::newRow("second too far") << status() << 1 << QList<Press>{{0, {}}, {q, {QGuiApplication::styleHints()->mouseDoubleClickDistance() + 2, 0}}} << u""_s << u"ss -"_s;
        QTest::newRow("second within the distance") << status() << 1 << QList<Press>{{0, {}}, {q, QPoint(1, 1) * QGuiApplication::styleHints()->mouseDoubleClickDistance()}} << u""_s << u"ssc 1"_s;
        QTest::newRow("other buttons") << status() << 1 << QList<Press>{{0, {}, Qt::RightButton}, {q, {}, Qt::RightButton}, {q, {}, Qt::MiddleButton}} << u""_s << u" -"_s;
        QTest::newRow("double on another channel while connected") << status(2, true) << 0 << twice << u""_s << u"ssc 0"_s;
        QTest::newRow("double on the active channel while connected") << status(2, true) << 2 << twice << u""_s << u"ssc -"_s;
        QTest::newRow("double while busy") << status() << 1 << twice << u"busy"_s << u"ssc -"_s;
        QTest::newRow("double far down 100,000 channels") << many(100'000, false) << 99'998 << twice << u""_s << u"ssc 99998"_s;
        QTest::newRow("double far down 300 channels under more") << many(300, true) << 298 << twice << u""_s << u"ssc 298"_s;
        QTest::newRow("double without the privileged part") << with(status(), [](auto& s) { s.helper = false; }) << 1 << twice << u""_s << u"ssc -"_s;
        // clang-format on
    }

    // Presses through the platform's input path, where Qt 6.4 delivers the
    // second press of a double click as a double-click event alone: every
    // press selects (and cancels the automatic choice), the second of a
    // double click connects unless that would do nothing useful.
    void rowPresses()
    {
        QFETCH(Status, status);
        QFETCH(int, row);
        QFETCH(QList<Press>, presses);
        QFETCH(QString, where);
        QFETCH(QString, expected);
        QVERIFY(serve(status));
        if (where == u"busy")
            holdBusy();
        m_rig.helper->route("POST", "/connect", Reply::stall());
        QWidget other; // in front, with the focus
        other.setVisible(where == u"inactive");
        other.activateWindow();
        QTRY_COMPARE(other.isActiveWindow(), other.isVisible());
        // A list taller than the screen allows scrolls instead of growing the
        // window past the screen's edge; only the rows on screen have widgets.
        ChannelList* list = m_view->channelList();
        list->scrollToRow(row);
        QTRY_VERIFY(list->clickArea(row) && list->clickArea(row)->visibleRegion().boundingRect() ==
                                                list->clickArea(row)->rect());
        QTRY_VERIFY(m_window->frameGeometry().height() <=
                    m_window->screen()->availableGeometry().height());
        QVERIFY(list->findChildren<ChannelRow*>().size() <=
                2 * (list->height() / list->row(row)->height() + 1));
        QString seen;
        connect(list, &ChannelList::selectRequested, m_view, [&] { seen += u's'; });
        connect(list, &ChannelList::connectRequested, m_view, [&] { seen += u'c'; });
        QWidget* area = list->clickArea(row);
        const QPoint start(where == u"end" ? area->width() - 3 : 30, area->height() / 2);
        Presses::later(100'000);
        for (const Press& p : presses)
            Presses::press(area, start + p.offset, p.afterMs, p.button);
        QCOMPARE(m_view->selected(), seen.isEmpty() ? -1 : row);
        QCOMPARE(list->row(row)->isSelected(), !seen.isEmpty());
        QVERIFY(settled(int(seen.count(u's'))));
        QTRY_COMPARE(seen + u' ' + sent({"/connect"}).remove(u"/connect?i="_s), expected);
    }

    void helperMessage_data()
    {
        QTest::addColumn<QString>("text");
        const QString longer = u"Сервер не отвечает по UDP, пробую TCP. "_s.repeated(6);
        QTest::newRow("markup") << u"<b>x</b><!-- "_s + longer;
        QTest::newRow("link") << u"<a href='file:///etc/passwd'>y</a> 1 &lt; 2 & "_s + longer;
    }

    // The helper's text as it came, cut to two lines with the whole text as
    // tooltip, both never read as markup.
    void helperMessage()
    {
        QFETCH(QString, text);
        QVERIFY(serve(with(status(0, true, false), [&](Status& s) { s.message = text; })));
        TextBlock* message = m_view->helperMessage();
        QCOMPARE(message->text(), text);
        QTRY_COMPARE(message->lineCount(), 2);
        QVERIFY(message->isTruncated());
        // What the tooltip shows: rich text when it looks like markup.
        QTextDocument tip;
        tip.setHtml(message->toolTip());
        QCOMPARE(Qt::mightBeRichText(message->toolTip()) ? tip.toPlainText() : message->toolTip(),
                 text);
    }

    // Exporting is offered again only once the export has ended; an open
    // settings menu holds the status poll and the scans, as any menu does.
    // The account sheet opens and closes with Core's wish, Escape included, and comes in front
    // again with the window brought back.
    void settingsMenuAndAccountSheet()
    {
        m_rig.dialogs.saveAnswer = u"/tmp/журналы.zip"_s;
        m_rig.helper->route("POST", "/export", Reply::stall());
        SettingsMenu* menu = m_view->settingsMenu();
        menu->exportLogs()->trigger();
        QVERIFY(m_rig.core->exporting() && !menu->exportLogs()->isEnabled());
        QVERIFY(!m_rig.core->modalDepth().blocked());
        menu->popup(m_view->mapToGlobal(QPoint(0, 28)));
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(m_rig.core->modalDepth().blocked());
        menu->close();
        QVERIFY(!m_rig.core->modalDepth().blocked());
        AccountSheet* sheet = m_view->accountSheet();
        m_rig.core->setShowAccount(true);
        QTRY_VERIFY(sheet->isVisible());
        m_window->hide();
        m_window->present();
        QTRY_COMPARE(QApplication::activeWindow(), sheet);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QVERIFY(!m_rig.core->showAccount() && !sheet->isVisible());
        m_rig.core->setShowAccount(true);
        QTRY_VERIFY(sheet->isVisible());
        m_rig.core->setShowAccount(false);
        QVERIFY(!sheet->isVisible());
    }
};

QTEST_MAIN(UiTest)
#include "tst_Ui.moc"
