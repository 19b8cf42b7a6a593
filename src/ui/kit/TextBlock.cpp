#include "ui/kit/TextBlock.h"

#include "ui/kit/SystemColours.h"

#include <QEvent>
#include <QPainter>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Never below what stays readable on a screen of 96 dots per inch.
constexpr int smallestPixels = 10;
constexpr qreal smallestPoints = 7.5;

QFont scaled(const QFont& body, qreal factor)
{
    QFont font = body;
    if (body.pixelSize() > 0)
        font.setPixelSize(std::max(smallestPixels, int(std::lround(body.pixelSize() * factor))));
    else
        font.setPointSizeF(std::max(smallestPoints, body.pointSizeF() * factor));
    return font;
}

// Lines of `text` wrapped to `width`, at most `maxLines` of them (0: all).
// Calls `line` with each shown line's text start, length and rectangle.
template <typename Visit>
void layOut(const QString& text, const QFont& font, int width, int maxLines, Visit line,
            bool* cut = nullptr)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal y = 0;
    int count = 0;
    bool more = false;
    for (QTextLine next = layout.createLine(); next.isValid(); next = layout.createLine()) {
        if (maxLines > 0 && count == maxLines) {
            more = true;
            break;
        }
        next.setLineWidth(width);
        next.setPosition(QPointF(0, y));
        line(next.textStart(), next.textLength(),
             QRectF(0, y, width, next.height()).toAlignedRect());
        y += next.height();
        ++count;
    }
    layout.endLayout();
    if (cut)
        *cut = more;
}

} // namespace

QString TextBlock::plainToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return u"<p style='white-space:pre-wrap'>"_s + text.toHtmlEscaped() + u"</p>"_s;
}

TextBlock::TextBlock(Tone tone, QWidget* parent)
    : QWidget(parent)
    , m_tone(tone)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QFont TextBlock::captionFont(const QFont& body)
{
    return scaled(body, 10.0 / 13.0);
}

QFont TextBlock::calloutFont(const QFont& body)
{
    return scaled(body, 12.0 / 13.0);
}

void TextBlock::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    // QTextLayout breaks lines at U+2028 only.
    m_flowed = QString(text).replace(u'\n', QChar::LineSeparator);
    setAccessibleName(text);
    textChanged();
}

void TextBlock::setMaxLines(int lines)
{
    if (lines == m_maxLines)
        return;
    m_maxLines = lines;
    textChanged();
}

void TextBlock::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TextBlock::setOpacity(qreal opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

TextBlock::Lines TextBlock::measure(int width) const
{
    Lines result;
    if (m_text.isEmpty() || width <= 0)
        return result;
    layOut(
        m_flowed, font(), width, m_maxLines,
        [&](int, int, const QRect& rect) {
            ++result.count;
            result.height = rect.bottom() + 1;
        },
        &result.cut);
    return result;
}

int TextBlock::lineCount() const
{
    return measure(width()).count;
}

bool TextBlock::isTruncated() const
{
    return measure(width()).cut;
}

QColor TextBlock::colour() const
{
    QColor base;
    switch (m_tone) {
    case Tone::Label:
        base = SystemColours::label(palette());
        break;
    case Tone::Secondary:
        base = SystemColours::secondaryLabel(palette());
        break;
    case Tone::Orange:
        base = SystemColours::orange(palette());
        break;
    }
    return SystemColours::faded(base, m_opacity);
}

int TextBlock::heightForWidth(int width) const
{
    return std::max(measure(width).height, fontMetrics().height());
}

QSize TextBlock::sizeHint() const
{
    // As wide as the text on one line; the layout narrows it and asks for the height.
    const int width = fontMetrics().horizontalAdvance(m_text) + 1;
    return {width, heightForWidth(width)};
}

QSize TextBlock::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void TextBlock::paintEvent(QPaintEvent*)
{
    const QColor pen = colour();
    if (pen.alpha() == 0 || m_text.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(pen);
    const QFontMetrics metrics = fontMetrics();
    const Lines lines = measure(width());
    int index = 0;
    layOut(m_flowed, font(), width(), m_maxLines, [&](int start, int length, const QRect& rect) {
        ++index;
        const QString line =
            index == lines.count && lines.cut
                ? metrics.elidedText(m_flowed.mid(start).replace(QChar::LineSeparator, u' '),
                                     Qt::ElideRight, width())
                : m_flowed.mid(start, length).trimmed();
        painter.drawText(rect, int(m_alignment | Qt::AlignVCenter), line);
    });
}

void TextBlock::resizeEvent(QResizeEvent* event)
{
    setToolTip(isTruncated() ? plainToolTip(m_text) : QString());
    QWidget::resizeEvent(event);
}

void TextBlock::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        textChanged();
    QWidget::changeEvent(event);
}

void TextBlock::textChanged()
{
    setToolTip(isTruncated() ? plainToolTip(m_text) : QString());
    updateGeometry();
    update();
}
