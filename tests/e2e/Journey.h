#pragma once

// The whole application in this process as a person meets it: the real
// Delegate, Core, views and ports, and the reference helper started by
// Core.launch() from a resource folder made of the built files, on a
// temporary HOME and center folder. Only the modal dialogs and the file
// panels answer from a script (FakeDialogs); the parallel-VPN scan reads a
// stand-in interface folder (FakeVpns).
#include "FakeDialogs.h"
#include "FakeVpns.h"
#include "TestHome.h"
#include "app/Delegate.h"
#include "platform/Syslog.h"
#include "platform/XdgLoginItem.h"

#include <QTemporaryDir>

#include <memory>

class AccountView;
class MainView;
class QLineEdit;

class Journey {
public:
    static constexpr int patienceMs = 20'000;

    // Sets HOME, XDG_CONFIG_HOME and, unless the environment names
    // one already (a second HOME sharing it), OVRIN_CENTER_DIR.
    Journey();
    ~Journey();
    Journey(const Journey&) = delete;
    Journey& operator=(const Journey&) = delete;

    bool valid() const;

    // The helper reads its scenario file at start: set before start().
    void setScenario(const QByteArray& json);
    // Starts the application and waits until the helper answers.
    bool start();
    // Ends the application as quitting does; true once its helper is gone.
    bool stop();
    // Forgets the data folder, the center and the tunnels: the next start is
    // a first start.
    void wipe();

    Delegate& app() { return *m_delegate; }
    Core& core() { return m_delegate->core(); }
    MainView& view();
    FakeDialogs& dialogs() { return m_dialogs; }
    FakeVpns& vpns() { return m_vpns; }
    // The account window's content while the sheet is open.
    AccountView* account();
    // Opens the account window through the settings menu.
    bool openAccount();

    QString dataDir() const { return m_home.dataDir(); }
    QString scratch() const { return m_scratch.path(); }
    QString helperLog() const;
    // The helper's pid while one runs, else 0.
    qint64 helperPid() const;
    // The code and the sign-in link in the newest letter to `email`.
    QString letterCode(const QString& email) const;
    QString letterLink(const QString& email) const;

    // What a person finds and does on screen, looking only at what is
    // visible under `root`.
    static QLineEdit* field(QWidget* root, const QString& placeholder);
    static bool click(QWidget* root, const QString& title);
    static bool type(QWidget* root, const QString& placeholder, const QString& text);
    static bool showsText(QWidget* root, const QString& part);

    // In the account window: imports the sample server list; asks for a
    // letter to `email` and waits until it comes; sends the code in it; all
    // of that until signed in, opening the window and importing as needed.
    bool importList();
    bool requestCode(const QString& email);
    bool enterCode(const QString& email);
    bool signIn(const QString& email);

private:
    TestHome m_home;
    QTemporaryDir m_resources;
    FakeVpns m_vpns;
    QTemporaryDir m_scratch;
    std::unique_ptr<QTemporaryDir> m_center;
    FakeDialogs m_dialogs;
    std::unique_ptr<XdgLoginItem> m_loginItem;
    Syslog m_log;
    std::unique_ptr<Delegate> m_delegate;
};
