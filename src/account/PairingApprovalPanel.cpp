#include "account/PairingApprovalPanel.h"

#include "account/AccountForm.h"
#include "account/Pairing.h"
#include "account/PairingApproval.h"
#include "ui/kit/TextStyle.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace AccountForm;

PairingApprovalPanel::PairingApprovalPanel(Pairing& pairing, QWidget* parent)
    : QWidget(parent)
    , m_pairing(pairing)
{
    PairingApproval& approval = pairing.approval();
    auto* stack = panelColumn(this);
    m_title = text(TextBlock::Tone::Label, u"Добавить устройство по QR"_s, this);
    stack->addWidget(m_title);
    m_linkField = field(u"Ссылка из QR нового устройства"_s, this);
    connect(m_linkField, &QLineEdit::textEdited, &approval, &PairingApproval::setApprovalLink);
    stack->addWidget(m_linkField);
    m_approve = button(u"Подтвердить устройство"_s, this);
    connect(m_approve, &QPushButton::clicked, &approval, &PairingApproval::approvePair);
    submits(m_linkField, m_approve);
    stack->addWidget(m_approve, 0, Qt::AlignLeft);
    m_approveNote =
        text(TextBlock::Tone::Label, u"Подтверждайте только устройство рядом с вами."_s, this);
    stack->addWidget(m_approveNote);
    m_createCode = button(u"Добавить устройство по коду"_s, this);
    connect(m_createCode, &QPushButton::clicked, &approval, &PairingApproval::createCode);
    stack->addWidget(m_createCode, 0, Qt::AlignLeft);
    m_code = selectable(this);
    m_code->setObjectName(u"pairing-code"_s);
    stack->addWidget(m_code);
    m_codeNote = text(TextBlock::Tone::Label,
                      u"Введите код на новом устройстве, затем подтвердите здесь. "
                      u"Код действует пять минут."_s,
                      this);
    stack->addWidget(m_codeNote);
    applyStyle();
}

void PairingApprovalPanel::render()
{
    const bool waiting = m_pairing.waiting();
    const PairingApproval& approval = m_pairing.approval();
    showText(m_linkField, approval.approvalLink());
    m_approve->setEnabled(!waiting && !approval.approvalLink().isEmpty());
    m_createCode->setEnabled(!waiting);
    const bool code = approval.codeShown();
    m_code->setText(m_pairing.pairingCode());
    m_code->setVisible(code);
    m_codeNote->setVisible(code);
}

void PairingApprovalPanel::applyStyle()
{
    const QFont body = font();
    m_title->setFont(TextStyle::scaled(body, 13, QFont::DemiBold));
    const QFont caption = TextBlock::captionFont(body);
    m_approveNote->setFont(caption);
    m_codeNote->setFont(caption);
    m_code->setFont(TextStyle::scaled(body, 26, QFont::Normal));
}

void PairingApprovalPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        applyStyle();
    QWidget::changeEvent(event);
}
