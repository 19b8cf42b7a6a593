#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// The running copy's presence on the session bus. Once launching has
// finished, the copy owns the well-known name equal to the bundle identifier
// and exports org.freedesktop.Application, so a second launch can find it,
// bring it to the front and hand it "ovrin:" links. Everything here runs on
// the main thread; calls to another copy block for at most a few seconds.
class AppBus : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppBus)

public:
    static inline const QString serviceName = QStringLiteral("org.ovrin.menubarapp");
    static inline const QString objectPath = QStringLiteral("/org/ovrin/menubarapp");

    explicit AppBus(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~AppBus() override;

    // Exports the interface and takes the name. False without a session bus
    // or when another connection owns the name already.
    bool publish();

    enum class Search {
        Finished, // only a copy that has finished launching (owns the name now)
        Any,      // also one still launching: wait a little for its name to appear
    };
    // Finds another process's copy and activates it, or hands it `links`
    // (Open) when there are any. False when there is none or it did not answer.
    static bool activateRunning(const QStringList& links, Search search,
                                QDBusConnection bus = QDBusConnection::sessionBus());

Q_SIGNALS:
    void activateRequested();
    void linksReceived(const QStringList& links);

private:
    QDBusConnection m_bus;
    bool m_published = false;
};
