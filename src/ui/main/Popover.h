#pragma once

#include <QPointer>
#include <QWidget>

class TextBlock;

// A small transient window that explains something: text in the callout
// style, padded 14 points, 290 points wide, with an arrow pointing at the
// control it belongs to. It closes itself on a press anywhere outside; a
// press on its own control closes it without reaching the control.
class Popover : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Popover)

public:
    static constexpr int popoverWidth = 290;
    static constexpr int padding = 14;
    static constexpr int arrowHeight = 8;

    explicit Popover(QWidget* parent);

    QString text() const;
    void setText(const QString& text);
    TextBlock* label() const { return m_label; }

    // Opens under `anchor`, the arrow pointing at the middle of its bottom
    // edge, inside the anchor's window where it fits.
    void open(QWidget* anchor);
    QWidget* anchor() const { return m_anchor; }
    // The arrow's tip, in this widget's coordinates.
    QPoint arrowTip() const { return {m_arrowX, 0}; }

Q_SIGNALS:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The outline, `inset` inside the widget's edges.
    QPainterPath shape(qreal inset) const;
    void place();

    TextBlock* m_label;
    QPointer<QWidget> m_anchor;
    int m_arrowX = popoverWidth / 2;
};
