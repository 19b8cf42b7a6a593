#pragma once

#include "link/HelperReply.h"

#include <QObject>
#include <QString>

#include <optional>

class Dialogs;

// The update hooks: asks the helper whether an update is due, answers a
// manual check, decides whether the application may quit and stops the
// tunnel when it does. No update source is configured, so nothing here
// changes the four fields; an installer would drive them. Main thread.
class AppUpdates : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppUpdates)

public:
    explicit AppUpdates(Dialogs& dialogs, QObject* parent = nullptr);

    // After each decoded status: while connected and no update is under
    // way, asks "GET /updates/status"; returns at once.
    void poll(bool connected);
    // Manual: the alert that checking is unavailable. Otherwise nothing.
    void check(bool manual);
    // Whether the application may quit. Blocks for at most one round trip
    // (3 s), and only while an installation is in progress.
    bool authorizeTermination();
    // Stops the tunnel before quitting. Blocks for at most one round trip
    // (5 s); the outcome is ignored.
    void disconnectForTermination();

    bool installing() const { return m_installing; }
    void setInstalling(bool installing) { m_installing = installing; }

    // Whether an "/updates/status" reply says an update is due: status 200
    // and a JSON object whose "due" is the boolean true.
    static bool isDue(const std::optional<HelperReply>& reply);

private:
    Dialogs& m_dialogs;
    bool m_preparing = false;
    QString m_capability;
    qint64 m_targetBuild = 0;
    bool m_installing = false;
};
