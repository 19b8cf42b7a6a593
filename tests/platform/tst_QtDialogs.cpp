// The Qt dialogs: button order and answers, the modal depth while open, the
// save panel's file type, and revealing a file over D-Bus or without it.
#include "platform/ModalDepth.h"
#include "platform/desktop/QtDialogs.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>

using namespace Qt::StringLiterals;

// Stands in for the desktop's file manager on the test's own session bus.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId)
        shown += uris;
    }
};

class QtDialogsTest : public QObject {
    Q_OBJECT

    QList<QUrl> m_opened;
    ModalDepth m_modal;

    // Runs `act` on the modal widget of type T once it is open.
    template <typename T>
    static void whenOpen(std::function<void(T*)> act)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
            if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
                poll->deleteLater();
                poll->stop();
                act(widget);
            }
        });
        poll->start(10);
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase() { QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"file"_s); }

    void alert_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("press"); // -1: Escape
        QTest::addColumn<int>("answer");
        const QStringList confirm{u"Включить"_s, u"Отмена"_s};
        QTest::newRow("acknowledge") << QStringList() << QStringList{u"ОК"_s} << 0 << 0;
        QTest::newRow("action") << confirm << confirm << 0 << 0;
        QTest::newRow("cancel") << confirm << confirm << 1 << 1;
        QTest::newRow("escape") << confirm << confirm << -1 << 1;
        QTest::newRow("escape, acknowledge") << QStringList() << QStringList{u"ОК"_s} << -1 << 0;
    }

    // While the alert is open the depth is raised and queued work still runs.
    void alert()
    {
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, shown);
        QFETCH(int, press);
        QFETCH(int, answer);
        bool handedOver = false;
        QMetaObject::invokeMethod(
            this, [&] { handedOver = true; }, Qt::QueuedConnection);
        QStringList labels;
        QString defaultLabel;
        bool blocked = false;
        bool ranMeanwhile = false;
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            for (QAbstractButton* b : box->buttons())
                labels.append(b->text());
            defaultLabel = box->defaultButton()->text();
            blocked = m_modal.blocked();
            ranMeanwhile = handedOver;
            if (press < 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->buttons().at(press)->click();
        });
        QtDialogs dialogs(m_modal);
        QCOMPARE(dialogs.alert(u"Включить строгую защиту?"_s, u"Текст"_s, buttons), answer);
        QCOMPARE(labels, shown);
        QCOMPARE(defaultLabel, shown.first());
        QVERIFY(blocked);
        QVERIFY(ranMeanwhile);
        QVERIFY(!m_modal.blocked());
    }

    // An alert opens over the window in front and never reads its texts as
    // markup: a name chosen by another device must not hide the warning
    // after it or carry a live link.
    void alertIsPlainAndInFrontOfItsWindow()
    {
        QWidget window(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
        window.show();
        const QString name = u"<a href='file:///etc/passwd'>Mac</a><!--"_s;
        const QString informative = name + u"\nПодтверждайте только QR с экрана устройства"_s;
        QWidget* parent = nullptr;
        bool onTop = false;
        QStringList texts;
        bool plain = true;
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            parent = box->parentWidget();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            for (const QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue;
                texts << label->text();
                plain =
                    plain && label->textFormat() == Qt::PlainText && !label->openExternalLinks();
            }
            box->buttons().first()->click();
        });
        QtDialogs(m_modal).alert(u"<b>Подтвердить</b>"_s, informative);
        QCOMPARE(parent, &window);
        QVERIFY(onTop);
        QVERIFY(plain);
        QVERIFY(texts.contains(informative));
        QVERIFY(texts.contains(u"<b>Подтвердить</b>"_s));
    }

    void savePanel_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }

    void savePanel()
    {
        QFETCH(bool, accept);
        QTemporaryDir folder;
        QString title;
        QString suggested;
        bool blocked = false;
        whenOpen<QFileDialog>([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            suggested = dialog->selectedFiles().value(0);
            blocked = m_modal.blocked();
            if (accept)
                static_cast<QDialog*>(dialog)->accept(); // public there
            else
                dialog->reject();
        });
        QtDialogs dialogs(m_modal);
        const std::optional<QString> result = dialogs.savePanel(
            u"Экспорт журналов"_s, u"Оврин-журналы.zip"_s, folder.path(), u"Архив ZIP (*.zip)"_s);
        QCOMPARE(title, u"Экспорт журналов"_s);
        QCOMPARE(suggested, folder.filePath(u"Оврин-журналы.zip"_s));
        QVERIFY(blocked);
        QCOMPARE(result, accept ? std::optional(suggested) : std::nullopt);
    }

    void suffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("none") << u"/d/журнал"_s << u"/d/журнал.zip"_s;
        QTest::newRow("other") << u"/d/журнал.txt"_s << u"/d/журнал.txt.zip"_s;
        QTest::newRow("upper case") << u"/d/Архив.ZIP"_s << u"/d/Архив.ZIP"_s;
        QTest::newRow("dot folder") << u"/d.zip/журнал"_s << u"/d.zip/журнал.zip"_s;
    }

    void suffix()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QCOMPARE(QtDialogs::withSuffix(typed, u"zip"_s), written);
    }

    void revealOverDBus()
    {
        // Registers a file manager: only on a bus of the test's own.
        if (qEnvironmentVariableIsEmpty("OVRIN_PRIVATE_BUS"))
            QSKIP("runs under dbus-run-session (tst_platform_dialogs_dbus)");
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.isConnected());
        FileManager manager;
        QVERIFY(bus.registerObject(u"/org/freedesktop/FileManager1"_s, &manager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.FileManager1"_s));
        m_opened.clear();
        QtDialogs(m_modal, bus).reveal(u"/tmp/Мои журналы/a b.zip"_s);
        QTRY_COMPARE(manager.shown,
                     QStringList{u"file:///tmp/%D0%9C%D0%BE%D0%B8%20%D0%B6%D1%83%D1%80%D0%BD%D0%B0"
                                 u"%D0%BB%D1%8B/a%20b.zip"_s});
        QVERIFY(m_opened.isEmpty());
        bus.unregisterService(u"org.freedesktop.FileManager1"_s);
        bus.unregisterObject(u"/org/freedesktop/FileManager1"_s);

        // No file manager on the bus: the folder opens instead.
        QtDialogs(m_modal, bus).reveal(u"/tmp/Мои журналы/a b.zip"_s);
        QTRY_COMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/Мои журналы"_s)});
    }

    void revealWithoutBus()
    {
        m_opened.clear();
        QtDialogs(m_modal, QDBusConnection(u"not connected"_s)).reveal(u"/tmp/x/y.zip"_s);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/x"_s)});
    }
};

QTEST_MAIN(QtDialogsTest)
#include "tst_QtDialogs.moc"
