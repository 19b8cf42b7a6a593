#pragma once

#include "platform/Dialogs.h"
#include "platform/ModalDepth.h"

#include <QList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Dialogs that record every call and answer from a script, at once.
class FakeDialogs final : public Dialogs {
public:
    FakeDialogs() = default;
    // Starts over with `fresh`'s records and script. The modal depth stays:
    // a Core under test holds it.
    FakeDialogs& operator=(FakeDialogs&& fresh) noexcept;

    struct Alert {
        QString message;
        QString informative;
        QStringList buttons;
    };
    struct SavePanel {
        QString title;
        QString suggestedName;
        QString folder;
        QString filter;
    };

    // Every call's name in order: "alert", "savePanel", "folderPanel",
    // "reveal", "activateApp".
    QStringList calls;
    QList<Alert> alerts;
    QList<SavePanel> savePanels;
    QStringList folderPanels;
    QStringList revealed;

    // Answers to the next alerts, in order; 0 (the first button) after.
    std::deque<int> alertAnswers;
    std::optional<QString> saveAnswer;
    std::optional<QString> folderAnswer;
    // Runs while an alert is open, before it is answered, with `modal`
    // raised: what happens under an open alert (a tick, a picture of it).
    std::function<void(const Alert&)> whileAlertOpen;

    // The depth the application's dialogs would raise; fakePorts gives it
    // to the Core.
    ModalDepth modal;
    // Keeps `modal` raised, as an open alert or menu would.
    void holdModal(bool held);

    int alert(const QString& message, const QString& informative,
              const QStringList& buttons = {}) override;
    std::optional<QString> savePanel(const QString& title, const QString& suggestedName,
                                     const QString& folder, const QString& filter) override;
    std::optional<QString> folderPanel(const QString& title) override;
    void reveal(const QString& path) override;
    void activateApp() override;

private:
    std::unique_ptr<ModalDepth::Scope> m_held;
};
