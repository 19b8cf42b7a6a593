// Core and the reference helper from the resource folder: launched,
// installed, a channel connected, the connection verified.
#include "FakeDialogs.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "TestHome.h"
#include "core/Core.h"
#include "platform/ResourceFolder.h"

#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;

class CoreHelperTest : public QObject {
    Q_OBJECT

    TestHome m_home; // the helper's socket and data live here

private Q_SLOTS:
    void connectsAndVerifies()
    {
        const std::optional<QString> resources = ResourceFolder::find();
        QVERIFY(resources);
        QVERIFY2(QFileInfo(*resources + u"/helper"_s).isExecutable(),
                 "the reference helper is built into the resource folder (target helper)");

        FakeDialogs dialogs;
        FakeLoginItem loginItem;
        FakeSystemLog log;
        CorePorts ports = fakePorts(dialogs, loginItem, log);
        ports.resourceFolder = resources;
        ports.arguments = QCoreApplication::arguments();
        Core core(std::move(ports));
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
        // An alert would have stopped the run where QtDialogs waits for an answer.
        QCOMPARE(dialogs.calls, QStringList());
    }
};

QTEST_GUILESS_MAIN(CoreHelperTest)
#include "tst_CoreHelper.moc"
