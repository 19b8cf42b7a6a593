#include "platform/ResourceFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

std::optional<QString> ResourceFolder::find()
{
    const QFileInfo folder(QCoreApplication::applicationDirPath() + u"/../lib/ovrin"_s);
    if (!folder.isDir())
        return std::nullopt;
    return QDir::cleanPath(folder.absoluteFilePath());
}
