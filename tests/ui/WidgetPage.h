#pragma once

// Shared by the widget tests: one widget on an opaque page of a light or a
// dark palette, read back through its pixels.
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>
#include <optional>

// `colour`, alpha included, over an opaque background.
inline QColor over(const QColor& background, const QColor& colour)
{
    const float a = colour.alphaF();
    return QColor::fromRgbF(background.redF() + (colour.redF() - background.redF()) * a,
                            background.greenF() + (colour.greenF() - background.greenF()) * a,
                            background.blueF() + (colour.blueF() - background.blueF()) * a);
}

inline bool near(const QColor& actual, const QColor& expected, int tolerance = 2)
{
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

#define QVERIFY_COLOUR(actual, expected)                                                           \
    QVERIFY2(near(actual, expected),                                                               \
             QByteArray((actual).name().toLatin1() + " != " + (expected).name().toLatin1())        \
                 .constData())

template <typename W>
struct WidgetPage {
    QWidget page;
    W* widget;

    template <typename... Args>
    explicit WidgetPage(bool dark, Args&&... args)
        : widget(new W(std::forward<Args>(args)...))
    {
        QPalette palette;
        if (dark) {
            palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2d));
            palette.setColor(QPalette::WindowText, QColor(0xf2, 0xf2, 0xf2));
            palette.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
        }
        page.setPalette(palette);
        page.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&page);
        layout->addWidget(widget);
        page.resize(std::max(320, page.sizeHint().width()), page.sizeHint().height());
        layout->activate();
    }
    QColor background() const { return page.palette().color(QPalette::Window); }
    QPoint onPage(QPoint at) const { return widget->mapTo(&page, at); }
    QColor pixel(QPoint at) { return page.grab().toImage().pixelColor(onPage(at)); }
    bool show()
    {
        page.show();
        return QTest::qWaitForWindowExposed(&page);
    }
    // Moves the pointer to `at` in the widget, or off it onto the page's corner.
    void pointAt(std::optional<QPoint> at)
    {
        QTest::mouseMove(page.windowHandle(), at ? onPage(*at) : QPoint(1, 1));
    }
};
