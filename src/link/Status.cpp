#include "link/Status.h"

#include "link/JsonReader.h"

std::optional<Status> Status::fromJson(const QJsonObject& object)
{
    Status s;
    JsonReader in(object);
    in.read(u"running", s.running)
        .read(u"active", s.active)
        .read(u"auto", s.auto_)
        .read(u"latency_ms", s.latency_ms)
        .read(u"down_bps", s.down_bps)
        .read(u"up_bps", s.up_bps)
        .read(u"peak_bps", s.peak_bps)
        .read(u"best_bps", s.best_bps)
        .read(u"check_wait_ms", s.check_wait_ms)
        .read(u"check_total_ms", s.check_total_ms)
        .read(u"check_next_ms", s.check_next_ms)
        .read(u"message", s.message)
        .read(u"channels", s.channels)
        .read(u"helper", s.helper)
        .read(u"primary", s.primary)
        .read(u"autoconnect", s.autoconnect)
        .read(u"protected", s.protected_)
        .read(u"protection_armed", s.protection_armed)
        .read(u"verified", s.verified);
    if (!in.ok())
        return std::nullopt;
    return s;
}

std::optional<Status> Status::fromJson(const QByteArray& body)
{
    const std::optional<QJsonObject> object = JsonReader::parseObject(body);
    if (!object)
        return std::nullopt;
    return fromJson(*object);
}

std::optional<QString> Status::activeChannel() const
{
    if (active < 0 || active >= channels.size())
        return std::nullopt;
    return channels.at(qsizetype(active));
}
