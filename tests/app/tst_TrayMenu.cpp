// The tray menu's items for each state, and what each item does.
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

// "-" for a separator, "[x] " before a checked item, "(off) " before a disabled one.
QStringList shape(const QMenu& menu)
{
    QStringList items;
    for (const QAction* a : menu.actions()) {
        if (a->isSeparator())
            items << u"-"_s;
        else
            items << (a->isChecked() ? u"[x] "_s : QString()) +
                         (a->isEnabled() ? QString() : u"(off) "_s) + a->text();
    }
    return items;
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
    }

    void items()
    {
        QFETCH(Status, status);
        QFETCH(QStringList, items);
        QMenu menu;
        TrayMenu::fill(&menu, status, {});
        QCOMPARE(shape(menu), items);
    }

    void rebuildingReplacesTheOldItems()
    {
        QMenu menu;
        TrayMenu::fill(&menu, withChannels(true, 0), {});
        TrayMenu::fill(&menu, Status(), {});
        QCOMPARE(menu.actions().size(), 7);
    }

    void itemsCallTheirActions()
    {
        QStringList calls;
        const TrayMenu::Actions actions{[&](int i) { calls << u"pick %1"_s.arg(i); },
                                        [&] { calls << u"off"_s; }, [&] { calls << u"show"_s; },
                                        [&] { calls << u"updates"_s; },
                                        [&] { calls << u"quit"_s; }};
        QMenu menu;
        TrayMenu::fill(&menu, withChannels(true, 0), actions);
        for (QAction* a : menu.actions()) {
            if (!a->isSeparator() && a->isEnabled())
                a->trigger();
        }
        QCOMPARE(calls, (QStringList{u"pick 0"_s, u"pick 1"_s, u"pick 2"_s, u"off"_s, u"show"_s,
                                     u"updates"_s, u"quit"_s}));
        QCOMPARE(menu.actions().constLast()->shortcut(), QKeySequence(u"Ctrl+Q"_s));
    }
};

QTEST_MAIN(TrayMenuTest)
#include "tst_TrayMenu.moc"
