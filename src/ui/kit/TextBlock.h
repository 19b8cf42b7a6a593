#pragma once

#include <QString>
#include <QTextLayout>
#include <QWidget>

// A block of plain text in one of the window's label tones, wrapped at word
// boundaries to the widget's width. With a line limit, the last line shown
// ends in "…" when the text runs longer (the whole text, plain as well, is
// then the tooltip). Its opacity may be 0: it then keeps its place and draws
// nothing.
class TextBlock : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextBlock)

public:
    enum class Tone { Label, Secondary, Orange };

    explicit TextBlock(Tone tone, QWidget* parent = nullptr);

    // The platform's caption and callout text styles for a window whose body
    // text is `body` (macOS: 10 and 12 points against 13).
    static QFont captionFont(const QFont& body);
    static QFont calloutFont(const QFont& body);
    // A tooltip that shows `text` as it is: a tooltip that looks like markup
    // is otherwise drawn as rich text (tags, entities, links).
    static QString plainToolTip(const QString& text);

    QString text() const { return m_text; }
    void setText(const QString& text);
    // 0: no limit.
    void setMaxLines(int lines);
    void setAlignment(Qt::Alignment alignment);
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);

    // As laid out at the current width.
    int lineCount() const;
    bool isTruncated() const;
    // The colour the text is drawn in now, opacity included.
    QColor colour() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Lines {
        int count = 0;    // lines shown
        bool cut = false; // more text than lines shown
        int height = 0;   // of the lines shown
    };
    Lines measure(int width) const;
    void textChanged();

    Tone m_tone;
    QString m_text;
    QString m_flowed;
    int m_maxLines = 0;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    qreal m_opacity = 1;
};
