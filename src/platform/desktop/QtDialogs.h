#pragma once

#include "platform/Dialogs.h"

#include <QDBusConnection>
#include <QList>

class QAbstractButton;
class QMessageBox;

class ModalDepth;

// Dialogs on Qt Widgets: QMessageBox and QFileDialog, application-modal;
// reveal through the file manager's D-Bus interface
// (org.freedesktop.FileManager1.ShowItems), falling back to opening the
// file's folder with the desktop's default handler. `modal` is raised while
// an alert or panel is open; it must outlive the dialogs.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(ModalDepth& modal, QDBusConnection bus = QDBusConnection::sessionBus());

    int alert(const QString& message, const QString& informative,
              const QStringList& buttons = {}) override;
    std::optional<QString> savePanel(const QString& title, const QString& suggestedName,
                                     const QString& folder, const QString& filter) override;
    std::optional<QString> folderPanel(const QString& title) override;
    void reveal(const QString& path) override;
    void activateApp() override;

    // Fills `box` as every alert looks: plain texts, the first button the
    // default, the last one Escape's. Returns the buttons in the given order.
    static QList<QAbstractButton*> composeAlert(QMessageBox& box, const QString& message,
                                                const QString& informative,
                                                const QStringList& buttons);

    // `path` with ".`suffix`" appended unless it already ends so (in any
    // case): the save panel writes only the suggested type.
    static QString withSuffix(const QString& path, const QString& suffix);

private:
    ModalDepth& m_modal;
    QDBusConnection m_bus;
};
