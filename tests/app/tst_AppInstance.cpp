// The single-instance guard against real files, locks and processes.
#include "app/AppInstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

int errorOf(const AppInstance::Result& result)
{
    const auto* error = std::get_if<AppInstance::Error>(&result);
    return error ? error->code : 0;
}

bool holds(const AppInstance::Result& result)
{
    return std::holds_alternative<std::unique_ptr<AppInstance>>(result);
}

// Whether another process can take the lock right now (util-linux flock).
bool lockIsFree(const QString& lockFile)
{
    return QProcess::execute(u"flock"_s, {u"-n"_s, lockFile, u"true"_s}) == 0;
}

int openDescriptors()
{
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
}

} // namespace

class AppInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_dir;

    QString lockFile() const { return m_dir + u"/app.lock"_s; }

private Q_SLOTS:
    void init() { m_dir = m_root.path() + u"/home/Library/Application Support/Ovrin"_s; }
    void cleanup() { QDir(m_root.path() + u"/home"_s).removeRecursively(); }

    void firstStartCreatesPrivateFolderAndEmptyLock()
    {
        const auto result = AppInstance::acquire(m_dir);
        QVERIFY(holds(result));
        QCOMPARE(modeOf(m_dir), mode_t(0700));
        QCOMPARE(modeOf(m_root.path() + u"/home/Library"_s), mode_t(0700));
        QCOMPARE(modeOf(lockFile()), mode_t(0600));
        QCOMPARE(QFileInfo(lockFile()).size(), 0);
    }

    void existingWiderFolderIsLeftAsItIs()
    {
        QVERIFY(QDir().mkpath(m_dir));
        QVERIFY(::chmod(QFile::encodeName(m_dir).constData(), 0755) == 0);
        QVERIFY(holds(AppInstance::acquire(m_dir)));
        QCOMPARE(modeOf(m_dir), mode_t(0755));
    }

    void secondCopyWouldBlockUntilTheFirstIsReleased()
    {
        auto first = AppInstance::acquire(m_dir);
        QVERIFY(holds(first));
        const int before = openDescriptors();
        QCOMPARE(errorOf(AppInstance::acquire(m_dir)), EWOULDBLOCK);
        QCOMPARE(openDescriptors(), before); // the failed attempt closed its descriptor
        QVERIFY(!lockIsFree(lockFile()));    // another process is kept out too

        first = AppInstance::Error{};
        QVERIFY(lockIsFree(lockFile()));
        QVERIFY(holds(AppInstance::acquire(m_dir)));
    }

    void lockHeldByAnotherProcessWouldBlock()
    {
        QVERIFY(QDir().mkpath(m_dir));
        QProcess holder;
        // -o: flock itself holds the lock, not the command it runs.
        holder.start(u"flock"_s, {u"-o"_s, lockFile(), u"cat"_s}); // cat ends with our pipe
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!lockIsFree(lockFile()), 5000);
        QCOMPARE(errorOf(AppInstance::acquire(m_dir)), EWOULDBLOCK);

        // A copy that died without cleaning up leaves the file, not the lock.
        holder.kill();
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(holds(AppInstance::acquire(m_dir)), 5000);
        QVERIFY(QFile::exists(lockFile()));
    }

    void lockThatIsNotOurRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("symbolic link") << u"symlink"_s << int(ELOOP);
        QTest::newRow("directory") << u"directory"_s << int(EISDIR);
        QTest::newRow("named pipe") << u"fifo"_s << int(EACCES);
        QTest::newRow("another user's file") << u"foreign"_s << int(EACCES);
    }

    void lockThatIsNotOurRegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QVERIFY(QDir().mkpath(m_dir));
        const QByteArray path = QFile::encodeName(lockFile());
        if (kind == u"symlink") {
            const QString target = m_root.path() + u"/elsewhere"_s;
            QVERIFY(QFile::link(target, lockFile()));
            QCOMPARE(errorOf(AppInstance::acquire(m_dir)), code);
            QVERIFY(!QFile::exists(target)); // the link was not followed
            return;
        }
        if (kind == u"directory")
            QVERIFY(QDir().mkdir(lockFile()));
        if (kind == u"fifo")
            QVERIFY(::mkfifo(path.constData(), 0600) == 0);
        if (kind == u"foreign") {
            QFile file(lockFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            if (::getuid() != 0 || ::chown(path.constData(), 65534, 65534) != 0)
                QSKIP("giving a file to another user needs root");
        }
        const int before = openDescriptors();
        QCOMPARE(errorOf(AppInstance::acquire(m_dir)), code);
        QCOMPARE(openDescriptors(), before);
    }

    void folderThatCannotBeCreated()
    {
        QFile blocker(m_root.path() + u"/home"_s);
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where a folder must go
        blocker.close();
        const auto result = AppInstance::acquire(m_dir);
        QCOMPARE(errorOf(result), ENOTDIR);
        QVERIFY(!std::get<AppInstance::Error>(result).description.isEmpty());
        QFile::remove(blocker.fileName());
    }
};

QTEST_GUILESS_MAIN(AppInstanceTest)
#include "tst_AppInstance.moc"
