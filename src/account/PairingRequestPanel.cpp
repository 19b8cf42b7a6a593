#include "account/PairingRequestPanel.h"

#include "account/AccountForm.h"
#include "account/Pairing.h"
#include "account/PairingRequest.h"
#include "account/WrappedText.h"
#include "ui/kit/Graphemes.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace AccountForm;

namespace {

constexpr int qrSide = 180;

} // namespace

PairingRequestPanel::PairingRequestPanel(Pairing& pairing, QWidget* parent)
    : QWidget(parent)
    , m_pairing(pairing)
{
    auto* stack = panelColumn(this);
    m_create = button(u"Войти с другого устройства по QR"_s, this);
    connect(m_create, &QPushButton::clicked, &pairing.request(), &PairingRequest::createPair);
    stack->addWidget(m_create, 0, Qt::AlignLeft);

    m_qrGroup = new QWidget(this);
    auto* group = column(m_qrGroup);
    m_qrImage = new QLabel(m_qrGroup);
    m_qrImage->setObjectName(u"pair-qr"_s);
    m_qrImage->setFixedSize(qrSide, qrSide);
    // Stretched without smoothing, so that the modules stay sharp.
    m_qrImage->setScaledContents(false);
    group->addWidget(m_qrImage, 0, Qt::AlignLeft);
    m_qrHint = text(TextBlock::Tone::Label,
                    u"Отсканируйте QR устройством, где вход уже выполнен."_s, m_qrGroup);
    group->addWidget(m_qrHint);
    m_link = new WrappedText(m_qrGroup);
    m_link->setObjectName(u"pair-link"_s);
    group->addWidget(m_link);
    m_codeField = field(u"Код со старого устройства"_s, m_qrGroup);
    connect(m_codeField, &QLineEdit::textEdited, &pairing, &Pairing::setPairingCode);
    group->addWidget(m_codeField);
    m_claim = button(u"Отправить код на подтверждение"_s, m_qrGroup);
    connect(m_claim, &QPushButton::clicked, &pairing.request(), &PairingRequest::claimCode);
    submits(m_codeField, m_claim);
    group->addWidget(m_claim, 0, Qt::AlignLeft);
    stack->addWidget(m_qrGroup);
    applyStyle();
}

void PairingRequestPanel::render(bool shown)
{
    const bool waiting = m_pairing.waiting();
    m_create->setEnabled(!waiting);
    const bool qr = shown && m_pairing.request().qrShown();
    m_qrGroup->setVisible(qr);
    if (qr)
        renderQr();
    showText(m_codeField, m_pairing.pairingCode());
    m_claim->setEnabled(!waiting && graphemeCount(m_pairing.pairingCode()) == codeLength);
}

void PairingRequestPanel::renderQr()
{
    const qreal ratio = devicePixelRatioF();
    const QString& link = m_pairing.request().pairLink();
    if (link == m_qrShownFor && qFuzzyCompare(m_qrImage->pixmap().devicePixelRatio(), ratio))
        return;
    m_qrShownFor = link;
    const int side = qRound(qrSide * ratio);
    QPixmap pixmap = QPixmap::fromImage(m_pairing.request().pairQr().scaled(
        side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    pixmap.setDevicePixelRatio(ratio);
    m_qrImage->setPixmap(pixmap);
    m_link->setText(link);
}

void PairingRequestPanel::applyStyle()
{
    const QFont caption = TextBlock::captionFont(font());
    m_qrHint->setFont(caption);
    // Caption 2 is the caption's size on the platform the sizes follow.
    m_link->setFont(caption);
}

void PairingRequestPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        applyStyle();
    QWidget::changeEvent(event);
}
