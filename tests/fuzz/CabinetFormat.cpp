// The cabinet's formatters on fuzzed values, each checked against an
// independent reckoning: a price's digits and sign against the amount, a
// date's numbers against Qt's calendar, the time left against 128-bit
// arithmetic on milliseconds.
#include "cabinet/CabinetFormat.h"
#include "FuzzInput.h"
#include "cabinet/CabinetSubscription.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

__extension__ using Wide = __int128;

const QString placeholder = u"—"_s;

bool isAsciiLetters(QStringView code)
{
    return code.size() == 3 && std::all_of(code.begin(), code.end(), [](QChar c) {
               return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
           });
}

void checkPrice(qint64 minor, const QString& currency)
{
    const QString text = CabinetFormat::price(minor, currency);
    if (!isAsciiLetters(currency)) {
        FUZZ_REQUIRE(text == placeholder);
        return;
    }
    FUZZ_REQUIRE(!text.isEmpty());
    // Currencies of two fraction digits show every digit of the amount.
    const QString code = currency.toUpper();
    if (code != u"RUB" && code != u"USD" && code != u"EUR")
        return;
    const quint64 magnitude = minor < 0 ? 0 - quint64(minor) : quint64(minor);
    const QString digits = QString::number(magnitude).rightJustified(3, u'0');
    QString shown;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            shown += c;
    }
    FUZZ_REQUIRE(shown == digits);
    FUZZ_REQUIRE(text.contains(u'-') == (minor < 0));
}

void checkDate(qint64 seconds)
{
    const QString text = CabinetFormat::dateTime(seconds, u"UTC");
    FUZZ_REQUIRE(!text.isEmpty());
    // Within Gregorian years of four digits, the day, year and time must be
    // those of Qt's calendar ("1 июн. 2024 г., 15:00").
    const QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    if (!at.isValid() || at.date().year() < 1600 || at.date().year() > 9999)
        return;
    static const QRegularExpression shape(
        u"^(\\d{1,2}) \\S+ (\\d{4})[ \\x{A0}\\x{202F}]г\\., (\\d\\d):(\\d\\d)$"_s);
    const QRegularExpressionMatch match = shape.match(text);
    FUZZ_REQUIRE(match.hasMatch());
    FUZZ_REQUIRE(match.captured(1).toInt() == at.date().day());
    FUZZ_REQUIRE(match.captured(2).toInt() == at.date().year());
    FUZZ_REQUIRE(match.captured(3).toInt() == at.time().hour());
    FUZZ_REQUIRE(match.captured(4).toInt() == at.time().minute());
}

void checkRemaining(bool active, qint64 endsAt, qint64 atMs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(atMs, QTimeZone::utc());
    const CabinetSubscription subscription(active, u"p"_s, u"P"_s, endsAt, 1);
    const QString text = subscription.remaining(at);
    if (!active) {
        FUZZ_REQUIRE(text == u"Нет действующей подписки");
        return;
    }
    if (endsAt < 1) {
        FUZZ_REQUIRE(text == u"Бессрочная подписка");
        return;
    }
    constexpr Wide dayMs = 86'400'000;
    const Wide leftMs = Wide(endsAt) * 1000 - at.toMSecsSinceEpoch();
    if (leftMs <= 0) {
        FUZZ_REQUIRE(text == u"Срок подписки истёк");
    } else if (leftMs < dayMs) {
        FUZZ_REQUIRE(text == u"Осталось меньше суток");
    } else if (leftMs <= Wide(std::numeric_limits<qint64>::max()) * 1000) {
        const Wide days = (leftMs + dayMs - 1) / dayMs;
        FUZZ_REQUIRE(text == u"Осталось дней: "_s + QString::number(qint64(days)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const qint64 amount = in.integer<qint64>();
    const qint64 seconds = in.integer<qint64>();
    const qint64 atMs = in.integer<qint64>();
    const bool active = in.integer<quint8>() & 1U;
    const QList<QString> texts = in.texts(2);

    checkPrice(amount, texts.at(0));
    checkDate(seconds);
    FUZZ_REQUIRE(!CabinetFormat::dateTime(seconds, texts.at(1)).isEmpty());
    checkRemaining(active, seconds, atMs);
    return 0;
}
