#include "ui/main/MainView.h"

#include "core/Core.h"
#include "ui/kit/TextBlock.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/ChannelList.h"
#include "ui/main/Metric.h"
#include "ui/main/MoreDots.h"
#include "ui/main/ParallelVPNWarning.h"
#include "ui/main/PowerButton.h"
#include "ui/main/PowerRow.h"
#include "ui/main/SettingsMenu.h"
#include "ui/main/WarningButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int padding = 16;
constexpr int spacing = 14;
constexpr int metricSpacing = 10;
constexpr int warningInset = 10;
constexpr int dotsTop = 2;
constexpr int dotsTrailing = 8;
constexpr int buttonPadding = 16;
// A window's title bar and borders, at least.
constexpr int titleBarAllowance = 40;
// Screen height a window with a long list still leaves free: it does not
// reach from one edge of the screen to the other.
constexpr int screenLeftFree = 132;

} // namespace

MainView::MainView(Core& core, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
{
    build();
    connect(&core, &Core::changed, this, &MainView::render);
    render();
}

void MainView::build()
{
    setFixedWidth(contentWidth);

    auto* column = new QVBoxLayout(this);
    // The power button's widget reaches above its row, room for its glow.
    column->setContentsMargins(padding, padding - PowerRow::overhang(), padding, padding);
    column->setSpacing(spacing);

    m_power = new PowerRow(this);
    connect(m_power->button(), &PowerButton::clicked, this, &MainView::pressPower);
    column->addWidget(m_power);

    m_list = new ChannelList(this);
    connect(m_list, &ChannelList::selectRequested, this, &MainView::select);
    connect(m_list, &ChannelList::connectRequested, this, &MainView::connectChannel);
    column->addWidget(m_list);

    column->addWidget(buildProtectionNotice());
    column->addWidget(buildMetrics());

    m_routeWarning = new TextBlock(TextBlock::Tone::Orange, this);
    m_routeWarning->setText(u"Трафик идёт мимо: маршрут занял другой туннель"_s);
    column->addWidget(m_routeWarning);

    m_message = new TextBlock(TextBlock::Tone::Orange, this);
    m_message->setMaxLines(2);
    column->addWidget(m_message);

    column->addWidget(buildHelperMissing());
    // A window taller than the content keeps the content at its top.
    column->addStretch(1);

    m_warning = new ParallelVPNWarning(m_core, this);

    m_dots = new MoreDots(this);
    m_menu = new SettingsMenu(m_core, this);
    m_menu->setAttribute(Qt::WA_WindowPropagation);
    m_dots->setMenu(m_menu);

    m_sheet = new AccountSheet(m_core, this);

    applyFonts();
}

QWidget* MainView::buildProtectionNotice()
{
    m_notice = new QWidget(this);
    auto* stack = new QVBoxLayout(m_notice);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    m_noticeText = new TextBlock(TextBlock::Tone::Secondary, m_notice);
    m_noticeText->setText(u"Интернет закрыт строгой защитой."_s);
    stack->addWidget(m_noticeText);
    m_openInternet = new QPushButton(u"Открыть интернет"_s, m_notice);
    connect(m_openInternet, &QPushButton::clicked, this, [this] { m_core.disconnect(); });
    stack->addWidget(m_openInternet, 0, Qt::AlignLeft);
    return m_notice;
}

QWidget* MainView::buildMetrics()
{
    auto* row = new QWidget(this);
    auto* cells = new QHBoxLayout(row);
    cells->setContentsMargins(0, 0, 0, 0);
    cells->setSpacing(metricSpacing);
    m_metrics = {
        new Metric(
            u"отклик, мс"_s, 74,
            u"Время до первого ответа через канал. У каналов на TCP оно всегда выше, чем "
            u"на UDP: там на каждую проверку заново устанавливается защищённое соединение."_s,
            row),
        new Metric(u"приём, Мбит/с"_s, 86, u"Скорость входящего трафика прямо сейчас"_s, row),
        new Metric(u"отдача, Мбит/с"_s, 86, u"Скорость исходящего трафика прямо сейчас"_s, row),
        new Metric(u"пик, Мбит/с"_s, 78,
                   u"Лучшая скорость с момента подключения. Сбрасывается при смене сервера."_s,
                   row),
    };
    for (Metric* metric : m_metrics)
        cells->addWidget(metric, 0, Qt::AlignVCenter);
    cells->addStretch(1);
    return row;
}

QWidget* MainView::buildHelperMissing()
{
    m_helperMissing = new QWidget(this);
    auto* row = new QHBoxLayout(m_helperMissing);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_helperMissingText = new TextBlock(TextBlock::Tone::Secondary, m_helperMissing);
    m_helperMissingText->setText(u"Нужен помощник, один раз с паролем администратора"_s);
    row->addWidget(m_helperMissingText, 1, Qt::AlignVCenter);
    m_install = new QPushButton(u"Установить"_s, m_helperMissing);
    connect(m_install, &QPushButton::clicked, this, [this] { m_core.install(); });
    row->addWidget(m_install, 0, Qt::AlignVCenter);
    return m_helperMissing;
}

void MainView::applyFonts()
{
    const QFont caption = TextBlock::captionFont(font());
    for (TextBlock* text : {m_noticeText, m_routeWarning, m_message, m_helperMissingText})
        text->setFont(caption);
    // Room around the title, as a push button of the platform has.
    for (QPushButton* button : {m_openInternet, m_install}) {
        button->setMinimumWidth(0);
        button->setMinimumWidth(button->sizeHint().width() + buttonPadding);
    }
}

PowerButton* MainView::powerButton() const
{
    return m_power->button();
}

TextBlock* MainView::checkingCaption() const
{
    return m_power->caption();
}

int MainView::target() const
{
    if (m_selected >= 0)
        return m_selected;
    return int(m_core.status().active);
}

bool MainView::on() const
{
    return m_core.status().running && target() == m_core.status().active;
}

bool MainView::checking() const
{
    return on() && !m_core.status().verified && m_core.status().primary;
}

bool MainView::showVPNWarning() const
{
    return m_warning->isOpen();
}

QString MainView::vpnWarning() const
{
    return m_warning->text();
}

WarningButton* MainView::warningButton() const
{
    return m_warning->button();
}

Popover* MainView::warningPopover() const
{
    return m_warning->popover();
}

void MainView::render()
{
    const Status& status = m_core.status();
    const bool busy = m_core.busy();
    const int target = this->target();
    const bool stalled = status.running && !status.primary;

    m_power->button()->setState(on(), status.verified, stalled, busy || !status.helper);
    m_power->setChecking(checking());

    m_notice->setVisible(status.protection_armed && !status.running);
    m_openInternet->setEnabled(!busy);

    m_metrics[0]->setValue(Metric::latencyText(status.latency_ms));
    m_metrics[1]->setValue(Metric::rateText(status.down_bps));
    m_metrics[2]->setValue(Metric::rateText(status.up_bps));
    m_metrics[3]->setValue(Metric::peakText(status.peak_bps));

    m_routeWarning->setVisible(stalled);
    m_message->setText(status.message);
    m_message->setVisible(!status.message.isEmpty());
    // The default record says "no helper"; only a real status may.
    m_helperMissing->setVisible(m_core.statusKnown() && !status.helper);
    m_install->setEnabled(!busy);

    // The list last: its height depends on what else is shown. Shown after
    // it has its rows, so that its first layout already has their height.
    reserveScreenForRest();
    const bool live = status.running && status.verified && status.primary;
    m_list->setChannels(status.channels, status.running ? status.active : -1, target, live,
                        status.message.isEmpty());
    m_list->setVisible(!status.channels.isEmpty());

    m_warning->render();
    m_menu->render();
}

// The list grows until the window, its frame included, would leave less
// than `screenLeftFree` of the screen's height: the rest of the window, as
// much of it as is shown now, keeps its room.
void MainView::reserveScreenForRest()
{
    // The list and the space above it, whether or not it is shown now.
    const int list = spacing + m_list->sizeHint().height();
    const int rest = sizeHint().height() - (m_list->isHidden() ? 0 : list);
    // The frame is known once the window manager has framed the window.
    const QWidget* top = window();
    const int frame = std::max(titleBarAllowance, top->frameGeometry().height() - top->height());
    m_list->setReserve(rest + spacing + frame + screenLeftFree);
}

void MainView::select(int index)
{
    m_selected = index;
    m_core.selectManually();
    render();
}

void MainView::connectChannel(int index)
{
    const Status& status = m_core.status();
    if (m_core.busy() || !status.helper)
        return;
    if (status.running && status.active == index)
        return;
    m_core.connect(index);
}

void MainView::pressPower()
{
    if (on())
        m_core.disconnect();
    else
        m_core.connect(target());
}

QSize MainView::sizeHint() const
{
    // The column has a height for width only while a wrapped text is shown.
    const QLayout* column = layout();
    return {contentWidth, column->hasHeightForWidth() ? column->totalHeightForWidth(contentWidth)
                                                      : column->totalSizeHint().height()};
}

void MainView::placeCorners()
{
    m_warning->button()->move(warningInset, warningInset);
    m_dots->move(width() - dotsTrailing - m_dots->width(), dotsTop);
    m_warning->button()->raise();
    m_dots->raise();
}

void MainView::resizeEvent(QResizeEvent* event)
{
    placeCorners();
    QWidget::resizeEvent(event);
}

void MainView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        applyFonts();
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        reserveScreenForRest();
}
