#include "account/AccountCommandsPanel.h"

#include "account/AccountForm.h"
#include "account/Pairing.h"
#include "core/Core.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace AccountForm;

AccountCommandsPanel::AccountCommandsPanel(Core& core, Pairing& pairing, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , m_pairing(pairing)
{
    auto* stack = panelColumn(this);
    m_device = selectable(this);
    m_device->setObjectName(u"device-id"_s);
    stack->addWidget(m_device);
    m_logout = command(u"Выйти из аккаунта и отключить VPN"_s, u"/account/logout"_s);
    stack->addWidget(m_logout, 0, Qt::AlignLeft);
    m_apply = command(u"Применить серверы из центра"_s, u"/account/apply"_s);
    stack->addWidget(m_apply, 0, Qt::AlignLeft);
    m_applyNote = text(TextBlock::Tone::Label,
                       u"Отключите соединение перед применением новых серверов."_s, this);
    stack->addWidget(m_applyNote);
    m_refresh = command(u"Обновить профиль"_s, u"/account/refresh"_s);
    stack->addWidget(m_refresh, 0, Qt::AlignLeft);
    applyStyle();
}

QPushButton* AccountCommandsPanel::command(const QString& title, const QString& path)
{
    QPushButton* pressed = button(title, this);
    connect(pressed, &QPushButton::clicked, this, [this, path] { Q_EMIT commandChosen(path); });
    return pressed;
}

void AccountCommandsPanel::render()
{
    const bool waiting = m_pairing.waiting();
    m_device->setText(u"Устройство: "_s + m_core.account().device_id);
    m_logout->setEnabled(!waiting);
    const bool running = m_core.status().running;
    m_apply->setEnabled(!waiting && !running);
    m_applyNote->setVisible(running);
    m_refresh->setEnabled(!waiting);
}

void AccountCommandsPanel::applyStyle()
{
    const QFont caption = TextBlock::captionFont(font());
    m_device->setFont(caption);
    m_applyNote->setFont(caption);
}

void AccountCommandsPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        applyStyle();
    QWidget::changeEvent(event);
}
