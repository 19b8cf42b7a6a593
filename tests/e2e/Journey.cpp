#include "Journey.h"

#include "OnScreen.h"
#include "Outbox.h"

#include "account/AccountView.h"
#include "app/MainWindow.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/MainView.h"
#include "ui/main/SettingsMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <signal.h>

using namespace Qt::StringLiterals;

namespace {

// The simulation at a pace a test need not wait for, yet slow enough to be
// seen: installing takes 0.1 s, a connection is checked for 0.7 s, which
// the status polls (each second) see at least once.
const QByteArray quickEngine = R"({"format": 1, "seed": 7, "tick_ms": 100,
  "latency_after_ms": 200, "verify_after_ms": 700, "install_ms": 100})";

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QString built(const QString& name)
{
    return QCoreApplication::applicationDirPath() + u"/../lib/ovrin/"_s + name;
}

QString centerDir()
{
    return qEnvironmentVariable("OVRIN_CENTER_DIR");
}

QPushButton* button(QWidget* root, const QString& title)
{
    for (auto* candidate : root->findChildren<QPushButton*>()) {
        if (candidate->text() == title && candidate->isVisibleTo(root))
            return candidate;
    }
    return nullptr;
}

} // namespace

Journey::Journey()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + u"/.config"_s));
    if (centerDir().isEmpty()) {
        m_center = std::make_unique<QTemporaryDir>();
        qputenv("OVRIN_CENTER_DIR", QFile::encodeName(m_center->path()));
    }
    qunsetenv("OVRIN_SIM_SCENARIO");

    const QString folder = m_resources.path();
    QFile::link(QFileInfo(built(u"helper"_s)).canonicalFilePath(), folder + u"/helper"_s);
    QFile::copy(built(u"channels.json"_s), folder + u"/channels.json"_s);
    QFile::copy(built(u"menubar.svg"_s), folder + u"/menubar.svg"_s);
    write(folder + u"/netcore"_s, quickEngine);

    m_loginItem = std::make_unique<XdgLoginItem>();
}

Journey::~Journey()
{
    if (!stop())
        qWarning("the helper outlived the application");
}

bool Journey::valid() const
{
    return m_home.isValid() && m_resources.isValid() && m_vpns.isValid() && m_scratch.isValid() &&
           QFile::exists(m_resources.path() + u"/helper"_s) &&
           QFile::exists(m_resources.path() + u"/netcore"_s);
}

void Journey::setScenario(const QByteArray& json)
{
    const QString path = m_scratch.path() + u"/scenario.json"_s;
    write(path, json);
    qputenv("OVRIN_SIM_SCENARIO", QFile::encodeName(path));
}

bool Journey::start()
{
    CorePorts ports;
    ports.dialogs = &m_dialogs;
    ports.loginItem = m_loginItem.get();
    ports.systemLog = &m_log;
    ports.vpns = m_vpns.port();
    ports.resourceFolder = m_resources.path();
    ports.arguments = {u"ovrin"_s};
    m_delegate = std::make_unique<Delegate>(std::move(ports));
    m_delegate->start();
    return QTest::qWaitFor([this] { return !core().status().channels.isEmpty(); }, patienceMs);
}

bool Journey::stop()
{
    const qint64 pid = helperPid();
    m_delegate.reset();
    m_dialogs = FakeDialogs();
    qunsetenv("OVRIN_SIM_SCENARIO");
    return pid <= 0 || QTest::qWaitFor([pid] { return ::kill(pid_t(pid), 0) != 0; }, patienceMs);
}

void Journey::wipe()
{
    for (const QString& folder : {dataDir(), centerDir()}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
    m_vpns.list({});
}

MainView& Journey::view()
{
    return *m_delegate->window()->view();
}

AccountView* Journey::account()
{
    return qobject_cast<AccountView*>(view().accountSheet()->content());
}

bool Journey::openAccount()
{
    view().settingsMenu()->account()->trigger();
    return QTest::qWaitFor([this] { return account() && account()->isVisible(); }, patienceMs);
}

QString Journey::helperLog() const
{
    QFile log(dataDir() + u"/logs/helper.log"_s);
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

qint64 Journey::helperPid() const
{
    QFile marker(dataDir() + u"/helper.pid"_s);
    return marker.open(QIODevice::ReadOnly) ? marker.readAll().trimmed().toLongLong() : 0;
}

QString Journey::letterCode(const QString& email) const
{
    return newestLetter(centerDir(), email).code;
}

QString Journey::letterLink(const QString& email) const
{
    return newestLetter(centerDir(), email).link;
}

QLineEdit* Journey::field(QWidget* root, const QString& placeholder)
{
    for (auto* candidate : root->findChildren<QLineEdit*>()) {
        if (candidate->placeholderText() == placeholder && candidate->isVisibleTo(root))
            return candidate;
    }
    return nullptr;
}

bool Journey::click(QWidget* root, const QString& title)
{
    QPushButton* target = button(root, title);
    if (!target || !target->isEnabled())
        return false;
    QTest::mouseClick(target, Qt::LeftButton);
    return true;
}

bool Journey::type(QWidget* root, const QString& placeholder, const QString& text)
{
    QLineEdit* target = field(root, placeholder);
    if (!target)
        return false;
    target->setFocus();
    target->selectAll();
    QTest::keyClicks(target, text);
    return target->text() == text;
}

bool Journey::showsText(QWidget* root, const QString& part)
{
    const QStringList all = shownTexts(root);
    return std::any_of(all.begin(), all.end(),
                       [&](const QString& text) { return text.contains(part); });
}

bool Journey::importList()
{
    m_dialogs.folderAnswer = QFileInfo(built(u"sample-servers"_s)).canonicalFilePath();
    return click(account(), u"Импорт списка серверов…"_s) &&
           QTest::qWaitFor([&] { return account()->layout() == AccountView::Layout::SignIn; },
                           patienceMs);
}

bool Journey::requestCode(const QString& email)
{
    const qsizetype sent = lettersTo(centerDir(), email).size();
    return type(account(), u"Электронная почта"_s, email) && click(account(), u"Получить код"_s) &&
           QTest::qWaitFor([&] { return lettersTo(centerDir(), email).size() > sent; }, patienceMs);
}

bool Journey::enterCode(const QString& email)
{
    return QTest::qWaitFor([&] { return field(account(), u"Код из 6 цифр"_s); }, patienceMs) &&
           type(account(), u"Код из 6 цифр"_s, letterCode(email)) && click(account(), u"Войти"_s);
}

bool Journey::signIn(const QString& email)
{
    if ((!account() && !openAccount()) ||
        (account()->layout() == AccountView::Layout::Import && !importList()))
        return false;
    return requestCode(email) && enterCode(email) &&
           QTest::qWaitFor([&] { return account()->layout() == AccountView::Layout::SignedIn; },
                           patienceMs);
}
