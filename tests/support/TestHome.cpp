#include "TestHome.h"

#include <QDir>

TestHome::TestHome()
    : m_dir(QDir::tempPath() + QStringLiteral("/ovrin-XXXXXX"))
{
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    QDir().mkpath(dataDir());
}

QString TestHome::dataDir() const
{
    return m_dir.path() + QStringLiteral("/Library/Application Support/Ovrin");
}

QString TestHome::socketPath() const
{
    return dataDir() + QStringLiteral("/control.sock");
}
