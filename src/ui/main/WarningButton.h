#pragma once

#include <QAbstractButton>

// The borderless warning button of the main window's top-left corner: the
// orange "exclamationmark.triangle.fill" symbol, 18 points, centred in a
// 30 × 30 square that reacts as a whole. It dims while pressed.
class WarningButton : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WarningButton)

public:
    static constexpr int side = 30;
    static constexpr int symbolSize = 18;

    explicit WarningButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
