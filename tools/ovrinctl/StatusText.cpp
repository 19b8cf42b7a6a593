#include "StatusText.h"

#include "link/Rate.h"

using namespace Qt::StringLiterals;

namespace {

QString onOff(bool on)
{
    return on ? u"вкл."_s : u"выкл."_s;
}

QString mbps(qint64 bps)
{
    return rate(bps) + u" Мбит/с"_s;
}

} // namespace

QStringList statusText(const Status& s)
{
    QStringList lines;
    if (!s.helper)
        lines << u"Привилегированная часть помощника не установлена."_s;
    if (s.running) {
        const QString channel = s.activeChannel().value_or(u"—"_s);
        lines << (s.primary ? u"Подключено: "_s : u"Трафик идёт мимо: "_s) + channel;
        lines << (s.verified ? u"Связь проверена."_s : u"Проверяю связь…"_s);
        lines << u"Отклик: "_s +
                     (s.latency_ms > 0 ? QString::number(s.latency_ms) + u" мс"_s : u"—"_s);
        lines << u"Приём: "_s + mbps(s.down_bps) + u", отдача: "_s + mbps(s.up_bps) + u", пик: "_s +
                     (s.peak_bps > 0 ? mbps(s.peak_bps) : u"—"_s);
    } else {
        lines << u"Отключено"_s;
        if (s.protection_armed)
            lines << u"Интернет закрыт строгой защитой."_s;
    }
    lines << u"Подключение при запуске: "_s + onOff(s.autoconnect) + u" Строгая защита: "_s +
                 onOff(s.protected_);
    if (!s.message.isEmpty())
        lines << u"Сообщение помощника: "_s + s.message;
    if (s.channels.isEmpty()) {
        lines << u"Каналов нет."_s;
    } else {
        lines << u"Каналы:"_s;
        for (qsizetype i = 0; i < s.channels.size(); ++i) {
            const bool current = s.running && i == s.active;
            lines << (current ? u"  * "_s : u"    "_s) + QString::number(i) + u"  "_s +
                         s.channels.at(i);
        }
    }
    return lines;
}

QString statusLine(const Status& s)
{
    QString line;
    if (!s.helper)
        line += u"Привилегированная часть помощника не установлена. "_s;
    if (s.running) {
        line += (s.primary ? u"Подключено: "_s : u"Трафик идёт мимо: "_s) +
                s.activeChannel().value_or(u"—"_s) +
                (s.verified ? u", связь проверена."_s : u", проверяю связь…"_s);
    } else {
        line += u"Отключено."_s;
        if (s.protection_armed)
            line += u" Интернет закрыт строгой защитой."_s;
    }
    line += u" Подключение при запуске: "_s + onOff(s.autoconnect) + u", строгая защита: "_s +
            onOff(s.protected_);
    if (!s.message.isEmpty())
        line += u" Сообщение помощника: "_s + s.message;
    return line;
}
