// Renders every main-window widget in each of its looks, in a light and a
// dark palette, to PNG files for a visual check. Not a test: run it by hand.
//   ui_widget_preview [OUTPUT_FOLDER] [SCALE]   (defaults /tmp/ovrin-widgets, 1)
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelRow.h"
#include "ui/main/Metric.h"
#include "ui/main/MoreDots.h"
#include "ui/main/PowerButton.h"
#include "ui/main/Symbols.h"
#include "ui/main/SystemColours.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2d);
    const QColor text(0xf2, 0xf2, 0xf2);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void hover(QWidget* widget)
{
    const QPointF centre = QRectF(widget->rect()).center();
    QEnterEvent enter(centre, widget->mapTo(widget->window(), centre), widget->mapToGlobal(centre));
    QCoreApplication::sendEvent(widget, &enter);
}

QLabel* caption(const QString& text)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPixelSize(10);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

struct Look {
    QString name;
    bool on, verified, stalled, busy, hovered;
};

QWidget* sheet(const QPalette& palette)
{
    auto* page = new QWidget;
    page->setPalette(palette);
    page->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(14);

    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(0);
    const QList<Look> looks = {
        {u"выкл."_s, false, false, false, false, false},
        {u"проверка"_s, true, false, false, false, false},
        {u"подключено"_s, true, true, false, false, false},
        {u"мимо"_s, true, true, true, false, false},
        {u"занят"_s, false, false, false, true, false},
        {u"проверка, занят"_s, true, false, false, true, false},
        {u"наведение"_s, true, true, false, false, true},
        {u"выкл., наведение"_s, false, false, false, false, true},
    };
    for (int i = 0; i < looks.size(); ++i) {
        const Look& look = looks[i];
        auto* button = new PowerButton;
        button->setState(look.on, look.verified, look.stalled, look.busy);
        button->setProperty("hovered", look.hovered);
        buttons->addWidget(button, (i / 4) * 2, i % 4, Qt::AlignCenter);
        buttons->addWidget(caption(look.name), (i / 4) * 2 + 1, i % 4);
    }
    column->addLayout(buttons);

    auto* list = new QVBoxLayout;
    list->setSpacing(2);
    struct RowLook {
        QString name;
        bool active, selected, live, waiting, hovered;
    };
    const QList<RowLook> rows = {
        {u"Амстердам"_s, false, false, false, true, false},
        {u"Франкфурт UDP (ожидание)"_s, true, true, false, true, false},
        {u"Хельсинки TCP (сообщение)"_s, true, false, false, false, false},
        {u"Стокгольм (живой)"_s, true, false, true, true, false},
        {u"Варшава (наведение)"_s, false, false, false, true, true},
        {u"Очень длинное название канала, которое не помещается в строку целиком"_s, false, false,
         false, true, false},
    };
    for (const RowLook& look : rows) {
        auto* row = new ChannelRow;
        row->set(look.name, look.active, look.selected, look.live, look.waiting);
        new ChannelClickArea(row);
        row->setProperty("hovered", look.hovered);
        list->addWidget(row);
    }
    column->addLayout(list);

    auto* metrics = new QHBoxLayout;
    metrics->setSpacing(10);
    auto* latency = new Metric(u"отклик, мс"_s, 74, u"Время до первого ответа"_s);
    auto* down = new Metric(u"приём, Мбит/с"_s, 86, u"Входящий"_s);
    auto* up = new Metric(u"отдача, Мбит/с"_s, 86, u"Исходящий"_s);
    auto* peak = new Metric(u"пик, Мбит/с"_s, 78, u"Лучшая"_s);
    latency->setValue(Metric::latencyText(0));
    down->setValue(Metric::rateText(0));
    up->setValue(Metric::rateText(2'540'000));
    peak->setValue(Metric::peakText(0));
    for (Metric* m : {latency, down, up, peak})
        metrics->addWidget(m);
    metrics->addStretch();
    column->addLayout(metrics);

    auto* metrics2 = new QHBoxLayout;
    metrics2->setSpacing(10);
    const QList<QString> values = {Metric::latencyText(148), Metric::rateText(48'300'000),
                                   Metric::rateText(650'000), Metric::peakText(61'000'000)};
    const QList<QPair<QString, int>> cells = {{u"отклик, мс"_s, 74},
                                              {u"приём, Мбит/с"_s, 86},
                                              {u"отдача, Мбит/с"_s, 86},
                                              {u"пик, Мбит/с"_s, 78}};
    for (int i = 0; i < cells.size(); ++i) {
        auto* m = new Metric(cells[i].first, cells[i].second, QString());
        m->setValue(values[i]);
        metrics2->addWidget(m);
    }
    metrics2->addStretch();
    column->addLayout(metrics2);

    auto* faces = new QHBoxLayout;
    faces->setSpacing(12);
    auto* dots = new MoreDots;
    auto* hoveredDots = new MoreDots;
    hoveredDots->setProperty("hovered", true);
    faces->addWidget(dots);
    faces->addWidget(hoveredDots);
    faces->addStretch();
    column->addLayout(faces);

    auto* symbols = new QGridLayout;
    symbols->setSpacing(10);
    const QList<QColor> tints = {SystemColours::orange(palette), SystemColours::label(palette),
                                 SystemColours::secondaryLabel(palette)};
    const QStringList names = Symbols::names();
    const QList<int> sizes = {16, 18, 20, 28, 48};
    for (int r = 0; r < sizes.size(); ++r) {
        for (int c = 0; c < names.size(); ++c) {
            auto* icon = new QLabel;
            icon->setPixmap(Symbols::pixmap(names[c], tints[c % tints.size()], sizes[r],
                                            page->devicePixelRatioF()));
            symbols->addWidget(icon, r, c, Qt::AlignCenter);
        }
    }
    column->addLayout(symbols);
    page->setFixedWidth(432 + 140);
    return page;
}

} // namespace

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"/tmp/ovrin-widgets"_s;
    const QByteArray scale = argc > 2 ? QByteArray(argv[2]) : QByteArray("1");
    qputenv("QT_SCALE_FACTOR", scale);
    QApplication app(argc, argv);
    QDir().mkpath(folder);

    const QList<QPair<QString, QPalette>> palettes = {{u"light"_s, QApplication::palette()},
                                                      {u"dark"_s, darkPalette()}};
    for (const auto& [name, palette] : palettes) {
        QWidget* page = sheet(palette);
        page->show();
        wait(50);
        for (QWidget* widget : page->findChildren<QWidget*>())
            if (widget->property("hovered").toBool())
                hover(widget);
        wait(700);
        const QString suffix =
            scale == "1" ? QString() : u"@"_s + QString::fromLatin1(scale) + u"x"_s;
        const QString path = folder + u"/"_s + name + suffix + u".png"_s;
        const QPixmap picture = page->grab();
        // A 4x nearest-neighbour enlargement of the top left corner, to judge pixel sharpness.
        const QRect corner(0, 0, picture.width() / 2, picture.height() / 5);
        picture.copy(corner)
            .scaled(corner.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation)
            .save(folder + u"/"_s + name + suffix + u"-zoom.png"_s);
        if (!picture.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
        delete page;
    }
    return 0;
}
