#include "core/ReplyText.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

QString replyText(const std::optional<HelperReply>& reply)
{
    if (reply) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(reply->body);
        if (!decoder.hasError())
            return text;
    }
    return u"Помощник не ответил."_s;
}
