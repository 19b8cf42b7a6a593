#pragma once

#include <QTextEdit>

// Plain text that the user can select and copy, wrapped to the widget's
// width anywhere, not only between words: a link or an identifier with no
// break opportunity must not widen its window. As tall as its text.
class WrappedText : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WrappedText)

public:
    explicit WrappedText(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    void setText(const QString& text);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
};
