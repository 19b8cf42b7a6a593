#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// The helper's state as reported by "GET /status". Field names are the JSON
// keys. The defaults are what the application shows before the first poll.
struct Status {
    bool running = false;
    qint64 active = 0;
    bool auto_ = true; // JSON "auto"
    qint64 latency_ms = 0;
    qint64 down_bps = 0;
    qint64 up_bps = 0;
    qint64 peak_bps = 0;
    QList<qint64> best_bps;
    qint64 check_wait_ms = 0;
    qint64 check_total_ms = 0;
    qint64 check_next_ms = 5000;
    QString message;
    QStringList channels;
    bool helper = false;
    bool primary = false;
    bool autoconnect = false;
    bool protected_ = false; // JSON "protected"
    bool protection_armed = false;
    bool verified = false;

    // All 19 keys, each of its exact type, or nothing at all.
    static std::optional<Status> fromJson(const QJsonObject& object);
    static std::optional<Status> fromJson(const QByteArray& body);

    // The active channel's name, when `active` indexes `channels`.
    std::optional<QString> activeChannel() const;

    friend bool operator==(const Status&, const Status&) = default;
};
Q_DECLARE_METATYPE(Status)
