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
