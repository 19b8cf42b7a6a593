#include "StatusJson.h"

#include <QJsonArray>
#include <QJsonDocument>

QJsonObject statusObject(const Status& s)
{
    QJsonArray best;
    for (qint64 b : s.best_bps)
        best.append(b);
    return QJsonObject{
        {QStringLiteral("running"), s.running},
        {QStringLiteral("active"), s.active},
        {QStringLiteral("auto"), s.auto_},
        {QStringLiteral("latency_ms"), s.latency_ms},
        {QStringLiteral("down_bps"), s.down_bps},
        {QStringLiteral("up_bps"), s.up_bps},
        {QStringLiteral("peak_bps"), s.peak_bps},
        {QStringLiteral("best_bps"), best},
        {QStringLiteral("check_wait_ms"), s.check_wait_ms},
        {QStringLiteral("check_total_ms"), s.check_total_ms},
        {QStringLiteral("check_next_ms"), s.check_next_ms},
        {QStringLiteral("message"), s.message},
        {QStringLiteral("channels"), QJsonArray::fromStringList(s.channels)},
        {QStringLiteral("helper"), s.helper},
        {QStringLiteral("primary"), s.primary},
        {QStringLiteral("autoconnect"), s.autoconnect},
        {QStringLiteral("protected"), s.protected_},
        {QStringLiteral("protection_armed"), s.protection_armed},
        {QStringLiteral("verified"), s.verified},
    };
}

QByteArray statusBody(const Status& status)
{
    return QJsonDocument(statusObject(status)).toJson(QJsonDocument::Compact);
}

QByteArray accountBody(const AccountStatus& a)
{
    const QJsonObject object{{QStringLiteral("bootstrap"), a.bootstrap},
                             {QStringLiteral("signed_in"), a.signed_in},
                             {QStringLiteral("keychain_error"), a.keychain_error},
                             {QStringLiteral("pending_credentials"), a.pending_credentials},
                             {QStringLiteral("device_id"), a.device_id},
                             {QStringLiteral("active"), a.active},
                             {QStringLiteral("plan"), a.plan},
                             {QStringLiteral("error"), a.error}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
