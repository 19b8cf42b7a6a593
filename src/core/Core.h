#pragma once

#include "account/AccountStatus.h"
#include "core/AppUpdates.h"
#include "core/CorePorts.h"
#include "link/HelperReply.h"
#include "link/Status.h"

#include <QJsonObject>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

// The application's one controller: starts the helper, polls it, holds all
// that the views show and runs every command. Lives on the main thread;
// every public member is called there, and every published field changes
// there only, each announcing itself through its own signal and changed().
class Core : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Core)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(QStringList parallelVPNs READ parallelVPNs NOTIFY parallelVPNsChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(AccountStatus account READ account NOTIFY accountChanged)
    Q_PROPERTY(bool showAccount READ showAccount WRITE setShowAccount NOTIFY showAccountChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)

public:
    // Reads the login item's state; starts nothing.
    explicit Core(CorePorts ports, QObject* parent = nullptr);
    ~Core() override;

    AppUpdates& updates() { return m_updates; }
    const Clock& clock() const { return *m_ports.clock; }

    const Status& status() const { return m_status; }
    // False until the first status poll that decodes: until then `status` is
    // the default record, which claims nothing about the helper.
    bool statusKnown() const { return m_statusKnown; }
    const QStringList& parallelVPNs() const { return m_parallelVPNs; }
    bool busy() const { return m_busy; }
    const AccountStatus& account() const { return m_account; }
    bool showAccount() const { return m_showAccount; }
    void setShowAccount(bool show);
    bool exporting() const { return m_exporting; }
    bool launchAtLogin() const { return m_launchAtLogin; }

    // The application's modal depth: the views raise it while a menu is open.
    ModalDepth& modalDepth() const { return *m_ports.modal; }
    // How this computer introduces itself to the center.
    const DeviceIdentity& device() const { return *m_ports.device; }

    // Starts the helper from the resource folder, one parallel-VPN scan, the
    // 3 s scan timer and the 1 s status poll. Until the first status arrives,
    // quicker polls follow the helper's start, so the default record is
    // replaced as soon as the helper answers. Once; without a resource
    // folder it does nothing.
    void launch();
    // Stops the scan timer and asks the helper to terminate.
    void shutdown();
    void checkUpdates();

    // Connection commands. Each sends one request; the outcome shows in the
    // next status poll. disconnect and setProtection alert on failure.
    void connect(int index);
    void disconnect();
    void selectManually();
    void setAutoconnect(bool on);
    void setProtection(bool on); // asks for confirmation first
    void install();

    // Logs: ask for a destination (or confirmation), then the helper.
    void exportLogs();
    void clearLogs();

    // Registers or unregisters the login item, then reads its state back.
    void setLaunchAtLogin(bool on);

    // Account operations (AccountCommands.cpp). Every account call goes
    // through accountRequest: 90 s, the body sent as a flat JSON object of
    // strings ("{}" when empty, also for GET). `done` runs exactly once, on
    // the main thread and never before accountRequest returns, after the
    // account state has been re-read: `json` is the reply when it is a JSON
    // object; `error` is absent only for status 200, else the reply's string
    // "error", "Помощник не ответил." or "Запрос не выполнен.".
    using AccountDone =
        std::function<void(std::optional<QJsonObject> json, std::optional<QString> error)>;
    void accountRequest(const QString& method, const QString& path,
                        const QMap<QString, QString>& body, const QMap<QString, QString>& headers,
                        AccountDone done);
    void accountRequest(const QString& path, const QMap<QString, QString>& body, AccountDone done)
    {
        accountRequest(QStringLiteral("POST"), path, body, {}, std::move(done));
    }
    // Re-reads "GET /account/status"; a body that decodes replaces `account`
    // (whatever the status code), anything else changes nothing. The static
    // form is callable from any thread.
    void refreshAccount();
    static void refreshAccount(const QPointer<Core>& core);
    // Asks for the folder holding the signed server list and hands its path
    // to the helper. `done` gets the error (absent on success); it is not
    // called when the user cancels.
    void importBootstrap(std::function<void(std::optional<QString> error)> done);
    // An "ovrin://auth?challenge_id=…&link_token=…" link from a sign-in
    // letter: opens the account window and verifies the sign-in. Any other
    // link is ignored silently.
    void receiveAuthLink(const QUrl& url);

Q_SIGNALS:
    void changed();
    void statusChanged();
    void parallelVPNsChanged();
    void busyChanged();
    void accountChanged();
    void showAccountChanged();
    void exportingChanged();
    void launchAtLoginChanged();

private:
    friend class CoreProbe; // tests: drives the scan guard directly

    // One status poll.
    void refresh();
    // Sends a command whose reply is not looked at; on the main thread then
    // clears `busy`, polls, and calls `done`.
    void post(const QString& method, const QString& target, double timeoutSeconds,
              std::function<void()> done = {});
    // Sends a command judged by one status code; on the main thread then
    // clears `busy`, polls, and alerts with `failureTitle` unless it
    // succeeded.
    void postReporting(const QString& method, const QString& target, double timeoutSeconds,
                       qint64 successCode, const QString& failureTitle);
    void refreshParallelVPNs();
    void stopHelper();

    template <typename T>
    void assign(T& field, const T& value, void (Core::*notify)())
    {
        if (field == value)
            return;
        field = value;
        Q_EMIT(this->*notify)();
        Q_EMIT changed();
    }
    void setStatus(const Status& status);
    void setParallelVPNs(const QStringList& names)
    {
        assign(m_parallelVPNs, names, &Core::parallelVPNsChanged);
    }
    void setBusy(bool busy) { assign(m_busy, busy, &Core::busyChanged); }
    void setAccount(const AccountStatus& account)
    {
        assign(m_account, account, &Core::accountChanged);
    }
    void setExporting(bool exporting) { assign(m_exporting, exporting, &Core::exportingChanged); }
    void readLaunchAtLogin();

    CorePorts m_ports;
    AppUpdates m_updates;
    Status m_status;
    bool m_statusKnown = false;
    QStringList m_parallelVPNs;
    bool m_busy = false;
    AccountStatus m_account;
    bool m_showAccount = false;
    bool m_exporting = false;
    bool m_launchAtLogin = false;
    std::unique_ptr<QProcess> m_helper;
    QTimer m_vpnTimer;
    QTimer m_timer;
    QTimer m_firstPoll;
    bool m_vpnScanRunning = false;
    // Declared last so that it is destroyed first: it waits for a running
    // scan, whose result then finds the Core gone.
    QThreadPool m_vpnQueue;
};
