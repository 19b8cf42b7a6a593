#pragma once

#include <QByteArray>
#include <QtGlobal>

// The raw outcome of one helper request: the status code of the reply's
// status line and every byte after the blank line that ends the head.
struct HelperReply {
    qint64 status = 0;
    QByteArray body;

    friend bool operator==(const HelperReply&, const HelperReply&) = default;
};
