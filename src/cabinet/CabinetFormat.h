#pragma once

#include <QString>
#include <QStringView>

// The cabinet's texts in the conventions of ru_RU (Russian, Russia), from
// ICU's locale data. Each call stands alone and may run on any thread.
class CabinetFormat {
public:
    CabinetFormat() = delete;

    // Medium date and short time, for example "1 июн. 2024 г., 15:00", in
    // the time zone `zoneId` (an IANA name) or, when it is empty or unknown
    // to ICU, in the user's time zone. "—" for a time outside the calendar
    // ICU can show.
    static QString dateTime(qint64 secondsSince1970, QStringView zoneId = {});

    // `minor` hundredths of the currency with the ISO 4217 code `currency`,
    // for example "2,50 ₽", with the currency's own number of fraction
    // digits. "—" when the code is not three ASCII letters or ICU refuses it.
    static QString price(qint64 minor, QStringView currency);
};
