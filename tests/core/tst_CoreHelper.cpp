// Core with the real ports and the reference helper from the resource
// folder: launched, installed, a channel connected, the connection verified.
#include "TestHome.h"
#include "core/Core.h"
#include "platform/QtDialogs.h"
#include "platform/ResourceFolder.h"
#include "platform/Syslog.h"
#include "platform/XdgLoginItem.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class CoreHelperTest : public QObject {
    Q_OBJECT

    TestHome m_home; // the helper's socket and data live here
    QTemporaryDir m_config;

private Q_SLOTS:
    void connectsAndVerifies()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        const std::optional<QString> resources = ResourceFolder::find();
        QVERIFY(resources);
        QVERIFY2(QFileInfo(*resources + u"/helper"_s).isExecutable(),
                 "the reference helper is built into the resource folder (target helper)");

        QtDialogs dialogs;
        XdgLoginItem loginItem;
        Syslog log;
        Core core(CorePorts{.dialogs = &dialogs,
                            .loginItem = &loginItem,
                            .systemLog = &log,
                            .resourceFolder = resources,
                            .arguments = QCoreApplication::arguments()});
        QVERIFY(!core.launchAtLogin());
        core.launch();

        QTRY_VERIFY_WITH_TIMEOUT(!core.status().channels.isEmpty(), 20000);
        QVERIFY(!core.status().verified);
        // The helper's privileged part first, as the main window asks for it.
        if (!core.status().helper) {
            core.install();
            QTRY_VERIFY_WITH_TIMEOUT(core.status().helper && !core.busy(), 30000);
        }
        core.connect(0);
        QTRY_VERIFY_WITH_TIMEOUT(core.status().verified, 60000);
        QVERIFY(core.status().running);
        QCOMPARE(core.status().active, 0);

        core.updates().disconnectForTermination();
        QTRY_VERIFY_WITH_TIMEOUT(!core.status().running, 10000);
        core.shutdown();
    }
};

QTEST_MAIN(CoreHelperTest)
#include "tst_CoreHelper.moc"
