#pragma once

#include <QString>
#include <QWidget>

// One cell of the metrics row: a small one-line title above a number in
// monospaced digits, in a cell of fixed width, with a tooltip over the whole
// cell. The value arrives formatted; the formatters below give the texts of
// the main window's cells.
class Metric : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Metric)

public:
    Metric(const QString& title, int width, const QString& hint, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    QString value() const { return m_value; }
    void setValue(const QString& value);

    // "—", the value of a quantity that has not been measured.
    static QString placeholder();
    // Milliseconds as a decimal integer; the placeholder below 1.
    static QString latencyText(qint64 ms);
    // A current rate in Mbit/s, formatted also when it is 0.
    static QString rateText(qint64 bps);
    // The best rate in Mbit/s; the placeholder below 1.
    static QString peakText(qint64 bps);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QFont titleFont() const;
    QFont valueFont() const;

    QString m_title;
    QString m_value;
    int m_width;
};
