#include "link/QueryValue.h"

#include <QUrl>

QString queryValue(QStringView value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value.toString(), "/"));
}
