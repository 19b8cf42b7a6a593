#include "FakeDialogs.h"

FakeDialogs& FakeDialogs::operator=(FakeDialogs&& fresh) noexcept
{
    calls = std::move(fresh.calls);
    alerts = std::move(fresh.alerts);
    savePanels = std::move(fresh.savePanels);
    folderPanels = std::move(fresh.folderPanels);
    revealed = std::move(fresh.revealed);
    alertAnswers = std::move(fresh.alertAnswers);
    saveAnswer = std::move(fresh.saveAnswer);
    folderAnswer = std::move(fresh.folderAnswer);
    whileAlertOpen = std::move(fresh.whileAlertOpen);
    holdModal(fresh.m_held != nullptr);
    return *this;
}

void FakeDialogs::holdModal(bool held)
{
    if (held && !m_held)
        m_held = std::make_unique<ModalDepth::Scope>(modal);
    else if (!held)
        m_held.reset();
}

int FakeDialogs::alert(const QString& message, const QString& informative,
                       const QStringList& buttons)
{
    calls.append(QStringLiteral("alert"));
    alerts.append({message, informative, buttons});
    if (whileAlertOpen) {
        const Alert shown = alerts.constLast();
        const ModalDepth::Scope open(modal);
        whileAlertOpen(shown);
    }
    if (alertAnswers.empty())
        return 0;
    const int answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

std::optional<QString> FakeDialogs::savePanel(const QString& title, const QString& suggestedName,
                                              const QString& folder, const QString& filter)
{
    calls.append(QStringLiteral("savePanel"));
    savePanels.append({title, suggestedName, folder, filter});
    return saveAnswer;
}

std::optional<QString> FakeDialogs::folderPanel(const QString& title)
{
    calls.append(QStringLiteral("folderPanel"));
    folderPanels.append(title);
    return folderAnswer;
}

void FakeDialogs::reveal(const QString& path)
{
    calls.append(QStringLiteral("reveal"));
    revealed.append(path);
}

void FakeDialogs::activateApp()
{
    calls.append(QStringLiteral("activateApp"));
}
