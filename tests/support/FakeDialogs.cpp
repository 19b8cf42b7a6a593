#include "FakeDialogs.h"

void FakeDialogs::holdModal(bool held)
{
    if (held && !m_held)
        m_held = std::make_unique<ModalDepth::Scope>();
    else if (!held)
        m_held.reset();
}

int FakeDialogs::alert(const QString& message, const QString& informative,
                       const QStringList& buttons)
{
    calls.append(QStringLiteral("alert"));
    alerts.append({message, informative, buttons});
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
