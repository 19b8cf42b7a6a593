#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Modal alerts, file panels and the file browser. Every method is called on
// the main thread. The modal ones block the caller until the user answers,
// while work handed to the main thread keeps running (a nested event loop),
// and keep ModalDepth raised meanwhile.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // An application-modal alert with `buttons` in order, the first being the
    // default. An empty list gives the single acknowledgement button "ОК".
    // Returns the index of the button chosen, or -1 when the alert was closed
    // without one.
    virtual int alert(const QString& message, const QString& informative,
                      const QStringList& buttons = {}) = 0;

    // A modal save panel starting in `folder` (the panel's own default when
    // empty) with `suggestedName`, showing only files matching `filter`
    // (e.g. "Архив ZIP (*.zip)"). The chosen file's full path, or nothing
    // when cancelled.
    virtual std::optional<QString> savePanel(const QString& title, const QString& suggestedName,
                                             const QString& folder, const QString& filter) = 0;

    // A modal folder chooser. The chosen folder's full path, or nothing.
    virtual std::optional<QString> folderPanel(const QString& title) = 0;

    // Shows the file selected in the user's file browser. Returns at once;
    // failures are silent.
    virtual void reveal(const QString& path) = 0;

    // Brings the application to the front, taking focus from other
    // applications. Returns at once.
    virtual void activateApp() = 0;
};
