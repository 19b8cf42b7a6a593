#include "core/VpnList.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0a && u <= 0x0d) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// Every break character ends a line of its own, so CR LF leaves an empty
// line between.
QList<QStringView> lines(const QString& text)
{
    QList<QStringView> result;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineBreak(text.at(i))) {
            result.append(QStringView(text).sliced(start, i - start));
            start = i + 1;
        }
    }
    result.append(QStringView(text).sliced(start));
    return result;
}

// The fields of one terse nmcli line; nothing when an escape is unfinished.
std::optional<QStringList> nmcliFields(QStringView line)
{
    QStringList fields{QString()};
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\\') {
            if (++i == line.size())
                return std::nullopt;
            fields.last() += line.at(i);
        } else if (c == u':') {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

} // namespace

QStringList connectedVPNNames(const QString& output, const std::optional<QString>& ownIdentifier)
{
    static const QRegularExpression expression(
        uR"re(^\s*\*?\s*\(Connected\)\s+\S+\s+VPN\s+\(([^)]+)\)\s+"([^"]+)")re"_s,
        QRegularExpression::UseUnicodePropertiesOption);
    if (!expression.isValid())
        return {};
    QStringList names;
    for (QStringView line : lines(output)) {
        const QRegularExpressionMatch match = expression.match(line);
        if (!match.hasMatch() || match.capturedStart(1) < 0 || match.capturedStart(2) < 0)
            continue;
        if (ownIdentifier && match.capturedView(1) == *ownIdentifier)
            continue;
        names.append(match.captured(2));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

QString vpnLinesFromNmcli(const QString& output)
{
    QStringList converted;
    for (QStringView line : lines(output)) {
        const std::optional<QStringList> fields = nmcliFields(line);
        if (!fields || fields->size() != 3)
            continue;
        const QString& name = fields->at(0);
        const QString& uuid = fields->at(1);
        const QString& type = fields->at(2);
        if (name.isEmpty() || uuid.isEmpty() || (type != u"vpn" && type != u"wireguard"))
            continue;
        converted.append(u"* (Connected) "_s + uuid + u" VPN ("_s + type + u") \""_s + name + u'"');
    }
    return converted.join(u'\n');
}
