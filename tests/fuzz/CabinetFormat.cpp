// The cabinet's formatters on fuzzed values, each checked against an
// independent reckoning: a price's digits and sign against the amount, a
// date's numbers against Qt's calendar, the time left against 128-bit
// arithmetic on milliseconds.
#include "cabinet/CabinetFormat.h"
#include "FuzzInput.h"
#include "cabinet/CabinetSubscription.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

__extension__ using Wide = __int128;

void checkPrice(qint64 minor, const QString& currency)
{
    const QString text = CabinetFormat::price(minor, currency);
    static const QRegularExpression code(u"\\A[A-Za-z]{3}\\z"_s);
    static const QRegularExpression notDigit(u"[^0-9]"_s);
    if (!code.match(currency).hasMatch()) {
        FUZZ_REQUIRE(text == u"—");
    } else if (QStringList{u"RUB"_s, u"USD"_s, u"EUR"_s}.contains(currency.toUpper())) {
        // Currencies of two fraction digits show every digit of the amount.
        const quint64 magnitude = minor < 0 ? 0 - quint64(minor) : quint64(minor);
        FUZZ_REQUIRE(QString(text).remove(notDigit) ==
                     QString::number(magnitude).rightJustified(3, u'0'));
        FUZZ_REQUIRE(text.contains(u'-') == (minor < 0));
    } else {
        FUZZ_REQUIRE(!text.isEmpty());
    }
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
    FUZZ_REQUIRE(match.hasMatch() &&
                 match.capturedTexts().mid(1).join(u' ') == at.toString(u"d yyyy HH mm"_s));
}

void checkRemaining(bool active, qint64 endsAt, qint64 atMs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(atMs, QTimeZone::utc());
    const QString text = CabinetSubscription(active, u"p"_s, u"P"_s, endsAt, 1).remaining(at);
    constexpr Wide dayMs = 86'400'000;
    const Wide leftMs = Wide(endsAt) * 1000 - at.toMSecsSinceEpoch();
    const QString expected =
        !active       ? u"Нет действующей подписки"_s
        : endsAt < 1  ? u"Бессрочная подписка"_s
        : leftMs <= 0 ? u"Срок подписки истёк"_s
        : leftMs < dayMs
            ? u"Осталось меньше суток"_s
            : u"Осталось дней: "_s + QString::number(qint64((leftMs + dayMs - 1) / dayMs));
    // Days are counted only while the end lies within the range of milliseconds.
    if (!active || endsAt < 1 || leftMs <= Wide(std::numeric_limits<qint64>::max()) * 1000)
        FUZZ_REQUIRE(text == expected);
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
