#include "account/AccountImportPanel.h"

#include "account/AccountForm.h"
#include "account/Pairing.h"
#include "core/Core.h"

#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace AccountForm;

AccountImportPanel::AccountImportPanel(Core& core, Pairing& pairing, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , m_pairing(pairing)
{
    auto* stack = panelColumn(this);
    m_note = text(TextBlock::Tone::Label,
                  u"Для подключения к центру нужен подписанный список серверов."_s, this);
    stack->addWidget(m_note);
    auto* import = button(u"Импорт списка серверов…"_s, this);
    connect(import, &QPushButton::clicked, this, &AccountImportPanel::importServers);
    stack->addWidget(import, 0, Qt::AlignLeft);
    applyStyle();
}

void AccountImportPanel::importServers()
{
    const QPointer<AccountImportPanel> self(this);
    m_core.importBootstrap([self](std::optional<QString> error) {
        if (self)
            self->m_pairing.setMessage(error.value_or(u"Список проверен."_s));
    });
}

void AccountImportPanel::applyStyle()
{
    m_note->setFont(TextBlock::calloutFont(font()));
}

void AccountImportPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        applyStyle();
    QWidget::changeEvent(event);
}
