#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary home folder for one test program. HelperSocket computes its
// socket path once per process from HOME, so construct this before anything
// asks for the path (in initTestCase, or as a member of the test object).
class TestHome {
public:
    TestHome();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // "$HOME/Library/Application Support/Ovrin"
    QString dataDir() const;
    QString socketPath() const;

private:
    QTemporaryDir m_dir;
};
