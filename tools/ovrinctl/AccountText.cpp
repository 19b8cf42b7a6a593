#include "AccountText.h"

#include "cabinet/CabinetFormat.h"

using namespace Qt::StringLiterals;

QStringList accountText(const AccountStatus& a)
{
    QStringList lines;
    lines << (a.bootstrap ? u"Список серверов импортирован."_s
                          : u"Список серверов не импортирован: центр недоступен."_s);
    if (a.signed_in)
        lines << u"Вход выполнен. Устройство: "_s + a.device_id;
    else
        lines << u"Вход не выполнен."_s;
    if (a.signed_in) {
        lines << u"Подписка: "_s + (a.active ? u"действует"_s : u"не действует"_s) +
                     (a.plan.isEmpty() ? QString() : u", тариф "_s + a.plan);
    }
    if (a.pending_credentials)
        lines << u"Учётные данные ещё не получены."_s;
    if (a.keychain_error)
        lines << u"Сохранённый вход не удалось прочитать."_s;
    if (!a.error.isEmpty())
        lines << u"Ошибка: "_s + a.error;
    return lines;
}

QStringList cabinetText(const CabinetData& c, const QDateTime& now, QStringView zoneId)
{
    const CabinetSubscription& s = c.subscription;
    QStringList lines;
    lines << (s.plan_name.isEmpty() ? u"Тариф не выбран"_s : s.plan_name);
    lines << s.remaining(now);
    if (s.ends_at >= 1)
        lines << u"Дата окончания: "_s + CabinetFormat::dateTime(s.ends_at, zoneId);
    lines << u"Данные получены: "_s + CabinetFormat::dateTime(c.loaded_at, zoneId);
    lines << QString();
    lines << u"Устройства: %1 из %2"_s.arg(c.devices.size()).arg(s.devices_limit);
    if (c.devices.isEmpty())
        lines << u"Устройств нет"_s;
    for (const CabinetDevice& d : c.devices) {
        lines << u"  • "_s + (d.name.isEmpty() ? d.platform : d.name) +
                     (d.current ? u" · Этот Mac"_s : QString());
        if (d.last_seen_at >= 1) {
            lines << u"    Последнее обращение к центру: "_s +
                         CabinetFormat::dateTime(d.last_seen_at, zoneId);
        }
    }
    lines << QString();
    if (c.plans.isEmpty())
        lines << u"Нет доступных тарифов"_s;
    else
        lines << u"Тарифы:"_s;
    for (const CabinetPlan& p : c.plans) {
        lines << u"  • %1 · %2 — %3 дней · Устройств: %4"_s.arg(p.name, p.price())
                     .arg(p.period_days)
                     .arg(p.devices_limit);
    }
    return lines;
}
