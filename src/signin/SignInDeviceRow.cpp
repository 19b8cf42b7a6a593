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
    , device_(device)
    , symbol_(new QLabel(this))
    , name_(new TextBlock(TextBlock::Tone::Label, this))
    , platform_(new TextBlock(TextBlock::Tone::Secondary, this))
    , replace_(new QPushButton(u"Заменить"_s, this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(padding, padding, padding, padding);
    row->setSpacing(spacing);
    symbol_->setFixedSize(symbolSize, symbolSize);
    row->addWidget(symbol_, 0, Qt::AlignVCenter);

    auto* lines = new QVBoxLayout;
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(lineSpacing);
    lines->addStretch(1); // the lines centred against the symbol and the button
    name_->setText(device.name);
    lines->addWidget(name_);
    platform_->setText(device.platform);
    platform_->setVisible(!device.platform.isEmpty());
    lines->addWidget(platform_);
    lines->addStretch(1);
    row->addLayout(lines, 1);

    replace_->setAutoDefault(false);
    row->addWidget(replace_, 0, Qt::AlignVCenter);
    connect(replace_, &QPushButton::clicked, this, [this] { Q_EMIT replaceRequested(device_); });

    applyStyle();
}

void SignInDeviceRow::applyStyle()
{
    QFont medium = font();
    medium.setWeight(QFont::Medium);
    name_->setFont(medium);
    platform_->setFont(TextBlock::captionFont(font()));
    symbol_->setPixmap(Symbols::pixmap(u"desktopcomputer"_s, SystemColours::label(palette()),
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
