// The commands that change the connection.
#include "core/Core.h"

#include "core/MainThread.h"
#include "core/ReplyText.h"
#include "link/HelperSocket.h"
#include "platform/Dialogs.h"

using namespace Qt::StringLiterals;

namespace {

QString onOff(bool on)
{
    return on ? u"1"_s : u"0"_s;
}

} // namespace

void Core::connect(int index)
{
    setBusy(true);
    post(u"POST"_s, u"/connect?i="_s + QString::number(index), 20);
}

void Core::disconnect()
{
    setBusy(true);
    postReporting(u"POST"_s, u"/stop"_s, 30, 200, u"Не удалось завершить отключение"_s);
}

void Core::selectManually()
{
    HelperSocket::send(u"POST"_s, u"/autoconnect/cancel"_s, 5, [](std::optional<HelperReply>) {});
}

void Core::setAutoconnect(bool on)
{
    setBusy(true);
    post(u"POST"_s, u"/autoconnect?on="_s + onOff(on), 20);
}

void Core::setProtection(bool on)
{
    const int answer = m_ports.dialogs->alert(
        on ? u"Включить строгую защиту?"_s : u"Выключить строгую защиту?"_s,
        on ? u"Включение прервёт текущие интернет-соединения. Напрямую останутся доступны "
             u"локальная сеть и проверенные серверы VPN. Привычные исключения пойдут через VPN. "
             u"При сбое процесса интернет останется закрыт до явного отключения."_s
           : u"Компьютер сможет выходить в интернет напрямую."_s,
        {on ? u"Включить"_s : u"Выключить"_s, u"Отмена"_s});
    if (answer != 0)
        return;
    setBusy(true);
    postReporting(u"POST"_s, u"/protection?on="_s + onOff(on), 90, 204, u"Защита не изменена"_s);
}

void Core::install()
{
    setBusy(true);
    post(u"POST"_s, u"/install"_s, 180);
}

void Core::postReporting(const QString& method, const QString& target, double timeoutSeconds,
                         qint64 successCode, const QString& failureTitle)
{
    const QPointer<Core> self(this);
    HelperSocket::send(method, target, timeoutSeconds,
                       [self, successCode, failureTitle](std::optional<HelperReply> reply) {
                           std::optional<QString> failure;
                           if (!reply || reply->status != successCode)
                               failure = replyText(reply);
                           onMainThread([self, failure, failureTitle] {
                               if (!self)
                                   return;
                               self->setBusy(false);
                               self->refresh();
                               if (failure)
                                   self->m_ports.dialogs->alert(failureTitle, *failure);
                           });
                       });
}
