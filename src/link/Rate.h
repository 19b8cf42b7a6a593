#pragma once

#include <QString>

// A rate in bits per second as the text of megabits per second, without the
// unit: below 1000 "0", then two, one or no decimals ("0.25", "2.5", "48").
QString rate(qint64 bps);
