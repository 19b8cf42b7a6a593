#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class HoverAnimation;

// One channel of the main list: a status dot, the name, and a highlight for
// the selected row (or a faint one under the pointer) clipped to a rounded
// rectangle. It only draws; clicks are caught by a ChannelClickArea laid over
// it. Rows are meant to be kept and updated with set() on every re-render.
class ChannelRow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelRow)

public:
    explicit ChannelRow(QWidget* parent = nullptr);

    // `active`: the tunnel runs on this channel; `selected`: the row is the
    // power button's target; `live`: the tunnel runs, is verified and holds the
    // route; `waiting`: the helper has no message. Repaints only on a change.
    void set(const QString& name, bool active, bool selected, bool live, bool waiting);

    QString name() const { return m_name; }
    bool isSelected() const { return m_selected; }
    bool isHovered() const;

    // The dot's colour for these inputs, first rule that applies: not active,
    // faint; live, green; waiting, grey; otherwise orange.
    static QColor dotColour(const QPalette& palette, bool active, bool live, bool waiting);
    QColor dotColour() const;

    // The background as painted now (hover fades in and out).
    QColor background() const;

    // The height of every row in a font of these metrics: one line, padded.
    static int heightFor(const QFontMetrics& metrics);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_name;
    bool m_active = false;
    bool m_selected = false;
    bool m_live = false;
    bool m_waiting = true;
    HoverAnimation* m_hover;
};
