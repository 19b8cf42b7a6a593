#include "account/PairingLink.h"

#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

// QUrlQuery keeps a valid "%XX" in a value as an escape, so a literal "%"
// must reach it already escaped; "+" is escaped so that no form decoder
// reads it as a space.
QString itemValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(u'%', u"%25"_s);
    escaped.replace(u'+', u"%2B"_s);
    return escaped;
}

std::optional<QString> firstValue(const QUrlQuery& query, const QString& name)
{
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == name)
            return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    }
    return std::nullopt;
}

} // namespace

namespace PairingLink {

QString compose(const QString& id, const QString& token)
{
    QUrl url;
    url.setScheme(u"ovrin"_s);
    url.setHost(u"pair"_s);
    QUrlQuery query;
    query.addQueryItem(u"id"_s, itemValue(id));
    query.addQueryItem(u"token"_s, itemValue(token));
    url.setQuery(query);
    if (!url.isValid())
        return {};
    return url.toString(QUrl::FullyEncoded);
}

std::optional<Parts> parse(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != u"ovrin" || url.host() != u"pair")
        return std::nullopt;
    const QUrlQuery query(url);
    std::optional<QString> id = firstValue(query, u"id"_s);
    std::optional<QString> token = firstValue(query, u"token"_s);
    if (!id || !token)
        return std::nullopt;
    return Parts{std::move(*id), std::move(*token)};
}

} // namespace PairingLink
