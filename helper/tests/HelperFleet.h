#pragma once

// Built helpers as child processes, each on its own temporary HOME, all sharing one center
// folder; account requests sent as the application sends them.
#include "Outbox.h"
#include "account/AccountStatus.h"
#include "link/HelperSocket.h"

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <memory>

struct Answer {
    int status = 0;
    QJsonObject json;
    QByteArray body;

    QString error() const { return json[QStringLiteral("error")].toString(); }
    QString text(const QString& key) const { return json[key].toString(); }
};

class HelperFleet {
public:
    HelperFleet();
    ~HelperFleet();

    bool valid() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }
    QString center() const { return m_root.path() + QStringLiteral("/center"); }
    QString home(const QString& name) const;
    QByteArray socket(const QString& name) const;
    QString sampleServers() const;

    // Stops every helper; one that does not stop cleanly (exit status 0) is a fault.
    void stopAll();
    // Stops every helper and forgets every HOME, the center, the clock offset and the faults.
    void reset();
    // Starts the helper of HOME `name`, optionally with a scenario file, and waits until it
    // answers.
    bool start(const QString& name, const QByteArray& scenario = {});
    // SIGTERM; true when it stopped cleanly.
    bool stop(const QString& name);

    // One account request: a flat JSON object, "{}" also for GET. Every reply that is neither
    // 200 with a JSON object nor a JSON object with a non-empty string "error" is a fault.
    Answer call(const QString& name, const char* method, const QString& target,
                const QJsonObject& body = {}, const HelperSocket::Headers& headers = {});
    // A plain helper request (no body), for the tunnel commands.
    std::optional<HelperReply> command(const QString& name, const char* method,
                                       const QString& target);
    AccountStatus account(const QString& name);
    bool import(const QString& name, const QString& folder = {});

    // The newest letter to `email` in the outbox.
    Letter letter(const QString& email) const;
    Answer requestAndVerify(const QString& name, const QString& email,
                            const QJsonObject& extra = {});
    // Moves the center clock of every running helper forward.
    void moveClock(qint64 seconds);
    // A new device's pairing request: "id", "secret", "qr_token".
    QJsonObject openRequest(const QString& name);
    Answer pollRequest(const QString& name, const QJsonObject& request);

    // Stops every helper and resets; what went wrong since the last reset.
    QStringList finish();
    // What went wrong in the replies since the last reset.
    const QStringList& faults() const { return m_faults; }

    static QJsonObject device(const QString& name);

private:
    QTemporaryDir m_root;
    QStringList m_faults;
    std::map<QString, std::unique_ptr<QProcess>> m_helpers;
    qint64 m_offset = 0;
};
