#pragma once

#include <QVariantAnimation>
#include <QWidget>

// A small indeterminate progress spinner: an arc turning once a second
// while the widget is shown.
class BusyIndicator : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BusyIndicator)

public:
    explicit BusyIndicator(int size, QWidget* parent = nullptr);

    bool isSpinning() const { return m_turn.state() == QAbstractAnimation::Running; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_size;
    QVariantAnimation m_turn;
};
