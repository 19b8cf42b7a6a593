#include "ShotKit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <tuple>

using namespace Qt::StringLiterals;

QPalette ShotKit::darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2d);
    const QColor text(0xf2, 0xf2, 0xf2);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    p.setColor(QPalette::AlternateBase, QColor(0x32, 0x32, 0x34));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x48, 0x48, 0x4b));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Light, QColor(0x5a, 0x5a, 0x5d));
    p.setColor(QPalette::Midlight, QColor(0x45, 0x45, 0x48));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x32));
    p.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1c));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x7a, 0x7a, 0x7e));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    // Disabled text is not etched in a dark theme.
    p.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    return p;
}

void ShotKit::wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ShotKit::waitFor(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QString ShotKit::prepare(int argc, char** argv)
{
    QApplication::setStyle(u"Fusion"_s);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"build/screenshots"_s;
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return {};
    }
    return folder;
}

void ShotKit::eachTheme(const std::function<void(const QString& theme)>& pictures)
{
    // A plain desktop behind the window, so the margin around it is not black.
    QWidget desktop(nullptr, Qt::FramelessWindowHint);
    desktop.setAutoFillBackground(true);
    desktop.setGeometry(QApplication::primaryScreen()->geometry());
    for (const auto& [theme, palette, backdrop] :
         {std::tuple{u"light"_s, QApplication::style()->standardPalette(),
                     QColor(0xc9, 0xd3, 0xde)},
          std::tuple{u"dark"_s, darkPalette(), QColor(0x16, 0x1a, 0x22)}}) {
        QApplication::setPalette(palette);
        QPalette behind = desktop.palette();
        behind.setColor(QPalette::Window, backdrop);
        desktop.setPalette(behind);
        desktop.show();
        pictures(theme);
    }
}

void ShotKit::Report::operator()(bool ok, const QString& path)
{
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    m_failed += ok ? 0 : 1;
}
