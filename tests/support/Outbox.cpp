#include "Outbox.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

QStringList lettersTo(const QString& center, const QString& email)
{
    return QDir(center + u"/outbox"_s)
        .entryList({u"*-"_s + email + u".eml"_s}, QDir::Files, QDir::Name);
}

Letter newestLetter(const QString& center, const QString& email)
{
    const QStringList names = lettersTo(center, email);
    if (names.isEmpty())
        return {};
    QFile file(center + u"/outbox/"_s + names.last());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    const auto link =
        QRegularExpression(u"ovrin://auth\\?challenge_id=[0-9a-f]+&link_token=([A-Za-z0-9_-]+)"_s)
            .match(text);
    return {QRegularExpression(u": (\\d{6})\\r\\n"_s).match(text).captured(1),
            QRegularExpression(u"Message-ID: <([0-9a-f]{32})@"_s).match(text).captured(1),
            link.captured(1), link.captured(0)};
}
