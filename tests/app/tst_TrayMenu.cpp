// The tray menu's items for each state, kept (not rebuilt) across changes,
// with names written so that each host shows them exactly.
#include "app/OvrinApp.h"
#include "app/TrayMenu.h"

#include <QMenu>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Status withChannels(bool running, qint64 active, bool primary = true)
{
    Status s;
    s.running = running;
    s.active = active;
    s.primary = primary;
    s.channels = {u"Амстердам"_s, u"Frankfurt UDP"_s, u"Хельсинки"_s};
    return s;
}

// "-" for a separator, "[x] " before a checked item, "(off) " before a
// disabled one; hidden items are left out, "&&" read as the popup shows it.
QStringList shape(const QMenu& menu)
{
    QStringList items;
    for (const QAction* a : menu.actions()) {
        if (!a->isVisible())
            continue;
        if (a->isSeparator())
            items << u"-"_s;
        else
            items << (a->isChecked() ? u"[x] "_s : QString()) +
                         (a->isEnabled() ? QString() : u"(off) "_s) +
                         QString(a->text()).replace(u"&&"_s, u"&"_s);
    }
    return items;
}

TrayMenu::Actions record(QStringList& calls)
{
    return {[&](int i) { calls << u"pick %1"_s.arg(i); }, [&] { calls << u"off"_s; },
            [&] { calls << u"show"_s; }, [&] { calls << u"updates"_s; },
            [&] { calls << u"quit"_s; }};
}

} // namespace

class TrayMenuTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void items_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<QStringList>("items");
        const QStringList commands = {u"Показать окно"_s, u"Проверить обновления"_s, u"-"_s,
                                      u"Выйти и отключить"_s};

        QTest::newRow("connected") << withChannels(true, 1)
                                   << QStringList{u"(off) Подключено: Frankfurt UDP"_s,
                                                  u"-"_s,
                                                  u"Амстердам"_s,
                                                  u"[x] Frankfurt UDP"_s,
                                                  u"Хельсинки"_s,
                                                  u"-"_s,
                                                  u"Отключить"_s} +
                                          commands;
        QTest::newRow("traffic bypasses the tunnel")
            << withChannels(true, 2, false)
            << QStringList{u"(off) Трафик идёт мимо: Хельсинки"_s,
                           u"-"_s,
                           u"Амстердам"_s,
                           u"Frankfurt UDP"_s,
                           u"[x] Хельсинки"_s,
                           u"-"_s,
                           u"Отключить"_s} +
                   commands;
        QTest::newRow("active outside the list")
            << withChannels(true, 5)
            << QStringList{u"(off) Подключено: —"_s, u"-"_s, u"Амстердам"_s, u"Frankfurt UDP"_s,
                           u"Хельсинки"_s,           u"-"_s, u"Отключить"_s} +
                   commands;
        QTest::newRow("not running: no check, no disconnect")
            << withChannels(false, 1)
            << QStringList{u"(off) Отключено"_s, u"-"_s,         u"Амстердам"_s,
                           u"Frankfurt UDP"_s,   u"Хельсинки"_s, u"-"_s} +
                   commands;
        QTest::newRow("no channels: two separators in a row")
            << Status() << QStringList{u"(off) Отключено"_s, u"-"_s, u"-"_s} + commands;
        Status named = withChannels(true, 0);
        named.channels = {u"R&D\tLab_1"_s, QString(200, u'я')};
        QTest::newRow("names as sent, on one line, long ones cut")
            << named
            << QStringList{u"(off) Подключено: R&D Lab_1"_s, u"-"_s, u"[x] R&D Lab_1"_s,
                           QString(59, u'я') + u'…',         u"-"_s, u"Отключить"_s} +
                   commands;
    }

    void items()
    {
        QFETCH(Status, status);
        QFETCH(QStringList, items);
        QMenu menu;
        QStringList calls;
        TrayMenu tray(&menu, record(calls));
        // From another state first: what is shown never depends on the past.
        tray.update(withChannels(true, 0));
        tray.update(status);
        QCOMPARE(shape(menu), items);
    }

    void itemsAreKeptAndCallTheirActions()
    {
        QStringList calls;
        QMenu menu;
        TrayMenu tray(&menu, record(calls));
        tray.update(withChannels(false, 0));
        const QList<QAction*> before = menu.actions();
        tray.update(withChannels(true, 2)); // a D-Bus host keeps the ids it drew
        QCOMPARE(menu.actions(), before);

        Status fewer = withChannels(true, 0);
        fewer.channels.removeLast();
        tray.update(fewer);
        QCOMPARE(menu.actions().size(), before.size() - 1);
        QCOMPARE(menu.actions().at(2), before.at(2));
        for (QAction* a : menu.actions()) {
            if (!a->isSeparator() && a->isEnabled())
                a->trigger();
        }
        QCOMPARE(calls, (QStringList{u"pick 0"_s, u"pick 1"_s, u"off"_s, u"show"_s, u"updates"_s,
                                     u"quit"_s}));
        QCOMPARE(menu.actions().constLast()->shortcut(), QKeySequence(u"Ctrl+Q"_s));

        Status many = withChannels(true, 0);
        for (int i = 0; i < 3 * TrayMenu::maxChannelItems; ++i)
            many.channels << QString::number(i);
        tray.update(many);
        QCOMPARE(menu.actions().size(), before.size() - 3 + TrayMenu::maxChannelItems);
    }

    void tooltip_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("tooltip");
        Status on = withChannels(true, 2);
        on.latency_ms = 52;
        on.down_bps = 48'000'000;
        on.up_bps = 2'500'000;
        QTest::newRow("connected") << on << u"Подключено: Хельсинки · 52 мс · ↓ 48 ↑ 2.5 Мбит/с"_s;
        on.latency_ms = 0;
        on.primary = false;
        QTest::newRow("bypassed, not measured yet")
            << on << u"Трафик идёт мимо: Хельсинки · ↓ 48 ↑ 2.5 Мбит/с"_s;
        QTest::newRow("off") << withChannels(false, 2) << u"Отключено"_s;
    }

    void tooltip()
    {
        QFETCH(Status, status);
        QFETCH(QString, tooltip);
        QCOMPARE(TrayMenu::tooltip(status), tooltip);
    }

    // The file panels and standard buttons speak Russian like the rest.
    void qtSpeaksRussian()
    {
        QVERIFY(OvrinApp::loadQtTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Отмена"_s);
    }

    void labelsForEachHost_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("popup");
        QTest::addColumn<QString>("dbusMenu");
        QTest::newRow("plain") << u"Рига"_s << u"Рига"_s << u"Рига"_s;
        QTest::newRow("ampersands") << u"A & B & C"_s << u"A && B && C"_s << u"A && B & C"_s;
        QTest::newRow("underscore") << u"udp_1"_s << u"udp_1"_s << u"udp__1"_s;
    }

    void labelsForEachHost()
    {
        QFETCH(QString, name);
        QFETCH(QString, popup);
        QFETCH(QString, dbusMenu);
        QCOMPARE(TrayMenu::label(name, TrayMenu::Host::Popup), popup);
        QCOMPARE(TrayMenu::label(name, TrayMenu::Host::DBusMenu), dbusMenu);
    }
};

QTEST_MAIN(TrayMenuTest)
#include "tst_TrayMenu.moc"
