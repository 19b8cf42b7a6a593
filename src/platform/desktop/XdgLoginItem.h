#pragma once

#include "platform/LoginItem.h"

// The XDG autostart entry "org.ovrin.menubarapp.desktop" in the user's
// autostart folder. Enabled exactly when our entry is present, is a valid
// application entry, and is not hidden.
class XdgLoginItem final : public LoginItem {
public:
    // The entry in `autostartFolder` that starts `executable`.
    XdgLoginItem(QString autostartFolder, QString executable);
    // $XDG_CONFIG_HOME/autostart (~/.config/autostart when unset or relative)
    // and the running program. Needs the QCoreApplication.
    XdgLoginItem();

    static QString defaultFolder();
    QString entryPath() const;

    bool isEnabled() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    // The Exec value that starts `program` with no arguments, quoted by the
    // freedesktop desktop-entry rules; nothing when the path holds a control
    // character, which an entry cannot carry.
    static std::optional<QString> execValue(const QString& program);

private:
    QString m_folder;
    QString m_executable;
};
