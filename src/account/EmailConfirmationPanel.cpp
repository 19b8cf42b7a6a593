#include "account/EmailConfirmationPanel.h"

#include "account/AccountForm.h"
#include "account/Pairing.h"
#include "core/Core.h"
#include "link/JsonReader.h"
#include "ui/kit/Graphemes.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace AccountForm;

EmailConfirmationPanel::EmailConfirmationPanel(Core& core, Pairing& pairing, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , m_pairing(pairing)
{
    auto* stack = panelColumn(this);
    m_emailField = field(u"Почта"_s, this);
    m_emailField->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    connect(m_emailField, &QLineEdit::textEdited, this, [this](const QString& value) {
        m_email = value;
        render();
    });
    stack->addWidget(m_emailField);
    m_requestCode = button(u"Получить код подтверждения"_s, this);
    connect(m_requestCode, &QPushButton::clicked, this, &EmailConfirmationPanel::requestCode);
    submits(m_emailField, m_requestCode);
    stack->addWidget(m_requestCode, 0, Qt::AlignLeft);
    m_codeField = field(u"Код из письма"_s, this);
    m_codeField->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    connect(m_codeField, &QLineEdit::textEdited, this, [this](const QString& value) {
        m_code = value;
        render();
    });
    stack->addWidget(m_codeField);
    m_confirm = button(u"Подтвердить почту кодом"_s, this);
    connect(m_confirm, &QPushButton::clicked, this, &EmailConfirmationPanel::confirm);
    submits(m_codeField, m_confirm);
    stack->addWidget(m_confirm, 0, Qt::AlignLeft);
}

void EmailConfirmationPanel::begin()
{
    m_active = true;
    render();
}

void EmailConfirmationPanel::render()
{
    const bool waiting = m_pairing.waiting();
    setVisible(m_active);
    showText(m_emailField, m_email);
    m_requestCode->setEnabled(!waiting && !m_email.isEmpty());
    m_codeField->setVisible(!m_challenge.isEmpty());
    m_confirm->setVisible(!m_challenge.isEmpty());
    showText(m_codeField, m_code);
    m_confirm->setEnabled(!waiting && graphemeCount(m_code) == codeLength);
}

void EmailConfirmationPanel::requestCode()
{
    m_pairing.setWaiting(true);
    const QPointer<EmailConfirmationPanel> self(this);
    m_core.accountRequest(u"/account/auth/request"_s, {{u"email"_s, m_email}},
                          [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                              if (!self)
                                  return;
                              // A refusal's identifier could only lead to a code
                              // nobody sent: a failure leaves no challenge.
                              const auto challenge =
                                  error ? std::nullopt
                                        : JsonReader::stringAt(json, u"challenge_id");
                              self->m_challenge = challenge.value_or(QString());
                              self->m_pairing.finish(error.value_or(u"Введите код из письма."_s));
                              self->render();
                          });
}

void EmailConfirmationPanel::confirm()
{
    m_pairing.setWaiting(true);
    const QPointer<EmailConfirmationPanel> self(this);
    m_core.accountRequest(u"/account/auth/verify"_s,
                          {{u"challenge_id"_s, m_challenge}, {u"code"_s, m_code}},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              if (!error)
                                  self->m_active = false;
                              self->m_pairing.finish(error.value_or(u"Почта подтверждена."_s));
                              self->render();
                          });
}
