#include "Scripts.h"

#include <QFile>

using namespace Qt::StringLiterals;

QString Scripts::write(const QString& name, const QString& body) const
{
    const QString file = m_dir.filePath(name);
    QFile script(file);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    script.write((u"#!/bin/sh\n"_s + body).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file;
}

QStringList Scripts::lines(const QString& name) const
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList result = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}
