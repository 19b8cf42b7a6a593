#include "account/OvrinLink.h"

#include <QUrlQuery>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString scheme = u"ovrin"_s;

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

// The value of the first query item named `name`, when it has one.
std::optional<QString> firstValue(const QUrlQuery& query, const QString& name)
{
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == name)
            return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    }
    return std::nullopt;
}

// The first values of `first` and `second` in an "ovrin" link to `host`.
std::optional<std::pair<QString, QString>> values(const QUrl& url, const QString& host,
                                                  const QString& first, const QString& second)
{
    if (!url.isValid() || url.scheme() != scheme || url.host() != host)
        return std::nullopt;
    const QUrlQuery query(url);
    std::optional<QString> a = firstValue(query, first);
    std::optional<QString> b = firstValue(query, second);
    if (!a || !b)
        return std::nullopt;
    return std::pair(std::move(*a), std::move(*b));
}

} // namespace

namespace OvrinLink {

std::optional<Auth> parseAuth(const QUrl& url)
{
    auto found = values(url, u"auth"_s, u"challenge_id"_s, u"link_token"_s);
    if (!found)
        return std::nullopt;
    return Auth{std::move(found->first), std::move(found->second)};
}

std::optional<Pair> parsePair(const QString& text)
{
    auto found = values(QUrl(text.trimmed(), QUrl::StrictMode), u"pair"_s, u"id"_s, u"token"_s);
    if (!found)
        return std::nullopt;
    return Pair{std::move(found->first), std::move(found->second)};
}

QString composePair(const QString& id, const QString& token)
{
    QUrl url;
    url.setScheme(scheme);
    url.setHost(u"pair"_s);
    QUrlQuery query;
    query.addQueryItem(u"id"_s, itemValue(id));
    query.addQueryItem(u"token"_s, itemValue(token));
    url.setQuery(query);
    if (!url.isValid())
        return {};
    return url.toString(QUrl::FullyEncoded);
}

} // namespace OvrinLink
