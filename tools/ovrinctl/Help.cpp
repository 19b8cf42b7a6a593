#include "Help.h"

#include <QStringList>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Usage {
    QString command;
    QString synopsis; // after "ovrinctl "
    QString summary;
};

// In the order `--help` lists them; a command with two forms has two entries.
const std::vector<Usage>& usages()
{
    static const std::vector<Usage> list = {
        {u"status"_s, u"status [--watch]"_s,
         u"Состояние помощника; с --watch — следить за ним до Ctrl+C."_s},
        {u"connect"_s, u"connect НОМЕР|НАЗВАНИЕ"_s,
         u"Подключить канал по его номеру в списке или по названию."_s},
        {u"disconnect"_s, u"disconnect"_s, u"Отключиться."_s},
        {u"install"_s, u"install"_s, u"Установить привилегированную часть помощника."_s},
        {u"protection"_s, u"protection on|off"_s, u"Включить или выключить строгую защиту."_s},
        {u"autoconnect"_s, u"autoconnect on|off"_s,
         u"Включить или выключить подключение при запуске."_s},
        {u"logs"_s, u"logs export ПУТЬ"_s, u"Сохранить журналы помощника в zip-архив."_s},
        {u"logs"_s, u"logs clear"_s, u"Очистить журналы помощника."_s},
        {u"account"_s, u"account"_s, u"Состояние учётной записи."_s},
        {u"cabinet"_s, u"cabinet"_s, u"Подписка, устройства и тарифы с ценами."_s},
        {u"request"_s,
         u"request МЕТОД ЦЕЛЬ [--body JSON] [--header 'Имя: значение']... [--timeout СЕКУНДЫ]"_s,
         u"Любой запрос к помощнику: код ответа, затем тело."_s},
        {u"help"_s, u"help [КОМАНДА]"_s, u"Этот список или подробная справка по команде."_s},
    };
    return list;
}

const QString plainExits =
    u"Коды выхода: 0 — готово; 1 — помощник отказал (печатается его текст);\n"
    u"2 — помощник не ответил; 64 — неверный вызов."_s;

QString details(const QString& name)
{
    if (name == u"status")
        return u"Запрашивает GET /status и печатает состояние помощника: подключение и\n"
               u"канал, проверку связи, отклик, скорость, настройки, сообщение помощника\n"
               u"и список каналов с номерами для connect.\n"
               u"С --watch опрашивает помощника каждую секунду, пока его не прервут\n"
               u"(Ctrl+C). В терминале экран перерисовывается; когда вывод перенаправлен\n"
               u"в файл или другой программе, печатается одна строка на каждое изменение\n"
               u"состояния, без управляющих символов терминала.\n\n"
               u"Коды выхода: 0 — готово; 2 — помощник не ответил или прислал состояние,\n"
               u"которое не удалось прочитать; 64 — неверный вызов."_s;
    if (name == u"connect")
        return u"Подключает канал. НОМЕР — номер в списке каналов помощника (с 0, как\n"
               u"в ovrinctl status), НАЗВАНИЕ — название канала: сначала точное, затем\n"
               u"без учёта регистра. Запрашивает GET /status, затем отправляет\n"
               u"POST /connect?i=НОМЕР. Печатает «Подключаю канал «…».».\n\n"
               u"Коды выхода: 0 — помощник принял команду; 1 — такого канала нет или\n"
               u"помощник отказал (печатается его текст); 2 — помощник не ответил;\n"
               u"64 — неверный вызов (номер отрицательный или не целый)."_s;
    if (name == u"disconnect")
        return u"Отправляет POST /stop и ждёт ответа 200. Печатает «Отключено.».\n\n"_s +
               plainExits;
    if (name == u"install")
        return u"Отправляет POST /install (ожидание до 180 с) и ждёт ответа 2xx.\n"
               u"Печатает «Привилегированная часть помощника установлена.».\n\n"_s +
               plainExits;
    if (name == u"protection")
        return u"Отправляет POST /protection?on=1 (on) или POST /protection?on=0 (off)\n"
               u"и ждёт ответа 204. Печатает «Строгая защита включена.» или\n"
               u"«Строгая защита выключена.».\n\n"_s +
               plainExits;
    if (name == u"autoconnect")
        return u"Отправляет POST /autoconnect?on=1 (on) или POST /autoconnect?on=0 (off)\n"
               u"и ждёт ответа 2xx. Печатает «Подключение при запуске включено.» или\n"
               u"«Подключение при запуске выключено.».\n\n"_s +
               plainExits;
    if (name == u"logs")
        return u"export отправляет POST /export?to=ПУТЬ (путь делается абсолютным) и ждёт\n"
               u"ответа 200 с путём архива; печатает «Журналы сохранены: ПУТЬ».\n"
               u"clear отправляет POST /clear-logs и ждёт ответа 204; печатает\n"
               u"«Журналы очищены.».\n\n"_s +
               plainExits;
    if (name == u"account")
        return u"Запрашивает GET /account/status и печатает состояние учётной записи:\n"
               u"импорт списка серверов, вход и устройство, подписку.\n\n"
               u"Коды выхода: 0 — готово; 2 — помощник не ответил или прислал ответ,\n"
               u"который не удалось прочитать; 64 — неверный вызов."_s;
    if (name == u"cabinet")
        return u"Запрашивает GET /account/cabinet (с телом {}, ожидание до 90 с) и\n"
               u"печатает подписку, устройства и тарифы с ценами.\n\n"
               u"Коды выхода: 0 — готово; 1 — помощник отказал, например вход не\n"
               u"выполнен (печатается его текст); 2 — помощник не ответил или прислал\n"
               u"неверные данные; 64 — неверный вызов."_s;
    if (name == u"request")
        return u"Отправляет помощнику запрос как есть: МЕТОД и ЦЕЛЬ (например,\n"
               u"GET /status), тело --body, заголовки --header (их может быть\n"
               u"несколько), ожидание ответа --timeout (по умолчанию 20 с, не меньше 1).\n"
               u"Печатает код ответа отдельной строкой, затем тело ответа.\n\n"
               u"Коды выхода: 0 — код ответа 2xx; 1 — любой другой код (он всё равно\n"
               u"напечатан); 2 — помощник не ответил; 64 — неверный вызов."_s;
    if (name == u"help")
        return u"Без аргумента печатает список команд, с командой — её справку.\n"
               u"То же делают ovrinctl --help, ovrinctl -h и ovrinctl КОМАНДА --help.\n\n"
               u"Коды выхода: 0 — готово; 64 — нет такой команды."_s;
    return {};
}

} // namespace

QString Help::overview()
{
    QString text = u"Использование: ovrinctl КОМАНДА [АРГУМЕНТЫ]\n\n"_s;
    for (const Usage& usage : usages())
        text += u"  ovrinctl "_s + usage.synopsis + u"\n      "_s + usage.summary + u'\n';
    return text + u"\nКоды выхода: 0 — готово, 1 — помощник отказал, 2 — помощник не ответил,\n"
                  u"64 — неверный вызов. Подробнее о команде: ovrinctl help КОМАНДА\n"_s;
}

std::optional<QString> Help::command(const QString& name)
{
    const QStringList lines = synopsis(name);
    if (lines.isEmpty())
        return std::nullopt;
    return lines.join(u'\n') + u"\n\n"_s + details(name) + u'\n';
}

QStringList Help::synopsis(const QString& name)
{
    QStringList lines;
    for (const Usage& usage : usages()) {
        if (usage.command == name)
            lines << u"ovrinctl "_s + usage.synopsis;
    }
    return lines;
}
