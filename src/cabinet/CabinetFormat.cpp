#include "cabinet/CabinetFormat.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>

using namespace Qt::StringLiterals;

namespace {

const QString placeholder = u"—"_s;

const icu::Locale& russian()
{
    static const icu::Locale locale("ru", "RU");
    return locale;
}

icu::UnicodeString toIcu(QStringView text)
{
    return icu::UnicodeString(text.utf16(), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QStringView(text.getBuffer(), text.length()).toString();
}

// The span of ICU's calendar; beyond it ICU shows the nearest end instead.
constexpr qint64 earliestMs = -184'303'902'528'000'000;
constexpr qint64 latestMs = 183'882'168'921'600'000;

// `minor` / 100 written out exactly, for any 64-bit value.
std::string decimalOfHundredths(qint64 minor)
{
    const quint64 magnitude = minor < 0 ? 0 - quint64(minor) : quint64(minor);
    const quint64 cents = magnitude % 100;
    std::string text = minor < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    text += '.';
    text += char('0' + cents / 10);
    text += char('0' + cents % 10);
    return text;
}

bool isAlphaCode(QStringView code)
{
    if (code.size() != 3)
        return false;
    for (const QChar c : code) {
        if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')))
            return false;
    }
    return true;
}

} // namespace

QString CabinetFormat::dateTime(qint64 secondsSince1970, QStringView zoneId)
{
    if (secondsSince1970 < earliestMs / 1000 || secondsSince1970 > latestMs / 1000)
        return placeholder;

    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, russian()));
    if (!format)
        return placeholder;
    if (!zoneId.isEmpty()) {
        std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toIcu(zoneId)));
        if (zone && *zone != icu::TimeZone::getUnknown())
            format->adoptTimeZone(zone.release());
    }

    icu::UnicodeString text;
    format->format(static_cast<UDate>(secondsSince1970) * 1000.0, text);
    return text.isEmpty() ? placeholder : fromIcu(text);
}

QString CabinetFormat::price(qint64 minor, QStringView currency)
{
    // ICU takes any code: it reads only the first three characters and
    // turns an empty one into "XXX", so the shape is checked here.
    if (!isAlphaCode(currency))
        return placeholder;
    const char16_t code[4] = {currency[0].unicode(), currency[1].unicode(), currency[2].unicode(),
                              u'\0'};

    UErrorCode status = U_ZERO_ERROR;
    const icu::CurrencyUnit unit(code, status);
    if (U_FAILURE(status))
        return placeholder;
    const icu::number::FormattedNumber formatted =
        icu::number::NumberFormatter::withLocale(russian())
            .unit(unit)
            .precision(icu::number::Precision::currency(UCURR_USAGE_STANDARD))
            .formatDecimal(decimalOfHundredths(minor), status);
    const icu::UnicodeString text = formatted.toString(status);
    if (U_FAILURE(status) || text.isEmpty())
        return placeholder;
    return fromIcu(text);
}
