#include "FakeVpns.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

FakeVpns::FakeVpns()
    : m_port(std::make_unique<NetworkManagerVpns>(QDBusConnection(u"no bus"_s), m_dir.path()))
{}

bool FakeVpns::list(const QStringList& names)
{
    QDir folder(m_dir.path());
    for (const QString& old : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!QDir(folder.filePath(old)).removeRecursively())
            return false;
    }
    for (const QString& name : names) {
        QFile flags(folder.filePath(name) + u"/tun_flags"_s);
        if (!folder.mkdir(name) || !flags.open(QIODevice::WriteOnly) || flags.write("0x1001\n") < 0)
            return false;
    }
    return true;
}
