#pragma once

#include <QString>
#include <QTemporaryDir>

// Executable shell scripts in a temporary folder, standing in for the helper
// and the network tool.
class Scripts {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // Writes "#!/bin/sh\n" + `body` to `name`, executable; its full path.
    QString write(const QString& name, const QString& body) const;
    // The lines of a text file in the folder (empty when it does not exist).
    QStringList lines(const QString& name) const;

private:
    QTemporaryDir m_dir;
};
