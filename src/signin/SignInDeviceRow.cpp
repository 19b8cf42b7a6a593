#include "signin/SignInDeviceRow.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int padding = 12;
constexpr int spacing = 12;
constexpr int lineSpacing = 3;
constexpr int symbolSize = 22;
constexpr qreal cornerRadius = 10;

} // namespace

SignInDeviceRow::SignInDeviceRow(const SignInDevice& device, QWidget* parent)
    : QWidget(parent)
    , m_device(device)
    , m_symbol(new QLabel(this))
    , m_name(new TextBlock(TextBlock::Tone::Label, this))
    , m_platform(new TextBlock(TextBlock::Tone::Secondary, this))
    , m_replace(new QPushButton(u"Заменить"_s, this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(padding, padding, padding, padding);
    row->setSpacing(spacing);
    m_symbol->setFixedSize(symbolSize, symbolSize);
    row->addWidget(m_symbol, 0, Qt::AlignVCenter);

    auto* lines = new QVBoxLayout;
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(lineSpacing);
    lines->addStretch(1); // the lines centred against the symbol and the button
    m_name->setText(device.name);
    lines->addWidget(m_name);
    m_platform->setText(device.platform);
    m_platform->setVisible(!device.platform.isEmpty());
    lines->addWidget(m_platform);
    lines->addStretch(1);
    row->addLayout(lines, 1);

    m_replace->setAutoDefault(false);
    row->addWidget(m_replace, 0, Qt::AlignVCenter);
    connect(m_replace, &QPushButton::clicked, this, [this] { Q_EMIT replaceRequested(m_device); });

    applyStyle();
}

void SignInDeviceRow::applyStyle()
{
    QFont medium = font();
    medium.setWeight(QFont::Medium);
    m_name->setFont(medium);
    m_platform->setFont(TextBlock::captionFont(font()));
    m_symbol->setPixmap(Symbols::pixmap(u"desktopcomputer"_s, SystemColours::label(palette()),
                                        symbolSize, devicePixelRatioF()));
}

void SignInDeviceRow::paintEvent(QPaintEvent*)
{
    // The platform's quaternary fill at half opacity.
    const bool dark = SystemColours::isDark(palette());
    const QColor fill = dark ? QColor(118, 118, 128, 46) : QColor(116, 116, 128, 20);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(SystemColours::faded(fill, 0.5));
    painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
}

void SignInDeviceRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        applyStyle();
    QWidget::changeEvent(event);
}
