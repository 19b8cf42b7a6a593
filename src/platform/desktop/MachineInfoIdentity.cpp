#include "platform/desktop/MachineInfoIdentity.h"

#include <QFile>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace {

// A value of an environment-style file: optionally quoted, with the shell
// escapes \" \\ \$ \` undone.
QString unquote(QByteArray value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        const char quote = value.front();
        value = value.mid(1, value.size() - 2);
        if (quote == '"') {
            QByteArray plain;
            for (qsizetype i = 0; i < value.size(); ++i) {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                plain += value[i];
            }
            value = plain;
        }
    }
    return QString::fromUtf8(value);
}

} // namespace

QString MachineInfoIdentity::nameFrom(const QByteArray& machineInfo, const QString& hostName)
{
    for (const QByteArray& line : machineInfo.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.startsWith("PRETTY_HOSTNAME="))
            continue;
        const QString pretty = unquote(trimmed.mid(16)).trimmed();
        if (!pretty.isEmpty())
            return pretty;
    }
    const QString host = hostName.trimmed();
    return host.isEmpty() || host == u"localhost" ? u"Mac"_s : host;
}

MachineInfoIdentity::MachineInfoIdentity()
{
    QFile file(u"/etc/machine-info"_s);
    const QByteArray info = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    m_name = nameFrom(info, QSysInfo::machineHostName());
}

QString MachineInfoIdentity::platform() const
{
    return u"macOS"_s;
}
